// velqactl and velqa-sim as separate processes: a delayed reply never yields a record that
// differs from the simulator's memory, and two velqactl processes on one mouse never mix.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/json_read.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

std::string run(const std::string& command, int* exit_code = nullptr) {
    auto r = velqa::test::run_command(command);
    if (exit_code)
        *exit_code = r.exit_code;
    return std::move(r.out);
}

Json::Value parse(const std::string& text) {
    return velqa::platform::parse_json(text);
}

std::string without_spaces(std::string s) {
    std::erase(s, ' ');
    return s;
}

class VelqactlOnSim : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_process_.start(sim_, dir_.path(), {"--link", "both"}))
            << "simulator did not start";
    }
    std::string ctl_line(const std::string& args) const {
        return "VELQA_HID=sim:" + dir_.path().string() + " " + ctl_ + " " + args;
    }
    std::string sim_ctl(const std::string& args) const {
        return run(std::string(sim_) + " ctl --dir " + dir_.path().string() + " " + args);
    }
    // The record of the active slot as the simulator holds it.
    std::string memory_record() const {
        const Json::Value dump = parse(sim_ctl("dump"));
        return without_spaces(dump["slots"][dump["active_slot"].asInt()].asString());
    }

    velqa::test::TempDir dir_;
    const char* sim_ = VELQA_SIM_BIN;
    const char* ctl_ = VELQACTL_BIN;
    velqa::test::SimProcess sim_process_;  // after dir_: stopped before the folder goes
};

TEST_F(VelqactlOnSim, DelayedReplyNeverYieldsAnotherRecord) {
    const std::string memory = memory_record();
    ASSERT_EQ(memory.size(), 148u);
    for (const char* l : {"cable", "receiver"}) {
        // Late enough that the first read gives up and its reply lands in the next one.
        const int delay = std::string(l) == "cable" ? 2100 : 1100;
        sim_ctl("fault slow 1 " + std::to_string(delay));
        for (int round = 0; round < 3; ++round) {
            int code = -1;
            const std::string out = run(ctl_line(std::string("settings --link ") + l), &code);
            if (code != 0)
                continue;  // a failure is honest; a wrong record is not
            EXPECT_EQ(parse(out)["record"].asString(), memory) << l << " round " << round;
        }
    }
}

TEST_F(VelqactlOnSim, TwoProgramsHammeringOneMouseNeverMixRecords) {
    const std::string memory = memory_record();
    const std::string out_a = (dir_ / "a.txt").string(), out_b = (dir_ / "b.txt").string();
    auto loop = [&](const std::string& file, const char* link) {
        return "(for i in 1 2 3 4 5 6 7 8; do " + ctl_line(std::string("settings --link ") + link) +
               " || echo FAILED; done) > " + file + " 2>&1";
    };
    int code = -1;
    run("(" + loop(out_a, "receiver") + ") & (" + loop(out_b, "receiver") + ") & wait", &code);
    ASSERT_EQ(code, 0);
    for (const auto& file : {out_a, out_b}) {
        const std::string text = run("cat " + file);
        EXPECT_EQ(text.find("FAILED"), std::string::npos) << text;
        size_t records = 0;
        for (size_t at = text.find("\"record\""); at != std::string::npos;
             at = text.find("\"record\"", at + 1)) {
            const size_t start = text.find('"', text.find(':', at)) + 1;
            EXPECT_EQ(text.substr(start, text.find('"', start) - start), memory);
            ++records;
        }
        EXPECT_EQ(records, 8u) << text;
    }
}

}  // namespace
