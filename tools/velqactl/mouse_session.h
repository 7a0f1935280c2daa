// The mouse as the window's mouse page holds it: the open command link, the profile it follows
// and what was read from the mouse. The commands that change settings go through it, so that a
// change from the command line gives the same profile file and the same record on the mouse as
// the same change in the window.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "command_registry.h"
#include "device/link/command_channel.h"
#include "device/model/mouse_core.h"
#include "profile/profile_data.h"

namespace velqa::ctl {

// The profile file the setting commands change: for now the window's default mouse profile,
// <user data>/mouse/mouse.Json (`default_data`: the factory folder beside the program).
std::filesystem::path selected_mouse_profile(const std::filesystem::path& default_data);

class MouseSession {
  public:
    explicit MouseSession(const Context& context);

    // Opens the mouse (see open_mouse), attaches the profile `profile_file` (factory data in
    // `default_data`) and loads the mouse as the page's first reload does: information block,
    // key table, then the active slot's settings, mirrored into the profile. Returns an exit
    // code; the reason of a failure is on stderr.
    int open(const std::optional<std::string>& link_choice,
             const std::filesystem::path& profile_file, const std::filesystem::path& default_data);
    // One change through the mouse core's one way in, as the page makes it: stored, saved and
    // written (slot 0).
    model::ApplyResult apply(const model::MouseChange& change);
    // The exit code for what apply() did; the failing step's reason goes to stderr.
    int outcome(const model::ApplyResult& result);

    link::CommandChannel& channel() { return channel_; }
    profile::CMouseProfiledata& profile() { return profile_; }
    model::MouseCore& core() { return core_; }

  private:
    const Context& context_;
    link::CommandChannel channel_;
    profile::CMouseProfiledata profile_;
    model::MouseCore core_{profile_};
};

}  // namespace velqa::ctl
