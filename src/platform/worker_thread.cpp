#include "platform/worker_thread.h"

#include <exception>
#include <system_error>

#include "platform/debug_output.h"

namespace velqa::platform {

void StopEvent::set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
}

void StopEvent::reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
}

bool StopEvent::is_set() const {
    std::lock_guard lock(mutex_);
    return set_;
}

void StopEvent::wake() {
    {
        std::lock_guard lock(mutex_);
        ++wakes_;
    }
    changed_.notify_all();
}

std::uint64_t StopEvent::wakes() const {
    std::lock_guard lock(mutex_);
    return wakes_;
}

StopEvent::WaitResult StopEvent::wait_until(Clock::time_point deadline, std::uint64_t seen) const {
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, deadline, [&] { return set_ || wakes_ != seen; });
    if (set_)
        return WaitResult::Set;
    return wakes_ != seen ? WaitResult::Woken : WaitResult::TimedOut;
}

StopEvent::WaitResult StopEvent::wait_for(std::chrono::milliseconds timeout,
                                          std::uint64_t seen) const {
    return wait_until(Clock::now() + timeout, seen);
}

StopEvent::WaitResult StopEvent::wait(std::uint64_t seen) const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return set_ || wakes_ != seen; });
    return set_ ? WaitResult::Set : WaitResult::Woken;
}

WorkerThread::~WorkerThread() {
    stop();
}

bool WorkerThread::start(Body body) {
    std::lock_guard control(control_);
    if (running())
        return false;
    if (thread_.joinable())
        thread_.join();  // ended on its own; joining is immediate
    event_.reset();
    {
        std::lock_guard lock(done_mutex_);
        finished_ = false;
    }
    try {
        thread_ = std::thread([this, body = std::move(body)] {
            try {
                body(event_);
            } catch (const std::exception& e) {
                debug_printf("worker thread ended by an exception: %s", e.what());
            } catch (...) {
                debug_output("worker thread ended by an exception");
            }
            {
                std::lock_guard lock(done_mutex_);
                finished_ = true;
            }
            done_.notify_all();
        });
    } catch (const std::system_error& e) {
        debug_printf("worker thread not started: %s", e.what());
        std::lock_guard lock(done_mutex_);
        finished_ = true;
        return false;
    }
    return true;
}

bool WorkerThread::running() const {
    std::lock_guard lock(done_mutex_);
    return !finished_;
}

StopOutcome WorkerThread::stop(std::chrono::milliseconds bounded,
                               const std::function<void()>& cancel) {
    std::lock_guard control(control_);
    if (!thread_.joinable())
        return StopOutcome::NotRunning;
    if (thread_.get_id() == std::this_thread::get_id()) {
        event_.set();  // a thread cannot wait for itself; the next start() or stop() joins it
        return StopOutcome::FromWorker;
    }
    event_.set();
    if (cancel)
        cancel();
    StopOutcome outcome = StopOutcome::Signalled;
    {
        std::unique_lock lock(done_mutex_);
        if (done_.wait_for(lock, bounded, [&] { return finished_; })) {
            debug_output("线程退出：：对象处于激发状态\n");
        } else {
            debug_output("线程退出：：对象处于非激发状态，超时\n");
            // The thread may still be using what its owner holds: wait for it, however long.
            done_.wait(lock, [&] { return finished_; });
            outcome = StopOutcome::TimedOut;
        }
    }
    thread_.join();
    return outcome;
}

}  // namespace velqa::platform
