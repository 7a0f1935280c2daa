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

std::optional<std::uint64_t> MouseLightThread::next_frame_due(std::uint64_t last_ms) const {
    if (frame_is_constant(state_.mode))
        return std::nullopt;
    return model::next_frame_due(state_, reactive_, last_ms);
}

void MouseLightThread::render(std::uint64_t now_ms, bool changed) {
    const LedFrame before = frame_;
    render_preview(state_, anim_, reactive_, frame_, now_ms);
    show_ = changed || frame_.entries() != before.entries();
}

void MouseLightThread::frame_rendered() {
    if (show_ && frame_ready_)
        frame_ready_();
}

}  // namespace velqa::model
