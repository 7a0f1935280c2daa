#include "device/model/preview_loop.h"

#include "platform/debug_output.h"

namespace velqa::model {

namespace {

using platform::StopEvent;

class SteadyPreviewClock final : public PreviewClock {
  public:
    std::uint64_t now_ms() const override { return steady_ms(); }
    StopEvent::WaitResult wait_until(StopEvent& stop, std::uint64_t due_ms,
                                     std::uint64_t seen) const override {
        return stop.wait_until(StopEvent::Clock::time_point(std::chrono::milliseconds(due_ms)),
                               seen);
    }
};

}  // namespace

std::uint64_t steady_ms() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          StopEvent::Clock::now().time_since_epoch())
                                          .count());
}

const PreviewClock& steady_preview_clock() {
    static const SteadyPreviewClock clock;
    return clock;
}

PreviewLoop::PreviewLoop(const link::CommandChannel& channel, const PreviewClock& clock,
                         const char* exit_text)
    : channel_(channel), clock_(clock), exit_text_(exit_text) {}

bool PreviewLoop::start() {
    {
        std::lock_guard lock(mutex_);
        dirty_ = true;
    }
    return worker_.start([this](StopEvent& stop) { run(stop); });
}

platform::StopOutcome PreviewLoop::stop(std::chrono::milliseconds bounded) {
    return worker_.stop(bounded);
}

bool PreviewLoop::restart() {
    stop();
    return start();
}

void PreviewLoop::wake() {
    worker_.stop_event().wake();
}

void PreviewLoop::set_hidden(bool hidden) {
    if (hidden_.exchange(hidden) == hidden)
        return;
    if (!hidden) {
        // The frame shown before was left behind while hidden: the next one is due now.
        std::lock_guard lock(mutex_);
        dirty_ = true;
    }
    wake();
}

void PreviewLoop::set_lighting(const LightingState& state) {
    change([&] {
        if (state.mode != state_.mode)
            mode_changing();
        state_ = state;
    });
}

LightingState PreviewLoop::lighting() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void PreviewLoop::set_led_count(std::size_t count) {
    change([&] {
        frame_.resize(count);
        reactive_.resize(count);
    });
}

LedFrame PreviewLoop::frame() const {
    std::lock_guard lock(mutex_);
    return frame_;
}

std::uint64_t PreviewLoop::frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

void PreviewLoop::run(StopEvent& stop) {
    std::optional<std::uint64_t> last_frame;
    for (;;) {
        // Taken before the state is looked at, so a change made meanwhile ends the wait below.
        const std::uint64_t seen = stop.wakes();
        if (stop.is_set())
            break;
        if (hidden_.load()) {
            // set_hidden(false) wakes it.
            if (stop.wait(seen) == StopEvent::WaitResult::Set)
                break;
            continue;
        }
        if (!channel_.link_open() || channel_.preview_pause()) {
            // Neither has a notification of its own; wake() shortens the wait.
            if (clock_.wait_until(stop, clock_.now_ms() + PreviewLinkClosedWaitMs, seen) ==
                StopEvent::WaitResult::Set)
                break;
            continue;
        }
        const std::uint64_t now = clock_.now_ms();
        std::optional<std::uint64_t> due;
        bool rendered = false;
        {
            std::lock_guard lock(mutex_);
            if (dirty_ || !last_frame)
                due = now;
            else
                due = next_frame_due(*last_frame);
            if (due && *due <= now) {
                render(now, dirty_);
                dirty_ = false;
                ++frames_;
                last_frame = now;
                rendered = true;
            }
        }
        if (rendered) {
            frame_rendered();
            continue;
        }
        const auto woke = due ? clock_.wait_until(stop, *due, seen) : stop.wait(seen);
        if (woke == StopEvent::WaitResult::Set)
            break;
    }
    platform::debug_output(exit_text_);
}

}  // namespace velqa::model
