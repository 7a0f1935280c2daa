// The macro list and files, the list operations and hostile imports.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "macro/macro_files.h"
#include "platform/atomic_file.h"
#include "platform/json_read.h"
#include "support/temp_dir.h"

namespace velqa::macro {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
    std::string text;
    platform::read_whole_file(p, text);
    return text;
}

void write_file(const fs::path& p, const std::string& text) {
    ASSERT_TRUE(platform::write_file_atomically(p, text));
}

// A clock standing still: every identifier would be the same without the uniqueness rule.
Clock fixed_clock() {
    const auto t = std::chrono::system_clock::time_point(std::chrono::milliseconds(1709647629042));
    return [t] { return t; };
}

TEST(MacroNames, NewImportAndRenameRules) {
    EXPECT_EQ(new_macro_name({"macro_1", "macro_3"}), "macro_2");
    EXPECT_EQ(new_macro_name({"MACRO_1"}), "macro_2");
    EXPECT_EQ(import_macro_name({"x"}, "abc"), "abc");
    EXPECT_EQ(import_macro_name({"abc"}, "abc"), "abc_1");
    EXPECT_EQ(import_macro_name({"abc", "ABC_1"}, "abc"), "abc_1_2");
    EXPECT_EQ(check_rename({"macro_1", "macro_2"}, "MACRO_2"), RenameCheck::Taken);
    EXPECT_EQ(check_rename({"macro_2"}, "macro_2"), RenameCheck::Taken);  // its own name too
    EXPECT_EQ(check_rename({"macro_2"}, "   "), RenameCheck::Blank);
    EXPECT_EQ(check_rename({"macro_2"}, ""), RenameCheck::Blank);
    EXPECT_EQ(check_rename({"macro_2"}, " jump "), RenameCheck::Ok);
}

TEST(MacroRows, MovesKeepTheRowSelectedAndDeletesPickTheNext) {
    auto rows = [](std::initializer_list<std::uint8_t> b) {
        std::vector<MacroEvent> v;
        for (auto x : b)
            v.push_back({true, x, TypeKey, 0});
        return v;
    };
    auto buttons = [](const std::vector<MacroEvent>& v) {
        std::vector<int> out;
        for (const auto& e : v)
            out.push_back(e.button);
        return out;
    };
    auto v = rows({4, 5, 6, 7});
    EXPECT_EQ(move_row(v, 2, RowMove::Up), 1);
    EXPECT_EQ(buttons(v), (std::vector<int>{4, 6, 5, 7}));
    EXPECT_EQ(move_row(v, 0, RowMove::Up), 0);
    EXPECT_EQ(move_row(v, 1, RowMove::Bottom), 3);
    EXPECT_EQ(buttons(v), (std::vector<int>{4, 5, 7, 6}));
    EXPECT_EQ(move_row(v, 3, RowMove::Down), 3);
    EXPECT_EQ(move_row(v, 2, RowMove::Top), 0);
    EXPECT_EQ(buttons(v), (std::vector<int>{7, 4, 5, 6}));
    EXPECT_EQ(move_row(v, -1, RowMove::Top), -1);
    EXPECT_EQ(move_row(v, 9, RowMove::Up), 9);
    EXPECT_EQ(buttons(v), (std::vector<int>{7, 4, 5, 6}));

    EXPECT_EQ(delete_row(v, 3), 2);
    EXPECT_EQ(delete_row(v, 0), 0);
    EXPECT_EQ(buttons(v), (std::vector<int>{4, 5}));
    EXPECT_EQ(delete_row(v, 5), -1);
    EXPECT_EQ(delete_row(v, 1), 0);
    EXPECT_EQ(delete_row(v, 0), -1);
    EXPECT_TRUE(v.empty());
}

TEST(MacroReferences, DeleteFixUpGivesDefaultsAndShiftsLaterMacros) {
    const profile::KeyCode def{0x10, 0x01, 0};
    std::vector<profile::KeyAssignment> keys = {
        {0, {0x70, 1, 0}, 0, def},
        {1, {0x71, 2, 5}, 1, def},
        {2, {0x70, 5, 3}, 2, def},
        {3, {0x20, 2, 4}, 3, def},  // a key usage, not a macro
    };
    EXPECT_TRUE(uses_macro(keys, 2));
    EXPECT_TRUE(fix_macro_references(keys, 2));
    EXPECT_EQ(keys[0].current, (profile::KeyCode{0x70, 1, 0}));
    EXPECT_EQ(keys[1].current, def);
    EXPECT_EQ(keys[2].current, (profile::KeyCode{0x70, 4, 3}));
    EXPECT_EQ(keys[3].current, (profile::KeyCode{0x20, 2, 4}));
    EXPECT_FALSE(fix_macro_references(keys, 7));
}

class MacroFolder : public ::testing::Test {
  protected:
    std::vector<MacroEntry> list_on_disk() {
        return decode_macro_list(platform::read_json_file(dir_ / "macro.config"));
    }
    test::TempDir dir_;
    MacroLibrary lib_{dir_.path(), fixed_clock()};
};

TEST_F(MacroFolder, CreateRenameRemoveKeepTheListFile) {
    lib_.load();
    ASSERT_TRUE(lib_.create().ok());
    const MacroResult second = lib_.create();
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second.name, "macro_2");
    ASSERT_EQ(list_on_disk(), lib_.entries());
    // Same millisecond: the second identifier is advanced past the first.
    EXPECT_EQ(lib_.entries()[0].guid, format_identifier(fixed_clock()()));
    EXPECT_NE(lib_.entries()[1].guid, lib_.entries()[0].guid);

    EXPECT_EQ(lib_.rename(1, "MACRO_1").message, "message_text_5");
    EXPECT_EQ(lib_.rename(1, "  ").status, MacroStatus::Unchanged);
    ASSERT_TRUE(lib_.rename(1, " jump ").ok());
    EXPECT_EQ(list_on_disk()[1].name, " jump ");
    const std::string guid = lib_.entries()[1].guid;  // never changes on rename
    EXPECT_EQ(list_on_disk()[1].guid, guid);

    ASSERT_TRUE(lib_.save_events(0, {{true, 4, TypeKey, 10}}).ok());
    const fs::path file0 = lib_.macro_path(0);
    ASSERT_TRUE(fs::exists(file0));
    ASSERT_TRUE(lib_.remove(0).ok());
    EXPECT_FALSE(fs::exists(file0));
    ASSERT_EQ(lib_.size(), 1);
    EXPECT_EQ(list_on_disk(), lib_.entries());
    EXPECT_EQ(lib_.entries()[0].guid, guid);
}

TEST_F(MacroFolder, NamesWithControlCharactersAreRefused) {
    ASSERT_TRUE(lib_.create().ok());
    const std::string list_before = read_file(dir_ / "macro.config");
    fs::create_directories(dir_ / "from");
    for (const std::string bad : {"\x1b]0;x\x07", "c1\xc2\x9b",
                                  "\xe2\x80\xae"
                                  "cba"}) {
        for (const MacroResult& r : {lib_.create_named(bad), lib_.rename(0, bad)}) {
            EXPECT_EQ(r.status, MacroStatus::Refused) << bad;
            EXPECT_EQ(r.message, "name_control_text");
        }
        write_file(dir_ / "from" / (bad + ".mac"), R"({"Events": []})");
        EXPECT_EQ(lib_.import_file(dir_ / "from" / (bad + ".mac")).status, MacroStatus::Refused);
    }
    EXPECT_EQ(read_file(dir_ / "macro.config"), list_before);
    EXPECT_EQ(lib_.size(), 1);
}

TEST_F(MacroFolder, IdentifierSkipsFilesAlreadyInTheFolder) {
    const std::string taken = format_identifier(fixed_clock()());
    write_file(dir_ / (taken + ".mac"), "{}");
    fs::create_symlink(
        dir_ / "nowhere",
        dir_ / (format_identifier(fixed_clock()() + std::chrono::milliseconds(1)) + ".mac"));
    const std::string id = unique_identifier(dir_.path(), {}, fixed_clock());
    EXPECT_EQ(id, format_identifier(fixed_clock()() + std::chrono::milliseconds(2)));
}

TEST_F(MacroFolder, FiftyMacrosAtMost) {
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(lib_.create().ok());
    const std::string before = read_file(dir_ / "macro.config");
    EXPECT_EQ(lib_.create().message, "message_text_32");
    write_file(dir_ / "in.mac", R"({"Events": []})");
    EXPECT_EQ(lib_.import_file(dir_ / "in.mac").status, MacroStatus::ListFull);
    EXPECT_EQ(read_file(dir_ / "macro.config"), before);
}

TEST_F(MacroFolder, SavedFileHasTheStyledMembersAndLoadsBack) {
    lib_.create();
    const std::vector<MacroEvent> events = {{true, 0x01, TypeMouseButton, 20},
                                            {false, 0x01, TypeMouseButton, 0},
                                            {true, 0x02, TypeModifier, 65535}};
    ASSERT_TRUE(lib_.save_events(0, events).ok());
    const std::string text = read_file(lib_.macro_path(0));
    const auto at = [&](const char* s) { return text.find(s); };
    EXPECT_LT(at("\"Events\""), at("\"Guid\""));
    EXPECT_LT(at("\"Guid\""), at("\"MacroName\""));
    EXPECT_LT(at("\"MacroName\""), at("\"Version\" : 64"));
    EXPECT_NE(at("\"Delay\" : \"20\""), std::string::npos);
    EXPECT_EQ(lib_.load_events(0), events);
    const auto selected = lib_.select(0);
    ASSERT_TRUE(selected);
    EXPECT_EQ(selected->name, "macro_1");

    std::vector<MacroEvent> too_many(251, events[0]);
    EXPECT_EQ(lib_.save_events(0, too_many).message, "message_text_17");
    EXPECT_EQ(lib_.load_events(0), events);
    EXPECT_TRUE(lib_.save_events(0, std::vector<MacroEvent>(250, events[0])).ok());
}

TEST_F(MacroFolder, ImportCopiesTheFileAndExportCopiesItBack) {
    lib_.create_named("abc");
    const std::string original =
        "// from a friend\n{\"Events\": [{\"Action\": \"down\", \"Button\": 4, \"Type\": 10, "
        "\"Delay\": 35}], \"Guid\": \"x\", \"MacroName\": \"other\"}\n";
    write_file(dir_ / "abc.mac", original);
    const MacroResult r = lib_.import_file(dir_ / "abc.mac");
    ASSERT_TRUE(r.ok()) << r.detail;
    EXPECT_EQ(r.name, "abc_1");
    EXPECT_EQ(read_file(lib_.macro_path(r.index)), original);
    EXPECT_EQ(lib_.load_events(r.index), (std::vector<MacroEvent>{{true, 4, TypeKey, 35}}));
    ASSERT_TRUE(lib_.export_file(r.index, dir_ / "out.mac").ok());
    EXPECT_EQ(read_file(dir_ / "out.mac"), original);
    // A macro never saved exports as a valid file without events.
    ASSERT_TRUE(lib_.export_file(0, dir_ / "empty.mac").ok());
    EXPECT_EQ(parse_macro_file(read_file(dir_ / "empty.mac")), std::vector<MacroEvent>{});
}

TEST_F(MacroFolder, HostileImportsAreRefusedAndChangeNothing) {
    lib_.create();
    const std::string list_before = read_file(dir_ / "macro.config");
    const auto files_before = std::distance(fs::directory_iterator(dir_.path()), {});
    std::string many = R"({"Events": [)";
    for (int i = 0; i < 251; ++i)
        many += std::string(i ? "," : "") + R"({"Action":"up","Button":4,"Type":10,"Delay":"0"})";
    many += "]}";
    const std::string hostile[] = {
        "",
        "not json",
        R"([1, 2])",
        R"({"Events": {"Action": "down"}})",
        R"({"Events": [{"Action": "down", "Button": "4", "Type": 10, "Delay": "0"}]})",
        R"({"Events": [{"Action": "down", "Button": 200, "Type": 10, "Delay": "0"}]})",
        many,
        std::string(MaxImportFileSize + 1, ' ') + R"({"Events": []})",
    };
    int n = 0;
    for (const auto& text : hostile) {
        const fs::path p = dir_ / ("h" + std::to_string(n++) + ".txt");
        write_file(p, text);
        const MacroResult r = lib_.import_file(p);
        EXPECT_EQ(r.status, MacroStatus::Refused) << text.substr(0, 60);
        EXPECT_FALSE(r.detail.empty());
    }
    EXPECT_EQ(lib_.import_file(dir_.path()).status, MacroStatus::Refused);  // a folder
    ASSERT_EQ(mkfifo((dir_ / "pipe.mac").c_str(), 0600), 0);
    EXPECT_EQ(lib_.import_file(dir_ / "pipe.mac").status, MacroStatus::Refused);  // no block
    EXPECT_EQ(lib_.size(), 1);
    EXPECT_EQ(read_file(dir_ / "macro.config"), list_before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), {}), files_before + n + 1);
}

TEST_F(MacroFolder, IdentifiersFromTheListNeverNameFilesOutsideTheFolder) {
    fs::create_directories(dir_ / "in");
    write_file(dir_ / "victim.mac", R"({"Events": []})");
    write_file(dir_ / "in" / "macro.config",
               R"({"MacroInfo": [{"Guid": "../victim", "MacroName": "a"},
                                 {"Guid": 5, "MacroName": ["b"]}]})");
    MacroLibrary lib(dir_ / "in", fixed_clock());
    lib.load();
    ASSERT_EQ(lib.size(), 2);  // kept, so that later indices stay those of the file
    EXPECT_EQ(lib.entries()[1], (MacroEntry{"", ""}));
    EXPECT_TRUE(lib.macro_path(0).empty());
    EXPECT_EQ(lib.save_events(0, {}).status, MacroStatus::NoSuchMacro);
    ASSERT_TRUE(lib.remove(0).ok());
    EXPECT_TRUE(fs::exists(dir_ / "victim.mac"));
}

TEST_F(MacroFolder, DamagedListIsKeptBeforeItIsReplaced) {
    write_file(dir_ / "macro.config", "{\"MacroInfo\": [ broken");
    lib_.load();
    EXPECT_EQ(lib_.size(), 0);
    ASSERT_TRUE(lib_.create().ok());
    EXPECT_EQ(read_file(dir_ / "macro.config.unreadable"), "{\"MacroInfo\": [ broken");
    EXPECT_EQ(list_on_disk().size(), 1u);
}

}  // namespace
}  // namespace velqa::macro
