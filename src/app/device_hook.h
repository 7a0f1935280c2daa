// The capture behind macro recording and key capture: one object owned by the main window. It
// starts and stops the desktop capture and hands every captured event to the window as one of
// the hook messages, posted to the window thread, so that the editors see them in order and on
// their own thread. Where the desktop cannot be captured (Wayland without XWayland), the window
// feeds the key and button events that reach the program instead.
#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/input/input_capture.h"
#include "platform/ui/window.h"

namespace velqa::app {

// Hook modes: what the captured events are for.
inline constexpr int kHookSingleKey = 1;  // the key edit of the key-assignment editor
inline constexpr int kHookHitKey = 2;
inline constexpr int kHookRecord = 4;  // recording: append
inline constexpr int kHookBefore = 8;  // insert before the selected row
inline constexpr int kHookAfter = 16;  // insert after it
inline constexpr int kHookReplace = 32;

// wParam of a keyboard hook message.
inline constexpr unsigned kKeyDownMessage = 0x100;
inline constexpr unsigned kKeyUpMessage = 0x101;

// The registered numbers of the hook messages (registered on first use).
struct HookMessages {
    unsigned single_key = 0;  // "WM_HOOK_KEY_SINGLEKEY_MSG"
    unsigned hit_key = 0;
    unsigned kb_macro = 0;
    unsigned kb_previous = 0;
    unsigned kb_later = 0;
    unsigned kb_single = 0;
    unsigned ms_macro = 0;  // "WM_HOOK_KEY_MSMACRO_MSG"
    unsigned ms_previous = 0;
    unsigned ms_later = 0;
    unsigned ms_single = 0;
};
const HookMessages& hook_messages();
// The message a key (or button) event of `mode` arrives as; 0 when the mode has none.
unsigned keyboard_hook_message(int mode);
unsigned mouse_hook_message(int mode);
// The mode a hook message belongs to, and whether it carries a mouse event; nothing for other
// messages.
std::optional<std::pair<int, bool>> hook_message_mode(unsigned message);

class CDeviceHook : public QObject {
    Q_OBJECT

  public:
    explicit CDeviceHook(std::unique_ptr<platform::input::InputCapture> capture,
                         QObject* parent = nullptr);
    // Ends any capture: the keyboard grab never outlives the hook.
    ~CDeviceHook() override;
    CDeviceHook(const CDeviceHook&) = delete;
    CDeviceHook& operator=(const CDeviceHook&) = delete;

    // Removes the previous capture, then starts one for `mode` reporting to `window`: keys with
    // `own_keyboard_hook` (the keyboard is grabbed then), buttons with `component`. 0 when the
    // capture cannot start; the previous one stays removed and window and mode keep their old
    // values. Without a desktop capture the events of the program's own windows are used.
    int install(int mode, platform::ui::Window* window, bool own_keyboard_hook, bool component);
    // Ends the capture. 1 when one was running, else 0.
    int uninstall();

    bool installed() const { return installed_; }
    int mode() const { return mode_; }
    // False when only the program's own windows are captured; the line to show then.
    bool desktop_wide() const { return capture_->available(); }
    std::string window_only_reason() const { return capture_->unavailable_reason(); }
    // Why the last install failed.
    const std::string& last_error() const { return last_error_; }

    // The event of the hook message whose lParam is `lparam`; nothing for a message of a
    // capture that has ended since it was posted.
    std::optional<platform::input::CapturedEvent> take(platform::ui::LParam lparam);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void post(const platform::input::CapturedEvent& event, platform::ui::Window* window, int mode,
              bool keys, bool buttons);

    std::unique_ptr<platform::input::InputCapture> capture_;
    QPointer<platform::ui::Window> window_;
    int mode_ = 0;
    bool installed_ = false;
    bool window_only_ = false;  // the application event filter feeds the events
    bool keys_ = false;
    bool buttons_ = false;
    std::string last_error_;

    std::mutex mutex_;  // the queue is filled on the capture thread
    std::deque<std::pair<platform::ui::LParam, platform::input::CapturedEvent>> queue_;
    platform::ui::LParam next_ = 1;
};

}  // namespace velqa::app
