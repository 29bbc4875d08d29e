#pragma once

#include "device/DeviceTask.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The one worker thread: takes tasks first in first out and runs each to its
// end before it looks at the next, so a conversation with the terminal is
// never interleaved with another.
class WorkerThread {
public:
    using Runner = std::function<void(DeviceTask&)>;
    using StartHook = std::function<void()>;

    WorkerThread(Runner runner, StartHook onStart = {});
    ~WorkerThread();

    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts the thread and returns once its start hook has run; false when
    // the thread cannot be created.
    bool Start();
    bool IsRunning() const;

    // Appends a task at the tail and wakes the worker. False for a null task
    // or once the worker has been stopped.
    bool PostTask(std::unique_ptr<DeviceTask> task);

    // Lets the running task finish (the caller releases its waits first),
    // drops the tasks still queued and joins the thread.
    void Stop();

    std::size_t PendingCount() const;

private:
    void Run();

    Runner m_runner;
    StartHook m_onStart;
    mutable std::mutex m_queueLock;
    std::condition_variable m_wake;
    std::deque<std::unique_ptr<DeviceTask>> m_taskList;
    bool m_stopping = false;
    bool m_started = false;
    std::thread m_workerThread;
};
