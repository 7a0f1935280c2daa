#include "mouse_session.h"

#include <cstdio>

#include "mouse_link.h"
#include "platform/folders.h"
#include "profile/profile_data.h"
#include "profile/profile_list.h"

namespace velqa::ctl {

std::filesystem::path selected_mouse_profile(const std::filesystem::path& default_data) {
    // The profile the window follows: the selected entry of the kind's list.
    return profile::selected_profile_path(platform::user_data_folder("mouse"),
                                          default_data / "mouse.Json");
}

MouseSession::MouseSession(const Context& context) : context_(context), channel_(context.hid) {
    core_.set_sensors(model::sensor_table(context.devices));
}

int MouseSession::open(const std::optional<std::string>& link_choice,
                       const std::filesystem::path& profile_file,
                       const std::filesystem::path& default_data) {
    if (const int rc = open_mouse(context_, channel_, link_choice); rc != Success)
        return rc;
    model::attach_mouse_profile(profile_, core_, profile_file, default_data);
    const model::LoadOutcome load = core_.load_from_device(channel_, 0);
    if (load.result != link::result::Success)
        return fail(channel_, "loading the mouse", load.result);
    // The stage set of the mouse's sensor, as the page loads it into its lists.
    if (const int set = core_.sensor().stage_set; set >= 0)
        profile_.read_dpi_stages(set);
    if (core_.read_settings(channel_) != link::result::Success)
        return fail(channel_, "reading the settings", link::result::ReadFailed);
    return Success;
}

model::ApplyResult MouseSession::apply(const model::MouseChange& change) {
    return core_.apply(channel_, change);
}

int MouseSession::outcome(const model::ApplyResult& result) {
    switch (result.failed) {
        case model::ApplyResult::Step::None:
            return Success;
        case model::ApplyResult::Step::Refused:
            std::fprintf(stderr,
                         "velqactl: the mouse reports sensor 0x%04x, which has no DPI stages to "
                         "set\n",
                         core_.sensor_id());
            return Failed;
        case model::ApplyResult::Step::Save:
            std::fprintf(stderr, "velqactl: the profile %s could not be saved: %s\n",
                         profile_.profile_path().string().c_str(), result.save_error.c_str());
            return Failed;
        case model::ApplyResult::Step::Write:
            break;
    }
    return fail(channel_, "writing the settings", result.write_code);
}

}  // namespace velqa::ctl
