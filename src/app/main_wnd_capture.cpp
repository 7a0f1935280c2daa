// The main window's side of recording and key capture: it starts and ends the capture for the
// editors of the shown mouse page, keeps device selection, the other tabs and the profile
// choice locked while a recording runs, and hands every captured event to the editor it is for.
#include <QWidget>

#include "app/device_hook.h"
#include "app/main_wnd.h"
#include "app/messages.h"
#include "device/model/ui/mouse_device.h"
#include "macro/key_tables.h"
#include "macro/ui/keyset_control.h"
#include "macro/ui/macro_control.h"
#include "platform/debug_output.h"
#include "platform/input/input_capture.h"
#include "profile/ui/device_profile_ui.h"

namespace velqa::app {

void CMainWnd::set_input_capture(std::unique_ptr<platform::input::InputCapture> capture) {
    stop_recording();
    hook_ = std::make_unique<CDeviceHook>(std::move(capture));
    const QString note =
        hook_->desktop_wide() ? QString() : QString::fromStdString(hook_->window_only_reason());
    for (model::CZentovaMouseDevice* page : mouse_pages_) {
        if (macro::CMacroControlUI* macros = page->macro_editor())
            macros->set_capture_note(note);
    }
}

void CMainWnd::bind_button_editors(model::CZentovaMouseDevice* page) {
    if (macro::CMacroControlUI* macros = page->macro_editor()) {
        if (!hook_->desktop_wide())
            macros->set_capture_note(QString::fromStdString(hook_->window_only_reason()));
    }
    connect(page, &model::CZentovaMouseDevice::recording_started, this,
            [this, page](int mode) { start_recording(page, mode); });
    connect(page, &model::CZentovaMouseDevice::recording_stopped, this,
            [this] { end_recording(); });
}

void CMainWnd::start_recording(model::CZentovaMouseDevice* page, int hook_mode) {
    recording_page_ = page;
    set_recording_controls_enabled(false);
    // When the capture cannot start the editor still shows the recording state; Stop returns
    // it to idle.
    if (hook_->install(hook_mode, this, true, true) == 0)
        platform::debug_printf("recording: the capture did not start: %s\n",
                               hook_->last_error().c_str());
}

void CMainWnd::end_recording() {
    hook_->uninstall();
    recording_page_ = nullptr;
    set_recording_controls_enabled(true);
}

model::CZentovaMouseDevice* CMainWnd::recording_mouse() const {
    return qobject_cast<model::CZentovaMouseDevice*>(recording_page_.data());
}

void CMainWnd::stop_recording() {
    model::CZentovaMouseDevice* page = recording_mouse();
    if (page == nullptr)
        return;
    // The editor saves what it has and reports the end (end_recording).
    if (macro::CMacroControlUI* macros = page->macro_editor())
        macros->stop_recording();
    if (recording_page_ != nullptr)
        end_recording();
}

void CMainWnd::set_recording_controls_enabled(bool on) {
    if (QWidget* strip = find_control(QStringLiteral("device_select_layout")))
        strip->setEnabled(on);
    for (int tab = 0; tab < 5; ++tab) {
        if (tabs_[tab] != nullptr && tab != kMacroTab)
            tabs_[tab]->setEnabled(on);
    }
    if (recording_page_ != nullptr || on) {
        for (model::CZentovaMouseDevice* page : mouse_pages_) {
            if (auto* profiles = page->findChild<profile::CDeviceProfileUI*>())
                profiles->setEnabled(on);
        }
    }
}

void CMainWnd::on_hook_message(int mode, bool mouse, platform::ui::LParam lparam) {
    const auto event = hook_->take(lparam);
    if (!event || !hook_->installed() || hook_->mode() != mode)
        return;
    if (mouse)
        platform::debug_output("WM_HOOK_KEY_MSMACRO");
    // The editors of the shown device; with none shown the event is dropped.
    auto* page = qobject_cast<model::CZentovaMouseDevice*>(selected_page());
    if (page == nullptr)
        return;
    if (mode == kHookSingleKey) {
        macro::CKeySetControlUI* keys = page->keyset_editor();
        // A press names the key; its release would undo a combination (Shift let go last).
        const auto row = macro::row_for_x_keycode(event->code);
        if (keys != nullptr && !mouse && event->is_down() && row)
            keys->capture_key(*row);
        return;
    }
    macro::CMacroControlUI* macros = page->macro_editor();
    if (macros == nullptr || page != recording_mouse())
        return;
    if (mouse)
        macros->mouse_event(mode, *event);
    else
        macros->keyboard_event(mode, *event);
}

}  // namespace velqa::app
