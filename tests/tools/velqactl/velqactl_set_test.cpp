// velqactl set against a velqa-sim process: every setting reaches the mouse's record and the
// profile file as the window's page puts it there, and words out of range are refused with exit
// code 2 before anything is touched.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/json_read.h"
#include "profile/profile_list.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using velqa::platform::parse_json;
using velqa::platform::read_json_file;

std::vector<std::uint8_t> from_hex(const std::string& text) {
    std::vector<std::uint8_t> out;
    std::string digits;
    for (char c : text) {
        if (c != ' ')
            digits += c;
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

class VelqactlSet : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(sim_process_.start(sim_, sim_dir(), {"--link", "both"})); }
    fs::path sim_dir() const { return dir_.path() / "sim"; }
    // The profile velqactl follows: the selected entry of the mouse's profile list.
    fs::path profile_file() const {
        return velqa::profile::selected_profile_path(
            dir_.path() / "data/ZARN_VELQA_R260/mouse",
            velqa::test::source_dir() / "DefaultData/mouse.Json");
    }
    velqa::test::CommandOutcome ctl(const std::string& args) const {
        return velqa::test::run_command("XDG_DATA_HOME=" + (dir_.path() / "data").string() +
                                        " VELQA_HID=sim:" + sim_dir().string() + " " + ctl_ + " " +
                                        args + " 2>&1");
    }
    std::vector<std::uint8_t> record() const {
        const auto out = velqa::test::run_command(std::string(sim_) + " ctl --dir " +
                                                  sim_dir().string() + " dump");
        return from_hex(parse_json(out.out)["slots"][0].asString());
    }
    Json::Value section() const { return read_json_file(profile_file())["Device"][0]; }

    velqa::test::TempDir dir_;
    const char* sim_ = VELQA_SIM_BIN;
    const char* ctl_ = VELQACTL_BIN;
    velqa::test::SimProcess sim_process_;
};

TEST_F(VelqactlSet, DpiReachesTheRecordTheProfileAndTheSettingsCommand) {
    auto r = ctl("set dpi 2 3200");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const auto rec = record();
    ASSERT_EQ(rec.size(), 74u);
    EXPECT_EQ(rec[14 + 2 * 9 + 2] | rec[14 + 2 * 9 + 3] << 8, 3200);
    EXPECT_EQ(section()["DPIStages"][0]["StageDPIs"][2]["StageDPIX"].asInt(), 3200);
    r = ctl("settings");
    ASSERT_EQ(r.exit_code, 0);
    EXPECT_EQ(parse_json(r.out.substr(r.out.find('{')))["stages"][2]["dpi_x"].asInt(), 3200);

    // Clamped to the sensor's range as the page clamps a typed value, and said so.
    r = ctl("set dpi 1 27000 --link receiver");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("50-26000"), std::string::npos) << r.out;
    EXPECT_EQ(section()["DPIStages"][0]["StageDPIs"][1]["StageDPIX"].asInt(), 26000);
    EXPECT_EQ(record()[14 + 9 + 2] | record()[14 + 9 + 3] << 8, 26000);
}

TEST_F(VelqactlSet, EverySettingChangesItsRecordByteAndProfileMember) {
    struct Case {
        const char* args;
        std::size_t byte;
        int value;  // in the record
        const char* object;
        const char* member;
        int stored;  // in the profile
    };
    const Case cases[] = {
        {"set dpi-enable 3 0", 14 + 3 * 9, 0, nullptr, nullptr, 0},
        {"set active-stage 4", 12, 4, nullptr, nullptr, 0},
        {"set polling 1 --link cable", 11, 3, "SystemStages", "ReportSelectItemUSB", 1},
        {"set polling 2 --link receiver", 10, 4, "SystemStages", "ReportSelectItem24K", 2},
        {"set lod 1", 13, 1, "SystemStages", "SilentAltitudeItem", 1},
        {"set motion-sync 1", 71, 1, "SystemStages", "MotionSync", 1},
        {"set linear 1", 72, 1, "SystemStages", "LinearCalibration", 1},
        {"set key-delay 3", 70, 6, "SystemStages", "KeyDelay", 3},
        {"set deep-sleep 1", 68, -1, "SystemStages", "DeepSleepOff", 1},
        {"set sleep 4", 68, 600 & 0xFF, "SystemStages", "DormancyTime", 4},
        {"set light static --brightness 2 --speed 1 --color 0A141E", 1, 3, "LightInfo",
         "SelectItem", 3},
    };
    for (const Case& c : cases) {
        const auto r = ctl(c.args);
        ASSERT_EQ(r.exit_code, 0) << c.args << ": " << r.out;
        const auto rec = record();
        if (c.value >= 0) {
            EXPECT_EQ(rec[c.byte], c.value) << c.args;
        }
        if (c.object != nullptr) {
            EXPECT_EQ(velqa::platform::to_int(section()[c.object][c.member]), c.stored) << c.args;
        }
    }
    const auto rec = record();
    EXPECT_EQ(section()["DPIStages"][0]["StageDPIs"][3]["StageActive"].asInt(), 0);
    EXPECT_EQ(section()["DPIStages"][0]["StageActive"].asInt(), 4);
    EXPECT_EQ(rec[68] | rec[69] << 8, 600);
    // Lighting: brightness, speed as 4 - speed, the colour.
    EXPECT_EQ(rec[2], 2);
    EXPECT_EQ(rec[3], 3);
    EXPECT_EQ(rec[6], 0x0A);
    EXPECT_EQ(rec[7], 0x14);
    EXPECT_EQ(rec[8], 0x1E);
    EXPECT_EQ(section()["LightInfo"]["Green"].asInt(), 0x14);
    // A mode by number works as by name.
    ASSERT_EQ(ctl("set light 10").exit_code, 0);
    EXPECT_EQ(record()[1], 10);
}

TEST_F(VelqactlSet, WordsOutOfRangeAreRefusedWithExitTwoAndTouchNothing) {
    const auto before = record();
    struct Case {
        const char* args;
        const char* names;  // what the message must say
    };
    for (const Case& c :
         {Case{"set dpi 6 800", "0-5"}, Case{"set active-stage 6", "0-5"},
          Case{"set dpi-enable 1 2", "0-1"}, Case{"set polling 6", "0-5"}, Case{"set lod 2", "0-1"},
          Case{"set key-delay 6", "0-5"}, Case{"set sleep 0", "1-6"}, Case{"set sleep 7", "1-6"},
          Case{"set motion-sync yes", "0-1"}, Case{"set light 11", "static"},
          Case{"set light static --brightness 5", "0-4"},
          Case{"set light static --color 12345", "RRGGBB"}, Case{"set dpi 2", "usage"},
          Case{"set frobnicate 1", "unknown command 'frobnicate'"},
          Case{"set dpi 2 3200 --link usb", "usage"}}) {
        const auto r = ctl(c.args);
        EXPECT_EQ(r.exit_code, 2) << c.args << ": " << r.out;
        EXPECT_NE(r.out.find(c.names), std::string::npos) << c.args << ": " << r.out;
    }
    EXPECT_EQ(record(), before);
    // Not even a profile list was made.
    EXPECT_FALSE(fs::exists(dir_.path() / "data/ZARN_VELQA_R260/mouse"));
}

}  // namespace
