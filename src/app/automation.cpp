#include "app/automation.h"

#include <json/json.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextEdit>
#include <QValidator>
#include <optional>
#include <utility>

#include "platform/debug_output.h"
#include "platform/number_text.h"
#include "platform/ui/controls.h"
#include "platform/ui/window.h"

namespace velqa::app {
namespace {

using platform::ui::Window;

struct Found {
    Window* window = nullptr;
    QWidget* control = nullptr;
};

// Newest window first: a dialog opened over the main window answers for its own controls.
Found find(const QString& name, bool visible_only) {
    const std::vector<Window*> windows = Window::all_windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (visible_only && !(*it)->isVisible())
            continue;
        if (QWidget* control = (*it)->find_control(name))
            return {*it, control};
    }
    return {};
}

QString control_text(const QWidget* control) {
    if (auto* edit = qobject_cast<const QTextEdit*>(control))
        return edit->toPlainText();
    if (auto* edit = qobject_cast<const QPlainTextEdit*>(control))
        return edit->toPlainText();
    return platform::ui::text(control);
}

std::string name_of(const QWidget* control) {
    return control->objectName().toStdString();
}

// A number typed into a control: decimal or 0x-hex within [lo, hi].
std::optional<int> number_in(const QString& text, int lo, int hi) {
    const auto number = platform::parse_number(text.toStdString(), lo, hi);
    return number ? std::optional<int>(static_cast<int>(*number)) : std::nullopt;
}

bool set_edit_text(QLineEdit* edit, const QString& value) {
    // A user cannot type past the limit or what the validator refuses; neither can a script.
    if (value.size() > edit->maxLength()) {
        platform::debug_printf("automation: \"%s\" takes at most %d characters",
                               name_of(edit).c_str(), edit->maxLength());
        return false;
    }
    if (const QValidator* validator = edit->validator()) {
        QString text = value;
        int pos = 0;
        if (validator->validate(text, pos) != QValidator::Acceptable) {
            platform::debug_printf("automation: \"%s\" does not accept \"%s\"",
                                   name_of(edit).c_str(), value.toUtf8().constData());
            return false;
        }
    }
    platform::ui::set_text(edit, value);
    return true;
}

// Sets a control's value the way a user would leave it, without notifications.
bool set_control_value(Window& window, QWidget* control, const QString& value) {
    Window::NotifySuppressor quiet(window);
    const std::string name = name_of(control);
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        if (!button->isCheckable()) {
            platform::debug_printf("automation: \"%s\" is a button and takes no value",
                                   name.c_str());
            return false;
        }
        if (value != "1" && value != "0") {
            platform::debug_printf("automation: \"%s\" takes 1 or 0, not \"%s\"", name.c_str(),
                                   value.toUtf8().constData());
            return false;
        }
        const bool wanted = value == "1";
        platform::ui::set_selected(button, wanted, false);
        if (platform::ui::is_selected(button) != wanted) {
            // An exclusive option is cleared only by selecting another one of its group.
            platform::debug_printf("automation: \"%s\" cannot be cleared on its own", name.c_str());
            return false;
        }
        return true;
    }
    if (qobject_cast<QAbstractSlider*>(control) != nullptr ||
        qobject_cast<QProgressBar*>(control) != nullptr) {
        const int lo = platform::ui::minimum(control);
        const int hi = platform::ui::maximum(control);
        const auto number = number_in(value, lo, hi);
        if (!number) {
            platform::debug_printf("automation: \"%s\" takes a number from %d to %d, not \"%s\"",
                                   name.c_str(), lo, hi, value.toUtf8().constData());
            return false;
        }
        platform::ui::set_value(control, *number);
        return true;
    }
    if (qobject_cast<QComboBox*>(control) != nullptr ||
        qobject_cast<QListWidget*>(control) != nullptr) {
        const int count = platform::ui::item_count(control);
        const std::optional<int> index =
            count > 0 ? number_in(value, 0, count - 1) : std::optional<int>();
        if (!index) {
            platform::debug_printf("automation: \"%s\" has %d items; no item \"%s\"", name.c_str(),
                                   count, value.toUtf8().constData());
            return false;
        }
        return platform::ui::select_item(control, *index, false);
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return set_edit_text(edit, value);
    if (auto* edit = qobject_cast<QTextEdit*>(control)) {
        edit->setPlainText(value);
        return true;
    }
    if (auto* edit = qobject_cast<QPlainTextEdit*>(control)) {
        edit->setPlainText(value);
        return true;
    }
    platform::debug_printf("automation: \"%s\" (%s) takes no value", name.c_str(),
                           control->metaObject()->className());
    return false;
}

// The wParam the framework gives a user's action of this type on this control.
platform::ui::WParam wparam_for(const QString& type, const QWidget* control) {
    if (type == "selectchanged")
        return platform::ui::is_selected(control) ? 1 : 0;
    if (type == "valuechanged" || type == "movevaluechanged")
        return static_cast<platform::ui::WParam>(platform::ui::value(control));
    if (type == "itemselect")
        return static_cast<platform::ui::WParam>(platform::ui::current_item(control));
    return 0;
}

// Answers a bus call early when a modal window opens while it runs (the other windows are then
// told they are blocked), else when it goes out of scope.
class ReplyBeforeModal : public QObject {
  public:
    ReplyBeforeModal(QDBusConnection connection, QDBusMessage call)
        : connection_(std::move(connection)), call_(std::move(call)) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~ReplyBeforeModal() override { answer(); }
    ReplyBeforeModal(const ReplyBeforeModal&) = delete;
    ReplyBeforeModal& operator=(const ReplyBeforeModal&) = delete;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowBlocked)
            answer();
        return QObject::eventFilter(watched, event);
    }

  private:
    void answer() {
        if (answered_)
            return;
        answered_ = true;
        QCoreApplication::instance()->removeEventFilter(this);
        connection_.send(call_.createReply(true));
    }

    QDBusConnection connection_;
    QDBusMessage call_;
    bool answered_ = false;
};

QString to_text(const Json::Value& value) {
    return QString::fromStdString(compact_json(value));
}

}  // namespace

std::string compact_json(const Json::Value& value) {
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    writer["emitUTF8"] = true;
    return Json::writeString(writer, value);
}

Automation::Automation(QObject* host) : QDBusAbstractAdaptor(host) {}

bool Automation::Invoke(const QString& type, const QString& control, const QString& value) {
    const Found found = find(control, true);
    if (found.control == nullptr) {
        platform::debug_printf("automation: no visible window holds \"%s\"",
                               control.toUtf8().constData());
        return false;
    }
    if (type.isEmpty()) {
        platform::debug_printf("automation: no notification type for \"%s\"",
                               control.toUtf8().constData());
        return false;
    }
    if (!value.isEmpty() && !set_control_value(*found.window, found.control, value))
        return false;
    std::optional<ReplyBeforeModal> reply;
    // QtDBus gives an adaptor's call context to its host, as it finds it: by the meta-object.
    auto* call = static_cast<QDBusContext*>(parent()->qt_metacast("QDBusContext"));
    if (call != nullptr && call->calledFromDBus()) {
        call->setDelayedReply(true);
        reply.emplace(call->connection(), call->message());
    }
    found.window->send_notify(found.control, type.toStdString(), wparam_for(type, found.control));
    return true;
}

QString Automation::Query(const QString& control) {
    Json::Value answer(Json::objectValue);
    const Found visible = find(control, true);
    const Found found = visible.control != nullptr ? visible : find(control, false);
    if (found.control == nullptr) {
        answer["found"] = false;
        return to_text(answer);
    }
    QWidget* c = found.control;
    answer["found"] = true;
    answer["window"] = found.window->objectName().toStdString();
    answer["class"] = c->metaObject()->className();
    answer["visible"] = c->isVisible();
    answer["enabled"] = c->isEnabled();
    answer["text"] = control_text(c).toStdString();
    answer["value"] = platform::ui::value(c);
    answer["selected"] = platform::ui::is_selected(c);
    answer["index"] = platform::ui::current_item(c);
    return to_text(answer);
}

QString Automation::State() {
    return state_ ? QString::fromStdString(state_()) : QStringLiteral("{}");
}

}  // namespace velqa::app
