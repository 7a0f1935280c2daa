// The mouse page's light thread: animates the on-screen preview of the mouse's lighting. It
// owns the lighting state and the LED frame the page paints, computes frames at the mode's
// pace and sleeps in between until the next frame is due or it is stopped. It sends no command.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

#include "device/link/command_channel.h"
#include "device/model/lighting_preview.h"
#include "platform/worker_thread.h"

namespace velqa::model {

class MouseLightThread {
  public:
    // Called on the light thread after a frame that the page has to show (the first one after
    // start() or after a change of the state, and every one that differs from the last). It
    // must not block: the page posts a window message and reads frame() on its own thread.
    using FrameReady = std::function<void()>;

    // `channel` is the page's command channel: no frames while its link is closed or its
    // preview is paused. It must outlive this object.
    explicit MouseLightThread(const link::CommandChannel& channel, FrameReady frame_ready = {});
    // Stops the thread (bounded wait, then as long as it takes).
    ~MouseLightThread();
    MouseLightThread(const MouseLightThread&) = delete;
    MouseLightThread& operator=(const MouseLightThread&) = delete;

    // Starts the thread. False when it runs already or cannot be created. Window thread.
    bool start();
    // Stops the thread as platform::WorkerThread::stop does; the thread writes
    // "MS灯光线程设定退出" as it ends. Window thread.
    platform::StopOutcome stop(std::chrono::milliseconds bounded = platform::DefaultStopWait);
    // stop(), then start(): the reload's restart of the preview.
    bool restart();
    bool running() const { return worker_.running(); }
    // The link was opened or the preview pause cleared: look again now instead of after the
    // wait of PreviewLinkClosedWaitMs.
    void wake();

    // Nobody can see the preview (the window is hidden or minimised): no frames until shown
    // again, and no wake-ups meanwhile. Any thread.
    void set_hidden(bool hidden);
    bool hidden() const { return hidden_.load(); }

    // The state below may be used from any thread; each change makes the next frame due now.
    void set_lighting(const LightingState& state);
    LightingState lighting() const;
    // The number of light indicators: resizes the frame and clears every entry.
    void set_led_count(std::size_t count);
    // A reactive trigger (a key press reported by the mouse): every LED lights up and fades.
    void trigger_reactive(std::uint32_t seed);
    // A copy of the current frame, consistent with itself.
    LedFrame frame() const;
    // Frames computed since construction.
    std::uint64_t frames() const;

  private:
    void run(platform::StopEvent& stop);

    const link::CommandChannel& channel_;
    const FrameReady frame_ready_;
    mutable std::mutex mutex_;  // everything below
    LightingState state_;
    PreviewAnimation anim_;
    ReactiveBuffer reactive_;
    LedFrame frame_;
    bool dirty_ = true;  // the state changed since the last frame
    std::uint64_t frames_ = 0;
    std::atomic<bool> hidden_{false};
    // Last: it is stopped (and its thread joined) before the state above is destroyed.
    platform::WorkerThread worker_;
};

}  // namespace velqa::model
