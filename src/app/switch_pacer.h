// When a focus change is applied: the first change after a quiet moment at once, so that a game
// brought to the front has its profile without a wait; changes that follow within the quiet time
// of the last one, or arrive while a profile is being applied, wait until the focus rests and
// only the last of them is applied. No Qt: the switcher asks it and runs a timer for due().
#pragma once

#include <chrono>
#include <optional>

namespace velqa::app {

class SwitchPacer {
  public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    // How long the focus must rest after a change before the next change applies at once.
    static constexpr std::chrono::milliseconds Quiet{300};

    // A change that the watcher saw at `at`. True: apply it now. False: it waits (replacing any
    // change that waited), due at due().
    bool change(TimePoint at);
    // When the waiting change is to be applied; empty when none waits.
    std::optional<TimePoint> due() const;
    // The timer for due() fired at `now`: true when the waiting change is to be applied now
    // (it no longer waits), false when it is not due yet or none waits.
    bool take_due(TimePoint now);
    // An apply ran from `begin` to `end` (the switcher applies on its own thread, so no change is
    // seen during one; changes the watcher saw meanwhile are handed over after it).
    void applied(TimePoint begin, TimePoint end);
    bool waiting() const { return waiting_; }

  private:
    std::optional<TimePoint> last_change_;
    std::optional<TimePoint> apply_begin_;
    std::optional<TimePoint> apply_end_;
    bool waiting_ = false;
};

}  // namespace velqa::app
