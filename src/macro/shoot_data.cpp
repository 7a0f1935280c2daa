#include "macro/shoot_data.h"

#include <system_error>

#include "device/link/report.h"
#include "device/link/sequences.h"
#include "macro/macro_image.h"
#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/json_read.h"
#include "platform/number_text.h"
#include "profile/profile_files.h"

namespace velqa::macro {

namespace fs = std::filesystem;
using platform::element;
using platform::member;
using platform::to_text;

namespace {

constexpr std::uint16_t PressDelay = 10;
constexpr std::uint16_t HorizontalDelay = 5;

bool valid_gun(int gun) {
    return gun >= 0 && gun < GunCount;
}

ShootResult failure(ShootStatus status, std::string detail = {}) {
    return {status, std::move(detail)};
}

// The device code keeps a delay's low 16 bits, so the pattern does too.
std::uint16_t shoot_delay(const Json::Value& value) {
    if (value.isString()) {
        const auto n = platform::parse_number(to_text(value), INT64_MIN, INT64_MAX);
        return static_cast<std::uint16_t>(n.value_or(0));
    }
    return platform::to_u16(value);
}

MacroEvent read_shoot_event(const Json::Value& object) {
    MacroEvent event = read_event(object);
    event.delay = shoot_delay(member(object, "Delay"));
    return event;
}

// The JSON reader's multi-line message on one line, for a message on the command line.
std::string one_line(std::string_view text) {
    std::string out;
    for (char c : text) {
        const bool space = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (!space)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

ShootResult write_document(const fs::path& file, const Json::Value& document) {
    std::string error;
    if (!platform::write_file_atomically(file, profile::styled_json(document), &error))
        return failure(ShootStatus::WriteFailed, file.string() + ": " + error);
    return {};
}

}  // namespace

std::string shoot_file_name(int gun) {
    return "ShootData_" + std::to_string(gun) + std::string(ShootExtension);
}

std::optional<Bullet> bullet_from_steps(int x, int y, std::uint16_t delay) {
    if (x < -MaxBulletSteps || x > MaxBulletSteps || y < -MaxBulletSteps || y > MaxBulletSteps)
        return std::nullopt;
    Bullet b;
    b.left = x < 0;
    b.x = static_cast<std::uint8_t>(x < 0 ? -x : x);
    b.up = y < 0;
    b.y = static_cast<std::uint8_t>(y < 0 ? -y : y);
    b.delay = delay;
    return b;
}

int signed_x(const Bullet& bullet) {
    return bullet.left ? -bullet.x : bullet.x;
}

int signed_y(const Bullet& bullet) {
    return bullet.up ? -bullet.y : bullet.y;
}

std::array<MacroEvent, EventsPerBullet> bullet_events(const Bullet& b) {
    return {{
        {true, 0x01, TypeMouseButton, PressDelay},
        {false, 0x01, TypeMouseButton, 0},
        {b.left, b.x, TypeMoveX, HorizontalDelay},
        {b.up, b.y, TypeMoveY, b.delay},
        {b.left, 0, TypeMoveX, 0},
        {b.up, 0, TypeMoveY, 0},
    }};
}

Json::Value shoot_event_json(const MacroEvent& event) {
    Json::Value object = event_json(event);
    object["Delay"] = event.delay;
    return object;
}

std::vector<MacroEvent> decode_shoot_events(const Json::Value& document) {
    std::vector<MacroEvent> events;
    const Json::Value& list = member(document, "Events");
    if (!list.isArray())
        return events;
    for (const Json::Value& e : list)
        events.push_back(read_shoot_event(e));
    return events;
}

Bullet read_bullet(const Json::Value& document, int bullet) {
    const Json::Value& list = member(document, "Events");
    const auto at = static_cast<Json::ArrayIndex>(bullet * EventsPerBullet);
    const MacroEvent x = read_shoot_event(element(list, at + 2));
    const MacroEvent y = read_shoot_event(element(list, at + 3));
    return {x.down, x.button, y.down, y.button, y.delay};
}

void write_bullet(Json::Value& document, int bullet, const Bullet& value) {
    Json::Value& list = platform::writable_member(document, "Events");
    if (!list.isArray())
        list = Json::Value(Json::arrayValue);
    const auto first = static_cast<Json::ArrayIndex>(bullet * EventsPerBullet);
    // Fill whole bullets up to this one: a null element would load as a stray event.
    while (list.size() < first) {
        const Json::ArrayIndex within = list.size() % EventsPerBullet;
        list.append(shoot_event_json(bullet_events(Bullet{})[within]));
    }
    const auto events = bullet_events(value);
    for (Json::ArrayIndex i = 0; i < EventsPerBullet; ++i)
        platform::writable_element(list, first + i) = shoot_event_json(events[i]);
}

Json::Value encode_shoot_file(const std::vector<Bullet>& bullets) {
    Json::Value document(Json::objectValue);
    document["Events"] = Json::Value(Json::arrayValue);
    for (std::size_t b = 0; b < bullets.size(); ++b)
        write_bullet(document, static_cast<int>(b), bullets[b]);
    return document;
}

std::optional<std::vector<MacroEvent>> parse_shoot_file(std::string_view text, std::string* error) {
    auto refuse = [&](std::string why) -> std::optional<std::vector<MacroEvent>> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    std::string parse_error;
    const Json::Value document = platform::parse_json(text, &parse_error);
    if (document.isNull())
        return refuse("not a JSON file (" + one_line(parse_error) + ")");
    if (!document.isObject())
        return refuse("not a JSON object");
    const Json::Value& list = member(document, "Events");
    if (!list.isArray())
        return refuse("no \"Events\" array");
    if (list.size() != ShootEventCount) {
        return refuse("\"Events\" holds " + std::to_string(list.size()) + " events, a pattern " +
                      std::to_string(ShootEventCount));
    }
    std::vector<MacroEvent> events;
    for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
        std::string why;
        const auto event = parse_event(list[i], &why);
        if (!event)
            return refuse("event " + std::to_string(i) + ": " + why);
        // parse_event clamps; a longer delay here would reach the mouse cut to 16 bits.
        const Json::Value& delay = member(list[i], "Delay");
        const auto n = delay.isString() ? platform::parse_number(to_text(delay), 0, MaxDelay)
                                        : std::optional<std::int64_t>(platform::to_int(delay));
        if (!n || *n > MaxDelay)
            return refuse("event " + std::to_string(i) + ": \"Delay\" is above 65535");
        events.push_back(*event);
    }
    return events;
}

const char* shoot_status_text(ShootStatus status) {
    switch (status) {
        case ShootStatus::Ok:
            return "done";
        case ShootStatus::NoSuchGun:
            return "no such gun (0-3)";
        case ShootStatus::NoSuchBullet:
            return "no such bullet (0-29)";
        case ShootStatus::Refused:
            return "not a shooting-pattern file";
        case ShootStatus::NoDefault:
            return "the shipped pattern could not be read";
        case ShootStatus::ReadFailed:
            return "a file could not be read";
        case ShootStatus::WriteFailed:
            return "a file could not be written";
    }
    return "failed";
}

ShootPatterns::ShootPatterns(fs::path user_folder, fs::path default_folder)
    : user_folder_(std::move(user_folder)), default_folder_(std::move(default_folder)) {}

fs::path ShootPatterns::pattern_path(int gun) const {
    return valid_gun(gun) ? user_folder_ / shoot_file_name(gun) : fs::path();
}

fs::path ShootPatterns::default_path(int gun) const {
    return valid_gun(gun) ? default_folder_ / shoot_file_name(gun) : fs::path();
}

ShootResult ShootPatterns::restore_unreadable() {
    ShootResult first;
    for (int gun = 0; gun < GunCount; ++gun) {
        if (!platform::read_json_file(pattern_path(gun)).isNull())
            continue;
        const ShootResult r = reset(gun);
        if (!r.ok() && first.ok())
            first = r;
    }
    return first;
}

std::optional<std::vector<Bullet>> ShootPatterns::load_bullets(int gun) const {
    if (!valid_gun(gun))
        return std::nullopt;
    const Json::Value document = platform::read_json_file(pattern_path(gun));
    if (document.isNull())
        return std::nullopt;
    std::vector<Bullet> bullets;
    for (int b = 0; b < BulletCount; ++b)
        bullets.push_back(read_bullet(document, b));
    return bullets;
}

ShootResult ShootPatterns::save_bullet(int gun, int bullet, const Bullet& value) {
    if (!valid_gun(gun))
        return failure(ShootStatus::NoSuchGun);
    if (bullet < 0 || bullet >= BulletCount)
        return failure(ShootStatus::NoSuchBullet);
    Json::Value document = platform::read_json_file(pattern_path(gun));
    // Setting one bullet in a damaged file would leave the other 29 empty.
    if (document.isNull())
        document = platform::read_json_file(default_path(gun));
    if (!document.isObject())
        document = Json::Value(Json::objectValue);
    write_bullet(document, bullet, value);
    return write_document(pattern_path(gun), document);
}

ShootResult ShootPatterns::reset(int gun) {
    if (!valid_gun(gun))
        return failure(ShootStatus::NoSuchGun);
    std::string bytes;
    std::string error;
    if (!platform::read_whole_file(default_path(gun), bytes, &error))
        return failure(ShootStatus::NoDefault, default_path(gun).string() + ": " + error);
    if (!platform::write_file_atomically(pattern_path(gun), bytes, &error))
        return failure(ShootStatus::WriteFailed, pattern_path(gun).string() + ": " + error);
    return {};
}

ShootResult ShootPatterns::import_file(int gun, const fs::path& file) {
    if (!valid_gun(gun))
        return failure(ShootStatus::NoSuchGun);
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (!ec && size > MaxShootFileSize)
        return failure(ShootStatus::Refused, file.string() + ": the file is too large");
    std::string bytes;
    std::string error;
    if (!platform::read_whole_file(file, bytes, &error))
        return failure(ShootStatus::Refused, file.string() + ": " + error);
    if (bytes.size() > MaxShootFileSize)
        return failure(ShootStatus::Refused, file.string() + ": the file is too large");
    if (!parse_shoot_file(bytes, &error))
        return failure(ShootStatus::Refused, file.string() + ": " + error);
    if (!platform::write_file_atomically(pattern_path(gun), bytes, &error))
        return failure(ShootStatus::WriteFailed, pattern_path(gun).string() + ": " + error);
    return {};
}

ShootResult ShootPatterns::export_file(int gun, const fs::path& target) const {
    if (!valid_gun(gun))
        return failure(ShootStatus::NoSuchGun);
    std::string bytes;
    std::string error;
    if (!platform::read_whole_file(pattern_path(gun), bytes, &error))
        return failure(ShootStatus::ReadFailed, pattern_path(gun).string() + ": " + error);
    if (!platform::write_file_atomically(target, bytes, &error))
        return failure(ShootStatus::WriteFailed, target.string() + ": " + error);
    return {};
}

std::vector<MacroEvent> ShootPatterns::load_events(int gun) const {
    if (!valid_gun(gun))
        return {};
    return decode_shoot_events(platform::read_json_file(pattern_path(gun)));
}

std::vector<std::uint8_t> ShootPatterns::image() const {
    std::vector<std::vector<MacroEvent>> guns;
    for (int gun = 0; gun < GunCount; ++gun)
        guns.push_back(load_events(gun));
    return MacroImage::build(guns);
}

int download_shooting_patterns(link::CommandChannel& channel, const ShootPatterns& patterns,
                               link::DeviceInfo* device_info) {
    if (!channel.link_open())
        return link::result::ReadFailed;
    const std::vector<std::uint8_t> image = patterns.image();
    if (image.empty()) {
        platform::debug_output("shooting download: the patterns do not fit one image");
        return link::result::BadArgument;
    }
    const int res = link::write_shooting_sequence(channel, image, device_info);
    if (res != link::result::Success)
        platform::debug_printf("shooting download failed: %d", res);
    return res;
}

}  // namespace velqa::macro
