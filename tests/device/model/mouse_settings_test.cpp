// The mouse's settings logic without a device: DPI limits, routing tables, notifications, and
// the record built from the profile.
#include <gtest/gtest.h>

#include <fstream>

#include "device/model/mouse_settings.h"
#include "profile/profile_files.h"
#include "support/shipped_devices.h"
#include "support/temp_dir.h"

namespace velqa::model {
namespace {

using link::SensorA;
using link::SensorB;

const link::DeviceModel& shipped_mouse() {
    static const link::DeviceCatalog catalog = test::shipped_devices();
    for (const link::DeviceModel& m : catalog.models()) {
        if (m.product_string == "VELQA-R260")
            return m;
    }
    throw std::runtime_error("the shipped devices lack the R260");
}

// A sensor as the shipped R260 file describes it.
profile::Sensor shipped(std::uint16_t sensor_id) {
    return sensor_table(shipped_mouse()).sensor(sensor_id);
}

using Kind = NotificationAction::Kind;

// What the page stores for a typed DPI: the text's number, held within the sensor's range.
TEST(MouseDpi, TypedValuesAreClampedToTheSensorsRange) {
    const auto stored_for = [](std::string_view text, const profile::Sensor& sensor) {
        return sensor.dpi.hold(typed_number(text));
    };
    EXPECT_EQ(stored_for("", shipped(SensorA)), 50);
    EXPECT_EQ(stored_for("27000", shipped(SensorA)), 26000);
    EXPECT_EQ(stored_for("27000", shipped(SensorB)), 27000);
    EXPECT_EQ(stored_for("30000", shipped(SensorB)), 30000);
    EXPECT_EQ(stored_for("30001", shipped(SensorB)), 30000);
    EXPECT_EQ(stored_for(" 1600dpi", shipped(SensorA)), 1600);
    EXPECT_EQ(stored_for("abc", shipped(SensorA)), 50);
    EXPECT_EQ(stored_for("-800", shipped(SensorA)), 50);
    EXPECT_EQ(stored_for("99999999999999999999", shipped(SensorA)), 26000);
    EXPECT_EQ(dpi_range(shipped(0x1234)), (DpiRange{50, 26000}));
    EXPECT_EQ(dpi_display_value(1234), 1250);
    EXPECT_EQ(dpi_display_value(1250), 1250);
    EXPECT_EQ(dpi_display_value(50), 50);
}

// Another sensor is a line of data; a damaged line is refused with the file and member named.
TEST(MouseSensors, DeviceFileDecidesEachSensorsSetAndLimit) {
    test::TempDir dir;
    const auto file_with = [&](const std::string& third) {
        std::ofstream(dir / "mouse.json") << R"({"Name":"M","Kind":"mouse","ProductString":"m",
            "Links":[{"Link":"cable","VendorId":"maker","ProductId":"1234"}],"Interface":1,
            "Collections":[],"Page":{"Layout":"x.xml","Integers":[0,0,0,0],"ModelIndex":0},
            "Sensors":[{"SensorId":"3395","StageSet":0,"DpiMax":26000},
                       {"SensorId":"3950","StageSet":1,"DpiMax":30000},)"
                                          << third << "]}";
        std::string error;
        auto model = link::read_device_model(dir / "mouse.json", {}, &error);
        return std::pair{model, error};
    };
    const auto [model, error] = file_with(R"({"SensorId":"0x3360","StageSet":1,"DpiMax":12000})");
    ASSERT_TRUE(model) << error;
    const profile::SensorTable table = sensor_table(*model);
    EXPECT_EQ(table.stage_set_for(0x3360), 1);
    EXPECT_EQ(table.dpi_range_for(0x3360), (DpiRange{50, 12000}));
    EXPECT_EQ(table.dpi_range_for(SensorB), (DpiRange{50, 30000}));
    EXPECT_EQ(table.dpi_range_for(0x1234), (DpiRange{50, 12000}));

    EXPECT_EQ(file_with(R"({"SensorId":"33G0","StageSet":1,"DpiMax":12000})").second,
              "mouse.json: Sensors[2].SensorId: must be a hexadecimal ID 0000-FFFF");
    EXPECT_EQ(file_with(R"({"SensorId":"3360","StageSet":2,"DpiMax":12000})").second,
              "mouse.json: Sensors[2].StageSet: must be an integer from 0 to 1");
    EXPECT_EQ(file_with(R"({"SensorId":"3950","StageSet":1,"DpiMax":12000})").second,
              "mouse.json: Sensors[2].SensorId: names a sensor twice");
}

TEST(MouseNotifications, EventCodes) {
    EXPECT_EQ(decode_notification(0x1123, true, true), (NotificationAction{Kind::SetSlot, 3, 2}));
    EXPECT_EQ(decode_notification(0x1023, true, true), (NotificationAction{Kind::SetSlot, 3, -1}));
    EXPECT_EQ(decode_notification(0x1223, true, true).kind, Kind::None);
    EXPECT_EQ(decode_notification(0x11F1, false, true), (NotificationAction{Kind::SetSlot, 1, -1}));
    for (bool wired : {true, false}) {
        EXPECT_EQ(decode_notification(0x401, wired, false).kind, Kind::ReloadSettings);
        EXPECT_EQ(decode_notification(0x402, wired, true).kind, Kind::ReloadSettings);
        EXPECT_EQ(decode_notification(0x1123, wired, false).kind, Kind::None);  // link closed
        EXPECT_EQ(decode_notification(0x400, wired, true).kind, Kind::None);
    }
    EXPECT_EQ(decode_notification(0x403, true, true).kind, Kind::Reactive);
    // On the receiver 0x403 is just another code above 0x402, and its high byte means nothing.
    EXPECT_EQ(decode_notification(0x403, false, true).kind, Kind::None);

    MouseDeviceState state;
    EXPECT_TRUE(apply_notification({Kind::SetSlot, 3, 2}, state));
    EXPECT_EQ(state.settings.active_slot, 3);
    EXPECT_EQ(state.settings.active_stage, 2);
    EXPECT_TRUE(apply_notification({Kind::SetSlot, 1, -1}, state));
    EXPECT_EQ(state.settings.active_stage, 2);
    EXPECT_FALSE(apply_notification({Kind::ReloadSettings}, state));
}

TEST(MousePageTables, FunctionPageTabs) {
    EXPECT_EQ(function_page_tabs(2, 2), (FunctionTabs{0, 1}));
    EXPECT_EQ(function_page_tabs(6, 6), (FunctionTabs{0, 1}));
    EXPECT_EQ(function_page_tabs(10, 2), (FunctionTabs{1, std::nullopt}));
    EXPECT_EQ(function_page_tabs(4, 2), (FunctionTabs{4, std::nullopt}));
    EXPECT_EQ(function_page_tabs(4, 1), (FunctionTabs{4, std::nullopt}));
    EXPECT_EQ(function_page_tabs(4, 6), function_page_tabs(7, 6));
    EXPECT_EQ(function_page_tabs(7, 2), (FunctionTabs{0, 2}));
    EXPECT_EQ(function_page_tabs(9, 2), (FunctionTabs{5, std::nullopt}));
    EXPECT_EQ(function_page_tabs(1, 2), (FunctionTabs{0, 0}));
}

TEST(MousePageTables, PollingRouting) {
    EXPECT_EQ(polling_option_field(true, 0), PollingField::Receiver24K);
    EXPECT_EQ(polling_option_field(true, 0x5A01), PollingField::Usb);
    EXPECT_EQ(polling_option_field(false, 0), PollingField::Usb);
    EXPECT_EQ(polling_slider_field(true), PollingField::Receiver24K);
    EXPECT_EQ(polling_slider_field(false), PollingField::Usb);
    link::MouseSettingsDecoded d;
    d.report_select_24k = 3;
    d.report_select_usb = 7;
    EXPECT_EQ(shown_polling_option(d, true), 3);
    EXPECT_EQ(shown_polling_option(d, false), 0);
    EXPECT_EQ(shown_two_way_option(2), 0);
}

TEST(MousePower, PathMarkAndMessage) {
    link::PowerStatusBlock raw{{90, 1, 0, 7, 0x21, 0}};
    PowerUpdate u = power_update(raw, false);
    EXPECT_EQ(u.block.bytes[3], 0);
    EXPECT_EQ(u.message, 3329u);
    EXPECT_EQ(u.message_param, 0x21);
    EXPECT_EQ(power_update(raw, true).block.bytes[3], 1);
}

class MouseRecordFromProfile : public ::testing::Test {
  protected:
    void SetUp() override {
        const Json::Value doc =
            profile::read_json(test::source_dir() / "DefaultData" / "mouse.Json");
        profile_.set_section(doc["Device"][0]);
        effects_ = effect_codes(
            profile::read_json(test::source_dir() / "DefaultData" / "default_light.json"), 0);
        for (size_t i = 0; i < last_.bytes.size(); ++i)
            last_.bytes[i] = static_cast<uint8_t>(0xA0 + i);
        last_.bytes[1] = 3;  // static
    }
    link::MouseSettingsRecord build(uint16_t sensor, const MouseDeviceState& state = {}) {
        return build_settings_record(profile_, shipped(sensor), last_, state, effects_, 0);
    }
    uint16_t stage_dpi(const link::MouseSettingsRecord& r, int stage) {
        const uint8_t* s = &r.bytes[14 + stage * 9];
        return static_cast<uint16_t>(s[2] | s[3] << 8);
    }

    profile::CMouseProfiledata profile_;
    std::vector<uint8_t> effects_;
    link::MouseSettingsRecord last_;
};

TEST_F(MouseRecordFromProfile, ShippedEffectListIsTheModeOrder) {
    ASSERT_EQ(effects_.size(), 11u);
    for (size_t i = 0; i < effects_.size(); ++i)
        EXPECT_EQ(effects_[i], i);
    EXPECT_TRUE(effect_codes(Json::Value(), 0).empty());
}

TEST_F(MouseRecordFromProfile, StagesComeFromTheSensorsSetAndTheRestAsRead) {
    auto stages = profile_.read_dpi_stages(shipped(SensorA).stage_set);
    stages[2].dpi_x = 12345;
    profile_.write_dpi_stages(stages, shipped(SensorA).stage_set);
    auto rec = build(SensorA);
    EXPECT_EQ(rec.bytes[0], 0);
    EXPECT_EQ(stage_dpi(rec, 2), 12345);
    EXPECT_EQ(stage_dpi(rec, 0), 400);
    EXPECT_EQ(rec.bytes[73], last_.bytes[73]);
    // A sensor without a stage set: the stages stay as read.
    rec = build(0x1234);
    for (int s = 0; s < 6; ++s)
        EXPECT_EQ(stage_dpi(rec, s), stage_dpi(last_, s)) << s;
    EXPECT_EQ(rec.bytes[12], last_.bytes[12]);
}

TEST_F(MouseRecordFromProfile, UnknownLightingCodeSurvivesUnrelatedWrites) {
    last_.bytes[1] = 0x42;
    MouseDeviceState state = decode_device_state(last_, effects_, 0);
    ASSERT_FALSE(state.light_code_known);
    mirror_into_profile(state, shipped(SensorA), profile_);
    EXPECT_EQ(build(SensorA, state).bytes[1], 0x42);
    // A code within the selection range that is not in the list is kept too.
    last_.bytes[1] = 11;
    state = decode_device_state(last_, effects_, 0);
    mirror_into_profile(state, shipped(SensorA), profile_);
    EXPECT_EQ(build(SensorA, state).bytes[1], 11);
    // Once the user picks an effect, its code is sent.
    profile::LightInfo light = profile_.read_light_info();
    light.mode = 2;
    profile_.write_light_info(light);
    EXPECT_EQ(build(SensorA, state).bytes[1], 2);
}

TEST_F(MouseRecordFromProfile, MirrorIntoProfile) {
    last_.bytes[68] = 44;  // 300 s
    last_.bytes[69] = 1;
    last_.bytes[70] = 6;
    last_.bytes[12] = 4;
    last_.bytes[5] = 1;  // the profile keeps multi-colour and motion sync as flags
    last_.bytes[71] = 1;
    const MouseDeviceState state = decode_device_state(last_, effects_, 0);
    mirror_into_profile(state, shipped(SensorB), profile_);
    const auto sys = profile_.read_system_settings();
    EXPECT_EQ(sys.dormancy_time, 3);
    EXPECT_EQ(sys.deep_sleep_off, 1);
    EXPECT_EQ(sys.key_delay, 3);
    EXPECT_EQ(profile_.section()["SystemStages"]["sleeptime"].asInt(), 300);  // never written
    EXPECT_EQ(profile_.read_light_info().mode, 3);
    EXPECT_EQ(profile_.read_dpi_stages(1).size(), 6u);
    EXPECT_EQ(profile_.active_stage(), 4);
    EXPECT_EQ(profile_.read_dpi_stages(0)[0].dpi_x, 400);  // the other sensor's set untouched
    // Written back unchanged, the record is the record read, byte 0 aside.
    link::MouseSettingsRecord rec = build(SensorB, state);
    rec.bytes[0] = last_.bytes[0];
    rec.bytes[9] = last_.bytes[9];  // spare, always sent as 0
    EXPECT_EQ(rec.bytes, last_.bytes);
}

}  // namespace
}  // namespace velqa::model
