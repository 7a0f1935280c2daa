// velqactl profile show [KIND] [--file PATH]: the kind's profile folder and default profile
// file, and the records decoded from a profile (the factory profile unless --file is given),
// as JSON on stdout.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "command_registry.h"
#include "profile/json_access.h"
#include "profile/profile_data.h"
#include "profile/profile_files.h"

namespace {

namespace fs = std::filesystem;
using namespace velqa::profile;
using velqa::ctl::RegisterCommand;

struct KindInfo {
    std::string_view name;
    int model_index;
};

constexpr KindInfo Kinds[] = {
    {KindMouse, 0}, {KindKeyboard, 0}, {KindMousePad, 2}, {KindHeadset, 3}};

Json::Value light_json(const LightInfo& r) {
    Json::Value o(Json::objectValue);
    o["mode"] = r.mode;
    o["brightness"] = r.brightness;
    o["speed"] = r.speed;
    o["direction"] = r.direction;
    o["multiColour"] = r.multi_colour;
    o["red"] = r.red;
    o["green"] = r.green;
    o["blue"] = r.blue;
    o["secondMode"] = r.second_mode;
    o["customGroup"] = r.custom_group;
    o["previousMode"] = r.previous_mode;
    return o;
}

Json::Value keys_json(const std::vector<KeyAssignment>& keys) {
    Json::Value list(Json::arrayValue);
    char text[16];
    for (const KeyAssignment& k : keys) {
        Json::Value o(Json::objectValue);
        o["key"] = k.key_index;
        std::snprintf(text, sizeof text, "%02X %02X %02X", k.current.function_class,
                      k.current.first, k.current.second);
        o["assignment"] = text;
        std::snprintf(text, sizeof text, "%02X %02X %02X", k.default_code.function_class,
                      k.default_code.first, k.default_code.second);
        o["default"] = text;
        list.append(o);
    }
    return list;
}

Json::Value stages_json(CMouseProfiledata& data, int set) {
    // A fresh reader per set: reads merge into the held list and never shorten it.
    CMouseProfiledata reader;
    reader.set_section(data.section());
    const std::vector<DpiStage> list = reader.read_dpi_stages(set);
    Json::Value s(Json::objectValue);
    s["sensor"] = set == StageSet3395 ? "0x3395" : "0x3950";
    s["activeStage"] = reader.active_stage();
    Json::Value& stages = s["stages"] = Json::Value(Json::arrayValue);
    for (const DpiStage& st : list) {
        Json::Value j(Json::objectValue);
        j["enabled"] = st.stage_flag;
        j["xy"] = st.xy_flag;
        j["dpiX"] = st.dpi_x;
        j["dpiY"] = st.dpi_y;
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%02X%02X%02X", st.red, st.green, st.blue);
        j["colour"] = colour;
        stages.append(j);
    }
    return s;
}

Json::Value system_json(const MouseSystemSettings& r) {
    Json::Value sys(Json::objectValue);
    sys["doubleClickTime"] = r.double_click_time;
    sys["pointerSpeed"] = r.pointer_speed;
    sys["pointerPrecision"] = r.pointer_precision;
    sys["scrollPage"] = r.scroll_page;
    sys["wheelScrollLines"] = r.wheel_scroll_lines;
    sys["reportRateStage"] = r.report_rate_stage;
    sys["dormancyTime"] = r.dormancy_time;
    sys["antiShake"] = r.anti_shake;
    sys["liftOff"] = r.silent_altitude;
    sys["sensorLift"] = r.sensor_lift;
    sys["motionSync"] = r.motion_sync;
    sys["linearCalibration"] = r.linear_calibration;
    sys["keyDelay"] = r.key_delay;
    sys["deepSleepOff"] = r.deep_sleep_off;
    sys["sleepTime"] = r.sleep_time;
    sys["sleepTimeHigh"] = r.sleep_time_high;
    sys["reportItemUSB"] = r.report_item_usb;
    sys["reportItem24G"] = r.report_item_24g;
    return sys;
}

int show(const std::vector<std::string>& args) {
    std::string kind_name(KindMouse);
    fs::path file;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--file" && i + 1 < args.size()) {
            file = args[++i];
        } else if (!args[i].empty() && args[i][0] != '-') {
            kind_name = args[i];
        } else {
            std::fprintf(stderr, "velqactl profile show: unexpected '%s'\n", args[i].c_str());
            return velqa::ctl::UsageError;
        }
    }
    const KindInfo* kind = nullptr;
    for (const KindInfo& k : Kinds) {
        if (k.name == kind_name)
            kind = &k;
    }
    if (kind == nullptr) {
        std::fprintf(stderr,
                     "velqactl profile show: unknown kind '%s' (mouse, keyboard, "
                     "MousePad, HD)\n",
                     kind_name.c_str());
        return velqa::ctl::UsageError;
    }
    const fs::path default_path = default_profile_path(kind->name);
    const fs::path source = file.empty() ? default_path : file;
    const Json::Value document = read_json(source);
    if (document.isNull()) {
        std::fprintf(stderr, "velqactl profile show: %s is missing or not JSON\n", source.c_str());
        return velqa::ctl::Failed;
    }

    Json::Value out(Json::objectValue);
    out["kind"] = std::string(kind->name);
    out["profileFolder"] = profile_folder(kind->name).string();
    out["defaultProfile"] = default_path.string();
    out["source"] = source.string();

    // Decoded from the file as it is: showing a profile never writes it.
    const Json::Value& section =
        element(member(document, "Device"), static_cast<Json::ArrayIndex>(kind->model_index));
    if (!section.isObject()) {
        std::fprintf(stderr, "velqactl profile show: %s has no device element %d\n", source.c_str(),
                     kind->model_index);
        return velqa::ctl::Failed;
    }
    CMouseProfiledata data;
    data.set_device_index(kind->model_index);
    data.set_section(section);
    Json::Value records(Json::objectValue);
    records["light"] = light_json(data.read_light_info());
    records["keys"] = keys_json(data.read_key_list());
    if (kind->name == KindMouse) {
        records["stageSets"].append(stages_json(data, StageSet3395));
        records["stageSets"].append(stages_json(data, StageSet3950));
        records["system"] = system_json(data.read_system_settings());
    }
    out["records"] = records;
    std::fputs(styled_json(out).c_str(), stdout);
    return velqa::ctl::Success;
}

int run_profile(const std::vector<std::string>& args) {
    if (args.empty() || args[0] != "show") {
        std::fprintf(stderr, "usage: velqactl profile show [KIND] [--file PATH]\n");
        return velqa::ctl::UsageError;
    }
    return show(std::vector<std::string>(args.begin() + 1, args.end()));
}

const RegisterCommand kProfile("profile",
                               "  profile show [KIND] [--file PATH]  profile folder, default "
                               "profile and the decoded records as JSON",
                               run_profile);

}  // namespace
