// Any EWMH window manager on X11: the window manager keeps _NET_ACTIVE_WINDOW on the root
// window; its changes arrive as PropertyNotify events, and so do those of the active window's
// WM_CLASS, which some programs set only after their window is shown and activated. xcb rather than
// Xlib: a window that vanishes between the event and our reads is an error reply on this connection
// alone, where Xlib would call one process-wide error handler.
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform/debug_output.h"
#include "platform/desktop/focus_common.h"
#include "platform/desktop/focus_watcher.h"
#include "platform/worker_thread.h"

namespace velqa::platform::desktop {
namespace {

// WM_CLASS and WM_CLIENT_MACHINE are short; longer values are cut, not refused.
constexpr std::uint32_t kTextWords = 256;

// One reply, freed with free() as xcb asks.
template <typename Reply>
struct ReplyPtr {
    Reply* reply = nullptr;
    explicit ReplyPtr(Reply* r) : reply(r) {}
    ~ReplyPtr() { std::free(reply); }
    ReplyPtr(const ReplyPtr&) = delete;
    ReplyPtr& operator=(const ReplyPtr&) = delete;
    Reply* operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};

std::string host_name() {
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0)
        return {};
    return name.data();
}

// Host names compared without their domains: a client may give its full name.
bool same_host(std::string_view a, std::string_view b) {
    return a.substr(0, a.find('.')) == b.substr(0, b.find('.'));
}

class X11FocusWatcher final : public FocusWatcher {
  public:
    explicit X11FocusWatcher(const std::string& display) {
        if (display.empty()) {
            reason_ = "No X display is set, so the focused application cannot be followed.";
            return;
        }
        int screen_number = 0;
        connection_ = xcb_connect(display.c_str(), &screen_number);
        if (xcb_connection_has_error(connection_) != 0) {
            reason_ = "The X display \"" + display +
                      "\" cannot be opened, so the focused application cannot be followed.";
            xcb_disconnect(connection_);
            connection_ = nullptr;
            return;
        }
        auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
        for (int i = 0; i < screen_number && screens.rem > 0; ++i)
            xcb_screen_next(&screens);
        root_ = screens.rem > 0 ? screens.data->root : 0;
        active_atom_ = intern("_NET_ACTIVE_WINDOW");
        pid_atom_ = intern("_NET_WM_PID");
        if (root_ == 0 || active_atom_ == 0) {
            reason_ = "The X display \"" + display + "\" does not answer as expected.";
            xcb_disconnect(connection_);
            connection_ = nullptr;
        }
    }

    ~X11FocusWatcher() override {
        stop();
        if (connection_ != nullptr)
            xcb_disconnect(connection_);
    }
    X11FocusWatcher(const X11FocusWatcher&) = delete;
    X11FocusWatcher& operator=(const X11FocusWatcher&) = delete;

    std::string unavailable_reason() const override { return reason_; }

    std::string start(Callback on_focus, StatusCallback on_status) override {
        if (connection_ == nullptr)
            return reason_;
        if (!stop_fd_.valid())
            return "The focus watcher cannot make its stop descriptor.";
        if (worker_.running())
            return "The focus watcher is running already.";
        stop_fd_.clear();
        on_focus_ = std::move(on_focus);
        on_status_ = std::move(on_status);
        if (!worker_.start([this](StopEvent& stop) { run(stop); }))
            return "The focus watcher's thread cannot be started.";
        return {};
    }

    void stop() override {
        worker_.stop(DefaultStopWait, [this] { stop_fd_.signal(); });
    }

  private:
    xcb_atom_t intern(const char* name) {
        const auto cookie =
            xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
        ReplyPtr reply(xcb_intern_atom_reply(connection_, cookie, nullptr));
        return reply ? reply->atom : 0;
    }

    // The property's bytes, or nothing when the window is gone or has no such property.
    std::optional<std::string> property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                                        std::uint32_t words) {
        const auto cookie = xcb_get_property(connection_, 0, window, name, type, 0, words);
        xcb_generic_error_t* error = nullptr;
        ReplyPtr reply(xcb_get_property_reply(connection_, cookie, &error));
        std::free(error);
        if (!reply || reply->type == XCB_ATOM_NONE)
            return std::nullopt;
        const int length = xcb_get_property_value_length(reply.reply);
        const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.reply));
        return std::string(bytes, static_cast<std::size_t>(std::max(length, 0)));
    }

    std::optional<std::uint32_t> cardinal(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
        const auto bytes = property(window, name, type, 1);
        if (!bytes || bytes->size() < sizeof(std::uint32_t))
            return std::nullopt;
        std::uint32_t value = 0;
        std::memcpy(&value, bytes->data(), sizeof value);
        return value;
    }

    // Property changes of the active window are ours to see (each client has its own event mask
    // on a window); the one watched before is let go.
    void watch_window(xcb_window_t window) {
        if (window == watched_)
            return;
        const std::uint32_t none = 0;
        const std::uint32_t changes = XCB_EVENT_MASK_PROPERTY_CHANGE;
        // A window that is gone answers with an error event, which the loop drops.
        if (watched_ != 0 && watched_ != root_)
            xcb_change_window_attributes(connection_, watched_, XCB_CW_EVENT_MASK, &none);
        if (window != 0 && window != root_)
            xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &changes);
        watched_ = window;
    }

    std::string focused_app() {
        const auto window = cardinal(root_, active_atom_, XCB_ATOM_WINDOW);
        // Watched before its names are read: a WM_CLASS set after the read is an event.
        watch_window(window ? *window : 0);
        if (!window || *window == 0)
            return {};
        // WM_CLASS is "instance\0class\0"; bindings name the class.
        if (const auto names = property(*window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, kTextWords)) {
            const auto end = names->find('\0');
            if (end != std::string::npos) {
                std::string app = clean_app_id(names->substr(end + 1));
                if (!app.empty())
                    return app;
            }
        }
        // The process id names a process on the window's own machine only.
        const auto machine =
            property(*window, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, kTextWords);
        if (machine && !machine->empty() && !same_host(machine->c_str(), host_name()))
            return {};
        const auto pid =
            pid_atom_ != 0 ? cardinal(*window, pid_atom_, XCB_ATOM_CARDINAL) : std::nullopt;
        return pid ? executable_name(static_cast<long>(*pid)) : std::string();
    }

    void report(std::optional<std::string>& last) {
        std::string app = focused_app();
        if (last == app)
            return;
        last = app;
        on_focus_(FocusedApp{std::move(app)});
    }

    void run(StopEvent& stop) {
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        const auto cookie =
            xcb_change_window_attributes_checked(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
            debug_printf("focus (X11): cannot watch the root window (error %d)",
                         static_cast<int>(error->error_code));
            std::free(error);
            return;
        }
        std::optional<std::string> last;
        report(last);
        const int fd = xcb_get_file_descriptor(connection_);
        while (!stop.is_set()) {
            bool changed = false;
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
                    const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                    changed |= notify->window == root_ && notify->atom == active_atom_;
                    changed |= notify->window == watched_ && watched_ != 0 &&
                               (notify->atom == XCB_ATOM_WM_CLASS || notify->atom == pid_atom_);
                }
                std::free(event);
            }
            if (changed) {
                // Our reads may have queued further events: look again before waiting.
                report(last);
                continue;
            }
            if (xcb_connection_has_error(connection_) != 0) {
                debug_printf("focus (X11): the connection to the X server is lost");
                if (on_status_)
                    on_status_(
                        "The connection to the X display is lost, so profiles no longer follow "
                        "the focused application.");
                return;
            }
            xcb_flush(connection_);
            if (!stop_fd_.wait_for(fd, POLLIN))
                return;
        }
    }

    std::string reason_;
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t active_atom_ = 0;
    xcb_atom_t pid_atom_ = 0;
    xcb_window_t watched_ = 0;  // the active window whose properties we see change
    Callback on_focus_;
    StatusCallback on_status_;
    StopDescriptor stop_fd_;
    WorkerThread worker_;
};

}  // namespace

std::unique_ptr<FocusWatcher> make_x11_focus_watcher(const std::string& display) {
    return std::make_unique<X11FocusWatcher>(display);
}

}  // namespace velqa::platform::desktop
