#include "threads/HandOffQueue.h"

#include "support/EventLoopWait.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::SpinFor;
using testsupport::WaitUntil;
using namespace std::chrono_literals;

bool OnMainThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Waits without looking at events, so nothing queued for this thread runs.
bool WaitWithoutEvents(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class HandOffQueueTest : public ::testing::Test {
protected:
    QObject m_context;
    std::unique_ptr<HandOffQueue> m_queue = std::make_unique<HandOffQueue>(&m_context);
    // Written only on the main thread by the queued work; read by the test
    // on the main thread.
    std::vector<std::string> m_ran;
};

TEST_F(HandOffQueueTest, WorkPostedFromSeveralThreadsRunsOnTheReceivingThreadInPostingOrder)
{
    std::mutex order;
    std::vector<std::string> posted;
    std::atomic<int> next{0};
    bool offThread = false;
    auto poster = [&](const char* who) {
        for (int i = 0; i < 300; ++i) {
            // Posting under the lock makes `posted` the true posting order.
            std::lock_guard guard(order);
            std::string item = std::string(who) + std::to_string(next++);
            posted.push_back(item);
            m_queue->Post([this, &offThread, item] {
                if (!OnMainThread())
                    offThread = true;
                m_ran.push_back(item);
            });
        }
    };
    std::thread a(poster, "a");
    std::thread b(poster, "b");
    poster("m");
    a.join();
    b.join();
    ASSERT_TRUE(WaitUntil([&] { return m_ran.size() == 900; }));
    EXPECT_FALSE(offThread);
    EXPECT_EQ(m_ran, posted);
    EXPECT_EQ(m_queue->Pending(), 0u);
}

TEST_F(HandOffQueueTest, WorkPostedOnTheReceivingThreadWaitsForTheEventLoop)
{
    m_queue->Post([this] { m_ran.push_back("first"); });
    EXPECT_TRUE(m_ran.empty());
    EXPECT_EQ(m_queue->Pending(), 1u);
    std::thread other([this] { m_queue->Post([this] { m_ran.push_back("second"); }); });
    other.join();
    m_queue->Post([this] { m_ran.push_back("third"); });
    ASSERT_TRUE(WaitUntil([&] { return m_ran.size() == 3; }));
    EXPECT_EQ(m_ran, (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(HandOffQueueTest, ANestedEventLoopKeepsThePostingOrder)
{
    // A message box on the UI thread spins its own loop while the pieces
    // posted after the one that opened it wait; whenever they run, they run
    // once each and in posting order.
    m_queue->Post([this] {
        m_ran.push_back("box opens");
        QEventLoop box;
        QTimer::singleShot(50, &box, &QEventLoop::quit);
        box.exec();
        m_ran.push_back("box closes");
    });
    m_queue->Post([this] { m_ran.push_back("b"); });
    m_queue->Post([this] { m_ran.push_back("c"); });
    ASSERT_TRUE(WaitUntil([&] { return m_ran.size() == 4; }));
    SpinFor(20ms);
    ASSERT_EQ(m_ran.size(), 4u);
    std::vector<std::string> pieces = m_ran;
    pieces.erase(std::find(pieces.begin(), pieces.end(), "box closes"));
    EXPECT_EQ(pieces, (std::vector<std::string>{"box opens", "b", "c"}));
    EXPECT_EQ(m_queue->Pending(), 0u);
}

TEST_F(HandOffQueueTest, PostedWorkStillRunsAfterCallsAreReleased)
{
    std::thread worker([this] {
        for (int i = 0; i < 50; ++i)
            m_queue->Post([this, i] { m_ran.push_back(std::to_string(i)); });
    });
    worker.join();
    m_queue->ReleaseCalls();
    EXPECT_TRUE(m_queue->CallsReleased());
    // Lines the worker logged on its way out still reach the window.
    std::thread late([this] { m_queue->Post([this] { m_ran.push_back("last"); }); });
    late.join();
    ASSERT_TRUE(WaitUntil([&] { return m_ran.size() == 51; }));
    std::vector<std::string> expected;
    for (int i = 0; i < 50; ++i)
        expected.push_back(std::to_string(i));
    expected.push_back("last");
    EXPECT_EQ(m_ran, expected);
}

TEST_F(HandOffQueueTest, CallRunsOnTheReceivingThreadAndReturnsAfterIt)
{
    // A plain int: the caller reads what the receiving thread wrote, which
    // is only safe because Call returns after the work has run.
    int value = 0;
    bool onMain = false;
    std::atomic<bool> done{false};
    bool result = false;
    std::thread worker([&] {
        result = m_queue->Call([&] {
            onMain = OnMainThread();
            value = 42;
        });
        EXPECT_EQ(value, 42);
        done = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(onMain);
}

TEST_F(HandOffQueueTest, CallOnTheReceivingThreadRunsAtOnce)
{
    bool ran = false;
    EXPECT_TRUE(m_queue->Call([&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_EQ(m_queue->Pending(), 0u);
}

TEST_F(HandOffQueueTest, CallKeepsItsPlaceAmongPostedWork)
{
    std::thread worker([this] {
        m_queue->Post([this] { m_ran.push_back("before"); });
        EXPECT_TRUE(m_queue->Call([this] { m_ran.push_back("call"); }));
        m_queue->Post([this] { m_ran.push_back("after"); });
    });
    ASSERT_TRUE(WaitUntil([&] { return m_ran.size() == 3; }));
    worker.join();
    EXPECT_EQ(m_ran, (std::vector<std::string>{"before", "call", "after"}));
}

TEST_F(HandOffQueueTest, AWaitingCallIsReleasedWithoutRunning)
{
    std::atomic<bool> called{false};
    std::atomic<bool> returned{false};
    std::atomic<bool> result{true};
    std::thread worker([&] {
        result = m_queue->Call([&] { called = true; });
        returned = true;
    });
    // The receiving thread looks at no events: the call stays queued.
    ASSERT_TRUE(WaitWithoutEvents([&] { return m_queue->Pending() == 1; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(returned);
    m_queue->ReleaseCalls();
    ASSERT_TRUE(WaitWithoutEvents([&] { return returned.load(); }));
    worker.join();
    EXPECT_FALSE(result);
    // The abandoned piece comes round later and does nothing.
    SpinFor(50ms);
    EXPECT_FALSE(called);
    EXPECT_EQ(m_queue->Pending(), 0u);
}

TEST_F(HandOffQueueTest, CallsAfterReleaseReturnAtOnceWithoutQueuing)
{
    m_queue->ReleaseCalls();
    std::atomic<bool> called{false};
    bool result = true;
    std::thread worker([&] { result = m_queue->Call([&] { called = true; }); });
    worker.join();
    EXPECT_FALSE(result);
    EXPECT_EQ(m_queue->Pending(), 0u);
    SpinFor(20ms);
    EXPECT_FALSE(called);
}

TEST_F(HandOffQueueTest, ACallAlreadyStartedWhenCallsAreReleasedIsFinished)
{
    // The window closes from inside the call itself (a nested loop runs
    // the shutdown): the call was started, so it ends and counts.
    bool finished = false;
    bool result = false;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        result = m_queue->Call([&] {
            m_queue->ReleaseCalls();
            SpinFor(20ms);
            finished = true;
        });
        returned = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(finished);
}

TEST_F(HandOffQueueTest, NoLockIsHeldWhileACallRuns)
{
    // Inside the call the receiving thread posts and counts, and another
    // thread posts too; all of it would deadlock on a held queue lock.
    std::thread worker([this] {
        EXPECT_TRUE(m_queue->Call([this] {
            m_queue->Post([this] { m_ran.push_back("posted inside"); });
            std::thread other([this] { m_queue->Post([this] { m_ran.push_back("from elsewhere"); }); });
            other.join();
            m_ran.push_back("call (" + std::to_string(m_queue->Pending()) + " pending)");
        }));
    });
    ASSERT_TRUE(WaitUntil([&] { return m_ran.size() == 3; }));
    worker.join();
    EXPECT_EQ(m_ran, (std::vector<std::string>{"call (2 pending)", "posted inside", "from elsewhere"}));
}

TEST_F(HandOffQueueTest, DestroyingTheQueueDropsWhatIsStillQueued)
{
    auto owned = std::make_shared<int>(7);
    std::weak_ptr<int> watch = owned;
    std::thread worker([&, owned = std::move(owned)] {
        for (int i = 0; i < 5; ++i)
            m_queue->Post([this, owned] { m_ran.push_back("ran"); });
    });
    worker.join();
    EXPECT_EQ(m_queue->Pending(), 5u);
    m_queue.reset();
    // The closures went with the queue, and so did their wake-ups.
    EXPECT_TRUE(watch.expired());
    SpinFor(50ms);
    EXPECT_TRUE(m_ran.empty());
}

TEST_F(HandOffQueueTest, EmptyWorkIsIgnored)
{
    m_queue->Post({});
    EXPECT_EQ(m_queue->Pending(), 0u);
}

TEST(HandOffQueueThreads, WorkRunsOnTheThreadOfAContextThatLivesElsewhere)
{
    QThread receiver;
    QObject context;
    context.moveToThread(&receiver);
    std::atomic<QThread*> ranOn{nullptr};
    {
        // Made before its thread starts, as the class asks.
        HandOffQueue queue(&context);
        receiver.start();
        EXPECT_FALSE(queue.IsReceivingThread());
        queue.Post([&] { ranOn = QThread::currentThread(); });
        EXPECT_TRUE(WaitWithoutEvents([&] { return ranOn.load() != nullptr; }));
        bool called = false;
        EXPECT_TRUE(queue.Call([&] { called = true; }));
        EXPECT_TRUE(called);
        // Its thread has ended before the queue goes; it ends itself, so
        // that no other thread touches its event dispatcher.
        queue.Post([] { QThread::currentThread()->quit(); });
        EXPECT_TRUE(receiver.wait(5000));
    }
    EXPECT_EQ(ranOn.load(), &receiver);
}

}  // namespace
