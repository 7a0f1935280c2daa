#include "device/link/config_session.h"

namespace velqa::link {

ConfigSession::ConfigSession(CommandChannel& channel, Presence presence)
    : channel_(channel), presence_(presence) {
    if (!channel_.link_open()) {
        status_ = fail(Step::Link, result::ReadFailed);
        return;
    }
    hold_.emplace(channel_);
    if (!*hold_) {
        status_ = fail(Step::Lock, result::WriteFailed);
        return;
    }
    if (presence_ != Presence::Never && !channel_.receiver_present())
        status_ = fail(Step::Presence, result::ReadFailed);
}

int ConfigSession::fail(Step step, int result) {
    failed_ = step;
    return result;
}

int ConfigSession::run(const std::function<int()>& body) {
    if (status_ != result::Success)
        return status_;
    const bool each_step = presence_ == Presence::BeforeEachStep;
    auto present = [&] { return !each_step || channel_.receiver_present(); };

    if (!present())
        return fail(Step::Presence, result::ReadFailed);
    const int begun = channel_.begin_config();
    if (begun != result::Success)
        return fail(Step::Begin, begun);
    if (!present())
        return fail(Step::Presence, result::ReadFailed);
    const int res = body();
    if (!present())
        return fail(Step::Presence, result::ReadFailed);
    const int end = channel_.end_config();
    if (res != result::Success)
        return fail(Step::Body, res);
    if (end != result::Success)
        return fail(Step::End, end);
    failed_ = Step::None;
    return result::Success;
}

}  // namespace velqa::link
