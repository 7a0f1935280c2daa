#include "app/device_hook.h"

#include <QCoreApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>

#include "macro/key_tables.h"
#include "platform/debug_output.h"

namespace velqa::app {

namespace pin = platform::input;

namespace {

// X button numbers of Qt's buttons, as an X server reports them.
unsigned x_button_of(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return 1;
        case Qt::MiddleButton:
            return 2;
        case Qt::RightButton:
            return 3;
        case Qt::BackButton:
            return 8;
        case Qt::ForwardButton:
            return 9;
        default:
            return 0;
    }
}

bool is_lock_key(int key) {
    return key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock;
}

}  // namespace

const HookMessages& hook_messages() {
    using platform::ui::register_window_message;
    static const HookMessages ids{
        register_window_message("WM_HOOK_KEY_SINGLEKEY_MSG"),
        register_window_message("WM_HOOK_KEY_HITKEY_MSG"),
        register_window_message("WM_HOOK_KEY_KBMACRO_MSG"),
        register_window_message("WM_HOOK_KEY_KBMACROPREVIOUS_MSG"),
        register_window_message("WM_HOOK_KEY_KBMACROLATER_MSG"),
        register_window_message("WM_HOOK_KEY_KBMACROSINGLE_MSG"),
        register_window_message("WM_HOOK_KEY_MSMACRO_MSG"),
        register_window_message("WM_HOOK_KEY_MSMACROPREVIOUS_MSG"),
        register_window_message("WM_HOOK_KEY_MSMACROLATER_MSG"),
        register_window_message("WM_HOOK_KEY_MSMACROSINGLE_MSG"),
    };
    return ids;
}

unsigned keyboard_hook_message(int mode) {
    const HookMessages& m = hook_messages();
    switch (mode) {
        case kHookSingleKey:
            return m.single_key;
        case kHookHitKey:
            return m.hit_key;
        case kHookRecord:
            return m.kb_macro;
        case kHookBefore:
            return m.kb_previous;
        case kHookAfter:
            return m.kb_later;
        case kHookReplace:
            return m.kb_single;
        default:
            return 0;
    }
}

unsigned mouse_hook_message(int mode) {
    const HookMessages& m = hook_messages();
    switch (mode) {
        case kHookRecord:
            return m.ms_macro;
        case kHookBefore:
            return m.ms_previous;
        case kHookAfter:
            return m.ms_later;
        case kHookReplace:
            return m.ms_single;
        default:
            return 0;
    }
}

std::optional<std::pair<int, bool>> hook_message_mode(unsigned message) {
    if (message == 0)
        return std::nullopt;
    for (const int mode :
         {kHookSingleKey, kHookHitKey, kHookRecord, kHookBefore, kHookAfter, kHookReplace}) {
        if (keyboard_hook_message(mode) == message)
            return std::pair{mode, false};
        if (mouse_hook_message(mode) == message)
            return std::pair{mode, true};
    }
    return std::nullopt;
}

CDeviceHook::CDeviceHook(std::unique_ptr<pin::InputCapture> capture, QObject* parent)
    : QObject(parent), capture_(std::move(capture)) {
    if (!capture_)
        capture_ = pin::make_window_only_capture(std::string(pin::WindowOnlyReason));
}

CDeviceHook::~CDeviceHook() {
    uninstall();
}

int CDeviceHook::install(int mode, platform::ui::Window* window, bool own_keyboard_hook,
                         bool component) {
    uninstall();
    last_error_.clear();
    if (window == nullptr) {
        last_error_ = "no window receives the events";
        return 0;
    }
    if (capture_->available()) {
        // The sink runs on the capture thread: it only queues and posts. stop() returns only
        // once the sink cannot run any more, so `window` outlives every call.
        auto sink = [this, window, mode, own_keyboard_hook,
                     component](const pin::CapturedEvent& e) {
            post(e, window, mode, own_keyboard_hook, component);
        };
        if (!capture_->start(sink, own_keyboard_hook, &last_error_)) {
            platform::debug_printf("capture: %s\n", last_error_.c_str());
            return 0;
        }
    } else {
        window_only_ = true;
        QCoreApplication::instance()->installEventFilter(this);
    }
    window_ = window;
    mode_ = mode;
    keys_ = own_keyboard_hook;
    buttons_ = component;
    installed_ = true;
    return 1;
}

int CDeviceHook::uninstall() {
    if (!installed_)
        return 0;
    if (window_only_) {
        QCoreApplication::instance()->removeEventFilter(this);
        window_only_ = false;
    } else {
        capture_->stop();
    }
    installed_ = false;
    std::lock_guard lock(mutex_);
    queue_.clear();
    return 1;
}

void CDeviceHook::post(const pin::CapturedEvent& event, platform::ui::Window* window, int mode,
                       bool keys, bool buttons) {
    unsigned message = 0;
    platform::ui::WParam wparam = 0;
    if (event.is_key()) {
        if (!keys)
            return;
        message = keyboard_hook_message(mode);
        wparam = event.is_down() ? kKeyDownMessage : kKeyUpMessage;
    } else {
        const auto row = macro::mouse_row_for_x_button(event.code, event.is_down());
        if (!buttons || !row)
            return;
        message = mouse_hook_message(mode);
        wparam = macro::mouse_event_table()[*row].message;
    }
    if (message == 0)
        return;
    platform::ui::LParam id = 0;
    {
        std::lock_guard lock(mutex_);
        id = next_++;
        queue_.emplace_back(id, event);
    }
    window->post_message(message, wparam, id);
}

std::optional<pin::CapturedEvent> CDeviceHook::take(platform::ui::LParam lparam) {
    std::lock_guard lock(mutex_);
    while (!queue_.empty() && queue_.front().first < lparam)
        queue_.pop_front();
    if (queue_.empty() || queue_.front().first != lparam)
        return std::nullopt;
    pin::CapturedEvent event = queue_.front().second;
    queue_.pop_front();
    return event;
}

// Without a desktop capture: the events that reach the program's windows. Each event passes
// its top-level window first; keys stop there (lock keys excepted), as a grab would keep them.
bool CDeviceHook::eventFilter(QObject* watched, QEvent* event) {
    if (!installed_ || !window_only_ || !watched->isWindowType() || window_ == nullptr)
        return false;
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (is_lock_key(key->key()))
                return false;
            if (!key->isAutoRepeat()) {
                pin::CapturedEvent e;
                e.kind = event->type() == QEvent::KeyPress ? pin::CaptureKind::KeyDown
                                                           : pin::CaptureKind::KeyUp;
                e.code = key->nativeScanCode();
                e.time_ms = static_cast<std::uint32_t>(key->timestamp());
                const QPoint at = QCursor::pos();
                e.root_x = at.x();
                e.root_y = at.y();
                post(e, window_, mode_, keys_, buttons_);
            }
            return keys_;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            pin::CapturedEvent e;
            const bool down = event->type() != QEvent::MouseButtonRelease;
            e.kind = down ? pin::CaptureKind::ButtonDown : pin::CaptureKind::ButtonUp;
            e.code = x_button_of(mouse->button());
            e.time_ms = static_cast<std::uint32_t>(mouse->timestamp());
            const QPoint at = mouse->globalPosition().toPoint();
            e.root_x = at.x();
            e.root_y = at.y();
            post(e, window_, mode_, keys_, buttons_);
            return false;  // the click still works: Stop must stay clickable
        }
        default:
            return false;
    }
}

}  // namespace velqa::app
