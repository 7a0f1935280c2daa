// A window built from an XML layout: controls by name, notifications made from Qt signals,
// control timers, window messages by number (posted or sent from any thread), modal runs,
// language texts, fonts and DPI scaling.
#pragma once

#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/layout_builder.h"
#include "platform/ui/window_message.h"

class QButtonGroup;
class QEventLoop;
class QTimer;

namespace velqa::platform::ui {

// A control notification, delivered on the window thread to Window::notify.
struct Notification {
    std::string type;  // "click", "selectchanged", "timer", ...
    QWidget* sender = nullptr;
    WParam wparam = 0;
    LParam lparam = 0;

    QString sender_name() const;
};

// The controls of a composite control, found by name on first use and remembered; one that
// has been deleted since is looked up again.
class ControlCache {
  public:
    QWidget* find(QWidget* root, const QString& name) const;

  private:
    mutable std::map<QString, QPointer<QWidget>> found_;
};

class Window : public QWidget {
    Q_OBJECT

  public:
    // `owner` keeps this window above it (nullptr: a top-level window of its own).
    explicit Window(QWidget* owner = nullptr);
    ~Window() override;

    // The layout this window is built from (resource name or path under the resource root).
    virtual QString skin_file() const = 0;
    virtual QString window_class_name() const { return QStringLiteral("Window"); }
    // The text id of the title that task bars and window switchers show: the product's name and
    // the window's purpose, in the current language (followed by reload_text).
    virtual QString title_text_id() const { return QStringLiteral("window_title_text"); }

    // Builds the layout, runs init_window and posts "windowinit" for the first pass of the event
    // loop. `name` is the window's name in the design ("SetWnd"), kept as the property
    // "windowName" for scripts; the title shown is title_text_id's text. `size` is the size at
    // 96 DPI (empty: the layout's own). `tool` makes a frameless helper window without a
    // task-bar entry. False when the layout cannot be built; the window then exists without
    // controls.
    bool create(const QString& name, QSize size = {}, bool tool = false);

    QWidget* root() const { return root_; }
    // The control of a name in this window, or nullptr. A name not found yet makes the window
    // build the parts it puts off (see set_late_parts) and is looked up again.
    QWidget* find_control(const QString& name) const;
    // What builds the parts of this window that are made after its first paint; it returns
    // true when it built something. Runs when a lookup misses, so nothing looked up by name is
    // missed for having been put off.
    void set_late_parts(std::function<bool()> build) { build_late_parts_ = std::move(build); }
    template <class T>
    T* find_control_as(const QString& name) const {
        return qobject_cast<T*>(find_control(name));
    }
    // The control of a name inside `parent` (parent itself included), or nullptr. A miss builds
    // the deferred controls under `parent` and looks again.
    static QWidget* find_sub_control_by_name(QWidget* parent, const QString& name);

    // Delivers a notification now (on the window thread).
    void send_notify(QWidget* sender, const std::string& type, WParam wparam = 0,
                     LParam lparam = 0);
    // Turns the signals of the controls in `subtree` into notifications (done for the layout by
    // create(); call it for controls added later). Applies texts and fonts to them too.
    void attach_controls(QWidget* subtree);

    // While alive, programmatic changes send no notifications.
    class NotifySuppressor {
      public:
        explicit NotifySuppressor(Window& window) : window_(window) { ++window_.suppress_; }
        ~NotifySuppressor() { --window_.suppress_; }
        NotifySuppressor(const NotifySuppressor&) = delete;
        NotifySuppressor& operator=(const NotifySuppressor&) = delete;

      private:
        Window& window_;
    };

    // Repeating control timers: each period sends "timer" with wParam = id to the control.
    // Setting an existing (control, id) again restarts it with the new period. False when the
    // control is not in this window or the period is not positive.
    bool set_timer(QWidget* control, int id, int period_ms);
    void kill_timer(QWidget* control, int id);
    void kill_timers(QWidget* control);
    bool has_timer(QWidget* control, int id) const;

    // Window messages, from any thread, handled on the window thread by handle_custom_message.
    void post_message(unsigned message, WParam wparam = 0, LParam lparam = 0);
    // Blocks until the message has been handled and returns the handler's result. Returns 0 at
    // once when the window is closing (release_blocked_senders) or gone.
    LResult send_message(unsigned message, WParam wparam = 0, LParam lparam = 0);
    // Wakes every thread blocked in send_message with result 0 and refuses new sends: called
    // before the window waits for its workers, so that no worker stays blocked on it.
    void release_blocked_senders();
    // Threads currently waiting in send_message for this window.
    std::size_t blocked_senders();

    // Shows the window modally and returns the code given to close_window.
    int show_modal();
    bool is_modal() const { return modal_loop_ != nullptr; }
    // Ends a modal run with `code`, or closes a non-modal window.
    void close_window(int code = 0);
    void center_window();

    // DPI: accepted values 48, 72, 96, 120, 144, 168, 192. set_dpi scales the window's size,
    // fixed control sizes, layout spacing and fonts by dpi/96 (it does not validate).
    static bool is_valid_dpi(int dpi);
    int dpi() const { return dpi_; }
    virtual void set_dpi(int dpi);
    // Sets the DPI of every window of the process.
    static void set_all_dpi(int dpi);
    static std::vector<Window*> all_windows();
    void set_base_size(QSize size_at_96);
    QSize base_size() const { return base_size_; }

    // Re-resolves the title and every text id and tool-tip id of the window's controls.
    void reload_text();
    // Applies the font table (scaled by the DPI) to the window's controls.
    void apply_fonts();

    // Classes of the last layout build that nobody could create, and custom classes created.
    const std::vector<QString>& unknown_classes() const { return unknown_classes_; }
    // Why create() built no layout; empty when it did.
    const QString& layout_error() const { return layout_error_; }
    const std::vector<QString>& custom_classes() const { return custom_classes_; }

    // Builds another layout (nested layouts): classes from `callback` first, then the factory.
    static QWidget* build_layout(const QString& layout, QWidget* parent = nullptr,
                                 LayoutBuilder::Callback callback = {});
    // Builds `layout` inside a frameless scroll area named `scroll_name` that fills `owner`
    // (which gets a layout holding just it), so that an editor scrolls inside its page rather
    // than growing the window. The page's background shows through. nullptr when the layout
    // cannot be built.
    static QWidget* build_scrolled_layout(const QString& layout, QWidget* owner,
                                          const QString& scroll_name);

    // Test seam: called on the window thread once a modal run has started, so that tests can
    // answer modal windows. Product code never sets it.
    static void set_modal_test_hook(std::function<void(Window&)> hook);

  signals:
    // The window was closed (not for modal runs) with this code.
    void closed(int code);

  protected:
    virtual void init_window() {}
    virtual void notify(Notification& msg) { (void)msg; }
    // Sees every window message first; set `handled` to stop the framework's own handling.
    virtual LResult handle_custom_message(unsigned message, WParam wparam, LParam lparam,
                                          bool& handled);
    // Builder callback: a control for a layout class name, or nullptr to fall through.
    virtual QWidget* create_control(const QString& class_name) {
        (void)class_name;
        return nullptr;
    }
    // Height of the strip at the top that drags the window (at 96 DPI; 0: whole window).
    void set_caption_height(int height) { caption_height_ = height; }

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    struct SendState {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        LResult result = 0;
    };
    class MessageEvent;

    LResult dispatch_message(unsigned message, WParam wparam, LParam lparam);
    void wire(QWidget* control);
    void remember_base_geometry(QWidget* subtree);
    void apply_scale();
    void apply_title();

    QWidget* root_ = nullptr;
    std::function<bool()> build_late_parts_;
    int dpi_ = 96;
    QSize base_size_;
    int caption_height_ = 0;
    int suppress_ = 0;
    QEventLoop* modal_loop_ = nullptr;
    std::vector<QString> unknown_classes_;
    QString layout_error_;
    std::vector<QString> custom_classes_;
    std::map<std::pair<QWidget*, int>, QTimer*> timers_;
    std::map<QString, QButtonGroup*> groups_;

    std::mutex send_mutex_;
    bool refuse_sends_ = false;
    std::vector<std::weak_ptr<SendState>> pending_sends_;
};

// While alive, the window `control` is in (if any) sends no notifications: for a page or an
// editor that sets its own controls' values.
class Quiet {
  public:
    explicit Quiet(const QWidget* control);

  private:
    // Not an optional: GCC then takes the suppressor's window for uninitialised.
    std::unique_ptr<Window::NotifySuppressor> suppressor_;
};

}  // namespace velqa::platform::ui
