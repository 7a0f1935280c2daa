// The shooting patterns: a bullet's six events in the file, the strict import check, the files'
// restore from the shipped copies, the image layout, and a lint of every shipped pattern.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "macro/shoot_data.h"
#include "platform/atomic_file.h"
#include "platform/json_read.h"
#include "profile/profile_files.h"
#include "support/temp_dir.h"

namespace velqa::macro {
namespace {

namespace fs = std::filesystem;
using platform::parse_json;
using platform::read_json_file;

std::string file_bytes(const fs::path& file) {
    std::string bytes;
    EXPECT_TRUE(platform::read_whole_file(file, bytes)) << file;
    return bytes;
}

void put(const fs::path& file, std::string_view bytes) {
    ASSERT_TRUE(platform::write_file_atomically(file, bytes)) << file;
}

std::vector<Bullet> ramp() {
    std::vector<Bullet> bullets;
    for (int b = 0; b < BulletCount; ++b) {
        bullets.push_back({b % 2 == 1, static_cast<std::uint8_t>(b % 3), false,
                           static_cast<std::uint8_t>(b + 1), static_cast<std::uint16_t>(80 + b)});
    }
    return bullets;
}

class ShootFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(user_);
        fs::create_directories(defaults_);
        for (int gun = 0; gun < GunCount; ++gun)
            put(patterns_.default_path(gun), profile::styled_json(encode_shoot_file(ramp())));
    }

    test::TempDir dir_;
    fs::path user_ = dir_.path() / "user";
    fs::path defaults_ = dir_.path() / "DefaultData";
    ShootPatterns patterns_{user_, defaults_};
};

TEST_F(ShootFiles, SavingBulletThreeRewritesItsSixEventsOnly) {
    ASSERT_TRUE(patterns_.reset(1).ok());
    const Json::Value before = read_json_file(patterns_.pattern_path(1));

    // Left, 2 steps; up not selected, 4 steps; 60 ms.
    ASSERT_TRUE(patterns_.save_bullet(1, 3, {true, 2, false, 4, 60}).ok());
    const Json::Value after = read_json_file(patterns_.pattern_path(1));
    const Json::Value expected = parse_json(R"([
        {"Action": "down", "Button": 1, "Delay": 10, "Type": 1},
        {"Action": "up", "Button": 1, "Delay": 0, "Type": 1},
        {"Action": "down", "Button": 2, "Delay": 5, "Type": 4},
        {"Action": "up", "Button": 4, "Delay": 60, "Type": 5},
        {"Action": "down", "Button": 0, "Delay": 0, "Type": 4},
        {"Action": "up", "Button": 0, "Delay": 0, "Type": 5}])");
    ASSERT_EQ(after["Events"].size(), ShootEventCount);
    for (Json::ArrayIndex i = 0; i < ShootEventCount; ++i) {
        if (i >= 18 && i < 24)
            EXPECT_EQ(after["Events"][i], expected[i - 18]) << i;
        else
            EXPECT_EQ(after["Events"][i], before["Events"][i]) << i;
    }
    // The delay is a JSON integer in pattern files.
    EXPECT_TRUE(after["Events"][21]["Delay"].isInt());

    const auto bullets = patterns_.load_bullets(1);
    ASSERT_TRUE(bullets);
    EXPECT_EQ((*bullets)[3], (Bullet{true, 2, false, 4, 60}));
    EXPECT_EQ((*bullets)[4], ramp()[4]);
    EXPECT_EQ(patterns_.save_bullet(1, 30, {}).status, ShootStatus::NoSuchBullet);
    EXPECT_EQ(patterns_.save_bullet(4, 0, {}).status, ShootStatus::NoSuchGun);
}

TEST_F(ShootFiles, ADamagedFileIsNotTheBaseOfASave) {
    put(patterns_.pattern_path(2), "{ \"Events\": [");
    ASSERT_TRUE(patterns_.save_bullet(2, 5, {false, 1, true, 9, 100}).ok());
    const auto bullets = patterns_.load_bullets(2);
    ASSERT_TRUE(bullets);
    std::vector<Bullet> expected = ramp();
    expected[5] = {false, 1, true, 9, 100};
    EXPECT_EQ(*bullets, expected);

    // A short file gets whole bullets of no steps up to the one saved, never null events.
    put(patterns_.pattern_path(3), R"({"Events": [], "Note": "mine"})");
    ASSERT_TRUE(patterns_.save_bullet(3, 2, {true, 3, true, 3, 70}).ok());
    const Json::Value doc = read_json_file(patterns_.pattern_path(3));
    EXPECT_EQ(doc["Note"].asString(), "mine");
    ASSERT_EQ(doc["Events"].size(), 18u);
    for (const Json::Value& e : doc["Events"])
        EXPECT_TRUE(e.isObject());
    EXPECT_EQ(decode_shoot_events(doc)[6], (MacroEvent{true, 1, TypeMouseButton, 10}));
}

TEST_F(ShootFiles, StartRestoresOnlyUnreadableFiles) {
    put(patterns_.pattern_path(0), "not json");
    put(patterns_.pattern_path(1), R"({"Events": []})");  // JSON: kept as the user's
    ASSERT_TRUE(patterns_.restore_unreadable().ok());
    EXPECT_EQ(file_bytes(patterns_.pattern_path(0)), file_bytes(patterns_.default_path(0)));
    EXPECT_EQ(file_bytes(patterns_.pattern_path(1)), R"({"Events": []})");
    EXPECT_EQ(file_bytes(patterns_.pattern_path(3)), file_bytes(patterns_.default_path(3)));

    // Without its shipped copy a gun cannot be restored; the others still are.
    fs::remove(patterns_.pattern_path(2));
    fs::remove(patterns_.pattern_path(3));
    fs::remove(patterns_.default_path(2));
    EXPECT_EQ(patterns_.restore_unreadable().status, ShootStatus::NoDefault);
    EXPECT_FALSE(fs::exists(patterns_.pattern_path(2)));
    EXPECT_TRUE(fs::exists(patterns_.pattern_path(3)));
    EXPECT_FALSE(patterns_.load_bullets(2));
}

TEST_F(ShootFiles, ImportChecksThePatternAndKeepsTheOldFileOnRefusal) {
    ASSERT_TRUE(patterns_.restore_unreadable().ok());
    ASSERT_TRUE(patterns_.save_bullet(0, 0, {false, 7, false, 7, 77}).ok());
    const std::string old = file_bytes(patterns_.pattern_path(0));

    Json::Value good = encode_shoot_file(ramp());
    auto variant = [&](const std::function<void(Json::Value&)>& change) {
        Json::Value v = good;
        change(v);
        return profile::styled_json(v);
    };
    const fs::path file = dir_.path() / "in.shoot";
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"garbage", "not a JSON file"},
        {"[1, 2]", "not a JSON object"},
        {"{}", "no \"Events\" array"},
        {variant([](Json::Value& v) { v["Events"].resize(179); }), "179 events"},
        {variant([](Json::Value& v) { v["Events"][40]["Type"] = 77; }), "event 40"},
        {variant([](Json::Value& v) { v["Events"][3]["Delay"] = 70000; }), "above 65535"},
        {variant([](Json::Value& v) { v["Events"][3]["Delay"] = "65536"; }), "event 3"},
        {variant([](Json::Value& v) { v["Events"][0]["Action"] = "press"; }), "event 0"},
        {std::string(MaxShootFileSize + 1, ' '), "too large"},
    };
    for (const auto& [text, why] : refused) {
        put(file, text);
        const ShootResult r = patterns_.import_file(0, file);
        EXPECT_EQ(r.status, ShootStatus::Refused) << why;
        EXPECT_NE(r.detail.find(why), std::string::npos) << r.detail;
        EXPECT_EQ(file_bytes(patterns_.pattern_path(0)), old) << why;
    }
    EXPECT_EQ(patterns_.import_file(0, dir_.path() / "missing.shoot").status, ShootStatus::Refused);
    EXPECT_EQ(patterns_.import_file(0, dir_.path()).status, ShootStatus::Refused);

    // A pattern file is copied byte for byte, comments and layout included.
    const std::string accepted = "// from a friend\n" + profile::styled_json(good);
    put(file, accepted);
    ASSERT_TRUE(patterns_.import_file(0, file).ok());
    EXPECT_EQ(file_bytes(patterns_.pattern_path(0)), accepted);

    const fs::path out = dir_.path() / "out.shoot";
    ASSERT_TRUE(patterns_.export_file(0, out).ok());
    EXPECT_EQ(file_bytes(out), accepted);
    fs::remove(patterns_.pattern_path(1));
    EXPECT_EQ(patterns_.export_file(1, out).status, ShootStatus::ReadFailed);
    EXPECT_EQ(file_bytes(out), accepted);
}

TEST(ShootImage, ADelayAboveSixteenBitsKeepsItsLowBits) {
    const Json::Value doc = parse_json(R"({"Events": [
        {"Action": "up", "Button": 4, "Delay": 70000, "Type": 5},
        {"Action": "up", "Button": 4, "Delay": "65537", "Type": 5},
        {"Action": "up", "Button": 4, "Delay": "x", "Type": 5}]})");
    const auto events = decode_shoot_events(doc);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(device_code(events[0]), (DeviceEventCode{0x70, 0x11, 0x05, 0x04}));
    EXPECT_EQ(events[1].delay, 1);
    EXPECT_EQ(events[2].delay, 0);
    EXPECT_EQ(read_bullet(doc, 0).delay, 0);  // element 3 is missing
    EXPECT_TRUE(decode_shoot_events(parse_json(R"({"Events": 3})")).empty());
}

// Every pattern shipped in DefaultData: a pattern file by the import check, six events per
// bullet in the editor's form, and a pull a new user can start from.
TEST(ShootFactoryData, EveryShippedPatternIsAFullPlausiblePattern) {
    const fs::path folder = test::source_dir() / "DefaultData";
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ShootExtension)
            continue;
        const std::string where = entry.path().filename().string();
        names.insert(where);
        std::string error;
        const auto events = parse_shoot_file(file_bytes(entry.path()), &error);
        ASSERT_TRUE(events) << where << ": " << error;
        const Json::Value doc = read_json_file(entry.path());
        int pull = 0;
        for (int b = 0; b < BulletCount; ++b) {
            const Bullet bullet = read_bullet(doc, b);
            const auto six = bullet_events(bullet);
            EXPECT_TRUE(std::equal(six.begin(), six.end(), events->begin() + 6 * b))
                << where << " bullet " << b;
            for (Json::ArrayIndex i = 0; i < EventsPerBullet; ++i)
                EXPECT_TRUE(doc["Events"][6 * b + i]["Delay"].isInt()) << where;
            EXPECT_LE(bullet.x, 10) << where << " bullet " << b;
            EXPECT_LE(bullet.y, 20) << where << " bullet " << b;
            EXPECT_GE(bullet.delay, 30) << where << " bullet " << b;
            EXPECT_LE(bullet.delay, 200) << where << " bullet " << b;
            pull += signed_y(bullet);
        }
        EXPECT_GT(pull, 0) << where << " should pull down against the recoil";
    }
    std::set<std::string> expected;
    for (int gun = 0; gun < GunCount; ++gun)
        expected.insert(shoot_file_name(gun));
    EXPECT_EQ(names, expected);
}

}  // namespace
}  // namespace velqa::macro
