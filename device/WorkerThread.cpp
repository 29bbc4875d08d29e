#include "device/WorkerThread.h"

#include <system_error>

WorkerThread::WorkerThread(Runner runner, StartHook onStart)
    : m_runner(std::move(runner)), m_onStart(std::move(onStart))
{
}

WorkerThread::~WorkerThread()
{
    Stop();
}

bool WorkerThread::Start()
{
    if (m_workerThread.joinable())
        return false;
    try {
        m_workerThread = std::thread(&WorkerThread::Run, this);
    } catch (const std::system_error&) {
        // Only thread creation can throw here; the caller logs the failure.
        return false;
    }
    // The worker's start hook (its first log line) runs before anything the
    // starter does next, so the log shows the start first.
    std::unique_lock guard(m_queueLock);
    m_wake.wait(guard, [this] { return m_started; });
    return true;
}

bool WorkerThread::IsRunning() const
{
    return m_workerThread.joinable();
}

bool WorkerThread::PostTask(std::unique_ptr<DeviceTask> task)
{
    if (!task)
        return false;
    {
        std::lock_guard guard(m_queueLock);
        if (m_stopping)
            return false;
        m_taskList.push_back(std::move(task));
    }
    // The condition variable is tied to m_queueLock, so a task appended
    // between the worker's empty-queue test and its sleep is never missed.
    m_wake.notify_all();
    return true;
}

void WorkerThread::Stop()
{
    {
        std::lock_guard guard(m_queueLock);
        m_stopping = true;
        m_taskList.clear();
    }
    m_wake.notify_all();
    if (m_workerThread.joinable() && m_workerThread.get_id() != std::this_thread::get_id())
        m_workerThread.join();
}

std::size_t WorkerThread::PendingCount() const
{
    std::lock_guard guard(m_queueLock);
    return m_taskList.size();
}

void WorkerThread::Run()
{
    if (m_onStart)
        m_onStart();
    {
        std::lock_guard guard(m_queueLock);
        m_started = true;
    }
    m_wake.notify_all();
    for (;;) {
        std::unique_ptr<DeviceTask> task;
        {
            std::unique_lock guard(m_queueLock);
            m_wake.wait(guard, [this] { return m_stopping || !m_taskList.empty(); });
            if (m_stopping)
                return;
            task = std::move(m_taskList.front());
            m_taskList.pop_front();
        }
        m_runner(*task);
    }
}
