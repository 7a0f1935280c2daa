// velqa-sim --device keyboard as a separate process: the keyboard's nodes carry the IDs of the
// configuration given, its state in `ctl dump`, key presses through `ctl`, and a configuration
// that cannot be used refused before anything is served.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/atomic_file.h"
#include "platform/json_read.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

using velqa::test::CommandOutcome;

CommandOutcome run(const std::string& command) {
    return velqa::test::run_command(command + " 2>&1");
}

class SimKeyboard : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(velqa::platform::write_file_atomically(
            config_, R"({"VendorId": "3151", "ProductId": "4011", "ReceiverProductId": "4012",
                         "ProductString": "ZK-TEST"})"));
        ASSERT_TRUE(process_.start(VELQA_SIM_BIN, nodes_,
                                   {"--device", "keyboard", "--keyboard-config", config_.string()}))
            << "simulator did not start";
    }
    CommandOutcome ctl(const std::string& args) {
        return run(std::string(VELQA_SIM_BIN) + " ctl --dir " + nodes_.string() + " " + args);
    }
    Json::Value dump() { return velqa::platform::parse_json(ctl("dump").out); }

    velqa::test::TempDir dir_;
    std::filesystem::path config_ = dir_ / "keyboard.json";
    std::filesystem::path nodes_ = dir_ / "nodes";
    velqa::test::SimProcess process_;
};

TEST_F(SimKeyboard, NodesCarryTheConfiguredIdsAndDumpShowsTheKeyboard) {
    const Json::Value cable = velqa::platform::read_json_file(nodes_ / "kbd-cable-if1.json");
    EXPECT_EQ(cable["vendor_id"].asInt(), 0x3151);
    EXPECT_EQ(cable["product_id"].asInt(), 0x4011);
    EXPECT_EQ(cable["product"].asString(), "ZK-TEST");
    EXPECT_EQ(
        velqa::platform::read_json_file(nodes_ / "kbd-receiver-if1.json")["product_id"].asInt(),
        0x4012);

    const Json::Value state = dump();
    EXPECT_EQ(state["device"].asString(), "keyboard");
    EXPECT_EQ(state["keys"].asInt(), 104);
    // 34-byte records; the firmware's own byte 30 is there to be kept.
    EXPECT_EQ(state["slots"][0].asString().size(), 68u);
    EXPECT_EQ(state["slots"][0].asString().substr(60, 2), "a5");
    EXPECT_EQ(state["key_table_thirds"].asString().size(), 208u);
    EXPECT_EQ(state["colour_groups"].size(), 8u);
}

TEST_F(SimKeyboard, CtlPressesKeysAndRefusesWhatAKeyboardLacks) {
    EXPECT_EQ(ctl("press key 12").exit_code, 0);
    EXPECT_EQ(ctl("press key 12 2").exit_code, 0);
    EXPECT_EQ(ctl("press key 104").exit_code, 2);  // beyond the keys
    EXPECT_EQ(ctl("press key 3 7").exit_code, 2);
    EXPECT_EQ(ctl("change 40 1").exit_code, 2);  // beyond the 34-byte record
    EXPECT_EQ(ctl("change 21 5").exit_code, 0);
    EXPECT_EQ(dump()["slots"][0].asString().substr(42, 2), "05");
}

TEST(SimKeyboardOptions, AnUnusableConfigurationIsRefused) {
    velqa::test::TempDir dir;
    const auto config = dir / "bad.json";
    ASSERT_TRUE(velqa::platform::write_file_atomically(config, R"({"VendorId": "12345"})"));
    const std::string sim = std::string(VELQA_SIM_BIN) + " --dir " + (dir / "n").string();
    CommandOutcome r = run(sim + " --device keyboard --keyboard-config " + config.string());
    EXPECT_EQ(r.exit_code, 2) << r.out;
    EXPECT_NE(r.out.find("VendorId"), std::string::npos) << r.out;
    r = run(sim + " --device tablet");
    EXPECT_EQ(r.exit_code, 2) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "n" / "control.sock"));
}

}  // namespace
