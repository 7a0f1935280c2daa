#include "app/switch_decision.h"

#include "platform/ascii_text.h"

namespace velqa::app {

SwitchDecision::SwitchDecision(std::vector<std::string> own_app_ids)
    : own_app_ids_(std::move(own_app_ids)) {}

SwitchDecision::Focus SwitchDecision::focus(const std::string& app_id, TimePoint at) {
    if (app_id.empty())
        return Focus::Ignored;
    for (const std::string& own : own_app_ids_) {
        if (platform::equals_ignoring_case(app_id, own))
            return Focus::Ignored;
    }
    app_ = app_id;
    have_focus_ = true;
    // A burst: where the focus rests counts.
    return pacer_.change(at) ? Focus::Settle : Focus::Wait;
}

SwitchDecision::Settle SwitchDecision::settle(bool recording, bool editing,
                                              const std::function<bool()>& reading) {
    if (!have_focus_)
        return Settle::Nothing;
    // A switch now would pull the page from under the user's hand, or change the profile a
    // macro is being recorded for.
    if (recording || editing) {
        busy_ = recording ? "a macro is being recorded" : "a control is being edited";
        deferred_ = true;
        return Settle::Deferred;
    }
    // Decided on the files as they are now.
    if (reading())
        return Settle::Reading;
    deferred_ = false;
    busy_.clear();
    return Settle::Switch;
}

std::optional<KindSwitch> SwitchDecision::choose(const std::filesystem::path& kind,
                                                 const profile::AppBindings& bindings,
                                                 const std::vector<profile::ProfileEntry>& profiles,
                                                 const std::string& current_uuid) {
    if (!bindings.auto_switch())
        return std::nullopt;
    auto index_of = [&](const std::string& uuid) {
        for (std::size_t i = 0; i < profiles.size(); ++i) {
            if (!uuid.empty() && profiles[i].uuid == uuid)
                return static_cast<int>(i);
        }
        return -1;
    };
    KindSwitch out;
    out.uuid = bindings.bound_uuid(app_);
    out.index = index_of(out.uuid);
    if (out.index >= 0) {
        out.reason.cause = SwitchReason::Cause::Bound;
        out.reason.app_id = app_;
    } else {
        out.uuid = bindings.default_uuid();
        out.index = index_of(out.uuid);
        if (out.index < 0)
            return std::nullopt;
        out.reason.cause = SwitchReason::Cause::Default;
    }
    out.reason.profile = profiles[static_cast<std::size_t>(out.index)].name;
    out.change = current_uuid != out.uuid;
    chosen_[kind] = Chosen{out.uuid, out.reason};
    return out;
}

SwitchReason SwitchDecision::reason(const std::filesystem::path& kind, bool auto_switch,
                                    const std::string& current_uuid) const {
    const auto found = chosen_.find(kind);
    // A profile the user picked since is theirs.
    if (found == chosen_.end() || !auto_switch || found->second.uuid != current_uuid)
        return {};
    return found->second.reason;
}

}  // namespace velqa::app
