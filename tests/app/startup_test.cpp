// Start-up pieces: language choice, stored language, audio styles, fonts, messages.
#include <json/json.h>

#include "app/main_wnd.h"
#include "app/messages.h"
#include "app_fixture.h"
#include "platform/atomic_file.h"
#include "platform/debug_output.h"

namespace velqa::test {
namespace {

namespace fs = std::filesystem;
using app::read_language_index;

void language_config(const fs::path& folder, const std::string& body) {
    write_text(folder / "Language.config", body);
}

TEST_F(AppTest, NoStoredLanguagePicksId520) {
    language_config(dir_ / "dd", R"({"Language":[{"Language_ID":1},{"Language_ID":520}]})");
    EXPECT_EQ(read_language_index(store(), dir_ / "dd"), 1);
    // The shipped list: English carries 520.
    EXPECT_EQ(read_language_index(store(), factory()), 0);
}

TEST_F(AppTest, NoStoredLanguageAndNo520PicksTheFirst) {
    language_config(dir_ / "dd", R"({"Language":[{"Language_ID":7},{"Language_ID":8}]})");
    EXPECT_EQ(read_language_index(store(), dir_ / "dd"), 0);
}

TEST_F(AppTest, StoredLanguageIsLookedUpById) {
    auto s = store();
    ASSERT_TRUE(s.write_language(2052));
    EXPECT_EQ(read_language_index(s, factory()), 1);
    ASSERT_TRUE(s.write_language(4242));
    EXPECT_EQ(read_language_index(s, factory()), 0);
}

TEST_F(AppTest, UnreadableOrOddLanguageListGivesIndexZero) {
    EXPECT_EQ(read_language_index(store(), dir_ / "none"), 0);
    language_config(dir_ / "dd", "{ not json");
    EXPECT_EQ(read_language_index(store(), dir_ / "dd"), 0);
    // A wrongly typed id reads as 0 and never matches 520.
    language_config(dir_ / "dd", R"({"Language":[{"Language_ID":"x"},{"Language_ID":520}]})");
    EXPECT_EQ(read_language_index(store(), dir_ / "dd"), 1);
    const auto entries = app::read_language_config(dir_ / "dd");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].id, 0u);
    // Numbers that made JsonCpp throw out of every start read as 0 as well; the list still works.
    language_config(dir_ / "dd", R"({"Language":[{"Language_ID":-1},{"Language_ID":1e19},
        {"Language_ID":4294967296},{"Language_ID":2052.5},"x",{"Language_ID":520}]})");
    EXPECT_EQ(read_language_index(store(), dir_ / "dd"), 5);
    for (const auto& entry : app::read_language_config(dir_ / "dd"))
        EXPECT_TRUE(entry.id == 0 || entry.id == 520);
    language_config(dir_ / "dd", R"({"Language":{"Language_ID":520}})");
    EXPECT_EQ(read_language_index(store(), dir_ / "dd"), 0);
    language_config(dir_ / "dd", std::string(1001, '[') + std::string(1001, ']'));
    EXPECT_EQ(read_language_index(store(), dir_ / "dd"), 0);
}

// The layouts look their texts up while the window is built, before it applies the language.
TEST_F(AppTest, TheWindowFindsItsTextsFromTheFirstLookUp) {
    // A fresh process: no language loaded yet.
    write_text(dir_ / "empty.xml", "<Language/>");
    ASSERT_TRUE(platform::ui::LanguageTexts::instance().load_language_file(dir_ / "empty.xml"));
    platform::DebugCapture debug;
    app::CMainWnd wnd(factory(), dir_ / "user", store());
    ASSERT_TRUE(wnd.create("ZARN_VELQA_R260", QSize(800, 572)));
    EXPECT_FALSE(debug.contains("no text for id"));
}

TEST_F(AppTest, WritingTheLanguageSaysSoOnlyOnSuccess) {
    platform::DebugCapture debug;
    auto s = store();
    EXPECT_TRUE(app::write_language_id(s, 2052));
    EXPECT_TRUE(debug.contains("写成功！"));
    debug.clear();
    fs::create_directories(dir_ / "blocked/velqa.conf");
    platform::SettingsStore blocked(QString::fromStdString((dir_ / "blocked/velqa.conf").string()));
    EXPECT_FALSE(app::write_language_id(blocked, 520));
    EXPECT_FALSE(debug.contains("写成功！"));
}

TEST_F(AppTest, AudioStylesComeFromTheUserFileWhenItHasDevice) {
    write_text(dir_ / "user/AudioFile.json", R"({"Device":{"mine":1}})");
    const Json::Value styles = app::load_audio_styles(dir_ / "user", factory());
    EXPECT_EQ(styles["mine"].asInt(), 1);
}

TEST_F(AppTest, UserAudioFileWithoutDeviceIsReplacedByTheFactoryCopy) {
    write_text(dir_ / "user/AudioFile.json", R"({"Other":1})");
    const Json::Value styles = app::load_audio_styles(dir_ / "user", factory());
    ASSERT_FALSE(styles.isNull());
    std::string copied, original;
    ASSERT_TRUE(platform::read_whole_file(dir_ / "user/AudioFile.json", copied));
    ASSERT_TRUE(platform::read_whole_file(factory() / "AudioFile.json", original));
    EXPECT_EQ(copied, original);
    // A missing user file is created the same way.
    fs::create_directories(dir_ / "fresh");
    EXPECT_FALSE(app::load_audio_styles(dir_ / "fresh", factory()).isNull());
    EXPECT_TRUE(fs::exists(dir_ / "fresh/AudioFile.json"));
}

TEST_F(AppTest, UnparsableUserAudioFileIsKeptBesideTheFactoryCopy) {
    // 1001 deep made JsonCpp throw out of every start.
    const std::string deep = "{\"Device\":" + std::string(1001, '[') + std::string(1001, ']') + "}";
    write_text(dir_ / "user/AudioFile.json", deep);
    EXPECT_FALSE(app::load_audio_styles(dir_ / "user", factory()).isNull());
    std::string kept, copied, original;
    ASSERT_TRUE(platform::read_whole_file(dir_ / "user/AudioFile.json.unreadable", kept));
    EXPECT_EQ(kept, deep);
    ASSERT_TRUE(platform::read_whole_file(dir_ / "user/AudioFile.json", copied));
    ASSERT_TRUE(platform::read_whole_file(factory() / "AudioFile.json", original));
    EXPECT_EQ(copied, original);

    // Deep factory copies and non-object documents read as missing.
    write_text(dir_ / "dd/AudioFile.json", deep);
    EXPECT_TRUE(app::load_audio_styles(dir_ / "user2", dir_ / "dd").isNull());
    write_text(dir_ / "dd/AudioFile.json", R"(["Device"])");
    EXPECT_TRUE(app::load_audio_styles(dir_ / "user2", dir_ / "dd").isNull());
}

TEST_F(AppTest, UnreadableFactoryCopyLeavesTheUserFileAlone) {
    write_text(dir_ / "user/AudioFile.json", R"({"Other":1})");
    write_text(dir_ / "dd/AudioFile.json", "{ broken");
    EXPECT_TRUE(app::load_audio_styles(dir_ / "user", dir_ / "dd").isNull());
    std::string kept;
    ASSERT_TRUE(platform::read_whole_file(dir_ / "user/AudioFile.json", kept));
    EXPECT_EQ(kept, R"({"Other":1})");
}

TEST_F(AppTest, MissingFontsAreSkippedSilently) {
    platform::DebugCapture debug;
    EXPECT_EQ(app::load_private_fonts(dir_ / "nofonts"), 0);
    EXPECT_TRUE(debug.lines().empty());
    // A real font under one of the eight names is loaded; a junk file is skipped.
    const fs::path dejavu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!fs::exists(dejavu))
        GTEST_SKIP() << "no DejaVu font on this machine";
    fs::create_directories(dir_ / "res/Font");
    fs::copy_file(dejavu, dir_ / "res/Font/MiSans-Normal.ttf");
    write_text(dir_ / "res/Font/MiSans-Light.ttf", "not a font");
    EXPECT_EQ(app::load_private_fonts(dir_ / "res"), 1);
    EXPECT_TRUE(debug.lines().empty());
    app::remove_private_fonts();
}

TEST(RegisteredMessages, DistinctNumbersInTheRegisteredRange) {
    const auto& m = app::registered_messages();
    const unsigned all[] = {m.identity,      m.relay_a,    m.relay_b,   m.announce,
                            m.light_control, m.tool_query, m.companion, m.game_start,
                            m.game_end,      m.game_kill,  m.game_death};
    for (unsigned a : all) {
        EXPECT_GE(a, 0xC000u);
        EXPECT_LE(a, 0xFFFFu);
        int same = 0;
        for (unsigned b : all)
            same += a == b;
        EXPECT_EQ(same, 1);
    }
    EXPECT_EQ(platform::ui::register_window_message(app::kIdentityName), m.identity);
}

}  // namespace
}  // namespace velqa::test
