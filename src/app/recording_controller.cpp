#include "app/recording_controller.h"

#include <QWidget>

#include "app/device_hook.h"
#include "app/device_manager.h"
#include "device/model/ui/mouse_device.h"
#include "macro/key_tables.h"
#include "macro/ui/keyset_control.h"
#include "macro/ui/macro_control.h"
#include "platform/debug_output.h"
#include "platform/input/input_capture.h"
#include "profile/ui/device_profile_ui.h"

namespace velqa::app {

RecordingController::RecordingController(platform::ui::Window& window, DeviceManager& devices,
                                         std::function<void(bool)> lock_window_controls)
    : window_(window),
      devices_(devices),
      lock_window_controls_(std::move(lock_window_controls)),
      hook_(std::make_unique<CDeviceHook>(nullptr)) {}

RecordingController::~RecordingController() = default;

void RecordingController::set_input_capture(
    std::unique_ptr<platform::input::InputCapture> capture) {
    stop_recording();
    hook_ = std::make_unique<CDeviceHook>(std::move(capture));
    const QString note = hook_->desktop_wide() ? QString() : capture_note();
    for (model::CZentovaMouseDevice* page : devices_.mouse_pages())
        page->set_capture_note(note);
}

QString RecordingController::capture_note() const {
    // The usual reason has its text in every language; another one is shown as it came.
    const std::string reason = hook_->window_only_reason();
    if (reason == platform::input::WindowOnlyReason)
        return QString::fromLatin1(kWindowOnlyTextId);
    return QString::fromStdString(reason);
}

void RecordingController::bind(model::CZentovaMouseDevice& page) {
    if (!hook_->desktop_wide())
        page.set_capture_note(capture_note());
    model::CZentovaMouseDevice* p = &page;
    connect(p, &model::CZentovaMouseDevice::recording_started, this,
            [this, p](int mode) { start_recording(p, mode); });
    connect(p, &model::CZentovaMouseDevice::recording_stopped, this, [this] { end_recording(); });
}

void RecordingController::start_recording(model::CZentovaMouseDevice* page, int hook_mode) {
    recording_page_ = page;
    set_controls_enabled(false);
    // When the capture cannot start the editor still shows the recording state; Stop returns
    // it to idle.
    if (hook_->install(hook_mode, &window_, true, true) == 0)
        platform::debug_printf("recording: the capture did not start: %s\n",
                               hook_->last_error().c_str());
}

void RecordingController::end_recording() {
    hook_->uninstall();
    recording_page_ = nullptr;
    set_controls_enabled(true);
}

model::CZentovaMouseDevice* RecordingController::recording_mouse() const {
    return qobject_cast<model::CZentovaMouseDevice*>(recording_page_.data());
}

void RecordingController::stop_recording() {
    model::CZentovaMouseDevice* page = recording_mouse();
    if (page == nullptr)
        return;
    // The editor saves what it has and reports the end (end_recording).
    if (macro::CMacroControlUI* macros = page->macro_editor())
        macros->stop_recording();
    if (recording_page_ != nullptr)
        end_recording();
}

void RecordingController::release() {
    stop_recording();
    hook_->uninstall();
}

void RecordingController::showing_page(const QObject* page) {
    // Another device shown ends the recording of the one before.
    if (recording_mouse() != nullptr && recording_mouse() != page)
        stop_recording();
}

platform::ui::LResult RecordingController::key_capture(bool on) {
    if (recording())
        return 0;
    if (on)
        return hook_->install(kHookSingleKey, &window_, true, true);
    if (hook_->mode() == kHookSingleKey)
        return hook_->uninstall();
    return 0;
}

void RecordingController::set_controls_enabled(bool on) {
    if (lock_window_controls_)
        lock_window_controls_(on);
    if (recording_page_ != nullptr || on) {
        for (model::CZentovaMouseDevice* page : devices_.mouse_pages()) {
            if (auto* profiles = page->findChild<profile::CDeviceProfileUI*>())
                profiles->setEnabled(on);
        }
    }
}

void RecordingController::on_hook_message(int mode, bool mouse, platform::ui::LParam lparam) {
    const auto event = hook_->take(lparam);
    if (!event || !hook_->installed() || hook_->mode() != mode)
        return;
    if (mouse)
        platform::debug_output("WM_HOOK_KEY_MSMACRO");
    // The editors of the shown device; with none shown the event is dropped.
    auto* page = qobject_cast<model::CZentovaMouseDevice*>(devices_.selected_page());
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
