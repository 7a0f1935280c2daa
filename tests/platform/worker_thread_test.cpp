#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>

#include "support/waiting.h"

namespace velqa::platform {
namespace {

using namespace std::chrono_literals;
using WaitResult = StopEvent::WaitResult;

constexpr const char* InTime = "线程退出：：对象处于激发状态\n";
constexpr const char* TooLate = "线程退出：：对象处于非激发状态，超时\n";

TEST(StopEvent, ManualResetWakesAndDeadlines) {
    StopEvent e;
    EXPECT_EQ(e.wait_for(1ms, e.wakes()), WaitResult::TimedOut);

    const auto seen = e.wakes();
    e.wake();  // before the wait: not lost
    EXPECT_EQ(e.wait(seen), WaitResult::Woken);
    EXPECT_EQ(e.wait_for(1ms, e.wakes()), WaitResult::TimedOut) << "a wake is used up";
    EXPECT_FALSE(e.is_set());

    e.set();
    EXPECT_EQ(e.wait(e.wakes()), WaitResult::Set);
    EXPECT_EQ(e.wait_for(0ms, e.wakes()), WaitResult::Set) << "stays set";
    e.wake();
    EXPECT_EQ(e.wait(seen), WaitResult::Set) << "set wins over a wake";
    e.reset();
    EXPECT_EQ(e.wait_for(1ms, e.wakes()), WaitResult::TimedOut);
}

TEST(StopEvent, WakesAWaiterOnAnotherThread) {
    StopEvent e;
    const auto seen = e.wakes();
    auto waiter = std::async(std::launch::async, [&] { return e.wait(seen); });
    e.wake();
    EXPECT_EQ(waiter.get(), WaitResult::Woken);
    auto stopped = std::async(std::launch::async, [&] { return e.wait(e.wakes()); });
    e.set();
    EXPECT_EQ(stopped.get(), WaitResult::Set);
}

TEST(WorkerThread, StopEndsABodyWaitingOnItsEventAndCanRestart) {
    test::DebugLines debug;
    WorkerThread w;
    EXPECT_EQ(w.stop(), StopOutcome::NotRunning);
    EXPECT_EQ(debug.count(InTime), 0u);

    std::atomic<int> runs{0};
    const auto body = [&](StopEvent& stop) {
        ++runs;
        stop.wait(stop.wakes());
    };
    ASSERT_TRUE(w.start(body));
    EXPECT_FALSE(w.start(body)) << "one thread at a time";
    EXPECT_TRUE(w.running());
    EXPECT_EQ(w.stop(), StopOutcome::Signalled);
    EXPECT_FALSE(w.running());
    EXPECT_EQ(debug.count(InTime), 1u);
    EXPECT_EQ(debug.count(TooLate), 0u);

    ASSERT_TRUE(w.start(body)) << "the stop event is cleared for the next run";
    ASSERT_TRUE(test::eventually([&] { return runs == 2; }));
    EXPECT_TRUE(w.running());
    EXPECT_EQ(w.stop(), StopOutcome::Signalled);
    EXPECT_EQ(runs, 2);
}

TEST(WorkerThread, CancelEndsABodyBlockedElsewhere) {
    WorkerThread w;
    StopEvent other;  // stands in for a blocked read
    ASSERT_TRUE(w.start([&](StopEvent&) { other.wait(other.wakes()); }));
    EXPECT_EQ(w.stop(DefaultStopWait, [&] { other.set(); }), StopOutcome::Signalled);
}

TEST(WorkerThread, ALateThreadIsWaitedForNeverAbandoned) {
    test::DebugLines debug;
    std::latch release(1);
    std::atomic<bool> finished_its_work{false};
    WorkerThread w;
    ASSERT_TRUE(w.start([&](StopEvent&) {
        release.wait();  // ignores its stop event
        finished_its_work = true;
    }));
    auto stopping = std::async(std::launch::async, [&] { return w.stop(20ms); });
    ASSERT_TRUE(debug.wait_for(TooLate));
    EXPECT_EQ(stopping.wait_for(0ms), std::future_status::timeout) << "stop goes on waiting";
    EXPECT_TRUE(w.running());
    release.count_down();
    EXPECT_EQ(stopping.get(), StopOutcome::TimedOut);
    EXPECT_TRUE(finished_its_work) << "the thread ran to its end";
    EXPECT_FALSE(w.running());
    EXPECT_EQ(debug.count(InTime), 0u);
}

TEST(WorkerThread, StopFromTheWorkerItselfOnlySignals) {
    WorkerThread w;
    std::promise<StopOutcome> from_inside;
    ASSERT_TRUE(w.start([&](StopEvent& stop) {
        from_inside.set_value(w.stop());
        stop.wait(stop.wakes());
    }));
    EXPECT_EQ(from_inside.get_future().get(), StopOutcome::FromWorker);
    EXPECT_EQ(w.stop(), StopOutcome::Signalled);
}

TEST(WorkerThread, AnExceptionEndsOnlyTheBody) {
    WorkerThread w;
    ASSERT_TRUE(w.start([](StopEvent&) { throw std::runtime_error("broken"); }));
    EXPECT_EQ(w.stop(), StopOutcome::Signalled);
    EXPECT_FALSE(w.running());
}

}  // namespace
}  // namespace velqa::platform
