// velqactl macro and key against a velqa-sim process: events typed on the command line reach
// the mouse's macro memory, assignments its key table, a deleted macro's references move in
// every profile, and refused words change nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/json_read.h"
#include "profile/profile_files.h"
#include "profile/profile_list.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using velqa::platform::parse_json;
using velqa::platform::read_json_file;

class VelqactlMacro : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(sim_process_.start(sim_, sim_dir(), {"--link", "both"})); }
    fs::path sim_dir() const { return dir_.path() / "sim"; }
    fs::path mouse_folder() const { return dir_.path() / "data/ZARN_VELQA_R260/mouse"; }
    velqa::profile::ProfileList profiles() const {
        velqa::profile::ProfileList list(mouse_folder(),
                                         velqa::test::source_dir() / "DefaultData/mouse.Json");
        list.load();
        return list;
    }
    velqa::test::CommandOutcome ctl(const std::string& args) const {
        return velqa::test::run_command("XDG_DATA_HOME=" + (dir_.path() / "data").string() +
                                        " VELQA_HID=sim:" + sim_dir().string() + " " + ctl_ + " " +
                                        args + " 2>&1");
    }
    Json::Value dump() const {
        return parse_json(velqa::test::run_command(std::string(sim_) + " ctl --dir " +
                                                   sim_dir().string() + " dump")
                              .out);
    }
    std::string key_entry(int position) const {
        return dump()["key_table"].asString().substr(static_cast<std::size_t>(position) * 6, 6);
    }
    int assignment(const fs::path& profile, int key) const {
        return read_json_file(profile)["Device"][0]["KeyList"][key]["Assignment"].asInt();
    }
    void set_assignment(const fs::path& profile, int key, int code) const {
        Json::Value doc = read_json_file(profile);
        doc["Device"][0]["KeyList"][key]["Assignment"] = code;
        velqa::profile::write_json(doc, profile);
    }

    velqa::test::TempDir dir_;
    const char* sim_ = VELQA_SIM_BIN;
    const char* ctl_ = VELQACTL_BIN;
    velqa::test::SimProcess sim_process_;
};

TEST_F(VelqactlMacro, TypedEventsAndAssignmentsReachTheMouse) {
    ASSERT_EQ(ctl("macro create jump").exit_code, 0);
    auto r = ctl("macro add 0 down:mouse:left:20 up:key:A:0 down:key:RCtrl:300 up:move-y:7:1");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    r = ctl("macro show 0");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const Json::Value shown = parse_json(r.out);
    EXPECT_EQ(shown["name"].asString(), "jump");
    ASSERT_EQ(shown["events"].size(), 4u);
    EXPECT_EQ(shown["events"][2]["Type"].asInt(), 9);  // a modifier is its own event type
    EXPECT_EQ(shown["events"][2]["Button"].asInt(), 0x10);
    EXPECT_EQ(shown["events"][3]["text"].asString(), "up:move-y:7:1");

    r = ctl("key set 3 macro:0:repeat 5 --link receiver");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(key_entry(3), "710005");  // slot 0, five repeats
    // One record of four events: 16 + 6 + 16 bytes; a left press with 20 ms is 14 00 81 01.
    EXPECT_EQ(dump()["macro_data"].asString().substr(0, 76),
              "aa55"
              "2600"
              "0100"
              "00000000000000000000"
              "1200"
              "04000000"
              "14008101"
              "00000a04"
              "2c018910"
              "01000507");

    ASSERT_EQ(ctl("key set 4 key:shift+a").exit_code, 0);
    EXPECT_EQ(key_entry(4), "200204");
    ASSERT_EQ(ctl("key set 5 media:play").exit_code, 0);
    EXPECT_EQ(key_entry(5), "30cd00");
    ASSERT_EQ(ctl("key set 6 wheel:1:3:0:0").exit_code, 0);
    EXPECT_EQ(key_entry(6), "1200fd");

    // The list decodes into the words set takes back.
    r = ctl("key list");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const Json::Value listed = parse_json(r.out);
    EXPECT_EQ(listed["buttons"][3]["assignment"]["text"].asString(), "macro:0:repeat:5");
    EXPECT_EQ(listed["buttons"][3]["assignment"]["macro"].asString(), "jump");
    EXPECT_EQ(listed["buttons"][4]["device"]["text"].asString(), "key:shift+A");
    EXPECT_EQ(listed["buttons"][5]["assignment"]["label"].asString(),
              "keyboard_key_Media Play Pause");
    EXPECT_EQ(listed["buttons"][6]["assignment"]["text"].asString(), "wheel:1:3:0:0");

    ASSERT_EQ(ctl("key set 4 default").exit_code, 0);
    EXPECT_EQ(key_entry(4), "101000");
}

TEST_F(VelqactlMacro, RefusedWordsAreUsageErrorsAndChangeNothing) {
    ASSERT_EQ(ctl("macro create m").exit_code, 0);
    ASSERT_EQ(ctl("macro add 0 down:key:A:1").exit_code, 0);
    // One bad word refuses the whole command.
    for (const char* bad :
         {"macro add 0 down:key:A:1 down:key:A:65536", "macro add 0 press:key:A:1",
          "macro add 0 down:key:NoSuchKey:1", "macro add 0 down:mouse:wheel:1",
          "macro add 0 down:move-x:256:1", "macro add 0 down:key:A", "macro add 1 down:key:A:1",
          "macro show x", "key set 3 macro:1", "key set 3 macro:0:repeat:256",
          "key set 3 key:ctrl+shift+a", "key set 3 fire:1", "key set 3 media:louder",
          "key set 99 mouse:left", "key set 3"}) {
        const auto r = ctl(bad);
        EXPECT_EQ(r.exit_code, 2) << bad << "\n" << r.out;
    }
    EXPECT_EQ(parse_json(ctl("macro show 0").out)["events"].size(), 1u);
    EXPECT_FALSE(dump()["command_counts"].isMember("0x09"));

    // A .mac file from elsewhere with a code outside the tables is refused.
    const fs::path bad = dir_.path() / "bad.mac";
    velqa::profile::write_json(
        parse_json(R"({"Events":[{"Action":"down","Button":1,"Delay":"0","Type":77}]})"), bad);
    EXPECT_EQ(ctl("macro import " + bad.string()).exit_code, 2);
    EXPECT_EQ(parse_json(ctl("macro list").out)["macros"].size(), 1u);
}

TEST_F(VelqactlMacro, DeleteMovesReferencesInEveryProfile) {
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(ctl("macro create").exit_code, 0);
    auto list = profiles();
    ASSERT_TRUE(list.create("Other").ok());
    list = profiles();
    const fs::path selected = list.selected_file();
    const fs::path other = list.file_of(1);
    set_assignment(other, 0, 0x700100);  // macro 1: gets the key's default
    set_assignment(other, 1, 0x710205);  // macro 2: follows it down
    set_assignment(other, 2, 0x700000);  // macro 0: stays
    set_assignment(selected, 3, 0x700100);

    // The selected profile uses it: refused without --force, nothing deleted.
    auto r = ctl("macro delete 1");
    EXPECT_EQ(r.exit_code, 2) << r.out;
    EXPECT_EQ(parse_json(ctl("macro list").out)["macros"].size(), 3u);

    r = ctl("macro delete 1 --force");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(parse_json(ctl("macro list").out)["macros"].size(), 2u);
    EXPECT_EQ(assignment(other, 0), 0x100100);
    EXPECT_EQ(assignment(other, 1), 0x710105);
    EXPECT_EQ(assignment(other, 2), 0x700000);
    EXPECT_EQ(assignment(selected, 3), 0x100800);
    // The selected profile changed, so the mouse got its buttons again.
    EXPECT_EQ(key_entry(3), "100800");
}

}  // namespace
