// Presentation helpers of the mouse settings page ("mousedevice.xml") shared by the page class
// and its tests: combo items in the current language and the active DPI stage's highlight.
#pragma once

#include <QWidget>

namespace velqa::ui {

inline constexpr char kMousePageLayout[] = "mousedevice.xml";
inline constexpr int kDpiStageCount = 6;
inline constexpr int kPollingOptionCount = 6;

// Fills the sleep-time, key-delay and anti-shake combos with the texts of the current language,
// keeping each combo's selected index. Safe on a page that lacks any of them.
void fill_mouse_page_combos(QWidget* page);

// Shows stage `active` (0-5) as the active DPI stage: its select check on and the others off, its
// enable check disabled (the active stage cannot be switched off), its slider with the active
// thumb and its edit with the active border; the other stages get the normal thumb and border.
// Sends no notifications.
void show_active_dpi_stage(QWidget* page, int active);

}  // namespace velqa::ui
