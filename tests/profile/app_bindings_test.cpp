// The application bindings: the file they live in, what damages it, and how they follow the
// profile list's operations.
#include <gtest/gtest.h>

#include "profile/app_bindings.h"
#include "profile/profile_list.h"
#include "profile_test_util.h"
#include "support/temp_dir.h"

namespace velqa::profile {
namespace {

namespace fs = std::filesystem;
using test_util::file_bytes;
using test_util::json;
using test_util::put_file;

using Apps = std::vector<std::string>;

class AppBindingsTest : public ::testing::Test {
  protected:
    AppBindingsTest() { fs::create_directories(folder_); }
    AppBindings store(const fs::path& folder) const {
        AppBindings b(folder);
        EXPECT_TRUE(b.load().ok());
        return b;
    }
    AppBindings store() const { return store(folder_); }

    test::TempDir dir_;
    const fs::path folder_ = dir_ / "mouse";
};

TEST_F(AppBindingsTest, BindingsRoundTripAndAnAppMovesWhenBoundElsewhere) {
    AppBindings a = store();
    EXPECT_TRUE(a.bindings().empty());
    EXPECT_TRUE(a.auto_switch());
    ASSERT_TRUE(a.bind("fps", "cs2").ok());
    ASSERT_TRUE(a.bind("fps", "steam_app_730").ok());
    ASSERT_TRUE(a.bind("desk", "firefox").ok());
    ASSERT_TRUE(a.set_default("desk").ok());
    // Bound elsewhere in another letter case: it moves, and takes the new spelling.
    ASSERT_TRUE(a.bind("desk", "CS2").ok());

    const AppBindings b = store();
    EXPECT_EQ(b.apps_of("fps"), Apps{"steam_app_730"});
    EXPECT_EQ(b.apps_of("desk"), (Apps{"firefox", "CS2"}));
    EXPECT_EQ(b.bound_uuid("CS2"), "desk");
    EXPECT_EQ(b.bound_uuid("cs2"), "desk");
    EXPECT_EQ(b.bound_uuid("vlc"), "");
    EXPECT_EQ(b.default_uuid(), "desk");
    const Json::Value doc = json(file_bytes(a.file()));
    EXPECT_EQ(doc["Version"].asInt(), 1);
    EXPECT_EQ(doc["Default"].asString(), "desk");
    EXPECT_EQ(doc["Bindings"][0]["Uuid"].asString(), "fps");

    EXPECT_EQ(a.unbind("fps", "firefox").status, BindingStatus::NotBound);
    ASSERT_TRUE(a.unbind("fps", "STEAM_APP_730").ok());
    EXPECT_TRUE(store().apps_of("fps").empty());

    // Bad ids change nothing.
    const std::string before = file_bytes(a.file());
    for (const std::string& bad : {std::string(), std::string("  "), std::string(256, 'a'),
                                   std::string("cs\n2"), std::string("\xff\xfe")})
        EXPECT_EQ(a.bind("fps", bad).status, BindingStatus::BadAppId) << bad;
    EXPECT_TRUE(a.bind("fps", std::string(255, 'a')).ok());
    ASSERT_TRUE(a.unbind("fps", std::string(255, 'a')).ok());
    EXPECT_EQ(file_bytes(a.file()), before);
}

TEST_F(AppBindingsTest, DamagedFilesAreKeptAsideNeverOverwrittenUnread) {
    // Nothing usable: moved aside, reads as empty, and the next change starts afresh.
    put_file(folder_ / AppBindingsName, "{ not json");
    AppBindings a = store();
    EXPECT_TRUE(a.bindings().empty());
    EXPECT_EQ(file_bytes(folder_ / "AppBindings.json.unreadable"), "{ not json");
    ASSERT_TRUE(a.bind("fps", "cs2").ok());

    // Partly usable: the usable part stays in use, the file as it was is kept beside.
    const std::string partial = R"({"Default":7,"Keep":"me","Bindings":[
        {"Uuid":"fps","Apps":["cs2",5,"bad\u0001id","CS2"]},
        {"Uuid":"../../x","Apps":["evil"]},"junk",{"Uuid":"desk","Apps":["firefox"]}]})";
    put_file(folder_ / AppBindingsName, partial);
    AppBindings b = store();
    EXPECT_EQ(b.apps_of("fps"), Apps{"cs2"});
    EXPECT_EQ(b.apps_of("desk"), Apps{"firefox"});
    EXPECT_EQ(b.bound_uuid("evil"), "");
    EXPECT_EQ(b.default_uuid(), "");
    EXPECT_EQ(file_bytes(folder_ / "AppBindings.json.unreadable"), partial);
    ASSERT_TRUE(b.bind("desk", "vlc").ok());
    EXPECT_EQ(json(file_bytes(b.file()))["Keep"].asString(), "me");  // members we do not know

    // Too large to be ours: refused unread.
    put_file(folder_ / AppBindingsName, std::string(MaxBindingsBytes + 1, ' '));
    EXPECT_TRUE(store().bindings().empty());
    EXPECT_EQ(fs::file_size(folder_ / "AppBindings.json.unreadable"), MaxBindingsBytes + 1);

    // The switch file likewise: damaged reads as on and is kept.
    put_file(dir_ / AutoSwitchName, R"({"AutoSwitch":"no"})");
    EXPECT_TRUE(store().auto_switch());
    EXPECT_TRUE(fs::exists(dir_ / "AutoSwitch.json.unreadable"));
}

// Two stores of one folder (the window and a command-line run) agree through the file, and the
// switch is one setting for every kind.
TEST_F(AppBindingsTest, StoresAgreeThroughTheFileAndTheSwitchIsGlobal) {
    AppBindings window = store();
    AppBindings ctl = store();
    ASSERT_TRUE(window.bind("fps", "cs2").ok());
    EXPECT_FALSE(window.changed_on_disk());
    EXPECT_TRUE(ctl.changed_on_disk());
    // A change re-reads first: nothing the other store wrote is lost.
    ASSERT_TRUE(ctl.bind("desk", "firefox").ok());
    ASSERT_TRUE(window.changed_on_disk());
    ASSERT_TRUE(window.load().ok());
    EXPECT_EQ(window.apps_of("fps"), Apps{"cs2"});
    EXPECT_EQ(window.apps_of("desk"), Apps{"firefox"});

    AppBindings keyboard = store(dir_ / "keyboard");
    ASSERT_TRUE(ctl.set_auto_switch(false).ok());
    EXPECT_TRUE(window.changed_on_disk());
    EXPECT_TRUE(keyboard.changed_on_disk());
    EXPECT_FALSE(store(dir_ / "keyboard").auto_switch());
    EXPECT_FALSE(store().auto_switch());
    // Switching belongs to no kind's file.
    EXPECT_FALSE(json(file_bytes(window.file())).isMember("AutoSwitch"));
    ASSERT_TRUE(keyboard.set_auto_switch(true).ok());
    EXPECT_TRUE(store().auto_switch());
}

// Bindings name a profile by its identifier: a rename keeps them, a copy, an import or an export
// carries none, a delete drops them with the default.
TEST_F(AppBindingsTest, BindingsFollowTheProfileListOperations) {
    const fs::path factory = dir_ / "factory.Json";
    put_file(factory, R"({"profilename":"f","profileUUID":"f","Device":[{"KeyList":[]}]})");
    ProfileList list(folder_, factory);
    ASSERT_TRUE(list.load().ok());
    ASSERT_TRUE(list.create("FPS").ok());
    const std::string fps = list.entries()[1].uuid;
    AppBindings b = store();
    ASSERT_TRUE(b.bind(fps, "cs2").ok());
    ASSERT_TRUE(b.set_default(fps).ok());
    ASSERT_TRUE(b.bind(list.entries()[0].uuid, "firefox").ok());

    ASSERT_TRUE(list.rename(1, "Shooter").ok());
    EXPECT_EQ(store().bound_uuid("cs2"), fps);
    const ListResult copied = list.copy(1);
    ASSERT_TRUE(copied.ok());
    EXPECT_TRUE(store().apps_of(list.entries()[2].uuid).empty());

    const fs::path exported = dir_ / "Shooter.json";
    ASSERT_TRUE(list.export_file(1, exported).ok());
    EXPECT_EQ(file_bytes(exported).find("cs2"), std::string::npos);
    ASSERT_TRUE(list.import_file(exported).ok());
    EXPECT_EQ(store().bound_uuid("cs2"), fps);

    ASSERT_TRUE(list.remove(1).ok());
    const AppBindings after = store();
    EXPECT_EQ(after.bound_uuid("cs2"), "");
    EXPECT_EQ(after.default_uuid(), "");
    EXPECT_EQ(after.bound_uuid("firefox"), list.entries()[0].uuid);
}

}  // namespace
}  // namespace velqa::profile
