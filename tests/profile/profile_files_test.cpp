#include "profile/profile_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>

#include "platform/debug_output.h"
#include "profile_test_util.h"
#include "support/temp_dir.h"

namespace velqa::profile {
namespace {

namespace fs = std::filesystem;
using test_util::file_bytes;
using test_util::json;
using test_util::put_file;

// ---- reading ---------------------------------------------------------------------------------

TEST(ProfileReadJson, ParsesWithCommentsAndReportsEveryRead) {
    velqa::test::TempDir dir;
    put_file(dir / "a.Json", "// factory\n{ \"x\": 1 /* one */ }\n");
    platform::DebugCapture capture;
    const Json::Value doc = read_json(dir / "a.Json");
    EXPECT_EQ(doc["x"].asInt(), 1);
    EXPECT_THAT(capture.lines(), testing::ElementsAre("readjsonFile 错误吗：：0\n"));
}

TEST(ProfileReadJson, MissingEmptyAndBrokenFilesReadAsNull) {
    velqa::test::TempDir dir;
    put_file(dir / "empty.Json", "");
    put_file(dir / "broken.Json", "{ \"x\": ");
    put_file(dir / "trunc.Json", "{\"Device\":[{\"KeyList\":[1,2");
    platform::DebugCapture capture;
    EXPECT_TRUE(read_json(dir / "empty.Json").isNull());
    EXPECT_TRUE(capture.contains((dir / "empty.Json").string()));
    EXPECT_TRUE(read_json(dir / "broken.Json").isNull());
    EXPECT_TRUE(read_json(dir / "trunc.Json").isNull());
    capture.clear();
    EXPECT_TRUE(read_json(dir / "missing.Json").isNull());
    EXPECT_TRUE(capture.contains("readjsonFile 错误吗：：2"));  // ENOENT
    EXPECT_TRUE(capture.contains((dir / "missing.Json").string()));
}

TEST(ProfileReadJson, FolderAndDeepNestingReadAsNullWithoutCrashing) {
    velqa::test::TempDir dir;
    fs::create_directory(dir / "folder.Json");
    EXPECT_EQ(read_text_file(dir / "folder.Json"), "");
    EXPECT_TRUE(read_json(dir / "folder.Json").isNull());
    // The reader gives up beyond its depth limit by throwing; that must stay inside.
    put_file(dir / "deep.Json", std::string(100000, '['));
    EXPECT_TRUE(read_json(dir / "deep.Json").isNull());
}

// ---- writing ---------------------------------------------------------------------------------

TEST(ProfileWriteJson, StyledSortedUtf8WithOneLineEnd) {
    velqa::test::TempDir dir;
    Json::Value doc;
    doc["profilename"] = "Gaming 設定 ☆";
    doc["Device"][0]["b"] = 2;
    doc["Device"][0]["a"] = 1;
    EXPECT_EQ(write_json(doc, dir / "p.Json"), 0);
    const std::string text = file_bytes(dir / "p.Json");
    EXPECT_NE(text.find("\"profilename\" : \"Gaming 設定 ☆\""), std::string::npos) << text;
    EXPECT_LT(text.find("\"a\""), text.find("\"b\""));
    EXPECT_LT(text.find("\"Device\""), text.find("\"profilename\""));
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_NE(text[text.size() - 2], '\n');
    EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(read_json(dir / "p.Json")["profilename"].asString(), "Gaming 設定 ☆");
}

TEST(ProfileWriteJson, FailureKeepsTheOldFileAndSaysWhy) {
    velqa::test::TempDir dir;
    Json::Value doc;
    doc["Device"][0]["KeyList"] = Json::Value(Json::arrayValue);

    // A folder that cannot hold files: its path names a regular file.
    put_file(dir / "mouse", "not a folder");
    platform::DebugCapture capture;
    EXPECT_EQ(write_json(doc, dir / "mouse" / "p.Json"), 0);
    EXPECT_FALSE(write_json_checked(doc, dir / "mouse" / "p.Json"));
    EXPECT_EQ(file_bytes(dir / "mouse"), "not a folder");
    EXPECT_TRUE(capture.contains("writejsonFile failed"));

    // A target that cannot be replaced: it is a folder holding a file.
    fs::create_directories(dir / "busy.Json");
    put_file(dir / "busy.Json" / "keep", "old");
    EXPECT_FALSE(write_json_checked(doc, dir / "busy.Json"));
    EXPECT_EQ(file_bytes(dir / "busy.Json" / "keep"), "old");
    // No temporary file is left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 2);
}

TEST(ProfileWriteJson, ReadOnlyFolderKeepsTheOldFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    velqa::test::TempDir dir;
    fs::create_directory(dir / "ro");
    put_file(dir / "ro" / "p.Json", "{\"old\":1}\n");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(write_json_checked(json("{\"new\":1}"), dir / "ro" / "p.Json"));
    fs::permissions(dir / "ro", fs::perms::owner_all);
    EXPECT_EQ(file_bytes(dir / "ro" / "p.Json"), "{\"old\":1}\n");
}

// A writer killed at an arbitrary moment leaves either the old or the new document, never a mix.
TEST(ProfileWriteJson, InterruptedWritesLeaveOneWholeDocument) {
    velqa::test::TempDir dir;
    const fs::path file = dir / "p.Json";
    Json::Value a;
    Json::Value b;
    for (int i = 0; i < 4000; ++i) {
        a["Device"][0]["KeyList"][i]["Assignment"] = i;
        b["Device"][0]["KeyList"][i]["Assignment"] = 100000 + i;
    }
    ASSERT_EQ(write_json(a, file), 0);
    for (int round = 0; round < 3; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            for (int n = 0;; ++n) {
                write_json(n % 2 == 0 ? b : a, file);
                if (n == 1) {
                    const char go = 1;
                    (void)!::write(ready[1], &go, 1);
                }
            }
        }
        ::close(ready[1]);
        char go = 0;
        ASSERT_EQ(::read(ready[0], &go, 1), 1);
        ::close(ready[0]);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const Json::Value now = read_json(file);
        EXPECT_TRUE(now == a || now == b) << "round " << round;
    }
}

// ---- names and folders -----------------------------------------------------------------------

TEST(ProfileNames, UuidIsTheLocalTimeWithMilliseconds) {
    const std::string id = new_uuid();
    // yyyy_mm_dd_hh_mm_ss_mmm
    const std::string shape = "dddd_dd_dd_dd_dd_dd_ddd";
    ASSERT_EQ(id.size(), shape.size()) << id;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd') {
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(id[i]))) << id;
        } else {
            EXPECT_EQ(id[i], '_') << id;
        }
    }
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    EXPECT_EQ(id.substr(0, 4), std::to_string(local.tm_year + 1900));
}

TEST(ProfileNames, IdentifiersThatLeaveTheFolderAreRefused) {
    EXPECT_TRUE(is_safe_identifier("2024_03_05_14_07_09_042"));
    EXPECT_TRUE(is_safe_identifier("名前.v2"));
    for (const char* bad : {"", "../x", "..", "a/b", "a\\b", "/etc/passwd", "C:x", "x..y"}) {
        EXPECT_FALSE(is_safe_identifier(bad)) << bad;
    }
    EXPECT_FALSE(is_safe_identifier(std::string("a\0b", 3)));
    EXPECT_EQ(identifier_file("/d", "../evil", ".Json"), fs::path());
    EXPECT_EQ(identifier_file("/d", "ok", ".mac"), fs::path("/d/ok.mac"));
}

TEST(ProfileNames, FoldersFollowTheDataAndResourceFolders) {
    velqa::test::TempDir dir;
    velqa::test::ScopedEnv data("XDG_DATA_HOME", (dir / "data").string());
    velqa::test::ScopedEnv res("VELQA_RESOURCE_DIR", (dir / "res").string());
    const fs::path folder = profile_folder(KindMouse);
    EXPECT_EQ(folder, dir / "data" / "ZARN_VELQA_R260" / "mouse");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(default_profile_path(KindMousePad), dir / "res" / "DefaultData" / "MousePad.Json");
    EXPECT_EQ(profile_file_path(KindHeadset, "2024_01_01_00_00_00_000"),
              dir / "data" / "ZARN_VELQA_R260" / "HD" / "2024_01_01_00_00_00_000.Json");
    EXPECT_EQ(profile_file_path(KindHeadset, "../../x"), fs::path());
    EXPECT_EQ(light_config_path(KindKeyboard),
              dir / "data" / "ZARN_VELQA_R260" / "keyboard" / "tavix_light.config");
}

}  // namespace
}  // namespace velqa::profile
