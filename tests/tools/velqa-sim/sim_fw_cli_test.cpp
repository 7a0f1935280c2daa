// velqa-sim and velqactl as separate processes: the device commands on both paths, the control
// socket, and a fault injected through `ctl` reaching velqactl's exit code.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/json_read.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

using Outcome = velqa::test::CommandOutcome;

// Runs a command line with the shell, capturing stdout and stderr.
Outcome run(const std::string& command) {
    return velqa::test::run_command(command + " 2>&1");
}

Json::Value parse(const std::string& text) {
    return velqa::platform::parse_json(text);
}

class SimProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_process_.start(sim_, dir_.path(), {"--link", "both", "--battery", "64"}))
            << "simulator did not start";
    }
    void TearDown() override {
        if (sim_process_.running()) {
            EXPECT_TRUE(sim_process_.stop());
            EXPECT_FALSE(std::filesystem::exists(dir_ / "control.sock"));
        }
    }
    Outcome ctl(const std::string& args) {
        return run("VELQA_HID=sim:" + dir_.path().string() + " " + ctl_ + " " + args);
    }
    Outcome sim_ctl(const std::string& args) {
        return run(std::string(sim_) + " ctl --dir " + dir_.path().string() + " " + args);
    }

    velqa::test::TempDir dir_;
    const char* sim_ = VELQA_SIM_BIN;
    const char* ctl_ = VELQACTL_BIN;
    velqa::test::SimProcess sim_process_;  // after dir_: stopped before the folder goes
};

TEST_F(SimProcess, DeviceCommandsOnBothPaths) {
    for (const char* l : {"cable", "receiver"}) {
        const std::string opt = std::string(" --link ") + l;
        const Outcome info = ctl("info" + opt);
        ASSERT_EQ(info.exit_code, 0) << info.out;
        const Json::Value i = parse(info.out);
        EXPECT_EQ(i["link"].asString(), l);
        EXPECT_EQ(i["sensor_id"].asString(), "0x3395");
        EXPECT_EQ(i["key_count"].asInt(), 8);

        const Outcome settings = ctl("settings" + opt);
        ASSERT_EQ(settings.exit_code, 0) << settings.out;
        const Json::Value s = parse(settings.out);
        EXPECT_EQ(s["active_slot"].asInt(), 0);
        EXPECT_EQ(s["stages"].size(), 6u);
        EXPECT_EQ(s["stages"][2]["dpi_x"].asInt(), 1600);

        const Outcome power = ctl("power" + opt);
        ASSERT_EQ(power.exit_code, 0) << power.out;
        const Json::Value p = parse(power.out);
        EXPECT_EQ(p["battery_percent"].asInt(), 64);
        EXPECT_EQ(p["wireless"].asInt(), std::string(l) == "receiver" ? 1 : 0);
    }
    // Without --link the cable is used.
    EXPECT_EQ(parse(ctl("power").out)["link"].asString(), "cable");
    const Outcome list = ctl("list");
    EXPECT_EQ(list.exit_code, 0);
    EXPECT_NE(list.out.find("mouse-receiver"), std::string::npos);
}

TEST_F(SimProcess, FaultThroughCtlFailsTheNextRead) {
    for (const char* l : {"cable", "receiver"}) {
        ASSERT_EQ(sim_ctl("fault status-ff 1").exit_code, 0);
        const Outcome r = ctl(std::string("settings --link ") + l);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.out.find("-102"), std::string::npos) << r.out;
        EXPECT_EQ(ctl(std::string("settings --link ") + l).exit_code, 0);
    }
}

TEST_F(SimProcess, CtlChangesWhatVelqactlReads) {
    ASSERT_EQ(sim_ctl("set-slot 2").exit_code, 0);
    ASSERT_EQ(sim_ctl("battery 12 1").exit_code, 0);
    EXPECT_EQ(parse(ctl("settings").out)["active_slot"].asInt(), 2);
    EXPECT_EQ(parse(ctl("power").out)["charging"].asInt(), 1);
    const Json::Value dump = parse(sim_ctl("dump").out);
    EXPECT_EQ(dump["active_slot"].asInt(), 2);
    EXPECT_GE(dump["command_counts"]["0x05"].asInt(), 2);
    // Unlinked: the receiver path fails, the cable still answers.
    ASSERT_EQ(sim_ctl("link off").exit_code, 0);
    EXPECT_EQ(ctl("power --link receiver").exit_code, 1);
    EXPECT_EQ(ctl("power --link cable").exit_code, 0);
    ASSERT_EQ(sim_ctl("unplug cable").exit_code, 0);
    EXPECT_EQ(ctl("power --link cable").exit_code, 3);
    EXPECT_EQ(sim_ctl("bogus").exit_code, 2);
}

TEST_F(SimProcess, RawExchange) {
    const Outcome r = ctl("raw 0x1a 6 0");
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("reply:   04 "), std::string::npos);
    EXPECT_NE(r.out.find("result:  1"), std::string::npos);
    EXPECT_EQ(ctl("raw 300").exit_code, 2);
    EXPECT_EQ(ctl("settings --link usb").exit_code, 2);
}

TEST_F(SimProcess, NumbersAreDecimalOrHexAndNothingElse) {
    // "010" is ten: the request carries code 0x0a, and the simulator counts a 0x0a command.
    const Outcome r = ctl("raw 010");
    EXPECT_NE(r.out.find("request: 04 "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.find("request: 04 ") + 18, 3), "0a ") << r.out;
    const Json::Value counts = parse(sim_ctl("dump").out)["command_counts"];
    EXPECT_EQ(counts["0x0a"].asInt(), 1);
    EXPECT_FALSE(counts.isMember("0x08"));
    for (const char* bad : {"' 5'", "+5", "-5", "5x", "0x", "'5 '"}) {
        const Outcome refused = ctl(std::string("raw ") + bad);
        EXPECT_EQ(refused.exit_code, 2) << bad;
        EXPECT_NE(refused.out.find("CODE must be a number 0-255"), std::string::npos)
            << refused.out;
    }
    const Outcome offset = ctl("raw 5 1 0x10000");
    EXPECT_EQ(offset.exit_code, 2);
    EXPECT_NE(offset.out.find("OFFSET must be a number 0-65535"), std::string::npos) << offset.out;
    // The simulator's control commands read numbers the same way.
    EXPECT_EQ(sim_ctl("battery ' 5'").exit_code, 2);
    EXPECT_EQ(sim_ctl("battery +5").exit_code, 2);
    EXPECT_EQ(sim_ctl("battery 0x20").exit_code, 0);
    EXPECT_EQ(parse(ctl("power").out)["battery_percent"].asInt(), 32);
}

TEST(SimOptions, NumbersAreCheckedBeforeAnythingIsServed) {
    velqa::test::TempDir dir;
    const std::string sim = std::string(VELQA_SIM_BIN) + " --dir " + dir.path().string();
    for (const char* bad : {"--battery ' 5'", "--battery +5", "--battery 101", "--latency 5ms",
                            "--keys -1", "--macro-units 0x100"}) {
        const Outcome r = run(sim + " " + bad);
        EXPECT_EQ(r.exit_code, 2) << bad << ": " << r.out;
        EXPECT_NE(r.out.find("bad option"), std::string::npos) << r.out;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "control.sock"));
}

TEST(SimCtlClient, NoSimulatorRunning) {
    velqa::test::TempDir dir;
    const Outcome r =
        run(std::string(VELQA_SIM_BIN) + " ctl --dir " + dir.path().string() + " dump");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("no simulator"), std::string::npos);
}

}  // namespace
