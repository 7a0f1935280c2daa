// A preview clock that moves only when the test advances it. A loop waiting for a deadline on
// it is woken by advance(); waits() counts the deadline waits begun, so a test can tell that
// the loop has looked at the new time and gone back to sleep.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "device/model/preview_loop.h"
#include "support/waiting.h"

namespace velqa::test {

class FakePreviewClock final : public model::PreviewClock {
  public:
    using WaitResult = platform::StopEvent::WaitResult;

    explicit FakePreviewClock(std::uint64_t start_ms = 1000) : now_(start_ms) {}

    std::uint64_t now_ms() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }

    WaitResult wait_until(platform::StopEvent& stop, std::uint64_t due_ms,
                          std::uint64_t seen) const override {
        {
            std::lock_guard lock(mutex_);
            if (now_ >= due_ms)
                return WaitResult::TimedOut;
            waiting_ = &stop;
            deadline_ = due_ms;
            ++waits_;
        }
        changed_.notify_all();
        const WaitResult woke = stop.wait(seen);
        std::lock_guard lock(mutex_);
        waiting_ = nullptr;
        return woke == WaitResult::Woken && now_ >= due_ms ? WaitResult::TimedOut : woke;
    }

    void advance(std::uint64_t ms) {
        std::lock_guard lock(mutex_);
        now_ += ms;
        if (waiting_ != nullptr)
            waiting_->wake();
    }

    std::uint64_t waits() const {
        std::lock_guard lock(mutex_);
        return waits_;
    }
    // The deadline of the latest wait.
    std::uint64_t deadline() const {
        std::lock_guard lock(mutex_);
        return deadline_;
    }
    // True once `n` deadline waits have begun; false at the deadline.
    bool wait_for_waits(std::uint64_t n) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, GenerousDeadline, [&] { return waits_ >= n; });
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::uint64_t now_;
    mutable platform::StopEvent* waiting_ = nullptr;
    mutable std::uint64_t deadline_ = 0;
    mutable std::uint64_t waits_ = 0;
};

}  // namespace velqa::test
