// The ranges of the settings that reach a device record, and the one place that holds values
// within them. The mouse page, `velqactl set`, the settings record and profile import all take
// their limits from here, so a value refused or corrected by one is refused or corrected by all.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <string>
#include <vector>

#include "profile/profile_records.h"

namespace velqa::profile {

class SensorTable;

// An inclusive range of integers.
struct ValueRange {
    int min = 0;
    int max = 0;
    bool operator==(const ValueRange&) const = default;
    bool contains(std::int64_t value) const { return value >= min && value <= max; }
    // The nearest value inside the range.
    int hold(std::int64_t value) const;
};

inline constexpr int DpiMin = 50;

inline constexpr ValueRange StageIndexRange{0, 5};      // six DPI stages
inline constexpr ValueRange PollingIndexRange{0, 5};    // six polling-rate options
inline constexpr ValueRange TwoWayRange{0, 1};          // on/off options and flags
inline constexpr ValueRange KeyDelayIndexRange{0, 5};   // record values 1, 2, 4, 6, 8, 10
inline constexpr ValueRange SleepTimeIndexRange{1, 6};  // 180 ... 1200 seconds
inline constexpr ValueRange LightLevelRange{0, 4};      // lighting brightness and speed
inline constexpr ValueRange AudioModeRange{0, 3};       // the four music-reactive modes
inline constexpr ValueRange KeyRepeatRange{0, 31};      // the keyboard's repeat rate steps
inline constexpr ValueRange KeyRepeatDelayRange{0, 3};  // the keyboard's four repeat delays
inline constexpr ValueRange ByteRange{0, 255};          // colour channels, stored byte codes
inline constexpr ValueRange WordRange{0, 0xFFFF};       // values stored as 16-bit words
// The desktop's pointer settings a mouse profile carries: the System tab's slider ranges. A value
// beyond them (a 1 ms double click) would break the whole desktop's pointer.
inline constexpr ValueRange PointerSpeedRange{1, 20};    // 10: the desktop's default speed
inline constexpr ValueRange WheelLinesRange{1, 20};      // lines per wheel notch
inline constexpr ValueRange DoubleClickRange{200, 900};  // milliseconds

// Record holds: every field the device record carries is moved into its range (page edits,
// the command line and the settings record built from a profile go through these), and so are
// the pointer settings on their way to the desktop.
void hold_in_range(DpiStage& stage, ValueRange dpi);
void hold_in_range(LightInfo& light);
void hold_in_range(AudioLightInfo& audio);
void hold_in_range(MouseSystemSettings& settings);
void hold_in_range(KeyboardSystemSettings& settings);

// Holds every value of every "Device" section of a profile document that the records above
// carry, as stored (a value of the wrong type counts as 0, a number beyond the field's width
// is held, not truncated). Returns one line per changed value, "member: old -> new", with the
// member's path in the document (Device[0].DPIStages[1].StageDPIs[2].StageDPIX); beyond the
// first 100, one last line counts the rest.
// Stage DPIs are held to the range `sensors` gives their stage set; with an empty table, only
// to the field's width.
std::vector<std::string> hold_profile_values(Json::Value& document, const SensorTable& sensors);

}  // namespace velqa::profile
