#include "platform/ui/window.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "platform/debug_output.h"
#include "platform/ui/accessibility.h"
#include "platform/ui/controls.h"
#include "platform/ui/deferred_control.h"
#include "platform/ui/font_table.h"
#include "platform/ui/language.h"
#include "platform/ui/layout_builder.h"
#include "platform/ui/menu.h"

// Qt's event queue hands a posted event to the window thread under its own lock, which the
// thread checker cannot see in an uninstrumented Qt; these annotations state that hand-over.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#define VELQA_HANDOVER_RELEASE(p) __tsan_release(p)
#define VELQA_HANDOVER_ACQUIRE(p) __tsan_acquire(p)
#else
#define VELQA_HANDOVER_RELEASE(p) (void)(p)
#define VELQA_HANDOVER_ACQUIRE(p) (void)(p)
#endif

namespace velqa::platform::ui {
namespace {

constexpr char kWiredProperty[] = "velqaWired";
constexpr char kBaseMinProperty[] = "velqaBaseMin";
constexpr char kBaseMaxProperty[] = "velqaBaseMax";
constexpr char kBaseMarginsProperty[] = "velqaBaseMargins";
constexpr char kBaseSpacingProperty[] = "velqaBaseSpacing";
constexpr char kBaseGeometryProperty[] = "velqaBaseGeometry";

// A control the layout places by its own geometry, outside any layout (a tile's texts over its
// button): its geometry scales with the DPI as sizes do. Qt's own parts of a control (a spin
// box's edit, a scroll area's viewport) are placed by their control, not by us.
bool placed_by_geometry(const QWidget* w) {
    const QWidget* parent = w->parentWidget();
    return parent != nullptr && !w->isWindow() && parent->layout() == nullptr &&
           !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")) &&
           !parent->objectName().startsWith(QLatin1String("qt_"));
}
constexpr char kUserActionProperty[] = "velqaUserAction";
constexpr char kMenuProperty[] = "menu";

const QEvent::Type kWindowInitEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

std::vector<Window*>& registry() {
    static std::vector<Window*> windows;
    return windows;
}

std::function<void(Window&)>& modal_hook() {
    static std::function<void(Window&)> hook;
    return hook;
}

int scaled(int v, int dpi) {
    if (v >= QWIDGETSIZE_MAX)
        return v;
    return v * dpi / 96;
}

}  // namespace

QString Notification::sender_name() const {
    return sender != nullptr ? sender->objectName() : QString();
}

// Carries a window message; when it is dropped undelivered (window destroyed) the sender that
// waits on it is released with result 0.
class Window::MessageEvent : public QEvent {
  public:
    MessageEvent(unsigned m, WParam w, LParam l, std::shared_ptr<SendState> s)
        : QEvent(kMessageEvent), message(m), wparam(w), lparam(l), state(std::move(s)) {}
    ~MessageEvent() override {
        if (!state)
            return;
        std::lock_guard lock(state->mutex);
        state->done = true;
        state->cv.notify_all();
    }
    unsigned message;
    WParam wparam;
    LParam lparam;
    std::shared_ptr<SendState> state;
};

Window::Window(QWidget* owner) : QWidget(owner) {
    setWindowFlags((owner != nullptr ? Qt::Dialog : Qt::Window) | Qt::FramelessWindowHint);
    registry().push_back(this);
}

Window::~Window() {
    release_blocked_senders();
    // Controls go first, while the timer table they unregister from still exists.
    delete root_;
    root_ = nullptr;
    auto& windows = registry();
    windows.erase(std::remove(windows.begin(), windows.end(), this), windows.end());
}

bool Window::create(const QString& name, QSize size, bool tool) {
    setProperty("windowName", name);
    setObjectName(window_class_name());
    apply_title();
    if (tool)
        setWindowFlags(windowFlags() | Qt::Tool);
    LayoutBuilder builder([this](const QString& class_name) { return create_control(class_name); });
    root_ = builder.create(skin_file(), this);
    unknown_classes_ = builder.unknown_classes();
    layout_error_ = builder.error();
    custom_classes_ = builder.custom_classes();
    if (root_ != nullptr) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(root_);
        attach_controls(root_);
    }
    base_size_ = size.isValid() ? size : (root_ != nullptr ? root_->sizeHint() : QSize(400, 300));
    resize(base_size_ * dpi_ / 96);
    init_window();
    QCoreApplication::postEvent(this, new QEvent(kWindowInitEvent));
    return root_ != nullptr;
}

QWidget* Window::find_control(const QString& name) const {
    if (root_ == nullptr)
        return nullptr;
    QWidget* control = find_sub_control_by_name(root_, name);
    if (control == nullptr && build_late_parts_ && build_late_parts_())
        control = find_sub_control_by_name(root_, name);
    return control;
}

QWidget* Window::find_sub_control_by_name(QWidget* parent, const QString& name) {
    if (parent == nullptr || name.isEmpty())
        return nullptr;
    if (parent->objectName() == name)
        return parent;
    if (QWidget* found = parent->findChild<QWidget*>(name))
        return found;
    // A control inside an editor not built yet is built, not missed.
    if (!DeferredControl::build_all(parent))
        return nullptr;
    debug_printf("controls built for a lookup of %s", name.toUtf8().constData());
    return parent->findChild<QWidget*>(name);
}

void Window::send_notify(QWidget* sender, const std::string& type, WParam wparam, LParam lparam) {
    if (suppress_ > 0)
        return;
    Notification msg{type, sender, wparam, lparam};
    notify(msg);
}

void Window::attach_controls(QWidget* subtree) {
    if (subtree == nullptr)
        return;
    remember_base_geometry(subtree);
    wire(subtree);
    for (QWidget* child : subtree->findChildren<QWidget*>())
        wire(child);
    // Texts and fonts of the new controls follow the current language and DPI.
    for (QWidget* w : subtree->findChildren<QWidget*>()) {
        if (const QString id = text_id(w); !id.isEmpty())
            set_text_id(w, id);
        if (const QString tip = w->property(kToolTipIdProperty).toString(); !tip.isEmpty()) {
            set_tool_tip_id(w, tip);
        }
    }
    describe_controls(subtree);
    apply_scale();
    apply_fonts();
}

void Window::wire(QWidget* control) {
    if (control->property(kWiredProperty).toBool())
        return;
    control->setProperty(kWiredProperty, true);
    QPointer<QWidget> self(control);

    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        connect(button, &QAbstractButton::clicked, this,
                [this, button] { send_notify(button, "click"); });
        connect(button, &QAbstractButton::toggled, this,
                [this, button](bool on) { send_notify(button, "selectchanged", on ? 1 : 0); });
        if (const QString group = button->property(kGroupProperty).toString(); !group.isEmpty()) {
            QButtonGroup*& g = groups_[group];
            if (g == nullptr) {
                g = new QButtonGroup(this);
                g->setExclusive(true);
            }
            button->setCheckable(true);
            g->addButton(button);
        }
        button->installEventFilter(this);
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(control);
               slider != nullptr && qobject_cast<QScrollBar*>(control) == nullptr) {
        // Only the user's changes notify: a drag sends "movevaluechanged" and, on release,
        // "valuechanged"; clicks and keys send "valuechanged". setValue from code is silent.
        connect(slider, &QAbstractSlider::actionTriggered, this, [slider](int action) {
            if (action != QAbstractSlider::SliderMove)
                slider->setProperty(kUserActionProperty, true);
        });
        connect(slider, &QAbstractSlider::valueChanged, this, [this, slider](int v) {
            if (slider->isSliderDown()) {
                send_notify(slider, "movevaluechanged", static_cast<WParam>(v));
            } else if (slider->property(kUserActionProperty).toBool()) {
                slider->setProperty(kUserActionProperty, false);
                send_notify(slider, "valuechanged", static_cast<WParam>(v));
            }
        });
        connect(slider, &QAbstractSlider::sliderReleased, this, [this, slider] {
            send_notify(slider, "valuechanged", static_cast<WParam>(slider->value()));
        });
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        connect(combo, &QComboBox::activated, this, [this, combo](int index) {
            send_notify(combo, "itemselect", static_cast<WParam>(index));
        });
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        connect(edit, &QLineEdit::textEdited, this,
                [this, edit] { send_notify(edit, "textchanged"); });
        connect(edit, &QLineEdit::returnPressed, this,
                [this, edit] { send_notify(edit, "return"); });
        edit->installEventFilter(this);
    } else if (auto* list = qobject_cast<QListWidget*>(control)) {
        connect(list, &QListWidget::currentRowChanged, this, [this, list](int row) {
            send_notify(list, "itemselect", static_cast<WParam>(row));
        });
        connect(list, &QListWidget::itemClicked, this, [this, list](QListWidgetItem* item) {
            send_notify(list, "itemclick", static_cast<WParam>(list->row(item)));
        });
        connect(list, &QListWidget::itemActivated, this, [this, list](QListWidgetItem* item) {
            send_notify(list, "itemactivate", static_cast<WParam>(list->row(item)));
        });
        connect(list, &QListWidget::itemDoubleClicked, this, [this, list](QListWidgetItem* item) {
            send_notify(list, "dbclick", static_cast<WParam>(list->row(item)));
        });
    }
    if (control->property(kMenuProperty).toBool())
        control->installEventFilter(this);
}

bool Window::eventFilter(QObject* watched, QEvent* event) {
    auto* control = qobject_cast<QWidget*>(watched);
    if (control != nullptr) {
        switch (event->type()) {
            case QEvent::Enter:
                send_notify(control, "msenter");
                break;
            case QEvent::Leave:
                send_notify(control, "msleave");
                break;
            case QEvent::FocusIn: {
                // Tab enters an option group at its chosen option, as it enters radio buttons.
                const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
                if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
                    if (QWidget* entry = group_entry(control); entry != nullptr) {
                        entry->setFocus(reason);
                        return true;
                    }
                }
                // wParam: why the focus came (Qt::FocusReason), so that passing through with
                // Tab can differ from a click.
                send_notify(control, "setfocus", static_cast<WParam>(reason));
                break;
            }
            case QEvent::FocusOut:
                send_notify(control, "killfocus");
                break;
            case QEvent::MouseButtonDblClick:
                if (qobject_cast<QAbstractButton*>(control) != nullptr)
                    send_notify(control, "dbclick");
                break;
            case QEvent::KeyPress:
                if (auto* button = qobject_cast<QAbstractButton*>(control)) {
                    const auto* key = static_cast<QKeyEvent*>(event);
                    if (key->modifiers() & ~Qt::KeypadModifier)
                        break;
                    if (move_in_group(button, key->key()))
                        return true;
                    // Enter presses a button as Space does, not only a dialog's default one.
                    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                        button->isEnabled()) {
                        button->click();
                        return true;
                    }
                }
                break;
            case QEvent::ContextMenu:
                if (control->property(kMenuProperty).toBool()) {
                    auto* menu_event = static_cast<QContextMenuEvent*>(event);
                    send_notify(control, "menu", static_cast<WParam>(menu_event->globalPos().x()),
                                menu_event->globalPos().y());
                    return true;
                }
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool Window::set_timer(QWidget* control, int id, int period_ms) {
    if (control == nullptr || period_ms <= 0)
        return false;
    if (control != root_ && !isAncestorOf(control))
        return false;
    QTimer*& timer = timers_[{control, id}];
    if (timer == nullptr) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this,
                [this, control, id] { send_notify(control, "timer", static_cast<WParam>(id)); });
        // A control that goes away takes its timers with it.
        connect(control, &QObject::destroyed, timer, [this, control] { kill_timers(control); });
    }
    timer->start(period_ms);
    return true;
}

void Window::kill_timer(QWidget* control, int id) {
    auto it = timers_.find({control, id});
    if (it == timers_.end())
        return;
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

void Window::kill_timers(QWidget* control) {
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->first.first == control) {
            it->second->stop();
            it->second->deleteLater();
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
}

bool Window::has_timer(QWidget* control, int id) const {
    auto it = timers_.find({control, id});
    return it != timers_.end() && it->second->isActive();
}

void Window::post_message(unsigned message, WParam wparam, LParam lparam) {
    auto* event = new MessageEvent(message, wparam, lparam, nullptr);
    VELQA_HANDOVER_RELEASE(event);
    QCoreApplication::postEvent(this, event);
}

LResult Window::send_message(unsigned message, WParam wparam, LParam lparam) {
    if (QThread::currentThread() == thread())
        return dispatch_message(message, wparam, lparam);
    auto state = std::make_shared<SendState>();
    {
        std::lock_guard lock(send_mutex_);
        if (refuse_sends_)
            return 0;
        std::erase_if(pending_sends_, [](const auto& weak) { return weak.expired(); });
        pending_sends_.push_back(state);
        auto* event = new MessageEvent(message, wparam, lparam, state);
        VELQA_HANDOVER_RELEASE(event);
        QCoreApplication::postEvent(this, event);
    }
    std::unique_lock lock(state->mutex);
    state->cv.wait(lock, [&] { return state->done; });
    return state->result;
}

std::size_t Window::blocked_senders() {
    std::lock_guard lock(send_mutex_);
    std::size_t n = 0;
    for (auto& weak : pending_sends_) {
        if (auto state = weak.lock()) {
            std::lock_guard state_lock(state->mutex);
            n += state->done ? 0 : 1;
        }
    }
    return n;
}

void Window::release_blocked_senders() {
    std::lock_guard lock(send_mutex_);
    refuse_sends_ = true;
    for (auto& weak : pending_sends_) {
        if (auto state = weak.lock()) {
            std::lock_guard state_lock(state->mutex);
            state->done = true;
            state->cv.notify_all();
        }
    }
    pending_sends_.clear();
}

LResult Window::handle_custom_message(unsigned message, WParam wparam, LParam lparam,
                                      bool& handled) {
    (void)message;
    (void)wparam;
    (void)lparam;
    handled = false;
    return 0;
}

LResult Window::dispatch_message(unsigned message, WParam wparam, LParam lparam) {
    bool handled = false;
    LResult result = handle_custom_message(message, wparam, lparam, handled);
    if (handled)
        return result;
    if (message == kMsgClose)
        close_window(0);
    if (message == kMsgMenuCommand)
        delete reinterpret_cast<MenuCommand*>(wparam);
    return result;
}

bool Window::event(QEvent* event) {
    VELQA_HANDOVER_ACQUIRE(event);
    // Escape closes a dialog (as its close button does) when no control took the key.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier &&
        (is_modal() || parentWidget() != nullptr)) {
        close_window(0);
        return true;
    }
    if (event->type() == kWindowInitEvent) {
        send_notify(root_ != nullptr ? root_ : this, "windowinit");
        return true;
    }
    if (event->type() == kMessageEvent) {
        auto* msg = static_cast<MessageEvent*>(event);
        // A sender released by release_blocked_senders no longer waits for a result.
        bool abandoned = false;
        if (msg->state) {
            std::lock_guard lock(msg->state->mutex);
            abandoned = msg->state->done;
        }
        LResult result = abandoned ? 0 : dispatch_message(msg->message, msg->wparam, msg->lparam);
        if (msg->state) {
            std::lock_guard lock(msg->state->mutex);
            msg->state->result = result;
            msg->state->done = true;
            msg->state->cv.notify_all();
        }
        return true;
    }
    return QWidget::event(event);
}

int Window::show_modal() {
    if (modal_loop_ != nullptr)
        return 0;
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
    QEventLoop loop;
    modal_loop_ = &loop;
    if (modal_hook()) {
        QTimer::singleShot(0, this, [this] {
            if (modal_hook() && modal_loop_ != nullptr)
                modal_hook()(*this);
        });
    }
    const int code = loop.exec();
    modal_loop_ = nullptr;
    hide();
    return code;
}

void Window::close_window(int code) {
    if (modal_loop_ != nullptr) {
        modal_loop_->exit(code);
        return;
    }
    hide();
    emit closed(code);
}

void Window::closeEvent(QCloseEvent* event) {
    // The window manager's close button or Alt+F4: the same as closing with code 0.
    event->ignore();
    close_window(0);
}

void Window::center_window() {
    QWidget* owner = parentWidget();
    QRect area;
    if (owner != nullptr && owner->isVisible()) {
        area = owner->frameGeometry();
    } else if (QScreen* s = screen(); s != nullptr) {
        area = s->availableGeometry();
    } else {
        return;
    }
    move(area.center() - QPoint(width() / 2, height() / 2));
}

bool Window::is_valid_dpi(int dpi) {
    switch (dpi) {
        case 48:
        case 72:
        case 96:
        case 120:
        case 144:
        case 168:
        case 192:
            return true;
        default:
            return false;
    }
}

void Window::set_dpi(int dpi) {
    if (dpi <= 0)
        return;
    dpi_ = dpi;
    apply_scale();
    apply_fonts();
    if (base_size_.isValid())
        resize(base_size_ * dpi_ / 96);
}

void Window::set_all_dpi(int dpi) {
    for (Window* w : registry())
        w->set_dpi(dpi);
}

std::vector<Window*> Window::all_windows() {
    return registry();
}

void Window::set_base_size(QSize size_at_96) {
    base_size_ = size_at_96;
    resize(base_size_ * dpi_ / 96);
}

void Window::remember_base_geometry(QWidget* subtree) {
    auto remember = [](QWidget* w) {
        if (!w->property(kBaseMinProperty).isValid()) {
            w->setProperty(kBaseMinProperty, w->minimumSize());
            w->setProperty(kBaseMaxProperty, w->maximumSize());
            if (placed_by_geometry(w))
                w->setProperty(kBaseGeometryProperty, w->geometry());
        }
        if (QLayout* l = w->layout();
            l != nullptr && !l->property(kBaseMarginsProperty).isValid()) {
            const QMargins m = l->contentsMargins();
            l->setProperty(kBaseMarginsProperty, QRect(m.left(), m.top(), m.right(), m.bottom()));
            l->setProperty(kBaseSpacingProperty, l->spacing());
        }
    };
    remember(subtree);
    for (QWidget* w : subtree->findChildren<QWidget*>())
        remember(w);
}

void Window::apply_scale() {
    if (root_ == nullptr)
        return;
    auto scale = [this](QWidget* w) {
        const QSize min = w->property(kBaseMinProperty).toSize();
        const QSize max = w->property(kBaseMaxProperty).toSize();
        if (w->property(kBaseMinProperty).isValid()) {
            w->setMinimumSize(scaled(min.width(), dpi_), scaled(min.height(), dpi_));
            w->setMaximumSize(scaled(max.width(), dpi_), scaled(max.height(), dpi_));
        }
        if (const QVariant base = w->property(kBaseGeometryProperty);
            base.isValid() && placed_by_geometry(w)) {
            const QRect r = base.toRect();
            w->setGeometry(scaled(r.x(), dpi_), scaled(r.y(), dpi_), scaled(r.width(), dpi_),
                           scaled(r.height(), dpi_));
        }
        if (QLayout* l = w->layout(); l != nullptr && l->property(kBaseMarginsProperty).isValid()) {
            const QRect m = l->property(kBaseMarginsProperty).toRect();
            l->setContentsMargins(scaled(m.left(), dpi_), scaled(m.top(), dpi_),
                                  scaled(m.width(), dpi_), scaled(m.height(), dpi_));
            const int spacing = l->property(kBaseSpacingProperty).toInt();
            if (spacing >= 0)
                l->setSpacing(scaled(spacing, dpi_));
        }
    };
    scale(root_);
    for (QWidget* w : root_->findChildren<QWidget*>())
        scale(w);
}

void Window::apply_title() {
    // Without its text (no language loaded yet) the product's name, never an internal one.
    const QString id = title_text_id();
    const LanguageTexts& texts = LanguageTexts::instance();
    setWindowTitle(texts.has(id) ? texts.text(id) : QStringLiteral("ZARN VELQA R260"));
}

void Window::reload_text() {
    apply_title();
    if (root_ == nullptr)
        return;
    QList<QWidget*> all = root_->findChildren<QWidget*>();
    all.prepend(root_);
    for (QWidget* w : all) {
        if (const QString id = text_id(w); !id.isEmpty())
            set_text_id(w, id);
        if (const QString tip = w->property(kToolTipIdProperty).toString(); !tip.isEmpty()) {
            set_tool_tip_id(w, tip);
        }
        // Items added under a text id (their data) follow the language like any other text.
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            const LanguageTexts& texts = LanguageTexts::instance();
            for (int i = 0; i < combo->count(); ++i) {
                const QVariant item = combo->itemData(i);
                if (item.typeId() == QMetaType::QString && texts.has(item.toString()))
                    combo->setItemText(i, texts.text(item.toString()));
            }
        }
    }
    describe_controls(root_);
}

void Window::apply_fonts() {
    const FontTable& table = FontTable::instance();
    setFont(table.font(FontTable::kDefault, dpi_));
    if (root_ == nullptr)
        return;
    for (QWidget* w : root_->findChildren<QWidget*>()) {
        bool ok = false;
        const int id = w->property(kFontIdProperty).toInt(&ok);
        if (ok)
            w->setFont(table.font(id, dpi_));
    }
}

QWidget* Window::build_layout(const QString& layout, QWidget* parent,
                              LayoutBuilder::Callback callback) {
    LayoutBuilder builder(std::move(callback));
    return builder.create(layout, parent);
}

QWidget* ControlCache::find(QWidget* root, const QString& name) const {
    auto it = found_.find(name);
    if (it != found_.end() && !it->second.isNull())
        return it->second;
    QWidget* found = Window::find_sub_control_by_name(root, name);
    if (found != nullptr)
        found_[name] = found;
    return found;
}

QWidget* Window::build_scrolled_layout(const QString& layout, QWidget* owner,
                                       const QString& scroll_name) {
    auto* box = new QVBoxLayout(owner);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    auto* scroll = new QScrollArea(owner);
    scroll->setObjectName(scroll_name);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    box->addWidget(scroll);
    // A scroll area fills its viewport and its widget with the palette's light colours.
    scroll->viewport()->setAutoFillBackground(false);
    // A bar that is no longer needed goes at once, not on the next event-loop turn, so that a
    // render right after the page is shown (a screenshot) does not show stale bars.
    for (QScrollBar* bar : {scroll->horizontalScrollBar(), scroll->verticalScrollBar()}) {
        QObject::connect(bar, &QScrollBar::rangeChanged, scroll, [scroll](int min, int max) {
            if (min == max && scroll->isVisible())
                scroll->setVerticalScrollBarPolicy(scroll->verticalScrollBarPolicy());
        });
    }
    QWidget* root = build_layout(layout, scroll);
    if (root != nullptr) {
        scroll->setWidget(root);
        root->setAutoFillBackground(false);
    }
    return root;
}

void Window::set_modal_test_hook(std::function<void(Window&)> hook) {
    modal_hook() = std::move(hook);
}

void Window::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (root_ != nullptr)
        send_notify(root_, "windowsize");
}

void Window::mousePressEvent(QMouseEvent* event) {
    // The window has no system frame: pressing its caption strip moves it.
    const int strip = caption_height_ * dpi_ / 96;
    if (event->button() == Qt::LeftButton && (strip == 0 || event->position().y() < strip) &&
        windowHandle() != nullptr) {
        windowHandle()->startSystemMove();
        return;
    }
    QWidget::mousePressEvent(event);
}

Quiet::Quiet(const QWidget* control) {
    if (Window* w = window_of(control))
        suppressor_ = std::make_unique<Window::NotifySuppressor>(*w);
}

}  // namespace velqa::platform::ui
