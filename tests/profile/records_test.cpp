#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "profile/profile_data.h"
#include "profile/profile_files.h"
#include "profile/record_fields.h"
#include "profile/settings_limits.h"
#include "profile_test_util.h"
#include "support/shipped_sensors.h"
#include "support/temp_dir.h"

namespace velqa::profile {
namespace {

namespace fs = std::filesystem;
using test_util::json;
using test_util::put_file;

// A base data object whose device section is `section_text` (element [index] of a temp file).
class ProfileSectionFixture : public testing::Test {
  protected:
    void load(const std::string& section_text, int index = 0) {
        std::string devices;
        for (int i = 0; i < index; ++i)
            devices += "null,";
        put_file(dir_ / "p.Json", "{\"Device\":[" + devices + section_text + "]}");
        data_.set_device_index(index);
        data_.set_profile_path(dir_ / "p.Json");
        data_.load_section(dir_ / "p.Json");
    }
    velqa::test::TempDir dir_;
    CKeyboardProfiledata data_;
};

// ---- lighting record -------------------------------------------------------------------------

TEST_F(ProfileSectionFixture, MissingLightInfoIsAllZeroAndBecomesCurrent) {
    load(R"({"KeyList":[]})");
    LightInfo old;
    old.mode = 5;
    data_.write_light_info(old);
    load(R"({"KeyList":[]})");
    EXPECT_EQ(data_.read_light_info(), LightInfo{});
    EXPECT_EQ(data_.light_info(), LightInfo{});
}

TEST_F(ProfileSectionFixture, LightInfoRoundTripsAndReplacesTheObject) {
    load(R"({"LightInfo":{"SelectItem":2,"Light":3,"Speed":1,"Fx":1,"MultiColor":true,
        "Red":10,"Green":20,"Blue":30,"ZZCCLedMode":4,"CustomGroup":5,"OldLedmode":6,
        "Stale":1}})");
    const LightInfo r = data_.read_light_info();
    EXPECT_EQ(r, (LightInfo{2, 3, 1, 1, 1, 10, 20, 30, {0, 0, 0}, 4, 5, 6}));
    data_.write_light_info(r);
    const Json::Value& o = data_.section()["LightInfo"];
    EXPECT_FALSE(o.isMember("Stale"));
    EXPECT_TRUE(o["MultiColor"].isInt());
    EXPECT_EQ(o["MultiColor"].asInt(), 1);
    EXPECT_EQ(o.size(), 11u);
    EXPECT_EQ(data_.read_light_info(), r);
}

TEST_F(ProfileSectionFixture, AudioLightInfoReadsFlagsAsBooleans) {
    load(R"({"AudioLightInfo":{"AudioMode":3,"BkColorR":1,"BkColorG":2,"BkColorB":3,
        "FgColorR":4,"FgColorG":5,"FgColorB":6,"7ColorFlags":true,"ColorTypeFlags":9}})");
    const AudioLightInfo r = data_.read_audio_light_info();
    EXPECT_EQ(r, (AudioLightInfo{3, 1, 2, 3, 4, 5, 6, 1, 1}));
    data_.write_audio_light_info(AudioLightInfo{});
    EXPECT_EQ(data_.section()["AudioLightInfo"]["7ColorFlags"].asInt(), 0);
    EXPECT_EQ(data_.read_audio_light_info(), AudioLightInfo{});
    load(R"({})");
    EXPECT_EQ(data_.read_audio_light_info(), AudioLightInfo{});
}

TEST_F(ProfileSectionFixture, LightListDecodesNullElementsAsAbsentSteps) {
    load(R"({"LightList":[{"LEDREGMode":3,"LEDBrightness":4,"LEDSpeed":2,"LEDDirection":1,
        "LEDMultiColor":1,"red":255,"green":128,"blue":1,"Time":50,"Cyle":2},null]})");
    const std::vector<LedEffectStep> steps = data_.read_light_list();
    ASSERT_EQ(steps.size(), 2u);
    // The list in the profile carries no timing; only effect files do.
    EXPECT_EQ(steps[0], (LedEffectStep{3, 4, 2, 1, 1, 255, 128, 1, 1, 0, 0}));
    EXPECT_EQ(steps[1], LedEffectStep{});
}

// ---- custom effect files ---------------------------------------------------------------------

// Effect files lie beside the effect list that names them, whatever the current folder.
class ProfileCustomEffect : public ProfileSectionFixture {
  protected:
    static std::string effect_file(int steps) {
        Json::Value doc;
        for (int i = 0; i < steps; ++i) {
            Json::Value& s = doc["LEDEffectList"][i];
            s["LEDREGMode"] = i;
            s["LEDBrightness"] = 4;
            s["LEDSpeed"] = 1;
            s["LEDDirection"] = 0;
            s["LEDMultiColor"] = 1;
            s["red"] = 10 * i;
            s["green"] = 1;
            s["blue"] = 2;
            s["Time"] = 100 + i;
            s["Cyle"] = 3;
        }
        return doc.toStyledString();
    }
};

TEST_F(ProfileCustomEffect, ModeSelectsTheEntryOfThisDevicesElement) {
    load(R"({"LightInfo":{"SelectItem":2}})", 1);
    put_file(dir_ / "tavix_light.config", R"({"LightInfo":[
        [{"LightName":"x","Guid":"wrong"}],
        [{"Guid":"e0"},{"Guid":"e1"},{"LightName":"Mine","Guid":"e2"}]]})");
    put_file(dir_ / "e2.light", effect_file(5));
    put_file(dir_ / "e1.light", effect_file(9));
    data_.load_document(dir_ / "tavix_light.config");
    data_.read_light_info();
    const std::vector<LedEffectStep> steps = data_.read_custom_effect();
    ASSERT_EQ(steps.size(), 5u);
    EXPECT_EQ(steps[4], (LedEffectStep{4, 4, 1, 0, 1, 40, 1, 2, 1, 104, 3}));
    EXPECT_EQ(data_.effect_list(), steps);

    // A shorter effect replaces the held list entirely.
    put_file(dir_ / "e2.light", effect_file(2));
    EXPECT_EQ(data_.read_custom_effect().size(), 2u);
}

TEST_F(ProfileCustomEffect, EntryWithoutGuidReadsTheBareLightFile) {
    load(R"({"LightInfo":{"SelectItem":0}})");
    put_file(dir_ / "tavix_light.config", R"({"LightInfo":[[{"LightName":"NoGuid"}]]})");
    data_.load_document(dir_ / "tavix_light.config");
    data_.read_light_info();
    EXPECT_TRUE(data_.read_custom_effect().empty());
    put_file(dir_ / ".light", effect_file(3));
    EXPECT_EQ(data_.read_custom_effect().size(), 3u);
}

// The identifier comes from a hand-editable file; a FIFO of that name blocked the window thread.
TEST_F(ProfileCustomEffect, IdentifiersThatLeaveTheFolderOrNameNoFileAreRefused) {
    load(R"({"LightInfo":{"SelectItem":0}})");
    fs::create_directory(dir_ / "sub");
    put_file(dir_ / "sub" / "e.light", effect_file(2));
    put_file(dir_ / "outside.light", effect_file(2));
    const std::string outside = (dir_ / "outside").string();
    for (const std::string& guid : {std::string("../outside"), outside, std::string("sub/e"),
                                    std::string("sub/../sub/e"), std::string("fifo")}) {
        SCOPED_TRACE(guid);
        put_file(dir_ / "sub" / "tavix_light.config",
                 R"({"LightInfo":[[{"Guid":")" + guid + R"("}]]})");
        data_.load_document(dir_ / "sub" / "tavix_light.config");
        data_.read_light_info();
        if (guid == "fifo") {
            ASSERT_EQ(::mkfifo((dir_ / "sub" / "fifo.light").c_str(), 0600), 0);
        }
        // Returns at once with nothing; an open that waited for a writer would hang here.
        EXPECT_TRUE(data_.read_custom_effect().empty());
    }
    // The same lookup with a plain identifier reads the file beside the list.
    put_file(dir_ / "sub" / "tavix_light.config", R"({"LightInfo":[[{"Guid":"e"}]]})");
    data_.load_document(dir_ / "sub" / "tavix_light.config");
    EXPECT_EQ(data_.read_custom_effect().size(), 2u);
}

TEST_F(ProfileCustomEffect, MissingDocumentOrEntryGivesAnEmptyList) {
    load(R"({"LightInfo":{"SelectItem":7}})");
    put_file(dir_ / "e.light", effect_file(3));
    data_.read_light_info();
    EXPECT_TRUE(data_.read_custom_effect().empty());  // no document loaded
    put_file(dir_ / "tavix_light.config", R"({"LightInfo":[[{"Guid":"e"}]]})");
    EXPECT_EQ(data_.load_document(dir_ / "tavix_light.config"), data_.light_document());
    EXPECT_TRUE(data_.read_custom_effect().empty());  // mode 7 has no entry
}

// ---- key list --------------------------------------------------------------------------------

// Which desktop pointer settings a profile sets: a list of their members, absent in every file
// from before it (which so set none), and the only member it adds.
TEST(ProfilePointerFields, FilesWithoutTheListSetNoneAndTheListIsTheOnlyChange) {
    const Json::Value older = json(R"({"SystemStages":{"MouseSpeed":15,"PointerPrecision":1}})");
    CMouseProfiledata data;
    data.set_section(older);
    EXPECT_EQ(data.pointer_fields_set(), 0);
    data.set_pointer_fields_set(0b01001);
    EXPECT_EQ(data.section()["SystemStages"]["PointerFieldsSet"],
              json(R"(["MouseSpeed","PointerPrecision"])"));
    EXPECT_EQ(data.pointer_fields_set(), 0b01001);
    data.set_pointer_fields_set(0);
    EXPECT_EQ(data.section(), older);

    // Unknown names and values of the wrong type are skipped.
    data.set_section(json(R"({"SystemStages":{"PointerFieldsSet":["Bogus",3,"ScorllPage"]}})"));
    EXPECT_EQ(data.pointer_fields_set(), 0b10000);
    data.set_section(json(R"({"SystemStages":{"PointerFieldsSet":"MouseSpeed"}})"));
    EXPECT_EQ(data.pointer_fields_set(), 0);
}

TEST(ProfileDpiStage, PackedFormIsNineBytesLittleEndian) {
    const DpiStage stage{1, 0, 0x3200, 0x0190, 0xFF, 0x80, 0x01};
    const std::array<std::uint8_t, 9> bytes{1, 0, 0x00, 0x32, 0x90, 0x01, 0xFF, 0x80, 0x01};
    EXPECT_EQ(stage.to_bytes(), bytes);
    EXPECT_EQ(DpiStage::from_bytes(bytes.data()), stage);
}

TEST(ProfileKeyCodes, SplitIntoThreeBytesAndJoinBack) {
    const KeyCode code = KeyCode::from_int(66051);
    EXPECT_EQ(code, (KeyCode{1, 2, 3}));
    EXPECT_EQ(code.to_int(), 66051);
    EXPECT_EQ((KeyCode{0xFF, 0xFF, 0xFF}).to_int(), 0xFFFFFF);
    EXPECT_EQ(KeyCode::from_int(0x7F123456), (KeyCode{0x12, 0x34, 0x56}));
}

TEST_F(ProfileSectionFixture, KeyListWritesAssignmentsAndKeepsDefaults) {
    load(R"({"KeyList":[{"Assignment":66051,"DefaultAssignment":1048832},
        {"Assignment":1,"DefaultAssignment":2,"Label":"side"}]})");
    std::vector<KeyAssignment> keys = data_.read_key_list();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].current, (KeyCode{1, 2, 3}));
    EXPECT_EQ(keys[0].default_code, (KeyCode{0x10, 0x01, 0x00}));
    EXPECT_EQ(keys[1].key_index, 1);
    EXPECT_EQ(keys[1].default_key_index, 1);

    keys[0].current = KeyCode{0x70, 0, 2};
    keys[1].current = KeyCode{0x20, 0x02, 0x04};
    keys[1].default_code = KeyCode{9, 9, 9};  // never written
    data_.write_key_list(keys);
    const Json::Value& list = data_.section()["KeyList"];
    EXPECT_EQ(list[0]["Assignment"].asInt(), 0x700002);
    EXPECT_EQ(list[0]["DefaultAssignment"].asInt(), 1048832);
    EXPECT_EQ(list[1]["DefaultAssignment"].asInt(), 2);
    EXPECT_EQ(list[1]["Label"].asString(), "side");
    EXPECT_EQ(data_.read_key_list()[1].current, (KeyCode{0x20, 0x02, 0x04}));
}

TEST_F(ProfileSectionFixture, MergedKeyListTakesMappedKeysFromTheDevice) {
    load(R"({"KeyList":[{"Assignment":1},{"Assignment":2},{"Assignment":3}]})");
    CBasicProfiledata::KeySlotTable table{};
    table[3 * 5] = 0x10;
    table[3 * 5 + 1] = 0x04;
    table[3 * 0 + 2] = 0x77;
    table[510] = 0xEE;
    data_.set_key_slot_table(table);
    // Key 0 -> slot 5, key 2 -> slot 0; the markers and a stray key fall outside and are skipped.
    data_.set_key_map({{0, 5}, {1, 0xAA}, {2, 0}, {7, 1}, {-1, 2}, {1, 0xFF}});
    const std::vector<KeyAssignment> keys = data_.read_key_list_merged();
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].current, (KeyCode{0x10, 0x04, 0x00}));
    EXPECT_EQ(keys[1].current, (KeyCode{0, 0, 2}));
    EXPECT_EQ(keys[2].current, (KeyCode{0, 0, 0x77}));
    EXPECT_EQ(data_.key_list(), keys);

    // A short table copy fills the rest with zeros.
    const std::uint8_t few[] = {1, 2, 3};
    data_.set_key_slot_table(few, sizeof few);
    data_.set_key_map({{2, 0}, {0, 5}});
    EXPECT_EQ(data_.read_key_list_merged()[2].current, (KeyCode{1, 2, 3}));
    EXPECT_EQ(data_.read_key_list_merged()[0].current, KeyCode{});
}

// ---- keyboard per-key colours ----------------------------------------------------------------

TEST_F(ProfileSectionFixture, KeyColoursCreateMissingGroupsAndKeysWithZeros) {
    load(R"({"CustomLightMode":{"CustomLightModeGroupIndex":1,"LightColorInfo":[
        [{"Red":1,"Green":2,"Blue":3,"Alpha":4}]]}})");
    EXPECT_EQ(data_.read_colour_group(), 1);
    std::vector<KeyColour> g0 = data_.read_key_colours(0, 3);
    ASSERT_EQ(g0.size(), 3u);
    EXPECT_EQ(g0[0], (KeyColour{1, 2, 3, 4}));
    EXPECT_EQ(g0[2], KeyColour{});
    const Json::Value& groups = data_.section()["CustomLightMode"]["LightColorInfo"];
    EXPECT_EQ(groups[0].size(), 3u);
    EXPECT_EQ(groups[0][2], json(R"({"Red":0,"Green":0,"Blue":0,"Alpha":0})"));

    const std::vector<KeyColour> g2 = data_.read_key_colours(2, 2);
    EXPECT_EQ(g2, std::vector<KeyColour>(2));
    EXPECT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[2].size(), 2u);

    data_.write_key_colours(2, {KeyColour{9, 8, 7, 6}});
    data_.write_colour_group(2);
    EXPECT_EQ(data_.read_key_colours(2, 2)[0], (KeyColour{9, 8, 7, 6}));
    EXPECT_EQ(data_.read_colour_group(), 2);
}

TEST_F(ProfileSectionFixture, KeyColourGroupsBeyondAByteAreRefused) {
    load(R"({"CustomLightMode":{"CustomLightModeGroupIndex":2000000000,"LightColorInfo":[]}})");
    const Json::Value before = data_.section();
    const int group = data_.read_colour_group();
    EXPECT_TRUE(data_.read_key_colours(group, 4).empty());
    data_.write_key_colours(group, {KeyColour{1, 2, 3, 4}});
    EXPECT_TRUE(data_.read_key_colours(-1, 4).empty());
    EXPECT_EQ(data_.section(), before);

    EXPECT_EQ(data_.read_key_colours(255, 1), std::vector<KeyColour>(1));
    EXPECT_EQ(data_.section()["CustomLightMode"]["LightColorInfo"].size(), 256u);
}

// ---- field tables ----------------------------------------------------------------------------

// Each row set alone: no other row sees it (two rows on one member would), and it survives the
// profile JSON and velqactl's output under its own names (a repeated name would clobber it).
template <typename Record, std::size_t N>
void expect_rows_round_trip(const RecordField<Record> (&fields)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        SCOPED_TRACE(fields[i].name);
        Record record{};
        set_field(record, fields[i], 1);
        for (std::size_t j = 0; j < N; ++j)
            EXPECT_EQ(field_value(record, fields[j]), j == i ? 1 : 0) << fields[j].name;
        // Read-only rows are never written.
        const Record stored = fields[i].store == FieldStore::ReadOnly ? Record{} : record;
        EXPECT_EQ(decode_fields(fields, encode_fields(fields, record)), stored);
        if (fields[i].shown != nullptr) {
            EXPECT_EQ(shown_fields(fields, record)[fields[i].shown].asInt(), 1);
        }
    }
}

TEST(ProfileFieldTables, EveryRowRoundTripsUnderItsOwnNames) {
    expect_rows_round_trip(DpiStageFields);
    expect_rows_round_trip(MouseSettingsFields);
    expect_rows_round_trip(KeyboardSettingsFields);
    expect_rows_round_trip(HeadsetSettingsFields);
    expect_rows_round_trip(LightFields);
    expect_rows_round_trip(AudioLightFields);
    expect_rows_round_trip(KeyColourFields);
}

// The correction list names values in a fixed order: stages, the report stage, the system
// settings, then the lighting.
TEST(ProfileFieldTables, CorrectionsFollowTheTablesOrder) {
    Json::Value doc = test_util::json(R"({"Device":[{
        "DPIStages":[{"StageActive":9,"StageDPIs":[{"StageDPIX":1,"StageXY":"x"}]},
                     {"StageDPIs":[{"StageDPIY":40000}]}],
        "ReportStages":{"StageActive":7},
        "SystemStages":{"KeyDelay":6,"DormancyTime":0,"SensorLif":2,"ReportSelectItemUSB":-1,
                        "sleeptime":99999},
        "LightInfo":{"Blue":300,"Light":5,"OldLedmode":999}}]})");
    const std::vector<std::string> want{
        "Device[0].DPIStages[0].StageActive: 9 -> 5",
        "Device[0].DPIStages[0].StageDPIs[0].StageXY: \"x\" -> 0",
        "Device[0].DPIStages[0].StageDPIs[0].StageDPIX: 1 -> 50",
        "Device[0].DPIStages[1].StageDPIs[0].StageDPIY: 40000 -> 30000",
        "Device[0].ReportStages.StageActive: 7 -> 5",
        "Device[0].SystemStages.ReportSelectItemUSB: -1 -> 0",
        "Device[0].SystemStages.SensorLif: 2 -> 1",
        "Device[0].SystemStages.DormancyTime: 0 -> 1",
        "Device[0].SystemStages.KeyDelay: 6 -> 5",
        "Device[0].LightInfo.Light: 5 -> 4",
        "Device[0].LightInfo.Blue: 300 -> 255"};
    EXPECT_EQ(hold_profile_values(doc, test::shipped_sensors()), want);
    EXPECT_EQ(doc["Device"][0]["SystemStages"]["sleeptime"].asInt(), 99999);
    EXPECT_TRUE(hold_profile_values(doc, test::shipped_sensors()).empty());
}

}  // namespace
}  // namespace velqa::profile
