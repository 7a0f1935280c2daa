// The mouse page's light thread: animates the on-screen preview of the mouse's lighting. It
// owns the lighting state and the LED frame the page paints, computes frames at the mode's
// pace and sleeps in between until the next frame is due or it is stopped. Steps that change
// the picture by less than PreviewVisibleStep are worked out ahead instead of woken for, so a
// slow effect costs fewer frames without losing its pace. It sends no command.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <random>

#include "device/model/preview_loop.h"

namespace velqa::model {

class MouseLightThread : public PreviewLoop {
  public:
    // Called on the light thread after a frame that the page has to show (the first one after
    // start() or after a change of the state, and every one that differs from the last). It
    // must not block: the page posts a window message and reads frame() on its own thread.
    using FrameReady = std::function<void()>;

    // `channel` is the page's command channel: no frames while its link is closed or its
    // preview is paused. It and `clock` must outlive this object. The thread writes
    // "MS灯光线程设定退出" as it ends.
    explicit MouseLightThread(const link::CommandChannel& channel, FrameReady frame_ready = {},
                              const PreviewClock& clock = steady_preview_clock());
    // Stops the thread (bounded wait, then as long as it takes).
    ~MouseLightThread() override;

    // A reactive trigger (a key press reported by the mouse): every LED lights up and fades;
    // in the ripple mode each press draws new wheel positions.
    void trigger_reactive();

  private:
    // The next frame worth showing, worked out ahead from the frame just computed: the steps
    // between it and the last one are taken without waking the thread for each.
    struct Ahead {
        PreviewAnimation anim;
        ReactiveBuffer reactive;
        LedFrame frame;
        std::uint64_t due_ms = 0;
    };

    std::optional<std::uint64_t> next_frame_due(std::uint64_t last_ms) const override;
    void render(std::uint64_t now_ms, bool changed) override;
    void frame_rendered() override;
    void look_ahead(std::uint64_t from_ms);

    const FrameReady frame_ready_;
    // Seeded once: every press reports the same code, and a generator seeded with it would
    // light the same pattern on every press.
    std::minstd_rand reactive_random_;
    PreviewAnimation anim_;
    bool show_ = false;  // the light thread's own: the last frame has to be shown
    std::optional<Ahead> ahead_;
};

}  // namespace velqa::model
