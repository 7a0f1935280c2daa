// velqactl shoot against a velqa-sim process: bullets typed on the command line reach the
// mouse's shooting memory, reset and export give the shipped and stored bytes, and refused words
// and files change nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "macro/shoot_data.h"
#include "platform/atomic_file.h"
#include "platform/json_read.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using velqa::platform::parse_json;

std::string bytes_of(const fs::path& file) {
    std::string bytes;
    EXPECT_TRUE(velqa::platform::read_whole_file(file, bytes)) << file;
    return bytes;
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char buf[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        out += buf;
    }
    return out;
}

class VelqactlShoot : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(sim_process_.start(sim_, sim_dir(), {"--link", "both"})); }
    fs::path sim_dir() const { return dir_.path() / "sim"; }
    fs::path mouse_folder() const { return dir_.path() / "data/ZARN_VELQA_R260/mouse"; }
    fs::path factory() const { return velqa::test::source_dir() / "DefaultData"; }
    velqa::macro::ShootPatterns patterns() const { return {mouse_folder(), factory()}; }
    velqa::test::CommandOutcome ctl(const std::string& args) const {
        return velqa::test::run_command("XDG_DATA_HOME=" + (dir_.path() / "data").string() +
                                        " VELQA_HID=sim:" + sim_dir().string() + " " + ctl_ + " " +
                                        args + " 2>&1");
    }
    velqa::test::CommandOutcome sim_ctl(const std::string& args) const {
        return velqa::test::run_command(std::string(sim_) + " ctl --dir " + sim_dir().string() +
                                        " " + args);
    }
    Json::Value dump() const { return parse_json(sim_ctl("dump").out); }

    velqa::test::TempDir dir_;
    const char* sim_ = VELQA_SIM_BIN;
    const char* ctl_ = VELQACTL_BIN;
    velqa::test::SimProcess sim_process_;
};

TEST_F(VelqactlShoot, TypedBulletsReachTheShootingMemory) {
    // Left 2 and down 4 with 60 ms, as the window's editor saves bullet 3.
    auto r = ctl("shoot set 1 3 -2 4 60");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const Json::Value shown = parse_json(ctl("shoot show 1").out)["bullets"][3];
    EXPECT_EQ(shown["x"].asInt(), -2);
    EXPECT_EQ(shown["y"].asInt(), 4);
    EXPECT_EQ(shown["delay"].asInt(), 60);

    r = ctl("shoot download --link receiver");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const Json::Value state = dump();
    const std::string memory = state["shooting_data"].asString();
    const std::vector<std::uint8_t> image = patterns().image();
    ASSERT_EQ(image.size(), 2920u);
    ASSERT_GE(memory.size(), 2 * image.size());
    EXPECT_EQ(memory.substr(0, 2 * image.size()), hex(image));
    // Header, the four record offsets, then gun 0's record of 180 events.
    EXPECT_EQ(memory.substr(0, 56),
              "aa55"
              "680b"
              "0400"
              "00000000000000000000"
              "1800ec02c0059408"
              "b4000000");
    // Gun 1, bullet 3 (events 18-21): press 10 ms, release, left 2 (5 ms), down 4 (60 ms).
    const std::size_t bullet3 = 0x2EC + 4 + 18 * 4;
    EXPECT_EQ(memory.substr(2 * bullet3, 32),
              "0a008101"
              "00000101"
              "05008402"
              "3c000504");
    EXPECT_EQ(state["command_counts"]["0x17"].asInt(), 53);
    EXPECT_FALSE(state["config_open"].asBool());
}

TEST_F(VelqactlShoot, ResetExportAndImportCopyWholeFiles) {
    ASSERT_EQ(ctl("shoot set 0 0 9 9 99").exit_code, 0);
    const fs::path gun0 = mouse_folder() / "ShootData_0.Shoot";
    EXPECT_NE(bytes_of(gun0), bytes_of(factory() / "ShootData_0.Shoot"));
    const fs::path out = dir_.path() / "mine.shoot";
    ASSERT_EQ(ctl("shoot export 0 " + out.string()).exit_code, 0);
    EXPECT_EQ(bytes_of(out), bytes_of(gun0));

    auto r = ctl("shoot reset 0");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(bytes_of(gun0), bytes_of(factory() / "ShootData_0.Shoot"));

    r = ctl("shoot import 2 " + out.string());
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(bytes_of(mouse_folder() / "ShootData_2.Shoot"), bytes_of(out));
    EXPECT_EQ(parse_json(ctl("shoot show 2").out)["bullets"][0]["delay"].asInt(), 99);
}

TEST_F(VelqactlShoot, RefusedWordsAndFilesChangeNothing) {
    ASSERT_EQ(ctl("shoot set 0 0 1 1 50").exit_code, 0);
    const fs::path gun0 = mouse_folder() / "ShootData_0.Shoot";
    const std::string before = bytes_of(gun0);
    for (const char* bad :
         {"shoot set 0 30 1 1 1", "shoot set 4 0 1 1 1", "shoot set 0 0 256 1 1",
          "shoot set 0 0 1 -256 1", "shoot set 0 0 1 1 65536", "shoot set 0 0 +1 1 1",
          "shoot set 0 0 1 1", "shoot show", "shoot show -1", "shoot reset x", "shoot fire 0",
          "shoot download 0", "shoot download --link usb", "shoot"}) {
        const auto r = ctl(bad);
        EXPECT_EQ(r.exit_code, 2) << bad << "\n" << r.out;
    }
    // A file that is no pattern: refused with the reason, the gun keeps its file.
    const fs::path short_file = dir_.path() / "short.shoot";
    ASSERT_TRUE(
        velqa::platform::write_file_atomically(short_file, R"({"Events": [{"Action": "down"}]})"));
    auto r = ctl("shoot import 0 " + short_file.string());
    EXPECT_EQ(r.exit_code, 2) << r.out;
    EXPECT_NE(r.out.find("1 events, a pattern 180"), std::string::npos) << r.out;
    r = ctl("shoot import 0 " + (dir_.path() / "missing.shoot").string());
    EXPECT_EQ(r.exit_code, 2) << r.out;
    EXPECT_EQ(bytes_of(gun0), before);

    // The mouse gone from the receiver: a failure, and nothing written.
    ASSERT_EQ(sim_ctl("link off").exit_code, 0);
    r = ctl("shoot download --link receiver");
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_FALSE(dump()["command_counts"].isMember("0x17"));
}

}  // namespace
