#include "device/WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::unique_ptr<DeviceTask> MakeTask(int code)
{
    auto task = std::make_unique<DeviceTask>();
    task->code = code;
    return task;
}

TEST(WorkerThread, RunsTasksInPostingOrderOneAfterAnother)
{
    std::mutex lock;
    std::vector<std::string> trace;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::promise<void> allDone;
    WorkerThread worker([&](DeviceTask& task) {
        if (++running > 1)
            overlapped = true;
        {
            std::lock_guard guard(lock);
            trace.push_back("start " + std::to_string(task.code));
        }
        std::this_thread::sleep_for(20ms);   // a task with a reply wait
        {
            std::lock_guard guard(lock);
            trace.push_back("end " + std::to_string(task.code));
        }
        --running;
        if (task.code == 3)
            allDone.set_value();
    });
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.PostTask(MakeTask(1)));
    ASSERT_TRUE(worker.PostTask(MakeTask(2)));
    ASSERT_TRUE(worker.PostTask(MakeTask(3)));
    ASSERT_EQ(allDone.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(trace, (std::vector<std::string>{"start 1", "end 1", "start 2", "end 2", "start 3", "end 3"}));
}

TEST(WorkerThread, NullTaskIsRefused)
{
    WorkerThread worker([](DeviceTask&) {});
    ASSERT_TRUE(worker.Start());
    EXPECT_FALSE(worker.PostTask(nullptr));
    EXPECT_EQ(worker.PendingCount(), 0u);
}

TEST(WorkerThread, TaskPostedToASleepingWorkerStartsAtOnce)
{
    std::promise<void> ran;
    WorkerThread worker([&](DeviceTask&) { ran.set_value(); });
    ASSERT_TRUE(worker.Start());
    std::this_thread::sleep_for(30ms);   // let it fall asleep on the empty queue
    ASSERT_TRUE(worker.PostTask(MakeTask(0)));
    EXPECT_EQ(ran.get_future().wait_for(5s), std::future_status::ready);
}

TEST(WorkerThread, NoWakeUpIsLostUnderManyPosts)
{
    constexpr int kTasks = 2000;
    std::atomic<int> count{0};
    std::promise<void> done;
    WorkerThread worker([&](DeviceTask&) {
        if (++count == kTasks)
            done.set_value();
    });
    ASSERT_TRUE(worker.Start());
    std::thread poster([&] {
        for (int i = 0; i < kTasks; ++i)
            worker.PostTask(MakeTask(i));
    });
    poster.join();
    EXPECT_EQ(done.get_future().wait_for(10s), std::future_status::ready);
}

TEST(WorkerThread, TasksQueuedWithoutAWorkerWaitUntilItStarts)
{
    std::promise<int> ran;
    WorkerThread worker([&](DeviceTask& task) { ran.set_value(task.code); });
    ASSERT_TRUE(worker.PostTask(MakeTask(7)));
    EXPECT_EQ(worker.PendingCount(), 1u);
    ASSERT_TRUE(worker.Start());
    auto result = ran.get_future();
    ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(result.get(), 7);
}

TEST(WorkerThread, StopLetsTheRunningTaskFinishAndDropsTheRest)
{
    std::atomic<int> finished{0};
    std::promise<void> started;
    WorkerThread worker([&](DeviceTask& task) {
        if (task.code == 1)
            started.set_value();
        std::this_thread::sleep_for(50ms);
        ++finished;
    });
    ASSERT_TRUE(worker.Start());
    worker.PostTask(MakeTask(1));
    worker.PostTask(MakeTask(2));
    started.get_future().wait();
    worker.Stop();
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(worker.PostTask(MakeTask(3)));
}

TEST(WorkerThread, StartHookRunsOnTheWorkerBeforeAnyTask)
{
    std::vector<std::string> trace;
    std::promise<void> done;
    WorkerThread worker([&](DeviceTask&) { trace.push_back("task"); done.set_value(); },
                        [&] { trace.push_back("start"); });
    worker.PostTask(MakeTask(0));
    ASSERT_TRUE(worker.Start());
    done.get_future().wait();
    worker.Stop();
    EXPECT_EQ(trace, (std::vector<std::string>{"start", "task"}));
}

}  // namespace
