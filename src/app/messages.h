// Window messages between the parts of the program, and the names of the messages exchanged
// with other programs.
#pragma once

#include "platform/ui/window_message.h"

namespace velqa::app {

// Messages of the main window (numbers keep their meaning across the program).
constexpr unsigned kMsgProgress = 0xC00;       // show "setting_progress"
constexpr unsigned kMsgLanguage = 0xC11;       // wParam: language index
constexpr unsigned kMsgDeviceArrived = 0xC12;  // wParam: slot index
constexpr unsigned kMsgDeviceLost = 0xC13;     // wParam: slot index
constexpr unsigned kMsgOpenSettings = 0xC15;
constexpr unsigned kMsgClearSetBadge = 0xC16;
constexpr unsigned kMsgTileLink = 0xD03;  // wParam: kind row, lParam: 0 gone / 1 present
constexpr unsigned kMsgFirmwareLaunch = 0xD04;
constexpr unsigned kMsgShowNoDevice = 0xD05;
constexpr unsigned kMsgHideNoDevice = 0xD06;
constexpr unsigned kMsgDeviceLogo = 0xD07;  // wParam 0x3950: sensor picture
constexpr unsigned kMsgDpiChanged = 0x4C8;
constexpr unsigned kMsgAccessDenied = 0xD08;  // the scan found a mouse this user may not open
constexpr unsigned kMsgHook = 0x41E;          // wParam 1: install the key capture, 0: remove it
// Sleep and resume, as the login manager reports them (wParam below).
constexpr unsigned kMsgPowerBroadcast = 0x0218;
constexpr unsigned kPowerSuspend = 0x0004;
constexpr unsigned kPowerResume = 0x0012;
constexpr unsigned kMsgActivate = 0x0006;  // wParam: active
constexpr unsigned kMsgMouseHover = 0x02A1;
constexpr unsigned kMsgMouseLeave = 0x02A3;
constexpr unsigned kMsgDisplayChange = 0x007E;

// Names of the messages exchanged with other programs (registered numbers in RegisteredMessages).
inline constexpr char kIdentityName[] = "ZARN VELQA R260 SOFTWARE";
inline constexpr char kRelayAName[] = "{1234567890}";
inline constexpr char kRelayBName[] = "{4695579F-999A-41d4-9FAF-EFFCE93EBF15}";
inline constexpr char kAnnounceName[] = "{4695579F-999A-41d4-9FAF-EFFCE93EBF16}";
inline constexpr char kLightControlName[] = "{4695579F-999A-41d4-9FAF-EFFCE93EBF17}";
inline constexpr char kToolQueryName[] = "{4695579F-999A-41d4-9FAF-EFFCE93EBF18}";
inline constexpr char kCompanionName[] = "{4695579F-999A-41d4-9FAF-EFFCE93EBE19}";
// A game reports what happens in it (wParam: the event's argument, lParam: a colour 0xRRGGBB for
// the lighting, 0 for the event's own).
inline constexpr char kGameStartName[] = "Game_Start";
inline constexpr char kGameEndName[] = "Game_End";
inline constexpr char kGameKillName[] = "Game_Kill";
inline constexpr char kGameDeathName[] = "Game_Death";

struct RegisteredMessages {
    unsigned identity = 0;
    unsigned relay_a = 0;
    unsigned relay_b = 0;
    unsigned announce = 0;
    unsigned light_control = 0;
    unsigned tool_query = 0;
    unsigned companion = 0;
    unsigned game_start = 0;
    unsigned game_end = 0;
    unsigned game_kill = 0;
    unsigned game_death = 0;
};

// The process-wide numbers (registered on first use).
const RegisteredMessages& registered_messages();

}  // namespace velqa::app
