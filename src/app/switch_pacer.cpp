#include "app/switch_pacer.h"

#include <algorithm>

namespace velqa::app {

bool SwitchPacer::change(TimePoint at) {
    const bool quiet = !last_change_ || at - *last_change_ >= Quiet;
    const bool during_apply =
        apply_begin_ && apply_end_ && at >= *apply_begin_ && at <= *apply_end_;
    // Handed over out of order (two watcher threads): the latest time counts.
    last_change_ = last_change_ ? std::max(*last_change_, at) : at;
    if (quiet && !during_apply && !waiting_)
        return true;
    waiting_ = true;
    return false;
}

std::optional<SwitchPacer::TimePoint> SwitchPacer::due() const {
    if (!waiting_ || !last_change_)
        return std::nullopt;
    TimePoint when = *last_change_ + Quiet;
    if (apply_end_)
        when = std::max(when, *apply_end_);
    return when;
}

bool SwitchPacer::take_due(TimePoint now) {
    const auto when = due();
    if (!when || now < *when)
        return false;
    waiting_ = false;
    return true;
}

void SwitchPacer::applied(TimePoint begin, TimePoint end) {
    apply_begin_ = begin;
    apply_end_ = end;
}

}  // namespace velqa::app
