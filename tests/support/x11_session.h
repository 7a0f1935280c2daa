// A private X session for tests: an Xvfb server of its own (on a free display, told through
// -displayfd), the small window manager the setup installs, and a client that makes windows and
// activates them as a pager does. Header-only: each test that uses it links Xlib.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/child_process.h"
#include "support/waiting.h"

// Last: Xlib's macros (None, Bool) would break names in the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace velqa::test {

inline constexpr char kWindowManager[] = "matchbox-window-manager";

// The test's own client of the display: makes windows and stands in for a pager.
class X11Client {
  public:
    explicit X11Client(const char* display) : display_(XOpenDisplay(display)) {}
    ~X11Client() {
        if (display_ != nullptr)
            XCloseDisplay(display_);
    }
    X11Client(const X11Client&) = delete;
    X11Client& operator=(const X11Client&) = delete;

    Display* display() const { return display_; }
    Window root() const { return DefaultRootWindow(display_); }
    Atom atom(const char* name) const { return XInternAtom(display_, name, False); }

    Window window(const char* instance, const char* app_class) {
        const Window w = XCreateSimpleWindow(display_, root(), 0, 0, 64, 64, 0, 0, 0);
        if (app_class != nullptr) {
            XClassHint hint{const_cast<char*>(instance), const_cast<char*>(app_class)};
            XSetClassHint(display_, w, &hint);
        }
        XSync(display_, False);
        return w;
    }
    void set_cardinal(Window w, const char* name, Atom type, unsigned long value) {
        XChangeProperty(display_, w, atom(name), type, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&value), 1);
        XSync(display_, False);
    }
    void set_text(Window w, Atom name, const std::string& text) {
        XChangeProperty(display_, w, name, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text.c_str()),
                        static_cast<int>(text.size()));
        XSync(display_, False);
    }
    // Asks the window manager to activate `w`, as a pager does.
    void activate(Window w) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = w;
        event.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
        XSync(display_, False);
    }
    bool has_property(Window w, const char* name) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(display_, w, atom(name), 0, 1, False, AnyPropertyType, &type, &format,
                           &items, &after, &data);
        XFree(data);
        return type != None;
    }

  private:
    Display* display_;
};

// Starts the window manager on `display`; true once it announces itself on the root window.
inline bool start_window_manager(const char* display, X11Client& client, Child& wm) {
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        execlp(kWindowManager, kWindowManager, "-display", display, "-use_titlebar", "no",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    wm = Child(pid);
    return eventually(
        [&] { return client.has_property(client.root(), "_NET_SUPPORTING_WM_CHECK"); });
}

// An Xvfb server of the test's own; display() is empty when Xvfb is missing or did not start.
class PrivateXServer {
  public:
    // `screen`: width x height x depth.
    explicit PrivateXServer(const char* screen = "640x480x24") {
        if (!on_path("Xvfb"))
            return;
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        const pid_t pid = fork();
        if (pid == 0) {
            // The display number comes back on fd 3.
            dup2(fds[1], 3);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-noreset", "-nolisten", "tcp", "-screen",
                   "0", screen, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid > 0) {
            server_ = Child(pid);
            std::string number;
            pollfd p{fds[0], POLLIN, 0};
            char c = 0;
            while (poll(&p, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
                number += c;
            if (!number.empty())
                display_ = ":" + number;
        }
        close(fds[0]);
    }
    const std::string& display() const { return display_; }
    pid_t pid() const { return server_.pid(); }

  private:
    Child server_;
    std::string display_;
};

}  // namespace velqa::test
