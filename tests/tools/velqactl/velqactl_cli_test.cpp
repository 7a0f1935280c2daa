// velqactl's conventions, the ones its users know from other command-line tools: help for every
// command of the table, a typo diagnosed on one line with the word meant, --opt=value, value
// errors naming the real range, list --json, kinds in any spelling, and a line for every write.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/json_read.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using velqa::test::CommandOutcome;

// The whole text as one JSON document, or null (with the reason in the test's output).
Json::Value strict_json(const std::string& text) {
    std::string error;
    Json::Value v = velqa::platform::parse_json(text, &error);
    EXPECT_TRUE(error.empty()) << error << "\n" << text;
    return v;
}

class VelqactlCli : public ::testing::Test {
  protected:
    // `args` run with a private data folder and the simulator's nodes; `streams` picks what is
    // captured ("" stdout, "2>&1 >/dev/null" stderr alone).
    CommandOutcome run(const std::string& args, const std::string& streams) const {
        return velqa::test::run_command("XDG_DATA_HOME=" + (dir_.path() / "data").string() +
                                        " VELQA_HID=sim:" + sim_dir().string() + " " + ctl_ + " " +
                                        args + " " + streams);
    }
    CommandOutcome out(const std::string& args) const { return run(args, "2>/dev/null"); }
    CommandOutcome err(const std::string& args) const { return run(args, "2>&1 >/dev/null"); }
    void start_sim() { ASSERT_TRUE(sim_.start(VELQA_SIM_BIN, sim_dir(), {"--link", "both"})); }
    fs::path sim_dir() const { return dir_.path() / "sim"; }

    velqa::test::TempDir dir_;
    const char* ctl_ = VELQACTL_BIN;
    velqa::test::SimProcess sim_;
};

TEST_F(VelqactlCli, EveryCommandOfTheTableHasItsHelpAndItChangesNothing) {
    std::istringstream listed(out("__complete ''").out);
    std::vector<std::string> words;
    for (std::string word; std::getline(listed, word);) {
        if (word.rfind("--", 0) != 0)
            words.push_back(word);
    }
    ASSERT_GE(words.size(), 12u);
    for (const std::string& word : words) {
        const CommandOutcome help = out(word + " --help");
        EXPECT_EQ(help.exit_code, 0) << word;
        EXPECT_EQ(help.out.rfind("usage:\n  " + word + " ", 0), 0u) << help.out;
        EXPECT_EQ(out("help " + word).out, help.out) << word;
        EXPECT_EQ(out(word + " -h").out, help.out) << word;
    }
    // After a subcommand and its arguments too: `profile --help` used to be "takes one N".
    const CommandOutcome select = out("profile select 1 --link receiver --help");
    EXPECT_EQ(select.exit_code, 0);
    EXPECT_EQ(select.out, out("help profile").out);
    EXPECT_NE(select.out.find("writes to the mouse"), std::string::npos) << select.out;
    EXPECT_FALSE(fs::exists(dir_.path() / "data"));
}

TEST_F(VelqactlCli, ATypoIsOneLineNamingTheWordMeantBeforeItsArguments) {
    const struct {
        const char* args;
        const char* line;
    } cases[] = {
        {"lsit", "velqactl: unknown command 'lsit'; did you mean 'list'?\n"},
        {"help shot", "velqactl: unknown command 'shot'; did you mean 'shoot'?\n"},
        {"profile slect 1", "velqactl profile: unknown command 'slect'; did you mean 'select'?\n"},
        // The word is wrong whatever follows it.
        {"profile slect abc",
         "velqactl profile: unknown command 'slect'; did you mean 'select'?\n"},
        {"set dpi-enabel 2 1",
         "velqactl set: unknown command 'dpi-enabel'; did you mean 'dpi-enable'?\n"},
        {"key --link=cable wirte",
         "velqactl key: unknown command 'wirte'; did you mean 'write'?\n"},
        {"xyzzy", "velqactl: unknown command 'xyzzy'; see 'velqactl --help'\n"},
    };
    for (const auto& c : cases) {
        const CommandOutcome r = err(c.args);
        EXPECT_EQ(r.exit_code, 2) << c.args;
        EXPECT_EQ(r.out, c.line) << c.args;
    }
    EXPECT_FALSE(fs::exists(dir_.path() / "data"));
}

TEST_F(VelqactlCli, ValueErrorsNameTheRealRange) {
    const struct {
        const char* args;
        const char* range;
    } cases[] = {
        // Not an int's range: the sensors' (which one applies is known once the mouse is read).
        {"set dpi 2 abc", "50-30000"},
        {"set dpi 2 abc", "50-26000 for sensor 3395"},
        {"set polling 9", "RATE must be a number 0-5"},
        {"set sleep 0", "must be a number 1-6"},
        // The four guns the shooting patterns have, not a byte's range.
        {"key set 3 gun:4", "N must be a number 0-3"},
        {"profile show tablet", "mouse, keyboard, mousepad or headset"},
    };
    for (const auto& c : cases) {
        const CommandOutcome r = err(c.args);
        EXPECT_EQ(r.exit_code, 2) << c.args;
        EXPECT_NE(r.out.find(c.range), std::string::npos) << c.args << ": " << r.out;
    }
}

TEST_F(VelqactlCli, OptionsTakeTheirValueAfterAnEqualsSignAndKindsAnySpelling) {
    start_sim();
    const CommandOutcome joined = out("settings --link=receiver");
    ASSERT_EQ(joined.exit_code, 0);
    EXPECT_EQ(strict_json(joined.out)["link"].asString(), "receiver");
    EXPECT_EQ(joined.out, out("settings --link receiver").out);
    // A flag takes no value: refused as any other stray word.
    EXPECT_EQ(out("list --json=yes").exit_code, 2);

    const struct {
        const char* typed;
        const char* folder;
    } kinds[] = {{"MOUSE", "mouse"},       {"Keyboard", "keyboard"}, {"mousepad", "MousePad"},
                 {"MOUSEPAD", "MousePad"}, {"headset", "HD"},        {"hd", "HD"}};
    for (const auto& k : kinds) {
        const std::string typed = k.typed;
        for (const std::string& args :
             {"profile show " + typed, "profile show --kind " + typed,
              "profile show --kind=" + typed, "profile bindings --kind=" + typed}) {
            const CommandOutcome r = out(args);
            EXPECT_EQ(r.exit_code, 0) << args;
            EXPECT_EQ(strict_json(r.out)["kind"].asString(), k.folder) << args;
        }
    }
}

TEST_F(VelqactlCli, ListAsJsonHoldsTheTablesRowsAndIsADocumentWithoutADevice) {
    start_sim();
    std::istringstream table(out("list").out);
    std::string header;
    std::getline(table, header);
    const CommandOutcome listed = out("list --json");
    ASSERT_EQ(listed.exit_code, 0);
    const Json::Value devices = strict_json(listed.out)["devices"];
    ASSERT_TRUE(devices.isArray());
    ASSERT_GE(devices.size(), 2u);  // the cable and the receiver at least
    for (const Json::Value& d : devices) {
        std::string row;
        ASSERT_TRUE(std::getline(table, row));
        std::istringstream columns(row);
        std::string index, type, link, role, path;
        columns >> index >> type >> link >> role >> path;
        EXPECT_EQ(d["row"].asString(), index);
        EXPECT_EQ(d["type"].asString(), type);
        EXPECT_EQ(d["link"].asString(), link);
        EXPECT_EQ(d["role"].asString(), role);
        EXPECT_EQ(d["path"].asString(), path);
    }
    sim_.stop();
    fs::remove_all(sim_dir());
    fs::create_directories(sim_dir());
    const CommandOutcome none = out("list --json");
    EXPECT_EQ(none.exit_code, 3);
    EXPECT_EQ(strict_json(none.out)["devices"], Json::Value(Json::arrayValue));
}

TEST_F(VelqactlCli, EveryWriteSaysSoOnOneLine) {
    start_sim();
    const fs::path file = dir_.path() / "gun0.Shoot";
    const struct {
        std::string args;
        std::string line;
    } cases[] = {
        {"set motion-sync 1", "motion-sync 1: saved and written to the mouse\n"},
        {"set light breathing --speed=2",
         "light breathing --speed 2: saved and written to the mouse\n"},
        {"key write --link=receiver", "buttons and their macros to the mouse\n"},
        {"shoot download", "wrote the four shooting patterns"},
        {"shoot export 0 " + file.string(), "gun 0: exported to " + file.string() + "\n"},
    };
    for (const auto& c : cases) {
        const CommandOutcome r = out(c.args);
        EXPECT_EQ(r.exit_code, 0) << c.args;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << c.args << ": " << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << c.args << ": " << r.out;
    }
}

}  // namespace
