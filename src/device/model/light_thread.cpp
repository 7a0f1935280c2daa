#include "device/model/light_thread.h"

namespace velqa::model {
namespace {

// Static and off show the same frame until the state changes: no need to compute it again.
bool frame_is_constant(int mode) {
    return mode == 3 || mode == 10;
}

}  // namespace

MouseLightThread::MouseLightThread(const link::CommandChannel& channel, FrameReady frame_ready,
                                   const PreviewClock& clock)
    : PreviewLoop(channel, clock, "MS灯光线程设定退出"),
      frame_ready_(std::move(frame_ready)),
      reactive_random_(std::random_device{}()) {}

MouseLightThread::~MouseLightThread() {
    stop();
}

void MouseLightThread::trigger_reactive() {
    change([&] {
        reactive_.resize(frame_.size());
        start_reactive(state_, reactive_, reactive_random_);
    });
}

std::optional<std::uint64_t> MouseLightThread::next_frame_due(std::uint64_t) const {
    if (!ahead_)
        return std::nullopt;
    return ahead_->due_ms;
}

void MouseLightThread::render(std::uint64_t now_ms, bool changed) {
    const LedFrame before = frame_;
    if (ahead_ && !changed) {
        anim_ = ahead_->anim;
        reactive_ = ahead_->reactive;
        frame_ = ahead_->frame;
    } else {
        render_preview(state_, anim_, reactive_, frame_, now_ms);
    }
    show_ = changed || frame_.entries() != before.entries();
    look_ahead(now_ms);
}

void MouseLightThread::look_ahead(std::uint64_t from_ms) {
    ahead_.reset();
    if (frame_is_constant(state_.mode))
        return;
    Ahead next{anim_, reactive_, frame_, from_ms};
    int last_difference = 0;
    for (int skipped = 0; skipped < PreviewMaxSkippedSteps; ++skipped) {
        const std::optional<std::uint64_t> due =
            model::next_frame_due(state_, next.reactive, next.due_ms);
        // Nothing moves until the next reactive trigger.
        if (!due)
            break;
        Ahead step = next;
        step.due_ms = *due;
        render_preview(state_, step.anim, step.reactive, step.frame, step.due_ms);
        const int difference = visible_difference(step.frame, frame_);
        // Turning back (the top of a breath): the step before is the one to show.
        if (ahead_ && difference < last_difference)
            return;
        next = std::move(step);
        ahead_ = next;
        last_difference = difference;
        if (difference >= PreviewVisibleStep)
            break;
    }
}

void MouseLightThread::frame_rendered() {
    if (show_ && frame_ready_)
        frame_ready_();
}

}  // namespace velqa::model
