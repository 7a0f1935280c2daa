// The profile list: rebuilding, naming, the limit, identifiers, and untrusted imports.
#include <gtest/gtest.h>

#include <map>

#include "platform/folder_lock.h"
#include "profile/app_bindings.h"
#include "profile/json_access.h"
#include "profile/profile_list.h"
#include "profile_test_util.h"
#include "support/shipped_sensors.h"
#include "support/temp_dir.h"

namespace velqa::profile {
namespace {

namespace fs = std::filesystem;
using test_util::file_bytes;
using test_util::json;
using test_util::put_file;

constexpr char kDefault[] = R"({"profilename":"factory","profileUUID":"factory",
  "Device":[{"SystemStages":{"KeyDelay":3},"KeyList":[],
             "CustomEQNameInfo":[{"Name":"factory"}]}]})";

// Every file of a folder with its bytes: "nothing changed" compares two of these.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().filename() != platform::FolderLockName)  // empty, and made by the first change
            files[e.path().filename().string()] = file_bytes(e.path());
    }
    return files;
}

class ProfileListTest : public ::testing::Test {
  protected:
    ProfileListTest() {
        fs::create_directories(folder_);
        put_file(default_file_, kDefault);
    }

    ProfileList list(int device_type = 0, UuidClock clock = {}) const {
        ProfileList l(folder_, default_file_, device_type, std::move(clock));
        l.set_sensors(test::shipped_sensors());
        return l;
    }
    // A list file with these names (identifiers n0, n1, ...) and their profile files.
    void seed(const std::vector<std::string>& names, int selected = 0) const {
        Json::Value doc;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string uuid = "n" + std::to_string(i);
            Json::Value& e = doc["profilelist"][static_cast<Json::ArrayIndex>(i)];
            e["profilename"] = names[i];
            e["profileUUID"] = uuid;
            put_file(folder_ / (uuid + ".Json"), R"({"profilename":")" + names[i] +
                                                     R"(","profileUUID":")" + uuid +
                                                     R"(","Device":[{"SystemStages":{"KeyDelay":)" +
                                                     std::to_string(i) + "},\"KeyList\":[]}]}");
        }
        doc["profileselect"] = selected;
        ASSERT_TRUE(write_json_checked(doc, folder_ / ProfileListName));
    }
    std::vector<std::string> names(const ProfileList& l) const {
        std::vector<std::string> out;
        for (const ProfileEntry& e : l.entries())
            out.push_back(e.name);
        return out;
    }
    Json::Value profile_of(const ProfileList& l, int i) const { return read_json(l.file_of(i)); }

    test::TempDir dir_;
    fs::path folder_ = dir_ / "mouse";
    fs::path default_file_ = dir_ / "mouse.Json";
};

TEST_F(ProfileListTest, MissingOrEmptyListIsRebuiltFromTheFactoryProfile) {
    ProfileList l = list();
    ASSERT_TRUE(l.load().ok());
    ASSERT_EQ(names(l), std::vector<std::string>{"Profile1"});
    EXPECT_EQ(l.selected(), 0);
    const Json::Value p = profile_of(l, 0);
    EXPECT_EQ(p["profilename"].asString(), "Profile1");
    EXPECT_EQ(p["profileUUID"].asString(), l.entries()[0].uuid);
    EXPECT_EQ(p["Device"][0]["SystemStages"]["KeyDelay"].asInt(), 3);
    const Json::Value doc = read_json(l.list_path());
    EXPECT_EQ(doc["profilelist"][0]["profileislink"].asInt(), 0);
    EXPECT_EQ(doc["profilelist"][0]["profilelinkmame"].asString(), "");

    // An empty list is no damage: rebuilt without keeping a copy.
    put_file(l.list_path(), R"({"profilelist":[],"profileselect":0})");
    ASSERT_TRUE(list().load().ok());
    EXPECT_FALSE(fs::exists(folder_ / "ProfileList.ini.unreadable"));
}

TEST_F(ProfileListTest, DamagedListIsKeptBesideItAndEarlierProfilesStay) {
    seed({"A", "B"});
    const std::string damaged = R"({"profilelist": [ {"profilename": "A", )";
    put_file(folder_ / ProfileListName, damaged);
    fs::permissions(folder_ / ProfileListName, fs::perms::owner_read | fs::perms::owner_write);
    ProfileList l = list();
    ASSERT_TRUE(l.load().ok());
    EXPECT_EQ(names(l), std::vector<std::string>{"Profile1"});
    EXPECT_EQ(file_bytes(folder_ / "ProfileList.ini.unreadable"), damaged);
    // The copy is as private as the list was, whatever the umask.
    EXPECT_EQ(fs::status(folder_ / "ProfileList.ini.unreadable").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(fs::exists(folder_ / "n0.Json"));
    EXPECT_TRUE(fs::exists(folder_ / "n1.Json"));

    // Entries that could name files elsewhere go; the usable ones stay.
    put_file(folder_ / ProfileListName,
             R"({"profilelist":[{"profilename":"A","profileUUID":"n0"},
                 {"profilename":"evil","profileUUID":"../../x"},
                 {"profilename":"num","profileUUID":7}],"profileselect":0})");
    ASSERT_TRUE(l.load().ok());
    EXPECT_EQ(names(l), std::vector<std::string>{"A"});
    EXPECT_EQ(read_json(l.list_path())["profilelist"].size(), 1u);
}

TEST_F(ProfileListTest, NamingRules) {
    seed({"Profile1", "profile2", "A", "A copy", "Gaming"});
    ProfileList l = list();
    ASSERT_TRUE(l.load().ok());
    EXPECT_EQ(l.entries()[static_cast<std::size_t>(l.create().index)].name, "Profile3");
    EXPECT_EQ(l.entries()[static_cast<std::size_t>(l.copy(2).index)].name, "A copy copy");

    const fs::path gaming = dir_ / "Gaming.json";
    put_file(gaming, R"({"profilename":"x","profileUUID":"y","Device":[]})");
    EXPECT_EQ(l.entries()[static_cast<std::size_t>(l.import_file(gaming).index)].name, "Gaming(1)");
    EXPECT_EQ(l.entries()[static_cast<std::size_t>(l.import_file(gaming).index)].name,
              "Gaming(1)(2)");

    EXPECT_EQ(l.create("profile1").status, ListStatus::DuplicateName);
    EXPECT_EQ(l.create(" \t").status, ListStatus::BlankName);
    EXPECT_EQ(l.rename(0, "   ").status, ListStatus::BlankName);
    EXPECT_EQ(l.rename(0, "A").status, ListStatus::DuplicateName);
    ASSERT_TRUE(l.rename(0, "PROFILE1").ok());  // its own name in other letter case
    EXPECT_EQ(l.entries()[0].name, "PROFILE1");
    EXPECT_EQ(profile_of(l, 0)["profilename"].asString(), "PROFILE1");
    EXPECT_EQ(l.selected(), 0);  // none of these selects
}

// Names that would act on a terminal, or reorder what it and the window show, are refused
// wherever a name is made; other text is not.
TEST_F(ProfileListTest, ControlCharactersAreRefusedWhereANameIsMade) {
    seed({"A"});
    ProfileList l = list();
    ASSERT_TRUE(l.load().ok());
    const auto before = snapshot(folder_);
    for (const std::string bad : {"\x1b[2J", "tab\there", "c1\xc2\x85",
                                  "\xe2\x80\xae"
                                  "fdp.exe",
                                  "iso\xe2\x81\xa6"}) {
        EXPECT_EQ(l.create(bad).status, ListStatus::ControlName) << bad;
        EXPECT_EQ(l.rename(0, bad).status, ListStatus::ControlName) << bad;
        const fs::path named = dir_ / (bad + ".json");
        put_file(named, R"({"profilename":"x","profileUUID":"y","Device":[]})");
        const ListResult r = l.import_file(named);
        EXPECT_EQ(r.status, ListStatus::Refused) << bad;
        EXPECT_NE(r.detail.find("control characters"), std::string::npos) << r.detail;
        EXPECT_EQ(AppBindings(folder_).bind("n0", "app" + bad).status, BindingStatus::BadAppId)
            << bad;
    }
    EXPECT_EQ(snapshot(folder_), before);
    EXPECT_TRUE(l.rename(0, "caf\xc3\xa9 \xd7\xa2\xd7\x91\xd7\xa8\xd7\x99\xd7\xaa").ok());
}

TEST_F(ProfileListTest, CreateCopyAndImportStopAtFifty) {
    std::vector<std::string> many;
    for (int i = 0; i < MaxProfileCount; ++i)
        many.push_back("P" + std::to_string(i));
    seed(many);
    const fs::path file = dir_ / "more.json";
    put_file(file, R"({"profilename":"x","profileUUID":"y","Device":[]})");
    const auto before = snapshot(folder_);
    ProfileList l = list();
    EXPECT_EQ(l.create().status, ListStatus::AtLimit);
    EXPECT_EQ(l.copy(0).status, ListStatus::AtLimit);
    EXPECT_EQ(l.import_file(file).status, ListStatus::AtLimit);
    EXPECT_EQ(snapshot(folder_), before);
}

TEST_F(ProfileListTest, IdentifiersWithinOneMillisecondStayUnique) {
    const auto fixed = std::chrono::system_clock::now();
    ProfileList l = list(0, [fixed] { return fixed; });
    ASSERT_TRUE(l.load().ok());
    const std::string first = format_uuid(fixed);
    EXPECT_EQ(l.entries()[0].uuid, first);
    // A kept damaged copy carries the next identifier too: it is skipped as well.
    put_file(folder_ / (format_uuid(fixed + std::chrono::milliseconds(1)) + ".Json.unreadable"),
             "x");
    ASSERT_TRUE(l.create().ok());
    ASSERT_TRUE(l.create().ok());
    EXPECT_EQ(l.entries()[1].uuid, format_uuid(fixed + std::chrono::milliseconds(2)));
    EXPECT_EQ(l.entries()[2].uuid, format_uuid(fixed + std::chrono::milliseconds(3)));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(profile_of(l, i)["profileUUID"].asString(),
                  l.entries()[static_cast<std::size_t>(i)].uuid);
}

TEST_F(ProfileListTest, DeleteMovesTheSelectionAndNeverTheLastProfile) {
    seed({"A", "B", "C"});
    ProfileList l = list();
    ASSERT_TRUE(l.remove(0).ok());
    EXPECT_EQ(names(l), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(read_json(l.list_path())["profileselect"].asInt(), 0);
    EXPECT_FALSE(fs::exists(folder_ / "n0.Json"));

    seed({"A", "B", "C"}, 2);
    ASSERT_TRUE(l.remove(2).ok());
    EXPECT_EQ(read_json(l.list_path())["profileselect"].asInt(), 1);
    // Removing an entry above the selected one keeps the same profile selected.
    seed({"A", "B", "C"}, 2);
    ASSERT_TRUE(l.remove(0).ok());
    EXPECT_EQ(l.entries()[static_cast<std::size_t>(l.selected())].name, "C");

    seed({"A"});
    l = list();  // the old object's entry 0 was another profile, and it is gone
    EXPECT_EQ(l.remove(0).status, ListStatus::LastProfile);
    EXPECT_TRUE(fs::exists(folder_ / "n0.Json"));
    EXPECT_EQ(l.remove(5).status, ListStatus::NoSuchProfile);
}

TEST_F(ProfileListTest, DeleteKeepsAFileAnotherEntryStillNames) {
    put_file(folder_ / "same.Json", R"({"profilename":"A","Device":[]})");
    put_file(folder_ / ProfileListName,
             R"({"profilelist":[{"profilename":"A","profileUUID":"same"},
                 {"profilename":"B","profileUUID":"same"}],"profileselect":0})");
    ProfileList l = list();
    ASSERT_TRUE(l.remove(0).ok());
    EXPECT_TRUE(fs::exists(folder_ / "same.Json"));
}

TEST_F(ProfileListTest, HostileImportsChangeNothing) {
    seed({"A"});
    ProfileList l = list();
    ASSERT_TRUE(l.load().ok());
    const auto before = snapshot(folder_);
    const std::map<std::string, std::string> hostile = {
        {"not_json", "{ nope"},
        {"array", "[1,2]"},
        {"no_uuid", R"({"profilename":"x","Device":[]})"},
        {"name_number", R"({"profilename":5,"profileUUID":"y","Device":[]})"},
        {"device_object", R"({"profilename":"x","profileUUID":"y","Device":{"a":1}})"},
        {"no_device", R"({"profilename":"x","profileUUID":"y"})"},
        {"device_element", R"({"profilename":"x","profileUUID":"y","Device":[3]})"},
        {"guid_up",
         R"({"profilename":"x","profileUUID":"y","Device":[{"LightList":[{"Guid":"../../etc/passwd"}]}]})"},
        {"guid_abs", R"({"profilename":"x","profileUUID":"y","Device":[{"Guid":"/tmp/a"}]})"},
        {"guid_number", R"({"profilename":"x","profileUUID":"y","Device":[{"Guid":12}]})"},
        // Well under the size limit, but more values than any profile: refused unparsed.
        {"values",
         [] {
             std::string pad = R"({"profilename":"x","profileUUID":"y","Device":[],"pad":[0)";
             for (std::size_t i = 0; i < MaxImportValues; ++i)
                 pad += ",0";
             return pad + "]}";
         }()},
    };
    for (const auto& [title, text] : hostile) {
        const fs::path file = dir_ / (title + ".json");
        put_file(file, text);
        const ListResult r = l.import_file(file);
        EXPECT_EQ(r.status, ListStatus::Refused) << title;
        EXPECT_FALSE(r.detail.empty()) << title;
    }
    // Ten megabytes of otherwise valid JSON: refused before it is read.
    const fs::path huge = dir_ / "huge.json";
    put_file(huge, R"({"profilename":"x","profileUUID":"y","Device":[],"pad":")" +
                       std::string(10u * 1024 * 1024, 'a') + "\"}");
    EXPECT_EQ(l.import_file(huge).status, ListStatus::Refused);
    EXPECT_EQ(l.import_file(dir_ / "absent.json").status, ListStatus::Refused);
    EXPECT_EQ(snapshot(folder_), before);
}

TEST_F(ProfileListTest, AnImportThatCannotBeCompletedIsRefused) {
    seed({"A"});
    ProfileList l = list();
    ASSERT_TRUE(l.load().ok());
    fs::remove(default_file_);
    const auto before = snapshot(folder_);
    put_file(dir_ / "bare.json", R"({"profilename":"x","profileUUID":"y","Device":[{}]})");
    const ListResult r = l.import_file(dir_ / "bare.json");
    EXPECT_EQ(r.status, ListStatus::Refused);
    EXPECT_NE(r.detail.find("KeyList"), std::string::npos) << r.detail;
    EXPECT_EQ(snapshot(folder_), before);
    put_file(dir_ / "keys.json",
             R"({"profilename":"x","profileUUID":"y","Device":[{"KeyList":[]}]})");
    EXPECT_TRUE(l.import_file(dir_ / "keys.json").ok());
}

TEST_F(ProfileListTest, ExportThenImportGivesTheSameDeviceSections) {
    seed({"A", "B"});
    ProfileList l = list();
    const fs::path exported = dir_ / "out" / "Match day.json";
    fs::create_directories(exported.parent_path());
    ASSERT_TRUE(l.export_file(1, exported).ok());
    const ListResult r = l.import_file(exported);
    ASSERT_TRUE(r.ok());
    Json::Value original = profile_of(l, 1);
    const Json::Value imported = profile_of(l, r.index);
    // What the exported file lacked came from the factory profile, and is listed.
    original["Device"][0]["CustomEQNameInfo"] = json(kDefault)["Device"][0]["CustomEQNameInfo"];
    EXPECT_EQ(imported["Device"], original["Device"]);
    EXPECT_EQ(r.corrections,
              std::vector<std::string>{"Device[0].CustomEQNameInfo: missing -> factory profile"});
    EXPECT_EQ(imported["profilename"].asString(), "Match day");
    EXPECT_NE(imported["profileUUID"].asString(), original["profileUUID"].asString());
    EXPECT_EQ(imported["profileUUID"].asString(),
              l.entries()[static_cast<std::size_t>(r.index)].uuid);

    // A profile whose file is gone exports nothing rather than a file saying null.
    fs::remove(l.file_of(0));
    EXPECT_EQ(l.export_file(0, dir_ / "none.json").status, ListStatus::NoSource);
    EXPECT_FALSE(fs::exists(dir_ / "none.json"));
}

TEST_F(ProfileListTest, ResetRestoresTheFactorySectionKeepingNameIdAndHeadsetPresets) {
    seed({"A", "B"});
    put_file(folder_ / "n1.Json",
             R"({"profilename":"B","profileUUID":"n1","extra":1,
                 "Device":[{"SystemStages":{"KeyDelay":9},"CustomEQNameInfo":[{"Name":"mine"}],
                            "CustomEQHzValueInfo":[[{"value":4}]]}]})");
    ProfileList headset = list(HeadsetDeviceType);
    ASSERT_TRUE(headset.reset(1).ok());
    Json::Value p = profile_of(headset, 1);
    EXPECT_EQ(p["profilename"].asString(), "B");
    EXPECT_EQ(p["profileUUID"].asString(), "n1");
    EXPECT_EQ(p["Device"][0]["SystemStages"]["KeyDelay"].asInt(), 3);
    EXPECT_EQ(p["Device"][0]["CustomEQNameInfo"][0]["Name"].asString(), "mine");
    EXPECT_EQ(p["Device"][0]["CustomEQHzValueInfo"][0][0]["value"].asInt(), 4);

    ProfileList mouse = list();
    ASSERT_TRUE(mouse.reset(0).ok());
    EXPECT_EQ(profile_of(mouse, 0)["Device"][0]["CustomEQNameInfo"][0]["Name"].asString(),
              "factory");
    // Without a factory profile the user's profile is kept, not emptied.
    fs::remove(default_file_);
    const std::string kept = file_bytes(folder_ / "n1.Json");
    EXPECT_EQ(mouse.reset(1).status, ListStatus::NoSource);
    EXPECT_EQ(file_bytes(folder_ / "n1.Json"), kept);
}

TEST_F(ProfileListTest, SelectionIsStoredAndNamesTheFileToFollow) {
    seed({"A", "B", "C"});
    ProfileList l = list();
    ASSERT_TRUE(l.select(2).ok());
    EXPECT_EQ(read_json(l.list_path())["profileselect"].asInt(), 2);
    EXPECT_EQ(selected_profile_path(folder_, default_file_), folder_ / "n2.Json");
    EXPECT_EQ(l.select(3).status, ListStatus::NoSuchProfile);
    // A stored selection beyond the list reads as the first profile.
    seed({"A", "B"}, 7);
    EXPECT_EQ(selected_profile_path(folder_, default_file_), folder_ / "n0.Json");
    // No list yet: the rebuilt one's profile.
    fs::remove_all(folder_);
    const fs::path fresh = selected_profile_path(folder_, default_file_);
    EXPECT_TRUE(fs::exists(fresh));
}

}  // namespace
}  // namespace velqa::profile
