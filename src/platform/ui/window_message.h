// Window messages by number, as the rest of the program exchanges them.
#pragma once

#include <cstdint>
#include <string_view>

namespace velqa::platform::ui {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Messages the framework itself gives a meaning to.
constexpr unsigned kMsgClose = 0x0010;        // asks the window to close
constexpr unsigned kMsgTrayIcon = 0x0401;     // tray icon activity; lParam kMouseLButtonUp/...
constexpr unsigned kMsgMenuCommand = 0x0479;  // menu item chosen; wParam = MenuCommand*
constexpr unsigned kMouseLButtonUp = 0x0202;  // lParam of kMsgTrayIcon
constexpr unsigned kMouseRButtonUp = 0x0205;  // lParam of kMsgTrayIcon

// First number handed out by register_window_message.
constexpr unsigned kFirstRegisteredMessage = 0xC000;

// A process-wide number for a message name: the same name always gives the same number,
// different names different numbers, all in 0xC000-0xFFFF. Returns 0 once that range is used up.
// Thread-safe.
unsigned register_window_message(std::string_view name);

// The name registered for a number; empty when the number was never handed out.
std::string_view registered_message_name(unsigned message);

}  // namespace velqa::platform::ui
