// Which profile each kind gets when the focus moves, and when: the profile switcher's decision
// without Qt. The switcher hands in focus events, whether the user is busy, whether a read of the
// bindings is under way, and each kind's bindings and profile list with the profile its page
// shows; it applies the answers through the profile controls and runs a timer for due().
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/switch_pacer.h"
#include "profile/app_bindings.h"
#include "profile/profile_list.h"

namespace velqa::app {

// Why a kind's active profile is the one it is, for the tray and the page.
struct SwitchReason {
    enum class Cause { ByHand, Bound, Default };
    Cause cause = Cause::ByHand;
    std::string profile;  // the profile's name
    std::string app_id;   // the application it is bound to (Bound)
    bool operator==(const SwitchReason&) const = default;
};

// What a kind's page is to do: select entry `index` of its list (`uuid`) and apply it, unless
// the page shows that profile already (`change` false).
struct KindSwitch {
    int index = -1;
    std::string uuid;
    SwitchReason reason;
    bool change = false;
};

class SwitchDecision {
  public:
    using TimePoint = SwitchPacer::TimePoint;

    // `own_app_ids`: this program's application ids; its own window taking the focus changes
    // nothing, so a user can come to edit the profile a game uses.
    explicit SwitchDecision(std::vector<std::string> own_app_ids);

    enum class Focus {
        Ignored,  // no application, or our own window
        Settle,   // decide now (settle())
        Wait,     // part of a burst: decide at due()
    };
    // The focus moved to `app_id`, seen at `at`.
    Focus focus(const std::string& app_id, TimePoint at);
    // When the change that waits is due; empty when none waits.
    std::optional<TimePoint> due() const { return pacer_.due(); }
    // The timer for due() fired at `now`: true when the waiting change is to be settled now.
    bool take_due(TimePoint now) { return pacer_.take_due(now); }
    bool waiting() const { return pacer_.waiting(); }

    enum class Settle {
        Nothing,   // no application has had the focus yet
        Deferred,  // the user is busy: settle again once free_again() says so (busy_reason())
        Reading,   // the bindings are being read: settle again when the read is in
        Switch,    // choose() for every kind now, then applied()
    };
    // `reading` is asked only when the user is not busy (it may start a read).
    Settle settle(bool recording, bool editing, const std::function<bool()>& reading);
    // Why the last settle was deferred.
    const std::string& busy_reason() const { return busy_; }
    bool deferred() const { return deferred_; }
    // After an event that may have ended the user's editing: true when a deferred switch may be
    // settled now.
    bool free_again(bool recording, bool editing) const {
        return deferred_ && !pacer_.waiting() && !recording && !editing;
    }
    // The bindings were read again: true when the application in front is to be settled again
    // (a binding made or removed for it takes effect at once).
    bool settle_after_read() const { return have_focus_ && !pacer_.waiting(); }
    // Switching was turned on: true when the application in front is to be settled now.
    bool settle_on_switch_on() const { return have_focus_; }

    // The profile `kind` (its profile folder) gets for the application in front: the one bound
    // to it, else (unbound, or bound to a profile deleted since) the kind's default. Nothing when
    // switching is off or neither is in `profiles`. Remembered for reason().
    std::optional<KindSwitch> choose(const std::filesystem::path& kind,
                                     const profile::AppBindings& bindings,
                                     const std::vector<profile::ProfileEntry>& profiles,
                                     const std::string& current_uuid);
    // The switch ran from `begin` to `end`.
    void applied(TimePoint begin, TimePoint end) { pacer_.applied(begin, end); }

    // Why the kind's shown profile (`current_uuid`; empty when no page shows it) is active:
    // ByHand unless it is the one this decision chose last and switching is on.
    SwitchReason reason(const std::filesystem::path& kind, bool auto_switch,
                        const std::string& current_uuid) const;

    // The application that last had the focus (never this program); empty before the first.
    const std::string& app() const { return app_; }
    bool have_focus() const { return have_focus_; }

  private:
    struct Chosen {
        std::string uuid;
        SwitchReason reason;
    };
    std::vector<std::string> own_app_ids_;
    SwitchPacer pacer_;
    std::string app_;
    bool have_focus_ = false;
    bool deferred_ = false;
    std::string busy_;
    std::map<std::filesystem::path, Chosen> chosen_;
};

}  // namespace velqa::app
