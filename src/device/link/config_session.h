// One begin ... end sequence on a command link. Every configuration exchange of the program
// (loads, settings, key table, macro and shooting writes, velqactl) runs inside one, so that no
// exchange of another thread or program of ours falls between begin and end, and so that a
// device that has begun its configuration is always told to end it.
#pragma once

#include <functional>
#include <optional>

#include "device/link/command_channel.h"

namespace velqa::link {

class ConfigSession {
  public:
    // Where the receiver presence query is asked. On the wired path it never costs I/O.
    enum class Presence {
        Never,           // the keyboard's sequences
        AtStart,         // once, when the session opens (the loads, velqactl info)
        BeforeEachStep,  // when it opens, and again before begin, the body and end (the writes)
    };
    // The step that decided a failed result.
    enum class Step { None, Link, Lock, Presence, Begin, Body, End };

    // Does nothing on a closed link. Otherwise waits for the channel's link lock (the bounded
    // wait of CommandChannel::LinkGuard: when it runs out the channel's last_failure() is
    // LockTimedOut) and, unless Presence::Never, asks whether the mouse answers the receiver.
    // The lock is held until the session is destroyed, so steps the caller runs before run()
    // (a device information read the written data depends on) are part of the sequence. A
    // session that never calls run() holds the link for reads that need no configuration mode.
    ConfigSession(CommandChannel& channel, Presence presence);
    ConfigSession(const ConfigSession&) = delete;
    ConfigSession& operator=(const ConfigSession&) = delete;

    // Success when the session is open; ReadFailed for a closed link or a mouse the receiver
    // does not reach; WriteFailed when the lock wait ran out.
    int status() const { return status_; }
    bool is_open() const { return status_ == result::Success; }

    // begin_config(), `body`, end_config(); under Presence::BeforeEachStep each is preceded by
    // the presence query, and a false answer stops there with ReadFailed (an end could not
    // reach the mouse either). A failed begin stops before the body. Once begun, end_config()
    // follows even a failed body, so the device leaves its configuration mode. Returns the
    // first failure (begin's, the body's, else end's), Success, or status() when not open.
    int run(const std::function<int()>& body);

    // Which step decided the last failure of the constructor or run(); None after a success.
    Step failed_step() const { return failed_; }

  private:
    int fail(Step step, int result);

    CommandChannel& channel_;
    Presence presence_;
    std::optional<CommandChannel::LinkGuard> hold_;
    int status_ = result::Success;
    Step failed_ = Step::None;
};

}  // namespace velqa::link
