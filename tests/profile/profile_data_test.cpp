#include "profile/profile_data.h"

#include <gtest/gtest.h>

#include "platform/debug_output.h"
#include "profile/json_access.h"
#include "profile/profile_files.h"
#include "profile_test_util.h"
#include "support/shipped_sensors.h"
#include "support/temp_dir.h"

namespace velqa::profile {
namespace {

namespace fs = std::filesystem;
using test_util::file_bytes;
using test_util::json;
using test_util::put_file;

// A profile folder with a default file whose element 0 is a small mouse section.
class ProfileFilesFixture : public testing::Test {
  protected:
    void SetUp() override {
        default_path_ = dir_ / "mouse.Json";
        profile_path_ = dir_ / "p.Json";
        put_file(default_path_, R"({"profilename":"Default","Device":[
            {"KeyList":[{"Assignment":1,"DefaultAssignment":1}],
             "SystemStages":{"KeyDelay":2,"sleeptime":300},"Extra":{"kept":true}},
            null,
            {"KeyList":[],"LightInfo":{"SelectItem":4}}]})");
    }

    template <typename Data>
    void prepare(Data& data, int index) {
        data.set_device_index(index);
        data.set_default_path(default_path_);
        data.set_profile_path(profile_path_);
    }

    velqa::test::TempDir dir_;
    fs::path default_path_;
    fs::path profile_path_;
};

// ---- loading ---------------------------------------------------------------------------------

TEST_F(ProfileFilesFixture, MissingElementIsCopiedFromTheDefaultAndWritten) {
    put_file(profile_path_, R"({"profilename":"Mine","profileUUID":"u1","Custom":[1,2],
        "Device":[{"KeyList":[],"Mine":1}]})");
    CBasicProfiledata data;
    prepare(data, 2);
    data.load_section(profile_path_);
    EXPECT_EQ(data.section()["LightInfo"]["SelectItem"].asInt(), 4);

    const Json::Value file = read_json(profile_path_);
    EXPECT_EQ(file["profilename"].asString(), "Mine");
    EXPECT_EQ(file["profileUUID"].asString(), "u1");
    EXPECT_EQ(file["Custom"], json("[1,2]"));
    EXPECT_EQ(file["Device"][0]["Mine"].asInt(), 1);
    EXPECT_TRUE(file["Device"][1].isNull());
    EXPECT_EQ(file["Device"][2]["LightInfo"]["SelectItem"].asInt(), 4);
}

TEST_F(ProfileFilesFixture, PresentElementIsLoadedAndTheFileLeftAlone) {
    const std::string text = R"({"Device":[{"KeyList":[],"Own":true}]})";
    put_file(profile_path_, text);
    CBasicProfiledata data;
    prepare(data, 0);
    data.load_section(profile_path_);
    EXPECT_TRUE(data.section()["Own"].asBool());
    EXPECT_EQ(file_bytes(profile_path_), text);
}

TEST_F(ProfileFilesFixture, InvalidProfileIsReplacedByADocumentHoldingOnlyDevice) {
    put_file(profile_path_, "{\"profilename\": \"Mine\", broken");
    CBasicProfiledata data;
    prepare(data, 0);
    data.load_section(profile_path_);
    const Json::Value file = read_json(profile_path_);
    EXPECT_EQ(file.getMemberNames(), std::vector<std::string>{"Device"});
    EXPECT_EQ(file["Device"][0]["SystemStages"]["KeyDelay"].asInt(), 2);
}

TEST_F(ProfileFilesFixture, UnreadableProfileIsKeptBesideItsReplacement) {
    const fs::path kept = dir_ / "p.Json.unreadable";
    const std::string broken = "{\"profilename\": \"Mine\", broken";
    put_file(profile_path_, broken);
    CBasicProfiledata data;
    prepare(data, 0);
    data.load_section(profile_path_);
    EXPECT_EQ(file_bytes(kept), broken);
    EXPECT_FALSE(read_json(profile_path_).isNull());

    // Damaged again between load and save (valid JSON, but no profile): the save replaces it and
    // keeps the newer bytes.
    put_file(profile_path_, "[1, 2]");
    data.save();
    EXPECT_EQ(file_bytes(kept), "[1, 2]");
    EXPECT_EQ(read_json(profile_path_)["Device"][0]["SystemStages"]["KeyDelay"].asInt(), 2);

    // A "Device" that is no array would lose its contents as well.
    put_file(profile_path_, R"({"Device":{"0":{"Mine":1}}})");
    data.save();
    EXPECT_EQ(file_bytes(kept), R"({"Device":{"0":{"Mine":1}}})");
    EXPECT_TRUE(read_json(profile_path_)["Device"].isArray());
}

// A "Device" element that is no object used to be emptied by the first setter, after which no
// save ever wrote again.
TEST_F(ProfileFilesFixture, ElementThatIsNoObjectFallsBackToTheFactoryAndSavesAgain) {
    const char* damaged[] = {R"({"Device":[5]})", R"({"Device":["x"]})", R"({"Device":[[1,2]]})",
                             R"(["x"])", R"([[1,2]])"};
    for (const char* bytes : damaged) {
        SCOPED_TRACE(bytes);
        fs::remove(dir_ / "p.Json.unreadable");
        put_file(profile_path_, bytes);
        CMouseProfiledata data;
        prepare(data, 0);
        data.load_section(profile_path_);
        EXPECT_EQ(file_bytes(dir_ / "p.Json.unreadable"), bytes);
        EXPECT_EQ(data.read_system_settings().key_delay, 2);

        MouseSystemSettings settings = data.read_system_settings();
        for (int delay : {7, 8}) {
            settings.key_delay = static_cast<std::uint16_t>(delay);
            data.write_system_settings(settings);
            EXPECT_TRUE(data.save());
            EXPECT_EQ(read_json(profile_path_)["Device"][0]["SystemStages"]["KeyDelay"].asInt(),
                      delay);
        }
    }
}

TEST_F(ProfileFilesFixture, ElementDamagedAfterLoadingIsKeptBeforeTheSaveReplacesIt) {
    CBasicProfiledata data;
    prepare(data, 0);
    data.load_section(profile_path_);
    put_file(profile_path_, R"({"profilename":"Mine","Device":[5, {"b":2}]})");
    EXPECT_TRUE(data.save());
    EXPECT_EQ(file_bytes(dir_ / "p.Json.unreadable"),
              R"({"profilename":"Mine","Device":[5, {"b":2}]})");
    const Json::Value file = read_json(profile_path_);
    EXPECT_EQ(file["profilename"].asString(), "Mine");
    EXPECT_EQ(file["Device"][0]["SystemStages"]["KeyDelay"].asInt(), 2);
    EXPECT_EQ(file["Device"][1]["b"].asInt(), 2);
}

TEST_F(ProfileFilesFixture, SavesThatCannotSaveSaySoAndWhy) {
    platform::DebugCapture capture;
    CBasicProfiledata no_key_list;
    prepare(no_key_list, 0);
    no_key_list.set_section(json(R"({"LightInfo":{}})"));
    EXPECT_FALSE(no_key_list.save());
    EXPECT_TRUE(capture.contains("profile not saved"));
    EXPECT_TRUE(capture.contains("KeyList"));

    // A damaged factory element reads as a missing one: records read as zero, nothing is saved.
    put_file(default_path_, R"({"Device":[7]})");
    put_file(profile_path_, R"({"Device":[]})");
    CMouseProfiledata data;
    prepare(data, 0);
    data.load_section(profile_path_);
    EXPECT_TRUE(data.section().isNull());
    data.write_light_info(LightInfo{});
    EXPECT_FALSE(data.save());

    // The folder went away: the write fails and the result says so.
    CBasicProfiledata gone;
    gone.set_device_index(0);
    gone.set_profile_path(dir_ / "no" / "p.Json");
    gone.set_section(json(R"({"KeyList":[]})"));
    capture.clear();
    EXPECT_FALSE(gone.save());
    EXPECT_TRUE(capture.contains("could not be written"));
    EXPECT_FALSE(gone.write_document(json("{}"), dir_ / "no" / "d.Json"));
    EXPECT_TRUE(gone.write_document(json("{}"), dir_ / "d.Json"));
}

// The profile (or a second data object's file) may be a link into a synced folder.
TEST_F(ProfileFilesFixture, ProfileThatIsALinkIsWrittenThrough) {
    fs::create_directory(dir_ / "real");
    put_file(dir_ / "real" / "p.Json", R"({"profilename":"Linked","Device":[{"KeyList":[]}]})");
    fs::create_symlink("real/p.Json", profile_path_);
    CBasicProfiledata data;
    prepare(data, 0);
    data.load_section(profile_path_);
    data.set_section(json(R"({"KeyList":[],"Mine":3})"));
    EXPECT_TRUE(data.save());
    EXPECT_TRUE(fs::is_symlink(profile_path_));
    EXPECT_EQ(read_json(dir_ / "real" / "p.Json")["Device"][0]["Mine"].asInt(), 3);
    EXPECT_EQ(read_json(dir_ / "real" / "p.Json")["profilename"].asString(), "Linked");
}

TEST_F(ProfileFilesFixture, UnreadableProfileThatCannotBeKeptIsNotReplaced) {
    fs::create_directory(dir_ / "p.Json.unreadable");
    put_file(profile_path_, "{ broken");
    CBasicProfiledata data;
    prepare(data, 0);
    data.load_section(profile_path_);
    EXPECT_EQ(data.section()["SystemStages"]["KeyDelay"].asInt(), 2);
    EXPECT_EQ(file_bytes(profile_path_), "{ broken");
    data.save();
    EXPECT_EQ(file_bytes(profile_path_), "{ broken");
}

TEST_F(ProfileFilesFixture, MissingOrEmptyProfileLeavesNoCopy) {
    CBasicProfiledata data;
    prepare(data, 0);
    data.load_section(profile_path_);
    put_file(profile_path_, "");
    data.save();
    EXPECT_FALSE(fs::exists(dir_ / "p.Json.unreadable"));
    EXPECT_FALSE(read_json(profile_path_).isNull());
}

TEST_F(ProfileFilesFixture, DeviceIndexTwoOnAnEmptyDocumentHasTwoNullsBeforeIt) {
    put_file(profile_path_, "");
    CBasicProfiledata data;
    prepare(data, 2);
    data.load_section(profile_path_);
    const Json::Value devices = read_json(profile_path_)["Device"];
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_TRUE(devices[0].isNull());
    EXPECT_TRUE(devices[1].isNull());
    EXPECT_EQ(devices[2]["LightInfo"]["SelectItem"].asInt(), 4);
}

TEST_F(ProfileFilesFixture, MissingDefaultLeavesZeroRecordsAndSavesNothing) {
    CMouseProfiledata data;
    data.set_device_index(0);
    data.set_default_path(dir_ / "absent.Json");
    data.set_profile_path(profile_path_);
    data.load_section(profile_path_);
    EXPECT_TRUE(data.section().isNull());
    EXPECT_EQ(data.read_system_settings(), MouseSystemSettings{});
    EXPECT_EQ(data.read_light_info(), LightInfo{});
    const std::string before = file_bytes(profile_path_);
    data.save();
    EXPECT_EQ(file_bytes(profile_path_), before);
}

TEST_F(ProfileFilesFixture, OtherSectionLoadsAndSavesIntoItsOwnFile) {
    const fs::path other = dir_ / "other.Json";
    put_file(other, R"({"profilename":"O","Device":[{"KeyList":[{"Assignment":7}]}]})");
    CBasicProfiledata data;
    prepare(data, 0);
    data.load_other_section(other);
    ASSERT_EQ(data.read_other_key_list().size(), 1u);
    EXPECT_EQ(data.read_other_key_list()[0].current.second, 7);
    std::vector<KeyAssignment> list = data.read_other_key_list();
    list[0].current = KeyCode{1, 2, 3};
    data.write_other_key_list(list);
    data.save_other(other);
    const Json::Value file = read_json(other);
    EXPECT_EQ(file["profilename"].asString(), "O");
    EXPECT_EQ(file["Device"][0]["KeyList"][0]["Assignment"].asInt(), 66051);
    EXPECT_FALSE(fs::exists(profile_path_));
}

// ---- saving ----------------------------------------------------------------------------------

TEST_F(ProfileFilesFixture, SaveCarriesUntouchedMembersAndNonAsciiNames) {
    put_file(profile_path_, R"({"profilename":"Ünïcødé 鼠标","profileUUID":"u","Top":{"x":[1]},
        "Device":[{"KeyList":[{"Assignment":1,"DefaultAssignment":9}],
                   "SystemStages":{"sleeptime":1234,"Mystery":"keep me"},"Unknown":[true]}]})");
    CMouseProfiledata data;
    prepare(data, 0);
    data.load_section(profile_path_);
    MouseSystemSettings s = data.read_system_settings();
    s.key_delay = 5;
    s.sleep_time = 1;  // never written
    data.write_system_settings(s);
    data.save();

    const Json::Value file = read_json(profile_path_);
    EXPECT_EQ(file["profilename"].asString(), "Ünïcødé 鼠标");
    EXPECT_EQ(file["Top"], json(R"({"x":[1]})"));
    const Json::Value& section = file["Device"][0];
    EXPECT_EQ(section["SystemStages"]["KeyDelay"].asInt(), 5);
    EXPECT_EQ(section["SystemStages"]["sleeptime"].asInt(), 1234);
    EXPECT_EQ(section["SystemStages"]["Mystery"].asString(), "keep me");
    EXPECT_EQ(section["Unknown"], json("[true]"));
    EXPECT_EQ(section["KeyList"][0]["DefaultAssignment"].asInt(), 9);
}

TEST_F(ProfileFilesFixture, SaveKeepsHandWrittenComments) {
    put_file(profile_path_,
             "{\n// my tuned profile\n\"Device\": [ { \"KeyList\": [],\n"
             "  \"SystemStages\": { \"KeyDelay\": 1 /* fast switches */ } } ] }\n");
    CMouseProfiledata data;
    prepare(data, 0);
    data.load_section(profile_path_);
    MouseSystemSettings s = data.read_system_settings();
    s.key_delay = 3;
    data.write_system_settings(s);
    data.save();
    const std::string text = file_bytes(profile_path_);
    EXPECT_NE(text.find("// my tuned profile"), std::string::npos) << text;
    EXPECT_EQ(read_json(profile_path_)["Device"][0]["SystemStages"]["KeyDelay"].asInt(), 3);
}

// Another program deleted the profile with its list entry while the page still held it: the
// page's next save must not bring the file back as a profile no entry names.
TEST_F(ProfileFilesFixture, SaveDoesNotRecreateAProfileDeletedFromItsList) {
    put_file(profile_path_,
             R"({"profilename":"Mine","profileUUID":"p","Device":[{"KeyList":[]}]})");
    put_file(dir_ / "ProfileList.ini",
             R"({"profilelist":[{"profilename":"Mine","profileUUID":"p"}]})");
    CBasicProfiledata data;
    prepare(data, 0);
    data.load_section(profile_path_);
    ASSERT_TRUE(data.save());

    put_file(dir_ / "ProfileList.ini",
             R"({"profilelist":[{"profilename":"Other","profileUUID":"o"}]})");
    fs::remove(profile_path_);
    EXPECT_FALSE(data.save());
    data.load_section(profile_path_);
    EXPECT_FALSE(fs::exists(profile_path_));
}

TEST_F(ProfileFilesFixture, SaveWithoutKeyListLeavesTheFileByteForByte) {
    const std::string text = "{ \"Device\" : [ { \"LightInfo\": {\"SelectItem\": 1} } ] }  ";
    put_file(profile_path_, text);
    fs::remove(default_path_);  // else loading completes the section from it
    CBasicProfiledata data;
    prepare(data, 0);
    data.load_section(profile_path_);
    LightInfo light;
    light.mode = 9;
    data.write_light_info(light);
    data.save();
    EXPECT_EQ(file_bytes(profile_path_), text);

    // An empty key list is enough to allow the write.
    Json::Value section = data.section();
    section["KeyList"] = Json::Value(Json::arrayValue);
    data.store_section(section, profile_path_);
    EXPECT_EQ(read_json(profile_path_)["Device"][0]["LightInfo"]["SelectItem"].asInt(), 9);
}

TEST_F(ProfileFilesFixture, WriteDocumentWritesWithoutChecks) {
    CBasicProfiledata data;
    data.write_document(json(R"({"profilename":"x"})"), profile_path_);
    EXPECT_EQ(read_json(profile_path_)["profilename"].asString(), "x");
}

TEST(ProfilePaths, SettersFollowTheirEmptyArgumentRules) {
    CBasicProfiledata data;
    data.set_profile_path("/a/p.Json");
    data.set_profile_path("");
    EXPECT_EQ(data.profile_path(), "/a/p.Json");
    data.set_default_path("/d/mouse.Json");
    data.set_default_path("");
    EXPECT_EQ(data.default_path(), "/d/mouse.Json");
    data.set_config_path("/a/tavix_light.config");
    data.set_config_path("");
    EXPECT_EQ(data.config_path(), "");
}

// ---- mouse records ---------------------------------------------------------------------------

TEST(ProfileMouse, FreshObjectReadsZeros) {
    CMouseProfiledata data;
    EXPECT_EQ(data.read_system_settings(), MouseSystemSettings{});
    EXPECT_TRUE(data.read_dpi_stages(0).empty());
    EXPECT_EQ(data.active_stage(), 0);
    EXPECT_EQ(data.read_light_info(), LightInfo{});
    EXPECT_TRUE(data.read_key_list().empty());
}

class ProfileMouseSection : public testing::Test {
  protected:
    // Loads `section_text` as element 0 of a profile file.
    void load(const std::string& section_text) {
        put_file(dir_ / "p.Json", "{\"Device\":[" + section_text + "]}");
        data_.set_device_index(0);
        data_.set_profile_path(dir_ / "p.Json");
        data_.load_section(dir_ / "p.Json");
    }
    velqa::test::TempDir dir_;
    CMouseProfiledata data_;
};

TEST_F(ProfileMouseSection, SystemStagesWithoutReportStagesReadsWordFiveAsZero) {
    load(R"({"SystemStages":{"DoubleClickTime":500,"MouseSpeed":10,"PointerPrecision":1,
        "ScorllPage":2,"WheelScorlllinse":3,"DormancyTime":4,"SilentAltitudeItem":1,"AntiShake":2,
        "SensorLif":true,"MotionSync":7,"LinearCalibration":1,"KeyDelay":3,"DeepSleepOff":1,
        "sleeptime":300,"sleeptimeH":1,"ReportSelectItemUSB":4,"ReportSelectItem24K":5}})");
    // Word order: the record as the device object passes it; word 5 and the reserved word 0.
    const MouseSystemSettings expected{500, 10, 1, 2, 3, 0,   4, 0, 2, 1,
                                       1,   1,  1, 3, 1, 300, 1, 4, 5};
    EXPECT_EQ(data_.read_system_settings(), expected);
}

TEST_F(ProfileMouseSection, WritingTheSystemRecordKeepsSleepTimeAndRoundTrips) {
    load(R"({"SystemStages":{"sleeptime":300,"sleeptimeH":2}})");
    const MouseSystemSettings s{1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 1, 1, 13, 14, 15, 99, 98, 17, 18};
    data_.write_system_settings(s);
    const Json::Value& sys = data_.section()["SystemStages"];
    EXPECT_EQ(sys["sleeptime"].asInt(), 300);
    EXPECT_EQ(sys["sleeptimeH"].asInt(), 2);
    EXPECT_EQ(data_.section()["ReportStages"]["StageActive"].asInt(), 6);
    EXPECT_TRUE(sys["SensorLif"].isInt());
    MouseSystemSettings expected = s;
    expected.sleep_time = 300;
    expected.sleep_time_high = 2;
    EXPECT_EQ(data_.read_system_settings(), expected);
}

TEST_F(ProfileMouseSection, StagesFromTheFileOverwriteTheHeldListWithoutShorteningIt) {
    load(R"({"DPIStages":[{"StageActive":1,"StageDPIs":[
        {"StageActive":1,"StageXY":0,"StageDPIX":400,"StageDPIY":400,"StageColorR":255},
        {"StageActive":1,"StageDPIX":800,"StageDPIY":800,"StageColorG":255},
        {"StageActive":0,"StageXY":1,"StageDPIX":1600,"StageDPIY":3200,"StageColorB":255}]}]})");
    std::vector<DpiStage> held(5);
    for (std::size_t i = 0; i < held.size(); ++i)
        held[i].dpi_x = static_cast<uint16_t>(i + 1);
    // Writing into set 1 replaces the held list without touching set 0.
    data_.write_dpi_stages(held, 1);
    const std::vector<DpiStage> stages = data_.read_dpi_stages(0);
    ASSERT_EQ(stages.size(), 5u);
    EXPECT_EQ(stages[0], (DpiStage{1, 0, 400, 400, 255, 0, 0}));
    EXPECT_EQ(stages[2], (DpiStage{0, 1, 1600, 3200, 0, 0, 255}));
    EXPECT_EQ(stages[3].dpi_x, 4);
    EXPECT_EQ(stages[4].dpi_x, 5);
    EXPECT_EQ(data_.active_stage(), 1);
}

TEST_F(ProfileMouseSection, WritingStagesKeepsLongerTreeArraysAndOtherMembers) {
    load(R"({"DPIStages":[{"StageActive":0,"StageDPIs":[{"StageDPIX":1,"Note":"x"},{},{},
        {"StageDPIX":4}]}]})");
    data_.write_dpi_stages({DpiStage{1, 1, 700, 900, 1, 2, 3}}, 0);
    data_.write_active_stage(3, 0);
    const Json::Value& set = data_.section()["DPIStages"][0];
    EXPECT_EQ(set["StageActive"].asInt(), 3);
    ASSERT_EQ(set["StageDPIs"].size(), 4u);
    EXPECT_EQ(set["StageDPIs"][0]["StageDPIY"].asInt(), 900);
    EXPECT_EQ(set["StageDPIs"][0]["Note"].asString(), "x");
    EXPECT_EQ(set["StageDPIs"][3]["StageDPIX"].asInt(), 4);
    EXPECT_EQ(data_.active_stage(), 3);
}

TEST_F(ProfileMouseSection, UnknownSensorLeavesTheStagesUntouched) {
    load(R"({"KeyList":[],"DPIStages":[{"StageActive":2,"StageDPIs":[{"StageDPIX":400}]}]})");
    const Json::Value before = data_.section();
    const SensorTable sensors = test::shipped_sensors();
    const int set = sensors.stage_set_for(0x1234);
    EXPECT_EQ(set, -1);
    EXPECT_EQ(sensors.stage_set_for(0x3395), 0);
    EXPECT_EQ(sensors.stage_set_for(0x3950), 1);
    EXPECT_TRUE(data_.read_dpi_stages(set).empty());
    data_.write_dpi_stages({DpiStage{}}, set);
    data_.write_active_stage(5, set);
    EXPECT_EQ(data_.section(), before);
    EXPECT_TRUE(data_.dpi_stages().empty());
    EXPECT_EQ(data_.active_stage(), 0);
}

TEST_F(ProfileMouseSection, SixteenBitFieldsTruncate) {
    load(R"({"SystemStages":{"KeyDelay":70000},"ReportStages":{"StageActive":65537},
        "DPIStages":[{"StageDPIs":[{"StageDPIX":70000,"StageColorR":300}]}]})");
    EXPECT_EQ(data_.read_system_settings().key_delay, 4464);
    EXPECT_EQ(data_.read_system_settings().report_rate_stage, 1);
    const std::vector<DpiStage> stages = data_.read_dpi_stages(0);
    ASSERT_EQ(stages.size(), 1u);
    EXPECT_EQ(stages[0].dpi_x, 4464);
    EXPECT_EQ(stages[0].red, 44);
}

// A hand-edited profile with a member of every wrong type loads, reads zeros and saves.
TEST_F(ProfileMouseSection, MembersOfEveryWrongTypeReadAsZero) {
    load(R"({"SystemStages":{"DoubleClickTime":"500","MouseSpeed":{"v":1},"PointerPrecision":[1],
        "SensorLif":"yes","MotionSync":{"on":true},"KeyDelay":null,"DormancyTime":2.7,
        "DeepSleepOff":true},
        "ReportStages":"fast",
        "DPIStages":{"0":{}},
        "LightInfo":[1,2,3],
        "LightList":{"a":1},
        "KeyList":[5,"x",{"Assignment":"66051","DefaultAssignment":[1]},null]})");
    MouseSystemSettings s = data_.read_system_settings();
    EXPECT_EQ(s.double_click_time, 0);
    EXPECT_EQ(s.pointer_speed, 0);
    EXPECT_EQ(s.pointer_precision, 0);
    EXPECT_EQ(s.sensor_lift, 0);
    EXPECT_EQ(s.motion_sync, 0);
    EXPECT_EQ(s.report_rate_stage, 0);
    EXPECT_EQ(s.dormancy_time, 2);
    EXPECT_EQ(s.deep_sleep_off, 1);
    EXPECT_TRUE(data_.read_dpi_stages(0).empty());
    EXPECT_EQ(data_.read_light_info(), LightInfo{});
    EXPECT_TRUE(data_.read_light_list().empty());
    const std::vector<KeyAssignment> keys = data_.read_key_list();
    ASSERT_EQ(keys.size(), 4u);
    for (const KeyAssignment& k : keys) {
        EXPECT_EQ(k.current, KeyCode{});
        EXPECT_EQ(k.default_code, KeyCode{});
    }
    EXPECT_EQ(keys[3].key_index, 3);

    // Writing over wrong types replaces them with the right shapes and the file saves.
    s.key_delay = 2;
    data_.write_system_settings(s);
    data_.write_dpi_stages({DpiStage{1, 0, 800, 800, 1, 2, 3}}, 1);
    data_.write_key_list(keys);
    data_.save();
    CMouseProfiledata again;
    again.set_device_index(0);
    again.load_section(dir_ / "p.Json");
    EXPECT_EQ(again.read_system_settings().key_delay, 2);
    EXPECT_EQ(again.read_dpi_stages(1).at(0).dpi_x, 800);
    EXPECT_EQ(again.read_key_list().size(), 4u);
}

// ---- keyboard and headset records ------------------------------------------------------------

TEST(ProfileKeyboard, SettingsRoundTripAndMissingObjectReadsZero) {
    CKeyboardProfiledata data;
    EXPECT_EQ(data.read_keyboard_settings(), KeyboardSystemSettings{});
    const KeyboardSystemSettings s{31, 1, 1, 3, 1, 70000 & 0xFFFF};
    data.write_keyboard_settings(s);
    EXPECT_EQ(data.section()["SystemStages"]["WinFlag"].asInt(), 4464);
    EXPECT_EQ(data.read_keyboard_settings(), s);
}

TEST(ProfileHeadset, SettingsAndEqualiserListsRoundTrip) {
    CDa6533Profiledata data;
    EXPECT_EQ(data.read_headset_settings(), HeadsetSettings{});
    const HeadsetSettings s{1, 2, 3, 4, 5, -6, 7, 2000000000};
    data.write_headset_settings(s);
    EXPECT_EQ(data.read_headset_settings(), s);

    data.write_custom_eq_names({"Bass 低音", "Vocal", "Third"});
    data.write_custom_eq_names({"Only"});  // replaced as a whole
    EXPECT_EQ(data.read_custom_eq_names(), std::vector<std::string>{"Only"});

    EqualiserBands bands{};
    for (std::size_t i = 0; i < bands.size(); ++i)
        bands[i] = static_cast<int>(i) - 5;
    data.write_custom_eq_values({bands, EqualiserBands{}});
    const auto read = data.read_custom_eq_values();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0], bands);
    EXPECT_EQ(data.section()["CustomEQHzValueInfo"][0][0]["value"].asInt(), -5);
    EXPECT_TRUE(data.read_eq_presets().empty());
}

}  // namespace
}  // namespace velqa::profile
