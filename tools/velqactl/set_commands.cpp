// velqactl set WHAT ARGS... [--link cable|receiver]: one setting of the mouse, changed the way the
// window's mouse page changes it. The mouse is loaded as the page loads it, the change goes
// into the profile through the page's own rules, the profile is saved and the settings record
// built from it is written, so that both leave the same file and the same record behind.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "command_registry.h"
#include "device/model/mouse_settings.h"
#include "mouse_link.h"
#include "mouse_session.h"
#include "platform/folders.h"
#include "platform/number_text.h"
#include "profile/profile_files.h"
#include "progress.h"

namespace velqa::ctl {

namespace {

constexpr int StageMax = 5;

// Applies a parsed change to the loaded mouse; returns an exit code.
using Change = std::function<int(MouseSession&)>;

std::optional<int> number_arg(const char* name, const std::string& text, int min, int max) {
    const auto n = platform::parse_number(text, min, max);
    if (!n) {
        std::fprintf(stderr, "velqactl: %s\n",
                     platform::number_error(name, text, min, max).c_str());
        return std::nullopt;
    }
    return static_cast<int>(*n);
}

int refuse(const char* usage_line) {
    std::fprintf(stderr, "usage: velqactl set %s [--link cable|receiver]\n", usage_line);
    return UsageError;
}

// ---- Parsers: words after the setting's name -> a change, or an exit code ----

struct Parsed {
    std::optional<Change> change;
    int exit_code = UsageError;
};

// The DPI ranges of the supported sensors, for a VALUE that is no number: which one applies is
// known only once the mouse is read.
std::string dpi_ranges(const profile::SensorTable& sensors, profile::ValueRange& widest) {
    std::string text;
    widest = {profile::DpiMin, profile::DpiMin};
    for (const profile::SensorSpec& sensor : sensors.sensors()) {
        const profile::ValueRange r = sensors.dpi_range_for(sensor.sensor_id);
        widest.max = std::max(widest.max, r.max);
        char line[64];
        std::snprintf(line, sizeof line, "%s%d-%d for sensor %04x", text.empty() ? "" : ", ", r.min,
                      r.max, sensor.sensor_id);
        text += line;
    }
    return text;
}

Parsed parse_dpi(const std::vector<std::string>& w, const profile::SensorTable& sensors) {
    if (w.size() != 2)
        return {std::nullopt, refuse("dpi STAGE VALUE")};
    const auto stage = number_arg("STAGE", w[0], 0, StageMax);
    // The page takes any typed number and clamps it to the sensor's range.
    const auto value =
        stage ? platform::parse_number(w[1], INT_MIN, INT_MAX) : std::optional<int64_t>();
    if (stage && !value) {
        profile::ValueRange widest;
        const std::string ranges = dpi_ranges(sensors, widest);
        std::fprintf(stderr, "velqactl: %s%s%s%s\n",
                     platform::number_error("VALUE", w[1], widest.min, widest.max).c_str(),
                     ranges.empty() ? "" : " (the sensor's range: ", ranges.c_str(),
                     ranges.empty() ? "" : ")");
    }
    if (!stage || !value)
        return {};
    return {[stage = *stage, value = static_cast<int>(*value)](MouseSession& s) {
        const model::ApplyResult r = s.apply(model::mouse::StageDpi{stage, value});
        if (r.clamped_from) {
            const model::DpiRange range = s.core().range();
            std::fprintf(stderr, "velqactl: %d is outside the sensor's range %d-%d; set to %d\n",
                         *r.clamped_from, range.min, range.max, r.stored);
        }
        const int rc = s.outcome(r);
        if (rc == Success)
            std::printf("stage %d: %d DPI\n", stage, r.stored);
        return rc;
    }};
}

Parsed parse_dpi_enable(const std::vector<std::string>& w) {
    if (w.size() != 2)
        return {std::nullopt, refuse("dpi-enable STAGE 0|1")};
    const auto stage = number_arg("STAGE", w[0], 0, StageMax);
    const auto on = stage ? number_arg("0|1", w[1], 0, 1) : std::nullopt;
    if (!stage || !on)
        return {};
    return {[stage = *stage, on = *on](MouseSession& s) {
        return s.outcome(s.apply(model::mouse::StageEnabled{stage, on != 0}));
    }};
}

Parsed parse_active_stage(const std::vector<std::string>& w) {
    if (w.size() != 1)
        return {std::nullopt, refuse("active-stage STAGE")};
    const auto stage = number_arg("STAGE", w[0], 0, StageMax);
    if (!stage)
        return {};
    return {[stage = *stage](MouseSession& s) {
        return s.outcome(s.apply(model::mouse::ActiveStage{stage, std::nullopt}));
    }};
}

Parsed parse_polling(const std::vector<std::string>& w) {
    if (w.size() != 1)
        return {std::nullopt, refuse("polling RATE")};
    const auto index = number_arg("RATE", w[0], 0, model::PollingOptions - 1);
    if (!index)
        return {};
    return {[index = *index](MouseSession& s) {
        // The rate of the link in use, as the page's polling control sets it.
        const model::PollingField field = model::polling_slider_field(s.channel().receiver_path());
        return s.outcome(s.apply(model::mouse::Polling{field, index}));
    }};
}

std::function<Parsed(const std::vector<std::string>&)> option_parser(model::MouseOption option,
                                                                     const char* usage_line) {
    return [option, usage_line](const std::vector<std::string>& w) -> Parsed {
        if (w.size() != 1)
            return {std::nullopt, refuse(usage_line)};
        const model::OptionRange r = model::option_range(option);
        const auto value = number_arg("N", w[0], r.min, r.max);
        if (!value)
            return {};
        return {[option, value = *value](MouseSession& s) {
            return s.outcome(s.apply(model::mouse::Option{option, value}));
        }};
    };
}

// "light_mode_breathing_cycle" is offered as "breathing-cycle".
std::string mode_word(const std::string& light_name) {
    std::string word = light_name;
    if (word.rfind("light_mode_", 0) == 0)
        word = word.substr(11);
    for (char& c : word)
        c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

// The mouse's built-in modes, as the page's mode list shows them: number and word.
std::vector<std::pair<int, std::string>> offered_light_modes(
    const std::filesystem::path& default_data) {
    const auto modes =
        model::light_modes(profile::read_json(default_data / "default_light.json"), 0);
    std::vector<std::pair<int, std::string>> offered;
    for (std::size_t i = 0; i < modes.size(); ++i) {
        if (modes[i].visible)
            offered.emplace_back(static_cast<int>(i), mode_word(modes[i].name));
    }
    return offered;
}

std::optional<std::uint32_t> colour_arg(std::string text) {
    if (!text.empty() && text[0] == '#')
        text.erase(0, 1);
    const bool six_hex =
        text.size() == 6 && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    const auto v = six_hex ? platform::parse_number("0x" + text, 0, 0xFFFFFF) : std::nullopt;
    if (!v) {
        std::fprintf(stderr,
                     "velqactl: --color must be six hexadecimal digits RRGGBB, not \"%s\"\n",
                     text.c_str());
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*v);
}

Parsed parse_light(const std::vector<std::string>& w, const std::filesystem::path& default_data) {
    constexpr const char* kUsage = "light MODE [--brightness N] [--speed N] [--color RRGGBB]";
    std::optional<std::string> mode_text;
    std::optional<int> brightness, speed;
    std::optional<std::uint32_t> colour;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const std::string& word = w[i];
        const bool has_value = i + 1 < w.size();
        if (word == "--brightness" || word == "--speed") {
            if (!has_value)
                return {std::nullopt, refuse(kUsage)};
            const auto v = number_arg(word.c_str() + 2, w[++i], 0, model::LightLevelMax);
            if (!v)
                return {};
            (word == "--speed" ? speed : brightness) = v;
        } else if (word == "--color") {
            if (!has_value)
                return {std::nullopt, refuse(kUsage)};
            colour = colour_arg(w[++i]);
            if (!colour)
                return {};
        } else if (!mode_text && word.rfind("--", 0) != 0) {
            mode_text = word;
        } else {
            return {std::nullopt, refuse(kUsage)};
        }
    }
    if (!mode_text)
        return {std::nullopt, refuse(kUsage)};

    std::string offered;
    std::optional<int> mode;
    for (const auto& [index, word] : offered_light_modes(default_data)) {
        offered += (offered.empty() ? "" : ", ") + std::to_string(index) + " " + word;
        if (*mode_text == word || *mode_text == std::to_string(index))
            mode = index;
    }
    if (!mode) {
        std::fprintf(stderr, "velqactl: MODE must be one of: %s; not \"%s\"\n",
                     offered.empty() ? "(no light modes in default_light.json)" : offered.c_str(),
                     mode_text->c_str());
        return {};
    }
    return {[=](MouseSession& s) {
        profile::LightInfo info = s.profile().light_info();
        info.mode = static_cast<std::uint8_t>(*mode);
        if (brightness)
            info.brightness = static_cast<std::uint8_t>(*brightness);
        if (speed)
            info.speed = static_cast<std::uint8_t>(*speed);
        if (colour) {
            info.red = static_cast<std::uint8_t>(*colour >> 16);
            info.green = static_cast<std::uint8_t>(*colour >> 8);
            info.blue = static_cast<std::uint8_t>(*colour);
        }
        return s.outcome(s.apply(model::mouse::Lighting{info}));
    }};
}

constexpr const char* kUsageText =
    "  set dpi STAGE VALUE        DPI of stage 0-5 (clamped to the sensor's range: 50-26000 for\n"
    "                             the 3395, 50-30000 for the 3950)\n"
    "  set dpi-enable STAGE 0|1   stage 0-5 on or off\n"
    "  set active-stage STAGE     the active DPI stage, 0-5\n"
    "  set polling RATE           polling rate of the link in use: option 0-5 (125, 250, 500,\n"
    "                             1000, 2000, 4000 Hz)\n"
    "  set lod 0|1                lift-off distance option\n"
    "  set motion-sync 0|1        motion sync\n"
    "  set linear 0|1             linear calibration\n"
    "  set key-delay 0-5          key delay option\n"
    "  set sleep 1-6              sleep time option (180, 240, 300, 600, 900, 1200 s)\n"
    "  set deep-sleep 0|1         deep sleep\n"
    "  set light MODE [--brightness 0-4] [--speed 0-4] [--color RRGGBB]\n"
    "                             lighting mode (number or name) and its values\n"
    "      every set command takes [--link cable|receiver]; it saves the mouse's profile and\n"
    "      writes the settings record to the mouse at once, as the window does";

// One line a setting: the polling rates and sleep times with what they mean, the light modes
// with their numbers.
std::vector<Candidate> set_values(const std::vector<std::string>& before,
                                  std::string_view placeholder, std::string_view) {
    const std::string what = before.empty() ? std::string() : before[0];
    std::vector<Candidate> values;
    if (placeholder == "RATE") {
        for (int i = 0; i < model::PollingOptions; ++i)
            values.push_back({std::to_string(i), std::to_string(125 << i) + " Hz"});
    } else if (what == "sleep" && placeholder == "1-6") {
        static const char* const seconds[] = {"180", "240", "300", "600", "900", "1200"};
        for (int i = 1; i <= 6; ++i)
            values.push_back({std::to_string(i), std::string(seconds[i - 1]) + " s"});
    } else if (placeholder == "MODE") {
        for (const auto& [index, word] :
             offered_light_modes(platform::resources_folder() / "DefaultData"))
            values.push_back({word, "mode " + std::to_string(index)});
    }
    return values;
}

int run_set(const Context& context, const std::vector<std::string>& args) {
    const LinkOptions o = parse_link_options(args);
    if (!o.ok || o.rest.empty()) {
        std::fprintf(stderr, "usage:\n%s\n", kUsageText);
        return UsageError;
    }
    using model::MouseOption;
    const std::filesystem::path default_data = platform::resources_folder() / "DefaultData";
    const std::string& what = o.rest[0];
    const std::vector<std::string> words(o.rest.begin() + 1, o.rest.end());

    Parsed parsed;
    if (what == "dpi") {
        parsed = parse_dpi(words, model::sensor_table(context.devices));
    } else if (what == "dpi-enable") {
        parsed = parse_dpi_enable(words);
    } else if (what == "active-stage") {
        parsed = parse_active_stage(words);
    } else if (what == "polling") {
        parsed = parse_polling(words);
    } else if (what == "lod") {
        parsed = option_parser(MouseOption::LiftOff, "lod 0|1")(words);
    } else if (what == "motion-sync") {
        parsed = option_parser(MouseOption::MotionSync, "motion-sync 0|1")(words);
    } else if (what == "linear") {
        parsed = option_parser(MouseOption::LinearCalibration, "linear 0|1")(words);
    } else if (what == "key-delay") {
        parsed = option_parser(MouseOption::KeyDelay, "key-delay 0-5")(words);
    } else if (what == "sleep") {
        parsed = option_parser(MouseOption::SleepTime, "sleep 1-6")(words);
    } else if (what == "deep-sleep") {
        parsed = option_parser(MouseOption::DeepSleep, "deep-sleep 0|1")(words);
    } else if (what == "light") {
        parsed = parse_light(words, default_data);
    } else {
        std::fprintf(stderr, "velqactl: no setting \"%s\"\nusage:\n%s\n", what.c_str(), kUsageText);
        return UsageError;
    }
    // Refused words never reach the mouse or the profile.
    if (!parsed.change)
        return parsed.exit_code;

    MouseSession session(context);
    if (const int rc = session.open(o.link, selected_mouse_profile(default_data), default_data);
        rc != Success)
        return rc;
    int rc = Failed;
    {
        const Progress progress("writing the settings to the mouse");
        rc = (*parsed.change)(session);
    }
    // One line for every change that reached the mouse (dpi says its clamped value itself).
    if (rc == Success && what != "dpi") {
        std::string change = what;
        for (const std::string& word : words)
            change += " " + word;
        std::printf("%s: saved and written to the mouse\n", shown(change).c_str());
    }
    return rc;
}

const RegisterCommand reg_set("set", kUsageText, run_set, set_values);

}  // namespace

}  // namespace velqa::ctl
