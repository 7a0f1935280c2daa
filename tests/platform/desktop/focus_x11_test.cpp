// The X11 focus watcher against a private Xvfb server: what it names each active window, and,
// with a real window manager, that activating windows moves the reported application.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/desktop/focus_watcher.h"
#include "support/waiting.h"

// Last: Xlib's macros (None, Bool) would break names in the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace velqa::platform::desktop {
namespace {

using test::Mailbox;

// The test's own client of the display: makes windows and stands in for a pager.
class Client {
  public:
    explicit Client(const char* display) : display_(XOpenDisplay(display)) {}
    ~Client() {
        if (display_ != nullptr)
            XCloseDisplay(display_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

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

const char* x_display() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0' ? display : nullptr;
}

bool last_is(Mailbox<FocusedApp>& seen, const std::string& app) {
    return seen.wait([&](const std::vector<FocusedApp>& items) {
        return !items.empty() && items.back().app_id == app;
    });
}

TEST(X11Focus, NamesTheActiveWindowByClassElseItsExecutableAndSurvivesVanishedWindows) {
    EXPECT_NE(make_x11_focus_watcher(":65000")->unavailable_reason(), "");
    EXPECT_NE(make_x11_focus_watcher(":65000")->start([](const FocusedApp&) {}), "");
    const char* display = x_display();
    if (display == nullptr)
        GTEST_SKIP() << "no X display (CTest runs this under xvfb-run)";
    Client client(display);
    ASSERT_NE(client.display(), nullptr);
    // No window manager here: the test itself sets the root's active window.
    const Window game = client.window("game", "GameOne");
    const Window unnamed = client.window("", nullptr);
    client.set_cardinal(unnamed, "_NET_WM_PID", XA_CARDINAL, static_cast<unsigned long>(getpid()));
    const Window remote = client.window("", nullptr);
    client.set_cardinal(remote, "_NET_WM_PID", XA_CARDINAL, static_cast<unsigned long>(getpid()));
    client.set_text(remote, XA_WM_CLIENT_MACHINE, "another-machine.invalid");
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, game);

    auto watcher = make_x11_focus_watcher(display);
    ASSERT_EQ(watcher->unavailable_reason(), "");
    Mailbox<FocusedApp> seen;
    ASSERT_EQ(watcher->start([&](const FocusedApp& app) { seen.push(app); }), "");
    EXPECT_TRUE(last_is(seen, "GameOne")) << "the focus at start";

    const std::string self = std::filesystem::read_symlink("/proc/self/exe").filename().string();
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, unnamed);
    EXPECT_TRUE(last_is(seen, self)) << "no WM_CLASS: the executable of _NET_WM_PID";
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, game);
    EXPECT_TRUE(last_is(seen, "GameOne"));
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, remote);
    EXPECT_TRUE(last_is(seen, "")) << "a process id of another machine names nothing here";

    // A window that is gone by the time the watcher reads it.
    const Window gone = client.window("gone", "Gone");
    XDestroyWindow(client.display(), gone);
    XSync(client.display(), False);
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, game);
    EXPECT_TRUE(last_is(seen, "GameOne"));
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, gone);
    EXPECT_TRUE(last_is(seen, ""));
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, game);
    EXPECT_TRUE(last_is(seen, "GameOne")) << "still watching after the vanished window";

    watcher->stop();
    const std::size_t reported = seen.items().size();
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, unnamed);
    XSync(client.display(), False);
    EXPECT_EQ(seen.items().size(), reported) << "nothing is reported once stop() returned";
}

// The window manager the test setup installs; any EWMH one would do.
constexpr char kWindowManager[] = "matchbox-window-manager";

bool on_path(const char* program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "";
    for (std::size_t begin = 0; begin <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', begin), dirs.size());
        if (access((dirs.substr(begin, end - begin) + "/" + program).c_str(), X_OK) == 0)
            return true;
        begin = end + 1;
    }
    return false;
}

TEST(X11Focus, FollowsTheWindowManagerBetweenTwoApplications) {
    const char* display = x_display();
    if (display == nullptr)
        GTEST_SKIP() << "no X display (CTest runs this under xvfb-run)";
    if (!on_path(kWindowManager))
        GTEST_SKIP() << kWindowManager << " is not installed (scripts/setup installs it)";
    Client client(display);
    ASSERT_NE(client.display(), nullptr);
    const pid_t wm = fork();
    ASSERT_GE(wm, 0);
    if (wm == 0) {
        execlp(kWindowManager, kWindowManager, "-display", display, "-use_titlebar", "no",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    struct Reap {
        pid_t pid;
        ~Reap() {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    } reap{wm};
    ASSERT_TRUE(test::eventually([&] {
        return client.has_property(client.root(), "_NET_SUPPORTING_WM_CHECK");
    })) << "the window manager did not start";

    auto watcher = make_x11_focus_watcher(display);
    Mailbox<FocusedApp> seen;
    ASSERT_EQ(watcher->start([&](const FocusedApp& app) { seen.push(app); }), "");
    const Window shooter = client.window("cs2", "cs2");
    const Window browser = client.window("navigator", "firefox");
    XMapWindow(client.display(), shooter);
    XMapWindow(client.display(), browser);
    XSync(client.display(), False);

    client.activate(shooter);
    EXPECT_TRUE(last_is(seen, "cs2"));
    client.activate(browser);
    EXPECT_TRUE(last_is(seen, "firefox"));
    client.activate(shooter);
    EXPECT_TRUE(last_is(seen, "cs2"));
    watcher->stop();
}

}  // namespace
}  // namespace velqa::platform::desktop
