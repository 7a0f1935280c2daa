#include "device/model/light_thread.h"

#include <optional>

#include "platform/debug_output.h"

namespace velqa::model {
namespace {

using platform::StopEvent;
using Clock = std::chrono::steady_clock;

std::uint64_t now_ms() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
}

Clock::time_point time_of(std::uint64_t ms) {
    return Clock::time_point(std::chrono::milliseconds(ms));
}

// Static and off show the same frame until the state changes: no need to compute it again.
bool frame_is_constant(int mode) {
    return mode == 3 || mode == 10;
}

}  // namespace

MouseLightThread::MouseLightThread(const link::CommandChannel& channel, FrameReady frame_ready)
    : channel_(channel), frame_ready_(std::move(frame_ready)) {}

MouseLightThread::~MouseLightThread() {
    worker_.stop();
}

bool MouseLightThread::start() {
    {
        std::lock_guard lock(mutex_);
        dirty_ = true;
    }
    return worker_.start([this](StopEvent& stop) { run(stop); });
}

platform::StopOutcome MouseLightThread::stop(std::chrono::milliseconds bounded) {
    return worker_.stop(bounded);
}

bool MouseLightThread::restart() {
    stop();
    return start();
}

void MouseLightThread::wake() {
    worker_.stop_event().wake();
}

void MouseLightThread::set_lighting(const LightingState& state) {
    {
        std::lock_guard lock(mutex_);
        state_ = state;
        dirty_ = true;
    }
    wake();
}

LightingState MouseLightThread::lighting() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void MouseLightThread::set_led_count(std::size_t count) {
    {
        std::lock_guard lock(mutex_);
        frame_.resize(count);
        reactive_.resize(count);
        dirty_ = true;
    }
    wake();
}

void MouseLightThread::trigger_reactive(std::uint32_t seed) {
    {
        std::lock_guard lock(mutex_);
        reactive_.resize(frame_.size());
        start_reactive(state_, reactive_, seed);
        dirty_ = true;
    }
    wake();
}

void MouseLightThread::set_hidden(bool hidden) {
    if (hidden_.exchange(hidden) == hidden)
        return;
    if (!hidden) {
        // The frame shown before was left behind while hidden: the next one is due now.
        std::lock_guard lock(mutex_);
        dirty_ = true;
    }
    worker_.stop_event().wake();
}

LedFrame MouseLightThread::frame() const {
    std::lock_guard lock(mutex_);
    return frame_;
}

std::uint64_t MouseLightThread::frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

void MouseLightThread::run(StopEvent& stop) {
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
            if (stop.wait_for(std::chrono::milliseconds(PreviewLinkClosedWaitMs), seen) ==
                StopEvent::WaitResult::Set)
                break;
            continue;
        }
        const std::uint64_t now = now_ms();
        std::optional<std::uint64_t> due;
        bool rendered = false;
        bool show = false;
        {
            std::lock_guard lock(mutex_);
            if (dirty_ || !last_frame)
                due = now;
            else if (!frame_is_constant(state_.mode))
                due = next_frame_due(state_, reactive_, *last_frame);
            if (due && *due <= now) {
                const LedFrame before = frame_;
                render_preview(state_, anim_, reactive_, frame_, now);
                show = dirty_ || frame_.entries() != before.entries();
                dirty_ = false;
                ++frames_;
                last_frame = now;
                rendered = true;
            }
        }
        if (rendered) {
            if (show && frame_ready_)
                frame_ready_();
            continue;
        }
        const auto woke = due ? stop.wait_until(time_of(*due), seen) : stop.wait(seen);
        if (woke == StopEvent::WaitResult::Set)
            break;
    }
    platform::debug_output("MS灯光线程设定退出");
}

}  // namespace velqa::model
