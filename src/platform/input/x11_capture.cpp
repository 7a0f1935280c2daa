// X11 capture. XRecord reports the device events of the whole desktop on a connection of its
// own, which blocks in XRecordEnableContext on the capture thread; the owner's connection
// creates, disables and frees the context and holds the keyboard grab. The server ends the grab
// when our connection closes, so a crash or kill never leaves the keyboard captured. XRecord's
// library, libXtst, is opened when capture is first set up on an X server, not linked: a
// session without X never needs it.
#include <X11/Xlib.h>
#include <X11/extensions/record.h>
// After Xlib.h: Xproto.h redefines its basic types as macros.
#include <X11/Xproto.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "platform/debug_output.h"
#include "platform/input/input_capture.h"
#include "platform/loaded_library.h"
#include "platform/worker_thread.h"

namespace velqa::platform::input {

namespace {

// XRecord's functions, named without their "XRecord".
struct Record {
    decltype(&::XRecordQueryVersion) QueryVersion = nullptr;
    decltype(&::XRecordAllocRange) AllocRange = nullptr;
    decltype(&::XRecordCreateContext) CreateContext = nullptr;
    decltype(&::XRecordEnableContext) EnableContext = nullptr;
    decltype(&::XRecordDisableContext) DisableContext = nullptr;
    decltype(&::XRecordFreeContext) FreeContext = nullptr;
    decltype(&::XRecordFreeData) FreeData = nullptr;
};

// libXtst's functions, or null (with the reason in `why`) when it cannot be loaded. Loaded
// once, by the first caller; the answer never changes afterwards.
const Record* record_library(std::string* why) {
    struct Loaded {
        Record api;
        std::string error;
        bool ok = false;
    };
    static const Loaded loaded = [] {
        Loaded l;
        LoadedLibrary lib("libXtst.so.6");
        Record& r = l.api;
        l.ok = lib.resolve("XRecordQueryVersion", r.QueryVersion) &&
               lib.resolve("XRecordAllocRange", r.AllocRange) &&
               lib.resolve("XRecordCreateContext", r.CreateContext) &&
               lib.resolve("XRecordEnableContext", r.EnableContext) &&
               lib.resolve("XRecordDisableContext", r.DisableContext) &&
               lib.resolve("XRecordFreeContext", r.FreeContext) &&
               lib.resolve("XRecordFreeData", r.FreeData);
        l.error = lib.error();
        return l;
    }();
    if (why != nullptr)
        *why = loaded.error;
    return loaded.ok ? &loaded.api : nullptr;
}

// How long start() waits for the server to confirm that recording has begun.
constexpr std::chrono::seconds EnableDeadline{5};

class X11Capture final : public InputCapture {
  public:
    X11Capture(const Record& record, Display* control, Display* data)
        : record_(record), control_(control), data_(data) {}
    ~X11Capture() override {
        stop();
        XCloseDisplay(data_);
        XCloseDisplay(control_);
    }
    X11Capture(const X11Capture&) = delete;
    X11Capture& operator=(const X11Capture&) = delete;

    const char* name() const override { return "x11"; }
    bool available() const override { return true; }
    std::string unavailable_reason() const override { return {}; }

    bool start(CaptureSink sink, bool grab_keyboard, std::string* error) override {
        stop();
        if (!begin_recording(std::move(sink), error))
            return false;
        if (grab_keyboard) {
            // Async for both devices: events keep flowing; we only want them routed to us.
            const int grab = XGrabKeyboard(control_, DefaultRootWindow(control_), False,
                                           GrabModeAsync, GrabModeAsync, CurrentTime);
            if (grab != GrabSuccess) {
                stop();
                return fail(error, grab == AlreadyGrabbed
                                       ? "the keyboard is held by another program"
                                       : "the keyboard cannot be grabbed");
            }
            grabbed_ = true;
            XFlush(control_);
        }
        return true;
    }

    void stop() override {
        if (context_ == 0)
            return;
        if (grabbed_) {
            // Release first, so that no key is lost to the desktop between the two steps.
            XUngrabKeyboard(control_, CurrentTime);
            grabbed_ = false;
        }
        worker_.stop(DefaultStopWait, [this] {
            if (phase() != Phase::Ended) {
                record_.DisableContext(control_, context_);
                XFlush(control_);
            }
        });
        record_.FreeContext(control_, context_);
        context_ = 0;
        // The grab delivered the keys to this connection too; nobody reads them.
        XSync(control_, True);
        sink_ = nullptr;
    }

    bool running() const override { return worker_.running(); }

  private:
    enum class Phase { Starting, Enabled, Ended };

    static bool fail(std::string* error, const char* text) {
        if (error)
            *error = text;
        debug_printf("input capture: %s\n", text);
        return false;
    }

    bool begin_recording(CaptureSink sink, std::string* error) {
        XRecordClientSpec clients = XRecordAllClients;
        XRecordRange* range = record_.AllocRange();
        if (range == nullptr)
            return fail(error, "out of memory");
        range->device_events.first = KeyPress;
        range->device_events.last = ButtonRelease;
        context_ = record_.CreateContext(control_, 0, &clients, 1, &range, 1);
        XFree(range);
        if (context_ == 0)
            return fail(error, "the X server refused a recording context");
        // The data connection can use the context only once the server has created it.
        XSync(control_, False);

        sink_ = std::move(sink);
        set_phase(Phase::Starting);
        const bool started = worker_.start([this](StopEvent&) {
            if (!record_.EnableContext(data_, context_, &X11Capture::on_intercept,
                                       reinterpret_cast<XPointer>(this)))
                debug_output("input capture: XRecordEnableContext failed\n");
            set_phase(Phase::Ended);
        });
        if (!started) {
            stop();
            return fail(error, "no thread for the capture");
        }
        std::unique_lock lock(phase_mutex_);
        const bool settled = phase_changed_.wait_for(lock, EnableDeadline,
                                                     [this] { return phase_ != Phase::Starting; });
        const bool enabled = settled && phase_ == Phase::Enabled;
        lock.unlock();
        if (!enabled) {
            stop();
            return fail(error, "the X server did not start recording");
        }
        return true;
    }

    Phase phase() const {
        std::lock_guard lock(phase_mutex_);
        return phase_;
    }
    void set_phase(Phase p) {
        {
            std::lock_guard lock(phase_mutex_);
            phase_ = p;
        }
        phase_changed_.notify_all();
    }

    static void on_intercept(XPointer self, XRecordInterceptData* data) {
        auto* capture = reinterpret_cast<X11Capture*>(self);
        capture->intercept(*data);
        capture->record_.FreeData(data);
    }

    void intercept(const XRecordInterceptData& data) {
        if (data.category == XRecordStartOfData) {
            set_phase(Phase::Enabled);
            return;
        }
        if (data.category != XRecordFromServer || data.data == nullptr ||
            data.data_len * 4ul < sizeof(xEvent))
            return;
        xEvent ev;
        std::memcpy(&ev, data.data, sizeof ev);
        CapturedEvent out;
        out.code = ev.u.u.detail;
        switch (ev.u.u.type & 0x7F) {  // bit 7 marks events sent by SendEvent
            case KeyPress:
            case KeyRelease:
                out.kind =
                    (ev.u.u.type & 0x7F) == KeyPress ? CaptureKind::KeyDown : CaptureKind::KeyUp;
                break;
            case ButtonPress:
            case ButtonRelease:
                out.kind = (ev.u.u.type & 0x7F) == ButtonPress ? CaptureKind::ButtonDown
                                                               : CaptureKind::ButtonUp;
                break;
            default:
                return;
        }
        out.time_ms = static_cast<std::uint32_t>(ev.u.keyButtonPointer.time);
        out.root_x = ev.u.keyButtonPointer.rootX;
        out.root_y = ev.u.keyButtonPointer.rootY;
        if (sink_)
            sink_(out);
    }

    const Record& record_;
    Display* const control_;
    Display* const data_;
    XRecordContext context_ = 0;
    bool grabbed_ = false;
    CaptureSink sink_;  // set before the thread starts, cleared after it has ended
    mutable std::mutex phase_mutex_;
    std::condition_variable phase_changed_;
    Phase phase_ = Phase::Ended;
    WorkerThread worker_;  // last: it is stopped before the rest goes
};

}  // namespace

std::unique_ptr<InputCapture> make_x11_capture(const std::string& display, std::string* why_not) {
    auto refuse = [why_not](std::string text) -> std::unique_ptr<InputCapture> {
        if (why_not)
            *why_not = std::move(text);
        return nullptr;
    };
    std::string why;
    const Record* record = record_library(&why);
    if (record == nullptr)
        return refuse("no X RECORD client library (" + why + ")");
    // Both connections are used from two threads; libX11 needs this before anything else.
    XInitThreads();
    Display* control = XOpenDisplay(display.c_str());
    if (control == nullptr)
        return refuse("cannot reach the X server \"" + display + "\"");
    int major = 0;
    int minor = 0;
    if (!record->QueryVersion(control, &major, &minor)) {
        XCloseDisplay(control);
        return refuse("the X server \"" + display + "\" has no RECORD extension");
    }
    Display* data = XOpenDisplay(display.c_str());
    if (data == nullptr) {
        XCloseDisplay(control);
        return refuse("cannot reach the X server \"" + display + "\" a second time");
    }
    return std::make_unique<X11Capture>(*record, control, data);
}

}  // namespace velqa::platform::input
