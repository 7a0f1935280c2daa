// What this program has changed of the desktop's pointer settings, and the user's own value
// under each change. A profile that does not set a setting then gives the user's own value back
// instead of leaving the last profile's, and "Restore default" gives back exactly what was read.
// Pure bookkeeping: the caller reads the desktop, asks for a plan and writes it.
#pragma once

#include <span>
#include <string>

#include "platform/desktop/pointer_settings.h"

namespace velqa::platform::desktop {

class PointerLedger {
  public:
    PointerLedger() = default;
    // From its two texts in the settings store (encode_values): the user's values and ours.
    PointerLedger(const std::string& own_text, const std::string& ours_text);
    // From a store that kept only the desktop's values from before our first change: every
    // setting that differs from them `now` counts as ours.
    static PointerLedger from_originals(const PointerValues& originals, const PointerValues& now);

    // What to write so that each setting of `which` holds `target`'s value, or the user's own
    // value where `target` has none. `now` is the desktop as read just before: a setting that no
    // longer holds what we wrote was changed by the user since, and that value is theirs. The
    // record is updated as if the plan were written. A target equal to the user's own value
    // gives back the value exactly as it was read (X11's ratio and threshold with it).
    PointerValues plan(const PointerValues& target, std::span<const PointerSetting> which,
                       const PointerValues& now);
    // Every setting we changed back to the user's own value.
    PointerValues plan_restore(const PointerValues& now);

    // The user's own values under our changes, and the values we wrote.
    const PointerValues& own() const { return own_; }
    const PointerValues& ours() const { return ours_; }
    std::string own_text() const { return encode_values(own_); }
    std::string ours_text() const { return encode_values(ours_); }

  private:
    void forget(PointerSetting which);
    void adopt_user_changes(const PointerValues& now);

    PointerValues own_;
    PointerValues ours_;
};

}  // namespace velqa::platform::desktop
