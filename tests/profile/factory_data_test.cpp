// Lints the factory profiles and light names shipped in DefaultData: every file loads into
// complete records, and the values are the ones a new user should see.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "profile/json_access.h"
#include "profile/profile_data.h"
#include "profile/profile_files.h"
#include "support/temp_dir.h"

namespace velqa::profile {
namespace {

namespace fs = std::filesystem;

constexpr int MouseKeyCount = 11;
constexpr int PollingIndex1000Hz = 3;

class ProfileFactoryData : public testing::Test {
  protected:
    velqa::test::ScopedEnv resources_{"VELQA_RESOURCE_DIR", velqa::test::source_dir().string()};

    // Checks that every named member of `object` is a JSON integer.
    static void expect_integers(const Json::Value& object, std::initializer_list<const char*> keys,
                                const std::string& where) {
        for (const char* key : keys) {
            EXPECT_TRUE(member(object, key).isInt()) << where << " lacks integer " << key;
        }
    }

    static void expect_light_members(const Json::Value& section, const std::string& where) {
        expect_integers(member(section, "LightInfo"),
                        {"SelectItem", "Light", "Speed", "Fx", "MultiColor", "Red", "Green", "Blue",
                         "ZZCCLedMode", "CustomGroup", "OldLedmode"},
                        where + ".LightInfo");
        const Json::Value& list = member(section, "LightList");
        ASSERT_TRUE(list.isArray()) << where;
        for (const Json::Value& step : list) {
            expect_integers(step,
                            {"LEDREGMode", "LEDBrightness", "LEDSpeed", "LEDDirection",
                             "LEDMultiColor", "red", "green", "blue"},
                            where + ".LightList");
        }
        EXPECT_TRUE(member(section, "KeyList").isArray()) << where << " needs a KeyList to save";
    }

    template <typename Data>
    static Json::Value load_factory(Data& data, std::string_view kind, int index) {
        data.set_device_index(index);
        data.set_default_path(default_profile_path(kind));
        data.load_other_section(default_profile_path(kind));
        const Json::Value document = read_json(default_profile_path(kind));
        EXPECT_FALSE(document.isNull()) << kind;
        EXPECT_TRUE(document["profilename"].isString()) << kind;
        EXPECT_TRUE(document["profileUUID"].isString()) << kind;
        const Json::Value& section = element(member(document, "Device"), index);
        EXPECT_TRUE(section.isObject()) << kind << " has no element " << index;
        return document;
    }
};

TEST_F(ProfileFactoryData, MouseProfileIsCompleteAndSensible) {
    CMouseProfiledata probe;
    const Json::Value document = load_factory(probe, KindMouse, 0);
    const Json::Value& section = document["Device"][0];

    expect_integers(section["SystemStages"],
                    {"DoubleClickTime", "MouseSpeed", "PointerPrecision", "ScorllPage",
                     "WheelScorlllinse", "DormancyTime", "SilentAltitudeItem", "AntiShake",
                     "SensorLif", "MotionSync", "LinearCalibration", "KeyDelay", "DeepSleepOff",
                     "sleeptime", "sleeptimeH", "ReportSelectItemUSB", "ReportSelectItem24K"},
                    "mouse.SystemStages");
    expect_integers(section["ReportStages"], {"StageActive"}, "mouse.ReportStages");
    expect_light_members(section, "mouse");

    // Both stage sets: six enabled stages with distinct colours inside the sensor's range.
    ASSERT_EQ(section["DPIStages"].size(), 2u);
    for (const auto& [set, max_dpi] : {std::pair{StageSet3395, 26000}, {StageSet3950, 30000}}) {
        CMouseProfiledata data;
        data.set_device_index(0);
        data.set_default_path(default_profile_path(KindMouse));
        velqa::test::TempDir dir;
        data.load_section(dir / "new.Json");
        expect_integers(section["DPIStages"][set], {"StageActive"}, "stage set");
        const std::vector<DpiStage> stages = data.read_dpi_stages(set);
        ASSERT_EQ(stages.size(), 6u) << "set " << set;
        EXPECT_GE(data.active_stage(), 0);
        EXPECT_LT(data.active_stage(), 6);
        std::set<std::tuple<int, int, int>> colours;
        int previous = 0;
        for (const DpiStage& s : stages) {
            EXPECT_EQ(s.stage_flag, 1);
            EXPECT_EQ(s.xy_flag, 0);
            EXPECT_EQ(s.dpi_x, s.dpi_y);
            EXPECT_GE(s.dpi_x, 50);
            EXPECT_LE(s.dpi_x, max_dpi);
            EXPECT_EQ(s.dpi_x % 50, 0);
            EXPECT_GT(s.dpi_x, previous);
            previous = s.dpi_x;
            colours.insert({s.red, s.green, s.blue});
        }
        EXPECT_EQ(colours.size(), 6u) << "set " << set << " repeats a colour";
        EXPECT_EQ(colours.count({0, 0, 0}), 0u) << "an unlit stage colour";
        for (const Json::Value& stage : section["DPIStages"][set]["StageDPIs"]) {
            expect_integers(stage,
                            {"StageActive", "StageXY", "StageDPIX", "StageDPIY", "StageColorR",
                             "StageColorG", "StageColorB"},
                            "stage");
        }
    }

    CMouseProfiledata data;
    data.set_device_index(0);
    data.set_default_path(default_profile_path(KindMouse));
    velqa::test::TempDir dir;
    data.load_section(dir / "new.Json");
    const MouseSystemSettings s = data.read_system_settings();
    EXPECT_EQ(s.report_item_usb, PollingIndex1000Hz);
    EXPECT_EQ(s.report_item_24g, PollingIndex1000Hz);
    EXPECT_EQ(s.report_rate_stage, PollingIndex1000Hz);
    EXPECT_EQ(s.silent_altitude, 0) << "lift-off low";
    EXPECT_LE(s.key_delay, 5);
    EXPECT_EQ(s.key_delay, 2) << "4 ms";
    EXPECT_GE(s.dormancy_time, 1);
    EXPECT_LE(s.dormancy_time, 6);
    EXPECT_NE(s.deep_sleep_off, 0) << "a wireless mouse sleeps by default";
    EXPECT_LE(s.motion_sync, 1);
    EXPECT_LE(s.linear_calibration, 1);
    EXPECT_LE(s.sensor_lift, 1);
    EXPECT_GE(s.double_click_time, 200);
    EXPECT_GE(s.wheel_scroll_lines, 1);

    // A key list for every key of the page, each assignment a known function and its default.
    const std::vector<KeyAssignment> keys = data.read_key_list();
    ASSERT_EQ(keys.size(), static_cast<size_t>(MouseKeyCount));
    const std::set<int> classes{0x10, 0x11, 0x12, 0x13, 0x14, 0x20, 0x30, 0x40};
    for (const KeyAssignment& k : keys) {
        EXPECT_EQ(k.current, k.default_code) << "key " << k.key_index;
        EXPECT_EQ(classes.count(k.current.function_class), 1u) << "key " << k.key_index;
    }
    EXPECT_EQ(keys[0].current, (KeyCode{0x10, 0x01, 0x00})) << "left button first";
    EXPECT_EQ(keys[1].current, (KeyCode{0x10, 0x02, 0x00})) << "right button second";

    // The lighting mode is one of the visible built-in modes.
    const Json::Value modes = read_json(default_data_folder() / "default_light.json");
    const LightInfo light = data.read_light_info();
    const Json::Value& mode = modes["DefaultLightName"][0][light.mode];
    EXPECT_TRUE(mode["visible"].asBool());
    EXPECT_GE(light.brightness, 1);
}

TEST_F(ProfileFactoryData, KeyboardMousePadAndHeadsetProfilesAreComplete) {
    CKeyboardProfiledata keyboard;
    const Json::Value kb = load_factory(keyboard, KindKeyboard, 0);
    const Json::Value& kbs = kb["Device"][0];
    expect_integers(kbs["SystemStages"],
                    {"Repeat", "RepeatDelay", "Key6Flag", "PollingRate", "WFlag", "WinFlag"},
                    "keyboard.SystemStages");
    expect_integers(kbs["AudioLightInfo"],
                    {"AudioMode", "BkColorR", "BkColorG", "BkColorB", "FgColorR", "FgColorG",
                     "FgColorB", "7ColorFlags", "ColorTypeFlags"},
                    "keyboard.AudioLightInfo");
    expect_integers(kbs["CustomLightMode"], {"CustomLightModeGroupIndex"}, "keyboard");
    EXPECT_TRUE(kbs["CustomLightMode"]["LightColorInfo"].isArray());
    expect_light_members(kbs, "keyboard");

    CBasicProfiledata pad;
    const Json::Value pd = load_factory(pad, KindMousePad, 2);
    expect_light_members(pd["Device"][2], "MousePad");
    EXPECT_EQ(pd["Device"].size(), 3u);

    CDa6533Profiledata headset;
    const Json::Value hd = load_factory(headset, KindHeadset, 3);
    const Json::Value& hds = hd["Device"][3];
    expect_integers(hds["SystemSetStages"],
                    {"MagicEnable", "MagicType", "EqType", "CustomEqSeletIndex", "MicInSelect",
                     "MicInValue", "MicMoniterSelect", "MicMoniterValue"},
                    "HD.SystemSetStages");
    expect_light_members(hds, "HD");
    ASSERT_TRUE(hds["EQHzValueInfo"].isArray());
    EXPECT_GE(hds["EQHzValueInfo"].size(), 1u);
    for (const Json::Value& preset : hds["EQHzValueInfo"]) {
        ASSERT_EQ(preset.size(), 10u);
        for (const Json::Value& band : preset)
            expect_integers(band, {"value"}, "EQ band");
    }
    EXPECT_TRUE(hds["CustomEQNameInfo"].isArray());
    EXPECT_TRUE(hds["CustomEQHzValueInfo"].isArray());

    // Loaded through the data objects, the records read as the files say.
    velqa::test::TempDir dir;
    headset.load_section(dir / "h.Json");
    EXPECT_EQ(headset.read_eq_presets().size(), hds["EQHzValueInfo"].size());
    keyboard.load_section(dir / "k.Json");
    EXPECT_EQ(keyboard.read_keyboard_settings().repeat, kbs["SystemStages"]["Repeat"].asInt());
}

TEST_F(ProfileFactoryData, LightModeNamesAreTextIdsWithDistinctValues) {
    const Json::Value doc = read_json(default_data_folder() / "default_light.json");
    ASSERT_TRUE(doc["DefaultLightName"].isArray());
    ASSERT_TRUE(doc["AreaLightName"].isArray());
    for (const int model : {0, 2, 3}) {
        const Json::Value& modes = doc["DefaultLightName"][model];
        ASSERT_TRUE(modes.isArray()) << model;
        EXPECT_GE(modes.size(), 2u);
        // The device record selects at most twelve modes (index 0 to 11).
        EXPECT_LE(modes.size(), 12u);
        std::set<int> values;
        for (const Json::Value& m : modes) {
            ASSERT_TRUE(m["LightName"].isString());
            EXPECT_EQ(m["LightName"].asString().rfind("light_mode_", 0), 0u);
            EXPECT_TRUE(m["visible"].isBool());
            ASSERT_TRUE(m["value"].isInt());
            values.insert(m["value"].asInt());
        }
        EXPECT_EQ(values.size(), modes.size()) << "model " << model;
        for (const Json::Value& area : doc["AreaLightName"][model]) {
            EXPECT_TRUE(area["LightName"].isString());
        }
    }
}

TEST_F(ProfileFactoryData, NewProfileFromTheFactorySavesAndReloadsUnchanged) {
    velqa::test::TempDir dir;
    CMouseProfiledata data;
    data.set_device_index(0);
    data.set_default_path(default_profile_path(KindMouse));
    data.set_profile_path(dir / "p.Json");
    data.load_section(dir / "p.Json");
    data.read_dpi_stages(StageSet3395);
    data.write_dpi_stages(data.dpi_stages(), StageSet3395);
    data.write_system_settings(data.read_system_settings());
    data.write_key_list(data.read_key_list());
    data.write_light_info(data.read_light_info());
    data.save();
    const Json::Value factory = read_json(default_profile_path(KindMouse))["Device"][0];
    EXPECT_EQ(read_json(dir / "p.Json")["Device"][0], factory);
}

}  // namespace
}  // namespace velqa::profile
