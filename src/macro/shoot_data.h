// The mouse's four shooting patterns: one ".Shoot" file per gun, 30 bullets of six macro events
// each, their edits (bullet, reset, import, export) and the image written to the mouse.
#pragma once

#include <json/json.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/link/codecs.h"
#include "device/link/command_channel.h"
#include "macro/macro_event.h"

namespace velqa::macro {

inline constexpr int GunCount = 4;
inline constexpr int BulletCount = 30;
inline constexpr int EventsPerBullet = 6;
inline constexpr std::size_t ShootEventCount = std::size_t{BulletCount} * EventsPerBullet;
inline constexpr int MaxBulletSteps = 255;
// A full pattern file is some 20 kB; anything far larger is no pattern file.
inline constexpr std::size_t MaxShootFileSize = 1024 * 1024;
inline constexpr std::string_view ShootExtension = ".Shoot";

// "ShootData_" + gun + ".Shoot".
std::string shoot_file_name(int gun);

// One shot: press and release the left button, then step the pointer.
struct Bullet {
    bool left = false;        // horizontal direction ("down" in the file)
    std::uint8_t x = 0;       // horizontal steps
    bool up = false;          // vertical direction ("down" in the file)
    std::uint8_t y = 0;       // vertical steps
    std::uint16_t delay = 0;  // milliseconds after the vertical step
    bool operator==(const Bullet&) const = default;
};

// Signed steps as the command line gives them: x > 0 right, x < 0 left, y > 0 down, y < 0 up.
// Nothing when a step count is beyond 255.
std::optional<Bullet> bullet_from_steps(int x, int y, std::uint16_t delay);
int signed_x(const Bullet& bullet);
int signed_y(const Bullet& bullet);

// Press (10 ms), release, horizontal move (5 ms), vertical move (the bullet's delay), then both
// moves again with no steps.
std::array<MacroEvent, EventsPerBullet> bullet_events(const Bullet& bullet);

// A pattern file's event: "Delay" as a JSON integer, the other members as event_json writes.
Json::Value shoot_event_json(const MacroEvent& event);

// The events of a pattern document, read leniently (see read_event); "Delay" keeps its low 16
// bits, as the device code holds them. Empty when the document has no "Events" array.
std::vector<MacroEvent> decode_shoot_events(const Json::Value& document);

// Bullet `bullet` of a document's events (its elements 6b+2 and 6b+3); an element that is
// missing reads as no steps and no delay.
Bullet read_bullet(const Json::Value& document, int bullet);

// Sets the six elements of bullet `bullet` in `document`. Bullets missing before it (a short or
// absent "Events") are filled with bullets of no steps, so the file never holds null events.
void write_bullet(Json::Value& document, int bullet, const Bullet& value);

// A document of 30 bullets.
Json::Value encode_shoot_file(const std::vector<Bullet>& bullets);

// Strict reading of a file from elsewhere: a JSON object whose "Events" is an array of exactly
// 180 events that parse_event accepts, each "Delay" at most 65535. Nothing and the reason in
// `error` otherwise.
std::optional<std::vector<MacroEvent>> parse_shoot_file(std::string_view text,
                                                        std::string* error = nullptr);

enum class ShootStatus {
    Ok,
    NoSuchGun,     // gun outside 0-3
    NoSuchBullet,  // bullet outside 0-29
    Refused,       // an import file that is no pattern file
    NoDefault,     // the shipped pattern cannot be read
    ReadFailed,
    WriteFailed,
};

struct ShootResult {
    ShootStatus status = ShootStatus::Ok;
    std::string detail;  // why, in words
    bool ok() const { return status == ShootStatus::Ok; }
};

// Text for a status ("no such gun", ...).
const char* shoot_status_text(ShootStatus status);

// The four pattern files of a device: "ShootData_<gun>.Shoot" in the user folder (the device's
// data folder, where its macros are), the shipped copies in the default folder. Every change is
// written atomically; a refused or failed change leaves the old file. Not thread-safe.
class ShootPatterns {
  public:
    ShootPatterns(std::filesystem::path user_folder, std::filesystem::path default_folder);

    const std::filesystem::path& user_folder() const { return user_folder_; }
    // Empty paths for a gun outside 0-3.
    std::filesystem::path pattern_path(int gun) const;
    std::filesystem::path default_path(int gun) const;

    // What the editor does when it starts: every gun whose file does not read as JSON is
    // restored from its default. Returns the first failure; the other guns are still done.
    ShootResult restore_unreadable();

    // The gun's 30 bullets from its file (no steps for bullets the file lacks). Nothing when
    // the gun does not exist or its file does not read as JSON.
    std::optional<std::vector<Bullet>> load_bullets(int gun) const;
    // Rewrites the bullet's six events in the gun's file, keeping everything else in it. A file
    // that does not read as JSON is replaced by the default with this bullet set.
    ShootResult save_bullet(int gun, int bullet, const Bullet& value);
    // Copies the default byte for byte over the gun's file.
    ShootResult reset(int gun);
    // Copies `file` byte for byte over the gun's file when parse_shoot_file accepts it (a
    // regular file of at most MaxShootFileSize bytes); otherwise Refused and the old file stays.
    ShootResult import_file(int gun, const std::filesystem::path& file);
    // Copies the gun's file byte for byte to `target`.
    ShootResult export_file(int gun, const std::filesystem::path& target) const;

    // The gun's events for the device (no events when its file is unreadable).
    std::vector<MacroEvent> load_events(int gun) const;
    // The four patterns in the macro image layout (2920 bytes for four full patterns); empty
    // when the files hold too many events for its 16-bit size.
    std::vector<std::uint8_t> image() const;

  private:
    std::filesystem::path user_folder_;
    std::filesystem::path default_folder_;
};

// Writes the four patterns to the mouse: on the receiver path the mouse must answer first; the
// information block is read (into `device_info` when given), then begin, write (command 0x17,
// 56-byte chunks), end, each after the presence query on the receiver path. The image is written
// whatever the mouse's macro memory size. Returns a link result code: 1 written; 0 no link, or
// the mouse stopped answering through the receiver (nothing more was sent); negative, the
// failing step's code (-202 when the files hold too many events for one image).
int download_shooting_patterns(link::CommandChannel& channel, const ShootPatterns& patterns,
                               link::DeviceInfo* device_info = nullptr);

}  // namespace velqa::macro
