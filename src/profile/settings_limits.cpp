#include "profile/settings_limits.h"

#include <algorithm>

#include "profile/json_access.h"
#include "profile/record_fields.h"
#include "profile/sensor_table.h"

namespace velqa::profile {

namespace {

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

// A whole number (or a flag) in range stays as written; anything else (text, a fraction, a
// number beyond the field) is replaced by what the device will be sent.
void hold_value(Json::Value& value, ValueRange range, const std::string& path, Corrections& out) {
    const int held = range.hold(to_int(value));
    if ((value.isIntegral() || value.isBool()) && to_int(value) == held)
        return;
    out.add(path + ": " + shown(value) + " -> " + std::to_string(held));
    value = held;
}

// Holds the ranged members of `object` (of its group member, for a row with a group) named by
// `fields`; members it lacks stay absent.
template <typename Record, std::size_t N>
void hold_members(Json::Value& object, const RecordField<Record> (&fields)[N],
                  const std::string& where, Corrections& out, ValueRange stage_dpi = {}) {
    if (!object.isObject())
        return;
    for (const RecordField<Record>& f : fields) {
        const auto range = field_range(f, stage_dpi);
        if (!range)
            continue;
        if (f.group && !member(object, f.group).isObject())
            continue;
        Json::Value& holder = f.group ? object[f.group] : object;
        if (!holder.isMember(f.name))
            continue;
        const std::string path = f.group ? where + "." + f.group : where;
        hold_value(holder[f.name], *range, path + "." + f.name, out);
    }
}

void hold_section(Json::Value& section, const std::string& where, const SensorTable& sensors,
                  Corrections& out) {
    if (!section.isObject())
        return;
    if (section.isMember("DPIStages") && section["DPIStages"].isArray()) {
        Json::Value& sets = section["DPIStages"];
        // Only the two stage sets the sensors use reach the mouse.
        for (Json::ArrayIndex set = 0; set < std::min(sets.size(), 2u); ++set) {
            const std::string set_path = where + ".DPIStages[" + std::to_string(set) + "]";
            Json::Value& stage_set = sets[set];
            if (stage_set.isObject() && stage_set.isMember("StageActive"))
                hold_value(stage_set["StageActive"], StageIndexRange, set_path + ".StageActive",
                           out);
            if (!member(stage_set, "StageDPIs").isArray())
                continue;
            Json::Value& stages = stage_set["StageDPIs"];
            const ValueRange dpi = sensors.sensors().empty()
                                       ? ValueRange{0, 0xFFFF}
                                       : sensors.dpi_range_of_set(static_cast<int>(set));
            for (Json::ArrayIndex i = 0; i < stages.size(); ++i) {
                hold_members(stages[i], DpiStageFields,
                             set_path + ".StageDPIs[" + std::to_string(i) + "]", out, dpi);
            }
        }
    }
    // A section is a mouse's or a keyboard's; the two tables share no member name.
    hold_members(section, MouseSettingsFields, where, out);
    hold_members(section, KeyboardSettingsFields, where, out);
    if (section.isMember("LightInfo"))
        hold_members(section["LightInfo"], LightFields, where + ".LightInfo", out);
    if (section.isMember("AudioLightInfo"))
        hold_members(section["AudioLightInfo"], AudioLightFields, where + ".AudioLightInfo", out);
}

}  // namespace

int ValueRange::hold(std::int64_t value) const {
    return static_cast<int>(std::clamp<std::int64_t>(value, min, max));
}

void hold_in_range(DpiStage& stage, ValueRange dpi) {
    hold_fields(DpiStageFields, stage, dpi);
}

void hold_in_range(LightInfo& light) {
    hold_fields(LightFields, light);
}

void hold_in_range(AudioLightInfo& audio) {
    hold_fields(AudioLightFields, audio);
}

void hold_in_range(MouseSystemSettings& settings) {
    hold_fields(MouseSettingsFields, settings);
}

void hold_in_range(KeyboardSystemSettings& settings) {
    hold_fields(KeyboardSettingsFields, settings);
}

std::vector<std::string> hold_profile_values(Json::Value& document, const SensorTable& sensors) {
    Corrections out;
    if (!document.isObject() || !member(document, "Device").isArray())
        return out.lines;
    Json::Value& devices = document["Device"];
    for (Json::ArrayIndex i = 0; i < devices.size(); ++i)
        hold_section(devices[i], "Device[" + std::to_string(i) + "]", sensors, out);
    if (out.more > 0)
        out.lines.push_back("and " + std::to_string(out.more) + " more values");
    return out.lines;
}

}  // namespace velqa::profile
