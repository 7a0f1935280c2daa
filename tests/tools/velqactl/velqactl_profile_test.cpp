// velqactl profile end to end: the list commands on a fresh data folder, and select writing the
// selected profile to a simulated mouse.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/folder_lock.h"
#include "platform/json_read.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

Json::Value parse(const std::string& text) {
    return velqa::platform::parse_json(text);
}

Json::Value read(const fs::path& file) {
    return velqa::platform::read_json_file(file);
}

void write(const fs::path& file, const Json::Value& value) {
    std::ofstream(file) << value.toStyledString();
}

// The mouse's active settings record as the simulator holds it.
std::vector<std::uint8_t> sim_record(const char* sim, const fs::path& dir) {
    const auto dump =
        velqa::test::run_command(std::string(sim) + " ctl --dir " + dir.string() + " dump");
    const std::string hex = parse(dump.out)["slots"][0].asString();
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

int stage_dpi_x(const std::vector<std::uint8_t>& rec, int stage) {
    const std::size_t at = 14 + static_cast<std::size_t>(stage) * 9 + 2;
    return rec.at(at) | rec.at(at + 1) << 8;
}

class VelqactlProfile : public ::testing::Test {
  protected:
    // stdout and stderr together; the exit code in `code`.
    std::string ctl(const std::string& args, int* code = nullptr) const {
        auto r = velqa::test::run_command("XDG_DATA_HOME=" + dir_.path().string() +
                                          " VELQA_HID=sim:" + (dir_ / "sim").string() + " " + ctl_ +
                                          " " + args + " 2>&1");
        if (code)
            *code = r.exit_code;
        return r.out;
    }
    Json::Value list() const { return parse(ctl("profile list")); }
    fs::path folder() const { return dir_ / "ZARN_VELQA_R260" / "mouse"; }

    velqa::test::TempDir dir_;
    const char* ctl_ = VELQACTL_BIN;
    const char* sim_ = VELQA_SIM_BIN;
};

TEST_F(VelqactlProfile, ListCommandsKeepTheListFileAndTheProfileFiles) {
    Json::Value l = list();
    ASSERT_EQ(l["profiles"].size(), 1u);
    EXPECT_EQ(l["profiles"][0]["name"].asString(), "Profile1");
    EXPECT_TRUE(fs::exists(l["profiles"][0]["file"].asString()));

    int code = -1;
    ctl("profile create", &code);
    EXPECT_EQ(code, 0);
    ctl("profile create FPS", &code);
    EXPECT_EQ(code, 0);
    ctl("profile copy 2", &code);
    EXPECT_EQ(code, 0);
    ctl("profile rename 1 'Arena night'", &code);
    EXPECT_EQ(code, 0);
    l = list();
    ASSERT_EQ(l["profiles"].size(), 4u);
    EXPECT_EQ(l["profiles"][1]["name"].asString(), "Arena night");
    EXPECT_EQ(l["profiles"][3]["name"].asString(), "FPS copy");
    EXPECT_EQ(read(l["profiles"][1]["file"].asString())["profilename"].asString(), "Arena night");

    // Without a mouse, select only selects, and says so.
    const std::string out = ctl("profile select 3", &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("no mouse connected"), std::string::npos) << out;
    EXPECT_EQ(read(folder() / "ProfileList.ini")["profileselect"].asInt(), 3);
    // show without a kind: the selected profile.
    EXPECT_EQ(parse(ctl("profile show"))["source"].asString(), l["profiles"][3]["file"].asString());

    const std::string deleted = l["profiles"][3]["file"].asString();
    ctl("profile delete 3", &code);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(fs::exists(deleted));
    EXPECT_EQ(list()["selected"].asInt(), 2);
}

TEST_F(VelqactlProfile, UsageErrorsNameTheRangeAndChangeNothing) {
    list();
    ctl("profile create Two");
    const Json::Value before = read(folder() / "ProfileList.ini");
    int code = -1;
    for (const char* bad : {"profile delete 2", "profile copy x", "profile rename 5 A",
                            "profile select -1", "profile export 9 /tmp/x.json"}) {
        const std::string out = ctl(bad, &code);
        EXPECT_EQ(code, 2) << bad;
        EXPECT_NE(out.find("N must be a number 0-1"), std::string::npos) << bad << ": " << out;
    }
    EXPECT_NE(ctl("profile rename 0 two", &code).find("another profile has that name"),
              std::string::npos);
    EXPECT_EQ(code, 2);
    ctl("profile frobnicate", &code);
    EXPECT_EQ(code, 2);
    ctl("profile delete", &code);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(read(folder() / "ProfileList.ini"), before);
}

TEST_F(VelqactlProfile, ExportImportRoundTripAndHostileImportRefused) {
    list();
    int code = -1;
    const fs::path out = dir_ / "Tournament.json";
    ctl("profile export 0 " + out.string(), &code);
    ASSERT_EQ(code, 0);
    ctl("profile import " + out.string(), &code);
    ASSERT_EQ(code, 0);
    const Json::Value l = list();
    ASSERT_EQ(l["profiles"].size(), 2u);
    EXPECT_EQ(l["profiles"][1]["name"].asString(), "Tournament");
    EXPECT_EQ(read(l["profiles"][1]["file"].asString())["Device"],
              read(l["profiles"][0]["file"].asString())["Device"]);

    Json::Value hostile = read(out);
    hostile["Device"][0]["LightList"][0]["Guid"] = "../../../outside";
    write(dir_ / "evil.json", hostile);
    const std::string said = ctl("profile import " + (dir_ / "evil.json").string(), &code);
    EXPECT_EQ(code, 2);
    EXPECT_NE(said.find("outside the profile folder"), std::string::npos) << said;
    EXPECT_EQ(list()["profiles"].size(), 2u);
}

// Bindings name profiles by index on the command line and by identifier in the file; a refused
// command changes nothing, and the switch is one setting for every kind.
TEST_F(VelqactlProfile, BindingCommandsKeepTheBindingsFile) {
    list();
    int code = -1;
    ctl("profile create FPS", &code);
    ASSERT_EQ(code, 0);
    const Json::Value l = list();
    const std::string fps = l["profiles"][1]["uuid"].asString();
    ctl("profile bind 1 cs2", &code);
    EXPECT_EQ(code, 0);
    ctl("profile bind 1 steam_app_730", &code);
    EXPECT_EQ(code, 0);
    ctl("profile bind 0 firefox", &code);
    EXPECT_EQ(code, 0);
    ctl("profile default 0", &code);
    EXPECT_EQ(code, 0);
    ctl("profile unbind 1 steam_app_730", &code);
    EXPECT_EQ(code, 0);
    // Bound elsewhere: it moves, and says from where.
    EXPECT_NE(ctl("profile bind 0 cs2", &code).find("it was bound to profile 1 \"FPS\""),
              std::string::npos);
    ctl("profile bind 1 cs2", &code);
    ctl("profile bind 0 vlc --kind keyboard", &code);
    EXPECT_EQ(code, 0);

    Json::Value b = parse(ctl("profile bindings"));
    EXPECT_TRUE(b["auto"].asBool());
    ASSERT_EQ(b["profiles"].size(), 2u);
    EXPECT_EQ(b["profiles"][1]["uuid"].asString(), fps);
    EXPECT_EQ(b["profiles"][1]["apps"], parse(R"(["cs2"])"));
    EXPECT_EQ(b["profiles"][0]["apps"], parse(R"(["firefox"])"));
    EXPECT_TRUE(b["profiles"][0]["default"].asBool());
    EXPECT_FALSE(b["profiles"][1]["default"].asBool());
    EXPECT_EQ(parse(ctl("profile bindings --kind keyboard"))["profiles"][0]["apps"],
              parse(R"(["vlc"])"));
    EXPECT_EQ(read(folder() / "AppBindings.json")["Default"].asString(),
              l["profiles"][0]["uuid"].asString());

    const std::string before = read(folder() / "AppBindings.json").toStyledString();
    for (const char* bad :
         {"profile bind 2 cs2", "profile bind 1 ''", "profile bind 1", "profile unbind 1 firefox",
          "profile default x", "profile auto maybe", "profile bindings --kind tablet"}) {
        ctl(bad, &code);
        EXPECT_EQ(code, 2) << bad;
    }
    EXPECT_EQ(read(folder() / "AppBindings.json").toStyledString(), before);

    ctl("profile auto off", &code);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(parse(ctl("profile bindings"))["auto"].asBool());
    EXPECT_FALSE(parse(ctl("profile bindings --kind keyboard"))["auto"].asBool());
    // A deleted profile takes its bindings with it.
    ctl("profile delete 1", &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(read(folder() / "AppBindings.json").toStyledString().find("cs2"), std::string::npos);
}

TEST_F(VelqactlProfile, SelectWritesTheSelectedProfileToTheMouse) {
    velqa::test::SimProcess sim;
    fs::create_directories(dir_ / "sim");
    ASSERT_TRUE(sim.start(sim_, dir_ / "sim", {"--link", "both"}));
    ctl("profile create Sniper");
    const fs::path file = list()["profiles"][1]["file"].asString();
    Json::Value profile = read(file);
    for (Json::Value& set : profile["Device"][0]["DPIStages"])
        set["StageDPIs"][2]["StageDPIX"] = set["StageDPIs"][2]["StageDPIY"] = 2400;
    write(file, profile);

    int code = -1;
    const std::string said = ctl("profile select 1", &code);
    ASSERT_EQ(code, 0) << said;
    const Json::Value settings = parse(ctl("settings"));
    EXPECT_EQ(settings["stages"][2]["dpi_x"].asInt(), 2400) << settings.toStyledString();
    // Applying reads the mouse, but the profile it applies keeps what it held.
    EXPECT_EQ(read(file)["Device"][0]["DPIStages"][0]["StageDPIs"][2]["StageDPIX"].asInt(), 2400);
}

TEST_F(VelqactlProfile, HostileValuesAreHeldInRangeListedAndNeverReachTheMouse) {
    velqa::test::SimProcess sim;
    fs::create_directories(dir_ / "sim");
    ASSERT_TRUE(sim.start(sim_, dir_ / "sim", {"--link", "both"}));
    const fs::path exported = dir_ / "base.json";
    int code = -1;
    ctl("profile export 0 " + exported.string(), &code);
    ASSERT_EQ(code, 0);
    Json::Value hostile = read(exported);
    Json::Value& section = hostile["Device"][0];
    Json::Value& stages = section["DPIStages"][0]["StageDPIs"];  // the simulator's 0x3395 set
    stages[0]["StageDPIX"] = 100000;
    stages[1]["StageDPIX"] = "abc";
    stages[2]["StageDPIX"] = -5;
    stages[3]["StageColorR"] = 4096;
    section["SystemStages"]["ReportSelectItemUSB"] = 99;
    section["SystemStages"]["ReportSelectItem24K"] = 247;
    // The desktop's settings the profile carries: a 1 ms double click breaks the desktop's.
    section["SystemStages"]["DoubleClickTime"] = 1;
    section["SystemStages"]["MouseSpeed"] = 65535;
    section["SystemStages"]["PointerPrecision"] = 7;
    section["SystemStages"]["ScorllPage"] = "yes";
    section["SystemStages"]["WheelScorlllinse"] = 65535;
    section["LightInfo"]["Light"] = 200;
    section["LightInfo"]["Red"] = 4096;
    section["AudioLightInfo"]["AudioMode"] = 77;  // the lighting editor offers four
    write(dir_ / "hostile.json", hostile);

    const std::string said = ctl("profile import " + (dir_ / "hostile.json").string(), &code);
    ASSERT_EQ(code, 0) << said;
    for (const char* line :
         {"Device[0].DPIStages[0].StageDPIs[0].StageDPIX: 100000 -> 26000",
          "Device[0].DPIStages[0].StageDPIs[1].StageDPIX: \"abc\" -> 50",
          "Device[0].DPIStages[0].StageDPIs[2].StageDPIX: -5 -> 50",
          "Device[0].DPIStages[0].StageDPIs[3].StageColorR: 4096 -> 255",
          "Device[0].SystemStages.ReportSelectItemUSB: 99 -> 5",
          "Device[0].SystemStages.ReportSelectItem24K: 247 -> 5",
          "Device[0].SystemStages.DoubleClickTime: 1 -> 200",
          "Device[0].SystemStages.MouseSpeed: 65535 -> 20",
          "Device[0].SystemStages.PointerPrecision: 7 -> 1",
          "Device[0].SystemStages.ScorllPage: \"yes\" -> 0",
          "Device[0].SystemStages.WheelScorlllinse: 65535 -> 20",
          "Device[0].LightInfo.Light: 200 -> 4", "Device[0].LightInfo.Red: 4096 -> 255",
          "Device[0].AudioLightInfo.AudioMode: 77 -> 3"}) {
        EXPECT_NE(said.find(line), std::string::npos) << line << " in:\n" << said;
    }
    // What is listed is what is stored.
    const Json::Value stored = read(list()["profiles"][1]["file"].asString())["Device"][0];
    EXPECT_EQ(stored["DPIStages"][0]["StageDPIs"][1]["StageDPIX"], 50);
    EXPECT_EQ(stored["SystemStages"]["ReportSelectItemUSB"], 5);
    EXPECT_EQ(stored["SystemStages"]["DoubleClickTime"], 200);
    EXPECT_EQ(stored["SystemStages"]["WheelScorlllinse"], 20);

    // A hand edit after the import meets the same limits on its way to the mouse.
    const fs::path file = list()["profiles"][1]["file"].asString();
    Json::Value edited = read(file);
    edited["Device"][0]["DPIStages"][0]["StageDPIs"][4]["StageDPIX"] = 65535;
    edited["Device"][0]["LightInfo"]["Speed"] = 9;
    write(file, edited);
    const std::string selected = ctl("profile select 1", &code);
    ASSERT_EQ(code, 0) << selected;
    const std::vector<std::uint8_t> rec = sim_record(sim_, dir_ / "sim");
    ASSERT_EQ(rec.size(), 74u);
    EXPECT_EQ(stage_dpi_x(rec, 0), 26000);
    EXPECT_EQ(stage_dpi_x(rec, 1), 50);
    EXPECT_EQ(stage_dpi_x(rec, 2), 50);
    EXPECT_EQ(stage_dpi_x(rec, 4), 26000);
    EXPECT_EQ(rec[11], 5 + 2);  // cable polling option 5
    EXPECT_EQ(rec[10], 5 + 2);
    EXPECT_EQ(rec[2], 4);      // brightness
    EXPECT_EQ(rec[3], 4 - 4);  // speed 4
    EXPECT_EQ(rec[6], 255);
}

TEST_F(VelqactlProfile, AnIncompleteImportIsCompletedSoItCanBeSelectedAndChanged) {
    velqa::test::SimProcess sim;
    fs::create_directories(dir_ / "sim");
    ASSERT_TRUE(sim.start(sim_, dir_ / "sim", {"--link", "both"}));
    const std::string bare = R"({"profilename":"x","profileUUID":"y","Device":[{}]})";
    std::ofstream(dir_ / "Bare.json") << bare;
    int code = -1;
    std::string said = ctl("profile import " + (dir_ / "Bare.json").string(), &code);
    ASSERT_EQ(code, 0) << said;
    EXPECT_NE(said.find("Device[0].KeyList: missing -> factory profile"), std::string::npos)
        << said;
    said = ctl("profile select 1", &code);
    ASSERT_EQ(code, 0) << said;
    EXPECT_NE(said.find("written to the mouse"), std::string::npos) << said;
    said = ctl("set dpi 0 1200", &code);
    ASSERT_EQ(code, 0) << said;
    EXPECT_EQ(stage_dpi_x(sim_record(sim_, dir_ / "sim"), 0), 1200);

    // A profile left incomplete on disk (an import from before) is completed when it is used.
    const fs::path file = list()["profiles"][1]["file"].asString();
    std::ofstream(file) << bare;
    said = ctl("set dpi 0 1600", &code);
    ASSERT_EQ(code, 0) << said;
    EXPECT_FALSE(read(file)["Device"][0]["KeyList"].isNull());

    // A select that cannot reach the mouse says what failed and leaves the selection alone.
    ASSERT_EQ(velqa::test::run_command(std::string(sim_) + " ctl --dir " + (dir_ / "sim").string() +
                                       " fault status-ff 20")
                  .exit_code,
              0);
    said = ctl("profile select 0", &code);
    EXPECT_NE(code, 0) << said;
    EXPECT_EQ(said.find("selected profile"), std::string::npos) << said;
    EXPECT_NE(said.find("was not written to the mouse; the selection is unchanged"),
              std::string::npos)
        << said;
    EXPECT_EQ(list()["selected"].asInt(), 1);
}

// Ten programs changing one list at once: creates, deletes and renames must all land, and the
// list and the files must agree afterwards.
TEST_F(VelqactlProfile, TenConcurrentWritersLoseNothing) {
    list();
    // Profile1 at 0, then D0..D9: every "delete 1" below removes one of them, whatever the
    // interleaving, while the creates append behind.
    for (int k = 0; k < 10; ++k)
        ASSERT_EQ(
            velqa::test::run_command("XDG_DATA_HOME=" + dir_.path().string() + " " + ctl_ +
                                     " profile create D" + std::to_string(k) + " >/dev/null 2>&1")
                .exit_code,
            0);
    std::ostringstream script;
    const std::string run = "XDG_DATA_HOME=" + dir_.path().string() + " " + ctl_;
    for (int k = 0; k < 10; ++k) {
        const std::string w = "w" + std::to_string(k) + "_";
        auto step = [&](const std::string& args, const std::string& said) {
            script << run << " profile " << args << " >/dev/null 2>&1 && echo " << said
                   << " || echo FAILED " << args << "; ";
        };
        script << "( ";
        step("create " + w + "1", "created " + w + "1");
        step("delete 1", "deleted");
        step("create " + w + "2", "created " + w + "2");
        step("rename 0 Main" + std::to_string(k), "renamed Main" + std::to_string(k));
        step("create " + w + "3", "created " + w + "3");
        step("create " + w + "4", "created " + w + "4");
        script << ") & ";
    }
    script << "wait";
    const std::string said = velqa::test::run_command(script.str()).out;
    EXPECT_EQ(said.find("FAILED"), std::string::npos) << said;

    const Json::Value l = list();
    std::set<std::string> names;
    std::set<std::string> listed_files;
    for (const Json::Value& p : l["profiles"]) {
        names.insert(p["name"].asString());
        listed_files.insert(p["file"].asString());
        // The file holds what the list says.
        EXPECT_EQ(read(p["file"].asString())["profilename"].asString(), p["name"].asString());
    }
    EXPECT_EQ(l["profiles"].size(), 41u) << said;
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(names.count("D" + std::to_string(k)), 0u);
        for (int j = 1; j <= 4; ++j) {
            const std::string name = "w" + std::to_string(k) + "_" + std::to_string(j);
            EXPECT_EQ(names.count(name), 1u) << name;
            EXPECT_NE(said.find("created " + name), std::string::npos) << name;
        }
    }
    EXPECT_EQ(l["profiles"][0]["name"].asString().rfind("Main", 0), 0u);
    std::set<std::string> on_disk;
    for (const auto& entry : fs::directory_iterator(folder())) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".Json")
            on_disk.insert(entry.path().string());
        else
            EXPECT_TRUE(name == "ProfileList.ini" || name == ".lock") << "left behind: " << name;
    }
    EXPECT_EQ(on_disk, listed_files);
}

// A folder that every user may write to, as /tmp is; removed afterwards.
struct SharedFolder {
    SharedFolder() {
        char name[] = "/tmp/velqa-shared-XXXXXX";
        if (::mkdtemp(name) != nullptr && ::chmod(name, 01777) == 0)
            path = name;
    }
    ~SharedFolder() {
        std::error_code ec;
        if (!path.empty())
            fs::remove_all(path, ec);
    }
    fs::path path;
};

// Export to a path that another user's link in a shared folder redirects: refused at every hop,
// nothing written; our own links are still followed.
TEST_F(VelqactlProfile, ExportRefusesAnotherUsersLinkInASharedFolder) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to plant a link as a second user (setpriv)";
    SharedFolder shared;
    ASSERT_FALSE(shared.path.empty());
    list();
    const fs::path victim = dir_ / "victim.txt";
    std::ofstream(victim) << "precious";
    auto as_nobody = [](const std::string& command) {
        return velqa::test::run_command("setpriv --reuid=65534 --regid=65534 --clear-groups " +
                                        command)
            .exit_code;
    };
    const fs::path planted = shared.path / "backup.json";
    ASSERT_EQ(as_nobody("ln -s " + victim.string() + " " + planted.string()), 0);
    ASSERT_EQ(as_nobody("ln -s " + dir_.path().string() + " " + (shared.path / "dir").string()), 0);
    const fs::path ours_to_planted = dir_ / "via.json";  // our link onto the planted one
    fs::create_symlink(planted, ours_to_planted);

    int code = -1;
    for (const fs::path& target : {planted, ours_to_planted, shared.path / "dir" / "victim.txt"}) {
        const std::string out = ctl("profile export 0 " + target.string(), &code);
        EXPECT_NE(code, 0) << target;
        EXPECT_NE(out.find("another user"), std::string::npos) << out;
        EXPECT_EQ(velqa::test::run_command("cat " + victim.string()).out, "precious") << target;
    }
    // Macro and shooting-pattern exports go through the same writer.
    ASSERT_EQ((ctl("macro create M", &code), code), 0);
    for (const char* export_to : {"macro export 0 ", "shoot export 0 "}) {
        ctl(std::string(export_to) + planted.string(), &code);
        EXPECT_NE(code, 0) << export_to;
        EXPECT_EQ(velqa::test::run_command("cat " + victim.string()).out, "precious");
    }
    EXPECT_TRUE(fs::is_symlink(planted));

    // Our own link in the shared folder is followed: the file it names gets the profile.
    const fs::path mine = shared.path / "mine.json";
    fs::create_symlink(dir_ / "mine-target.json", mine);
    const std::string out = ctl("profile export 0 " + mine.string(), &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(fs::is_symlink(mine));
    EXPECT_EQ(read(dir_ / "mine-target.json")["profilename"].asString(), "Profile1");
}

// Pressing Tab runs `velqactl __complete`, which reads the profiles and changes nothing: a fresh
// home stays empty, a damaged list stays where it is, and while another program changes the list
// nothing is offered (and nothing waits for it).
TEST_F(VelqactlProfile, CompletionOnlyReads) {
    const fs::path home = dir_ / "home";
    fs::create_directories(home);
    auto complete = [&] {
        return velqa::test::run_command("env -u XDG_DATA_HOME HOME=" + home.string() +
                                        " timeout 60 " + ctl_ +
                                        " __complete profile select '' 2>&1");
    };
    velqa::test::CommandOutcome r = complete();
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(fs::is_empty(home));

    const fs::path mouse = home / ".local" / "share" / "ZARN_VELQA_R260" / "mouse";
    fs::create_directories(mouse);
    const std::string damaged =
        R"({"profilelist":[{"profilename":"Aim","profileUUID":"a1"},)"
        R"({"profilename":"evil","profileUUID":"../x"}],"profileselect":0})";
    std::ofstream(mouse / "ProfileList.ini") << damaged;
    r = complete();
    EXPECT_EQ(r.out, "0\tAim\n");
    EXPECT_EQ(velqa::test::run_command("cat " + (mouse / "ProfileList.ini").string()).out, damaged);
    EXPECT_EQ(std::distance(fs::directory_iterator(mouse), fs::directory_iterator()), 1);

    // Before, this waited for the lock and then printed its error.
    velqa::platform::FolderLock held(mouse);
    ASSERT_TRUE(held.ok());
    r = complete();
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "");
}

// Names that would act on a terminal or reorder what it shows: refused where a name is made,
// escaped where a stored one is printed.
TEST_F(VelqactlProfile, ControlCharactersInNamesAreRefusedAndStoredOnesEscaped) {
    list();
    const std::string esc = "\x1b[2J",
                      c1 = "\xc2\x9b"
                           "31m",
                      bidi =
                          "gpj.\xe2\x80\xae"
                          "exe";
    const fs::path exported = dir_ / "plain.json";
    int code = -1;
    ASSERT_EQ((ctl("profile export 0 " + exported.string(), &code), code), 0);
    for (const std::string& bad : {esc, c1, bidi}) {
        for (const std::string& command :
             {"profile create '" + bad + "'", "profile rename 0 '" + bad + "'",
              "profile bind 0 'app" + bad + "'", "macro create '" + bad + "'"}) {
            const std::string out = ctl(command, &code);
            EXPECT_EQ(code, 2) << command;
            EXPECT_NE(out.find("control characters"), std::string::npos) << out;
        }
        const fs::path named = dir_ / (bad + ".json");
        fs::copy_file(exported, named);
        EXPECT_NE(ctl("profile import '" + named.string() + "'", &code).find("control characters"),
                  std::string::npos);
        EXPECT_EQ(code, 2);
    }
    const Json::Value l = list();
    ASSERT_EQ(l["profiles"].size(), 1u);
    EXPECT_EQ(l["profiles"][0]["name"].asString(), "Profile1");
    EXPECT_EQ(parse(ctl("profile bindings"))["profiles"][0]["apps"].size(), 0u);

    // A name stored by another program: the same text for JSON, nothing raw for the terminal.
    const std::string stored = esc + c1 + bidi;
    Json::Value doc = read(folder() / "ProfileList.ini");
    doc["profilelist"][0]["profilename"] = stored;
    write(folder() / "ProfileList.ini", doc);
    const std::string shown = "\\u001b[2J\\u009b31mgpj.\\u202eexe";
    for (const std::string& args : {std::string("profile list"), std::string("profile select 0"),
                                    std::string("__complete profile select ''")}) {
        const std::string out = ctl(args);
        for (const char* raw : {"\x1b", "\xc2\x9b", "\xe2\x80\xae"})
            EXPECT_EQ(out.find(raw), std::string::npos) << args << ": " << out;
        EXPECT_NE(out.find(shown), std::string::npos) << args << ": " << out;
    }
    EXPECT_EQ(list()["profiles"][0]["name"].asString(), stored);
}

// Without HOME, and without an entry in the user database, the profiles go to a private folder
// of ours in the temporary folder, never to a name another user can prepare: their link at the
// old shared name reaches none of our files, and their folder at our private name is refused,
// as is the device locks' folder, said so without VELQA_DEBUG.
TEST_F(VelqactlProfile, WithoutAHomeNoOtherUserReachesOurFiles) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as two other users (setpriv)";
    constexpr uid_t kUs = 54321;
    if (::getpwuid(kUs) != nullptr)
        GTEST_SKIP() << "uid 54321 has a home in the user database here";
    SharedFolder shared;
    ASSERT_FALSE(shared.path.empty());
    auto as = [](uid_t uid, const std::string& command) {
        const std::string id = std::to_string(uid);
        return velqa::test::run_command("setpriv --reuid=" + id + " --regid=" + id +
                                        " --clear-groups " + command);
    };
    auto ctl_without_home = [&](const std::string& env) {
        return as(kUs, "env -i PATH=/usr/bin:/bin TMPDIR=" + shared.path.string() + " " + env +
                           " " + ctl_ + " profile list 2>&1");
    };
    // A file of ours that the other user may neither read nor change, and damaged as a list.
    const fs::path ours = shared.path / "ours";
    ASSERT_EQ(as(kUs, "sh -c 'umask 077 && mkdir " + ours.string() + " && echo secret >" +
                          (ours / "secret").string() + "'")
                  .exit_code,
              0);
    const fs::path secret = ours / "secret";
    const fs::path private_name = shared.path / ("velqa-" + std::to_string(kUs));
    const std::string link_to_secret = ".local/share/ZARN_VELQA_R260/mouse";
    ASSERT_EQ(
        as(65534, "sh -c 'umask 0 && mkdir -p " + (shared.path / "ZARN_VELQA_R260/mouse").string() +
                      " " + (private_name / link_to_secret).string() + " && ln -s " +
                      secret.string() + " " +
                      (shared.path / "ZARN_VELQA_R260/mouse/ProfileList.ini").string() +
                      " && ln -s " + secret.string() + " " +
                      (private_name / link_to_secret / "ProfileList.ini").string() + "'")
            .exit_code,
        0);
    auto untouched = [&] {
        struct stat st {};
        EXPECT_EQ(::stat(secret.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(velqa::test::run_command("cat " + secret.string()).out, "secret\n");
        for (const auto& e : fs::recursive_directory_iterator(shared.path))
            EXPECT_NE(e.path().extension(), ".unreadable") << e.path();
    };

    velqa::test::CommandOutcome r = ctl_without_home("");
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(r.out.find("no private folder for the profiles"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("another user"), std::string::npos) << r.out;
    untouched();

    // With a data folder of our own the profiles work, and the locks are off, out loud.
    ASSERT_EQ(as(kUs, "mkdir -m 700 " + (ours / "data").string()).exit_code, 0);
    r = ctl_without_home("XDG_DATA_HOME=" + (ours / "data").string());
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("not locked"), std::string::npos) << r.out;
    untouched();

    // Once the name is free it becomes ours, closed to others; the old shared name is not used.
    fs::remove_all(private_name);
    r = ctl_without_home("");
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(r.out.find("not locked"), std::string::npos) << r.out;
    struct stat st {};
    ASSERT_EQ(::lstat(private_name.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kUs);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(parse(r.out)["profileFolder"].asString(),
              (private_name / ".local/share/ZARN_VELQA_R260/mouse").string());
    EXPECT_TRUE(fs::is_symlink(shared.path / "ZARN_VELQA_R260/mouse/ProfileList.ini"));
    untouched();
}

}  // namespace
