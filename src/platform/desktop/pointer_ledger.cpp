#include "platform/desktop/pointer_ledger.h"

namespace velqa::platform::desktop {

PointerLedger::PointerLedger(const std::string& own_text, const std::string& ours_text)
    : own_(decode_values(own_text)), ours_(decode_values(ours_text)) {
    // A value of ours without the user's under it cannot be given back: not ours to track.
    for (const PointerSetting which : kPointerSettings) {
        if (!own_.has(which))
            forget(which);
    }
}

PointerLedger PointerLedger::from_originals(const PointerValues& originals,
                                            const PointerValues& now) {
    PointerLedger ledger;
    for (const PointerSetting which : kPointerSettings) {
        if (originals.has(which) && now.has(which) && !same_value(which, originals, now)) {
            ledger.own_.take(which, originals);
            ledger.ours_.take(which, now);
        }
    }
    return ledger;
}

void PointerLedger::forget(PointerSetting which) {
    own_.take(which, {});
    ours_.take(which, {});
}

void PointerLedger::adopt_user_changes(const PointerValues& now) {
    for (const PointerSetting which : kPointerSettings) {
        if (ours_.has(which) && now.has(which) && !same_value(which, ours_, now))
            forget(which);
    }
}

PointerValues PointerLedger::plan(const PointerValues& target,
                                  std::span<const PointerSetting> which, const PointerValues& now) {
    adopt_user_changes(now);
    PointerValues out;
    for (const PointerSetting w : which) {
        const bool is_ours = ours_.has(w);
        if (!target.has(w)) {
            if (is_ours)
                out.take(w, own_);
            forget(w);
            continue;
        }
        if (is_ours && same_value(w, target, own_)) {
            out.take(w, own_);
            forget(w);
            continue;
        }
        // Already there: written by nobody, nothing to give back later.
        if (same_value(w, target, is_ours ? ours_ : now))
            continue;
        if (!is_ours) {
            if (!now.has(w))
                continue;  // unread, so it could never be given back: leave it alone
            own_.take(w, now);
        }
        out.take(w, target);
        ours_.take(w, target);
    }
    return out;
}

PointerValues PointerLedger::plan_restore(const PointerValues& now) {
    adopt_user_changes(now);
    PointerValues out;
    for (const PointerSetting which : kPointerSettings) {
        if (ours_.has(which))
            out.take(which, own_);
        forget(which);
    }
    return out;
}

}  // namespace velqa::platform::desktop
