#include "profile/settings_limits.h"

#include <algorithm>

#include "profile/json_access.h"

namespace velqa::profile {

namespace {

template <typename Field>
void hold_field(Field& field, ValueRange range) {
    field = static_cast<Field>(range.hold(field));
}

// A value as the correction list shows it: numbers as written, anything else as short JSON.
std::string shown(const Json::Value& value) {
    if (value.isObject())
        return "(object)";
    if (value.isArray())
        return "(array)";
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    std::string text = Json::writeString(writer, value);
    // A hostile file may hold megabytes in one string; the list only has to name it.
    constexpr std::size_t MaxShown = 40;
    if (text.size() > MaxShown)
        text = text.substr(0, MaxShown) + "...";
    return text;
}

// The lines of a correction list. A hostile file can hold thousands of bad values; the list
// names the first ones and counts the rest.
struct Corrections {
    static constexpr std::size_t MaxListed = 100;
    std::vector<std::string> lines;
    std::size_t more = 0;
    void add(std::string line) {
        if (lines.size() < MaxListed)
            lines.push_back(std::move(line));
        else
            ++more;
    }
};

struct Rule {
    const char* key;
    ValueRange range;
};

// Holds the members of `object` named by `rules`; members it lacks stay absent.
void hold_members(Json::Value& object, std::initializer_list<Rule> rules, const std::string& where,
                  Corrections& out) {
    if (!object.isObject())
        return;
    for (const Rule& rule : rules) {
        if (!object.isMember(rule.key))
            continue;
        Json::Value& value = object[rule.key];
        const int held = rule.range.hold(to_int(value));
        // A whole number (or a flag) in range stays as written; anything else (text, a
        // fraction, a number beyond the field) is replaced by what the device will be sent.
        if ((value.isIntegral() || value.isBool()) && to_int(value) == held)
            continue;
        out.add(where + "." + rule.key + ": " + shown(value) + " -> " + std::to_string(held));
        value = held;
    }
}

void hold_section(Json::Value& section, const std::string& where, Corrections& out) {
    if (!section.isObject())
        return;
    if (section.isMember("DPIStages") && section["DPIStages"].isArray()) {
        Json::Value& sets = section["DPIStages"];
        // Only the two stage sets the sensors use reach the mouse.
        for (Json::ArrayIndex set = 0; set < std::min(sets.size(), 2u); ++set) {
            const std::string set_path = where + ".DPIStages[" + std::to_string(set) + "]";
            Json::Value& stage_set = sets[set];
            hold_members(stage_set, {{"StageActive", StageIndexRange}}, set_path, out);
            if (!member(stage_set, "StageDPIs").isArray())
                continue;
            Json::Value& stages = stage_set["StageDPIs"];
            const ValueRange dpi = dpi_range_of_set(static_cast<int>(set));
            for (Json::ArrayIndex i = 0; i < stages.size(); ++i) {
                hold_members(stages[i],
                             {{"StageActive", TwoWayRange},
                              {"StageXY", TwoWayRange},
                              {"StageDPIX", dpi},
                              {"StageDPIY", dpi},
                              {"StageColorR", ByteRange},
                              {"StageColorG", ByteRange},
                              {"StageColorB", ByteRange}},
                             set_path + ".StageDPIs[" + std::to_string(i) + "]", out);
            }
        }
    }
    if (section.isMember("ReportStages"))
        hold_members(section["ReportStages"], {{"StageActive", PollingIndexRange}},
                     where + ".ReportStages", out);
    if (section.isMember("SystemStages"))
        hold_members(section["SystemStages"],
                     {{"ReportSelectItemUSB", PollingIndexRange},
                      {"ReportSelectItem24K", PollingIndexRange},
                      {"SilentAltitudeItem", TwoWayRange},
                      {"SensorLif", TwoWayRange},
                      {"MotionSync", TwoWayRange},
                      {"LinearCalibration", TwoWayRange},
                      {"DeepSleepOff", TwoWayRange},
                      {"DormancyTime", SleepTimeIndexRange},
                      {"KeyDelay", KeyDelayIndexRange}},
                     where + ".SystemStages", out);
    if (section.isMember("LightInfo"))
        hold_members(section["LightInfo"],
                     {{"SelectItem", ByteRange},
                      {"Light", LightLevelRange},
                      {"Speed", LightLevelRange},
                      {"Fx", ByteRange},
                      {"MultiColor", TwoWayRange},
                      {"Red", ByteRange},
                      {"Green", ByteRange},
                      {"Blue", ByteRange}},
                     where + ".LightInfo", out);
}

}  // namespace

int ValueRange::hold(std::int64_t value) const {
    return static_cast<int>(std::clamp<std::int64_t>(value, min, max));
}

ValueRange dpi_range_of_set(int stage_set) {
    return ValueRange{DpiMin, stage_set == 1 ? 30000 : 26000};
}

void hold_in_range(DpiStage& stage, int stage_set) {
    const ValueRange dpi = dpi_range_of_set(stage_set);
    hold_field(stage.stage_flag, TwoWayRange);
    hold_field(stage.xy_flag, TwoWayRange);
    hold_field(stage.dpi_x, dpi);
    hold_field(stage.dpi_y, dpi);
}

void hold_in_range(LightInfo& light) {
    hold_field(light.brightness, LightLevelRange);
    hold_field(light.speed, LightLevelRange);
    hold_field(light.multi_colour, TwoWayRange);
}

void hold_in_range(MouseSystemSettings& s) {
    hold_field(s.report_rate_stage, PollingIndexRange);
    hold_field(s.report_item_usb, PollingIndexRange);
    hold_field(s.report_item_24g, PollingIndexRange);
    hold_field(s.silent_altitude, TwoWayRange);
    hold_field(s.sensor_lift, TwoWayRange);
    hold_field(s.motion_sync, TwoWayRange);
    hold_field(s.linear_calibration, TwoWayRange);
    hold_field(s.deep_sleep_off, TwoWayRange);
    hold_field(s.dormancy_time, SleepTimeIndexRange);
    hold_field(s.key_delay, KeyDelayIndexRange);
}

std::vector<std::string> hold_profile_values(Json::Value& document) {
    Corrections out;
    if (!document.isObject() || !member(document, "Device").isArray())
        return out.lines;
    Json::Value& devices = document["Device"];
    for (Json::ArrayIndex i = 0; i < devices.size(); ++i)
        hold_section(devices[i], "Device[" + std::to_string(i) + "]", out);
    if (out.more > 0)
        out.lines.push_back("and " + std::to_string(out.more) + " more values");
    return out.lines;
}

}  // namespace velqa::profile
