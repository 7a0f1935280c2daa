// The loop of the lighting preview's threads. It computes the frame that is due, then blocks on
// its stop event until the next frame's time on an injected clock, or until a change of the
// state, the link or the visibility wakes it; it never polls. The mouse's and the keyboard's
// light threads differ only in when a frame is due and how it is computed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

#include "device/link/command_channel.h"
#include "device/model/lighting_preview.h"
#include "platform/worker_thread.h"

namespace velqa::model {

// Milliseconds on a clock that a preview loop reads and sleeps on.
class PreviewClock {
  public:
    virtual ~PreviewClock() = default;
    virtual std::uint64_t now_ms() const = 0;
    // Blocks until `stop` is set or woken past `seen` (Set, Woken), or until this clock has
    // reached `due_ms` (TimedOut).
    virtual platform::StopEvent::WaitResult wait_until(platform::StopEvent& stop,
                                                       std::uint64_t due_ms,
                                                       std::uint64_t seen) const = 0;
};

// Milliseconds on the steady clock.
std::uint64_t steady_ms();
// The steady clock: the light threads' clock unless a test injects another.
const PreviewClock& steady_preview_clock();

class PreviewLoop {
  public:
    virtual ~PreviewLoop() = default;
    PreviewLoop(const PreviewLoop&) = delete;
    PreviewLoop& operator=(const PreviewLoop&) = delete;

    // Starts the thread. False when it runs already or cannot be created. Window thread.
    bool start();
    // Stops the thread as platform::WorkerThread::stop does; the thread writes its exit text
    // as it ends. Window thread.
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
    // A copy of the current frame, consistent with itself.
    LedFrame frame() const;
    // Frames computed since construction.
    std::uint64_t frames() const;

  protected:
    // `channel`: no frames while its link is closed or its preview is paused. It and `clock`
    // must outlive the loop. `exit_text` goes to the debug output as the thread ends.
    PreviewLoop(const link::CommandChannel& channel, const PreviewClock& clock,
                const char* exit_text);

    // The hooks run on the loop's thread, so a derived class stops the loop in its destructor.
    // With mutex_ held: when the frame after one computed at `last_ms` is due (nullopt: not
    // before the next change of the state).
    virtual std::optional<std::uint64_t> next_frame_due(std::uint64_t last_ms) const = 0;
    // With mutex_ held: computes frame_ for `now_ms`; `changed`: the first frame since start(),
    // a change of the state, or the preview shown again.
    virtual void render(std::uint64_t now_ms, bool changed) = 0;
    // With mutex_ released, after render(): hands the frame on.
    virtual void frame_rendered() = 0;
    // With mutex_ held, before the state takes another mode.
    virtual void mode_changing() {}

    // Runs `change` with mutex_ held; the next frame is then due now.
    template <class Change>
    void change(Change&& change) {
        {
            std::lock_guard lock(mutex_);
            change();
            dirty_ = true;
        }
        wake();
    }

    mutable std::mutex mutex_;  // the state below, the derived class's state, dirty_, frames_
    LightingState state_;
    ReactiveBuffer reactive_;
    LedFrame frame_;

  private:
    void run(platform::StopEvent& stop);

    const link::CommandChannel& channel_;
    const PreviewClock& clock_;
    const char* const exit_text_;
    bool dirty_ = true;
    std::uint64_t frames_ = 0;
    std::atomic<bool> hidden_{false};
    // Last: it is stopped (and its thread joined) before the state above is destroyed.
    platform::WorkerThread worker_;
};

}  // namespace velqa::model
