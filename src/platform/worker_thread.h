// Stop events and worker threads. A worker blocks on its stop event (with a deadline when it
// has work due), on a read that its owner cancels, or on a wake from its owner; it never polls.
// Its owner stops it with a bounded wait and never terminates it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace velqa::platform {

// A manual-reset event: once set it stays set until reset. Besides being set, it can be woken:
// a wake ends the current waits without setting it, so that a worker looks at its state again
// (a new lighting mode, an interface opened). All members are thread-safe.
class StopEvent {
  public:
    using Clock = std::chrono::steady_clock;
    enum class WaitResult { Set, Woken, TimedOut };

    void set();
    void reset();
    bool is_set() const;
    // Ends every wait that began from an earlier wakes() count.
    void wake();
    // How many wakes there have been. Read it before looking at the state a wake announces,
    // then pass it to a wait: a wake in between is not lost.
    std::uint64_t wakes() const;

    // Set when the event is set, Woken when wakes() has moved past `seen`, else TimedOut once
    // `deadline` has passed. Set takes precedence.
    WaitResult wait_until(Clock::time_point deadline, std::uint64_t seen) const;
    WaitResult wait_for(std::chrono::milliseconds timeout, std::uint64_t seen) const;
    // The same without a deadline: Set or Woken.
    WaitResult wait(std::uint64_t seen) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool set_ = false;
    std::uint64_t wakes_ = 0;
};

// How long an owner waits for its worker to end before it says so (and keeps waiting).
constexpr std::chrono::milliseconds DefaultStopWait{1000};

enum class StopOutcome {
    NotRunning,  // no thread was running
    Signalled,   // the thread ended within the bounded wait
    TimedOut,    // it ended only after the bounded wait had passed
    FromWorker,  // stop() was called by the worker itself: the event is set, nobody waited
};

// One worker thread with its manual-reset stop event. start() and stop() belong to the owner's
// thread; the event may be used from any thread.
class WorkerThread {
  public:
    // The body runs on the new thread; it returns once `stop` is set (or earlier, on its own).
    using Body = std::function<void(StopEvent& stop)>;

    WorkerThread() = default;
    // Stops the thread with the default bounded wait.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Clears the stop event and runs `body` on a new thread. False when a thread is running
    // already (it keeps running; the body is dropped) or the system cannot create a thread.
    // A thread that ended on its own is joined first.
    bool start(Body body);
    // True from start() until the body has returned.
    bool running() const;

    // Sets the stop event, calls `cancel` (to end a read the body is blocked in; it runs on
    // the caller's thread), and waits up to `bounded` for the body to return, writing
    // "线程退出：：对象处于激发状态\n" to the debug output when it did. Otherwise it writes
    // "线程退出：：对象处于非激发状态，超时\n" and goes on waiting: a thread is never terminated,
    // and nothing it uses is freed while it runs. Joins the thread before it returns.
    StopOutcome stop(std::chrono::milliseconds bounded = DefaultStopWait,
                     const std::function<void()>& cancel = {});

    StopEvent& stop_event() { return event_; }

  private:
    StopEvent event_;
    std::mutex control_;  // start() and stop()
    std::thread thread_;
    mutable std::mutex done_mutex_;
    std::condition_variable done_;
    bool finished_ = true;
};

}  // namespace velqa::platform
