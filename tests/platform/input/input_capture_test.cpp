#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>

#include "macro/key_tables.h"
#include "platform/input/input_capture.h"
#include "support/waiting.h"

// Last: Xlib's macros (None, Bool) clash with names in the headers above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace velqa::platform::input {
namespace {

using test::GenerousDeadline;
using test::Mailbox;

// The fallback needs no X server.
TEST(InputCaptureFallback, NoReachableXServerGivesTheWindowOnlyCapture) {
    for (const SessionDisplays& displays :
         {SessionDisplays{"", "wayland-0"}, SessionDisplays{"", ""},
          SessionDisplays{":4711", ""}}) {  // a DISPLAY nobody serves
        auto capture = make_input_capture(displays);
        ASSERT_NE(capture, nullptr);
        EXPECT_FALSE(capture->available()) << displays.x11;
        EXPECT_EQ(capture->unavailable_reason(), WindowOnlyReason);
        std::string error;
        bool called = false;
        EXPECT_FALSE(capture->start([&](const CapturedEvent&) { called = true; }, true, &error));
        EXPECT_EQ(error, WindowOnlyReason);
        EXPECT_FALSE(capture->running());
        capture->stop();
        EXPECT_FALSE(called);
    }
}

TEST(InputCaptureFallback, UnsetDisplayIsReadAsNoXServer) {
    const char* saved = std::getenv("DISPLAY");
    const std::string keep = saved ? saved : "";
    unsetenv("DISPLAY");
    const SessionDisplays displays = session_displays_from_environment();
    if (saved)
        setenv("DISPLAY", keep.c_str(), 1);
    EXPECT_TRUE(displays.x11.empty());
    EXPECT_FALSE(make_input_capture(displays)->available());
}

// A client of its own with a focused window: what another program would receive.
class ProbeWindow {
  public:
    ProbeWindow() : display_(XOpenDisplay(nullptr)) {
        if (display_ == nullptr)
            return;
        window_ =
            XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 200, 200, 0, 0, 0);
        XSelectInput(display_, window_, KeyPressMask | StructureNotifyMask);
        XMapWindow(display_, window_);
        XEvent e;
        do
            XWindowEvent(display_, window_, StructureNotifyMask, &e);
        while (e.type != MapNotify);
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
    }
    ~ProbeWindow() {
        if (display_)
            XCloseDisplay(display_);
    }
    ProbeWindow(const ProbeWindow&) = delete;
    ProbeWindow& operator=(const ProbeWindow&) = delete;

    Display* display() const { return display_; }

    // The key presses the server has delivered so far (a round trip makes "so far" exact).
    int take_key_presses() {
        XSync(display_, False);
        int n = 0;
        XEvent e;
        while (XCheckTypedWindowEvent(display_, window_, KeyPress, &e))
            ++n;
        return n;
    }
    bool wait_key_press() {
        const auto until = std::chrono::steady_clock::now() + GenerousDeadline;
        XEvent e;
        while (!XCheckTypedWindowEvent(display_, window_, KeyPress, &e)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(left.count()));
            XPending(display_);  // reads what arrived into the queue
        }
        return true;
    }
    bool caps_locked() {
        XkbStateRec state{};
        XkbGetState(display_, XkbUseCoreKbd, &state);
        return (state.locked_mods & LockMask) != 0;
    }
    // Takes the keyboard as another program (a menu, a screen locker) would.
    bool grab_keyboard() {
        const bool ok = XGrabKeyboard(display_, window_, False, GrabModeAsync, GrabModeAsync,
                                      CurrentTime) == GrabSuccess;
        XSync(display_, False);
        return ok;
    }

  private:
    Display* display_;
    Window window_ = 0;
};

// Cases that need the private Xvfb server the CTest entry starts.
class X11Capture : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* xvfb = std::getenv("VELQA_TEST_XVFB");
        const char* xdotool = std::getenv("VELQA_TEST_XDOTOOL");
        if (!xvfb || std::string(xvfb) != "1" || !xdotool)
            GTEST_SKIP() << "needs xvfb-run and xdotool";
        xdotool_ = xdotool;
        capture_ = make_input_capture(session_displays_from_environment());
        ASSERT_TRUE(capture_->available()) << capture_->unavailable_reason();
        ASSERT_NE(probe_.display(), nullptr);
    }

    void xdotool(const std::string& args) {
        ASSERT_EQ(std::system((xdotool_ + " " + args).c_str()), 0) << args;
    }
    bool start(bool grab) {
        std::string error;
        const bool ok =
            capture_->start([this](const CapturedEvent& e) { events_.push(e); }, grab, &error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }
    // Waits until the capture has seen `code` going up: the server has routed it by then.
    bool wait_release(unsigned code, CaptureKind up = CaptureKind::KeyUp) {
        return events_.wait([&](const std::vector<CapturedEvent>& items) {
            for (const auto& e : items)
                if (e.kind == up && e.code == code)
                    return true;
            return false;
        });
    }

    static unsigned keycode_of(const char* row_name) {
        for (const auto& row : macro::key_table())
            if (row.name == row_name)
                return row.evdev + macro::X11KeycodeOffset;
        return 0;
    }

    std::string xdotool_;
    std::unique_ptr<InputCapture> capture_;
    ProbeWindow probe_;
    Mailbox<CapturedEvent> events_;
};

TEST_F(X11Capture, KeysAndButtonsArriveInOrderWithTheirRows) {
    ASSERT_TRUE(start(false));
    xdotool("key a keydown Shift_L keyup Shift_L click 1 click 8 click 4");
    ASSERT_TRUE(events_.wait_count(10));
    capture_->stop();
    const auto got = events_.items();
    ASSERT_EQ(got.size(), 10u);

    using K = CaptureKind;
    const auto keys = macro::key_table();
    const auto mouse = macro::mouse_event_table();
    struct Want {
        K kind;
        std::string_view name;  // key row name or mouse row label; empty: no row
    };
    const Want want[] = {{K::KeyDown, "A"},
                         {K::KeyUp, "A"},
                         {K::KeyDown, "LShift"},
                         {K::KeyUp, "LShift"},
                         {K::ButtonDown, "mouse_key_left"},
                         {K::ButtonUp, "mouse_key_left"},
                         {K::ButtonDown, "mouse_key_back"},
                         {K::ButtonUp, "mouse_key_back"},
                         {K::ButtonDown, ""},  // the wheel has no button row
                         {K::ButtonUp, ""}};
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].kind, want[i].kind);
        // Capture reports X codes; the rows are the recorder's mapping of them.
        const auto row = got[i].is_key()
                             ? macro::row_for_x_keycode(got[i].code)
                             : macro::mouse_row_for_x_button(got[i].code, got[i].is_down());
        if (want[i].name.empty()) {
            EXPECT_FALSE(row.has_value());
            continue;
        }
        ASSERT_TRUE(row.has_value());
        if (got[i].is_key()) {
            EXPECT_EQ(keys[*row].name, want[i].name);
        } else {
            EXPECT_EQ(mouse[*row].label, want[i].name);
            EXPECT_EQ((mouse[*row].type_byte & 0x80) != 0, got[i].is_down());
        }
        if (i > 0) {
            EXPECT_GE(got[i].time_ms, got[i - 1].time_ms);
        }
    }
}

TEST_F(X11Capture, GrabKeepsKeysFromOtherProgramsButLockKeysStillToggle) {
    // Without the grab the probe is reached: the setup itself works.
    ASSERT_TRUE(start(false));
    xdotool("key b");
    ASSERT_TRUE(wait_release(keycode_of("B")));
    EXPECT_EQ(probe_.take_key_presses(), 1);
    capture_->stop();

    ASSERT_TRUE(start(true));
    const bool caps_before = probe_.caps_locked();
    xdotool("key b key Caps_Lock");
    ASSERT_TRUE(wait_release(keycode_of("Caplk")));
    EXPECT_EQ(probe_.take_key_presses(), 0);
    EXPECT_NE(probe_.caps_locked(), caps_before);
    xdotool("key Caps_Lock");
    ASSERT_TRUE(events_.wait([&](const std::vector<CapturedEvent>& items) {
        return items.size() >= 8;  // b, Caps, Caps after the first b
    }));
    EXPECT_EQ(probe_.caps_locked(), caps_before);
    capture_->stop();

    // Stop releases the grab at once.
    xdotool("key b");
    EXPECT_TRUE(probe_.wait_key_press());
}

TEST_F(X11Capture, StopEndsTheWorkerPromptlyAndCaptureCanStartAgain) {
    ASSERT_TRUE(start(true));
    ASSERT_TRUE(capture_->running());
    auto stopped = std::async(std::launch::async, [this] { capture_->stop(); });
    ASSERT_EQ(stopped.wait_for(GenerousDeadline), std::future_status::ready);
    EXPECT_FALSE(capture_->running());
    capture_->stop();  // twice is harmless

    ASSERT_TRUE(start(true));
    xdotool("key a");
    EXPECT_TRUE(wait_release(keycode_of("A")));
    capture_.reset();  // destruction stops and releases the grab
    xdotool("key b");
    EXPECT_TRUE(probe_.wait_key_press());
}

TEST_F(X11Capture, AKilledProgramLeavesNoKeyboardGrabBehind) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto capture = make_input_capture(session_displays_from_environment());
        const char ok = capture->start([](const CapturedEvent&) {}, true, nullptr) ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        raise(SIGKILL);  // no destructor, no stop: as in a crash
    }
    close(ready[1]);
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    close(ready[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(ok, '1');
    xdotool("key b");
    EXPECT_TRUE(probe_.wait_key_press());
}

TEST_F(X11Capture, KeyboardHeldByAnotherProgramFailsTheStartCleanly) {
    ASSERT_TRUE(probe_.grab_keyboard());
    std::string error;
    EXPECT_FALSE(capture_->start([](const CapturedEvent&) {}, true, &error));
    EXPECT_EQ(error, "the keyboard is held by another program");
    EXPECT_FALSE(capture_->running());
    // Capture without the grab still works beside it.
    EXPECT_TRUE(start(false));
}

}  // namespace
}  // namespace velqa::platform::input
