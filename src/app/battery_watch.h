// What the tray shows of the selected mouse's battery and link, and when a wireless mouse's
// falling battery is announced on the desktop. Pure: the power status goes in, texts, the
// icon's state and the notices to send come out; the main window does the showing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velqa::app {

// Levels at which a falling battery is announced, and the tray's low-battery mark.
inline constexpr int BatteryLowPercent = 15;
inline constexpr int BatteryCriticalPercent = 5;
// A level re-arms once the battery stands this many points above it (or charges), so a reading
// that wobbles around a threshold is announced once.
inline constexpr int BatteryRearmMargin = 3;

// One power status as the device page marks it.
struct BatteryStatus {
    int percent = 0;        // 0-100
    int charging = 0;       // 0 not charging, 1 charging, 2 charged
    bool wireless = false;  // through the receiver
};

// Byte 0 level, byte 1 charging state, byte 3 path (non-zero: receiver) of a power status.
// Nothing for a status shorter than 4 bytes, a level above 100 or an unknown charging state:
// such a reading says nothing reliable about the battery.
std::optional<BatteryStatus> battery_status(const std::uint8_t* status, std::size_t length);

enum class TrayLink { None, Cable, Wireless };

// What the tray shows for the selected mouse.
struct TrayView {
    bool device = false;  // false: no mouse selected, the plain program name
    TrayLink link = TrayLink::None;
    std::optional<BatteryStatus> battery;  // none until the first status arrives
    bool low_mark = false;                 // at BatteryLowPercent or below, not charging
};

// `link_mode` is the page's: 1 cable, 2 receiver, anything else not yet known (the status's own
// path flag then stands in). The link follows the page at once after a switch, before the next
// status confirms it.
TrayView tray_view(bool device, int link_mode, const std::optional<BatteryStatus>& battery);

// A language text by id.
using TextLookup = std::function<std::string(std::string_view id)>;

// The program name the tray shows alone when there is no device.
inline constexpr char TrayProgramName[] = "ZARN_VELQA_R260";

// The tooltip: the program name, then "Battery: N%" with the charging state, then the link.
std::string tray_tooltip(const TrayView& view, const TextLookup& text);

// A desktop notice to send about one device.
struct BatteryNotice {
    int level = 0;    // BatteryLowPercent or BatteryCriticalPercent
    int percent = 0;  // the reading that crossed it
    bool critical() const { return level <= BatteryCriticalPercent; }
};

// Summary and body of a notice in the current language.
struct NoticeText {
    std::string summary;
    std::string body;
};
NoticeText notice_text(const BatteryNotice& notice, const TextLookup& text);

// Once-per-discharge announcements of one device's battery. Each level fires once when a
// wireless, discharging reading is at or below it; charging (state 1 or 2) re-arms every
// level, and so does a reading BatteryRearmMargin points above a level for that level. On the
// cable nothing is announced.
class LowBatteryRule {
  public:
    // The notice this reading calls for. When one reading crosses both levels at once, only the
    // critical one is sent (the low one is then spent too).
    std::optional<BatteryNotice> update(const BatteryStatus& status);

  private:
    bool low_fired_ = false;
    bool critical_fired_ = false;
};

// Replaces every "%1" in `format` with `value`.
std::string format_text(std::string_view format, std::string_view value);

}  // namespace velqa::app
