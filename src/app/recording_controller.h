// Recording and key capture for the editors of the shown mouse page: starts and ends the capture,
// keeps device selection, the other tabs and the profile choice locked while a recording runs,
// and hands every captured event to the editor it is for.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "platform/ui/window.h"

namespace velqa::platform::input {
class InputCapture;
}
namespace velqa::model {
class CZentovaMouseDevice;
}

namespace velqa::app {

class CDeviceHook;
class DeviceManager;

class RecordingController : public QObject {
  public:
    // Captured events are posted to `window`; `devices` says which page is shown.
    // `lock_window_controls(false)` disables the window's own controls that must not change
    // while a recording runs, `(true)` enables them again.
    RecordingController(platform::ui::Window& window, DeviceManager& devices,
                        std::function<void(bool)> lock_window_controls);
    ~RecordingController() override;
    RecordingController(const RecordingController&) = delete;
    RecordingController& operator=(const RecordingController&) = delete;

    // The desktop capture behind recording (chosen in main); the window-only fallback until
    // set. A running capture ends first.
    void set_input_capture(std::unique_ptr<platform::input::InputCapture> capture);
    CDeviceHook& device_hook() { return *hook_; }
    bool recording() const { return recording_page_ != nullptr; }
    // The editors of a new mouse page start and stop recordings through this controller.
    void bind(model::CZentovaMouseDevice& page);
    // Ends a running recording of any page (device switch, unplug, close): what was recorded
    // is saved and the keyboard is released.
    void stop_recording();
    // Ends a recording and any key capture: the keyboard goes back to the desktop.
    void release();
    // The tile of `page` is about to be shown: a recording of another page ends.
    void showing_page(const QObject* page);
    // The key field's focus: 1 installs the single-key capture, 0 removes it. A recording owns
    // the capture and keeps it. The install's result (0: it could not start).
    platform::ui::LResult key_capture(bool on);
    // A hook message: the captured event goes to the shown page's editor for `mode`.
    void on_hook_message(int mode, bool mouse, platform::ui::LParam lparam);

    // The text id of the macro tab's note when only the program's own windows are recorded.
    static constexpr const char* kWindowOnlyTextId = "macro_capture_window_only_text";

  private:
    // The line the macro tab shows while recording is limited to our windows.
    QString capture_note() const;
    void start_recording(model::CZentovaMouseDevice* page, int hook_mode);
    void end_recording();
    void set_controls_enabled(bool on);
    model::CZentovaMouseDevice* recording_mouse() const;

    platform::ui::Window& window_;
    DeviceManager& devices_;
    std::function<void(bool)> lock_window_controls_;
    std::unique_ptr<CDeviceHook> hook_;
    QPointer<QObject> recording_page_;  // the mouse page whose editor records
};

}  // namespace velqa::app
