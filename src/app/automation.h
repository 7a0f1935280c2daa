// The scripting interface "com.zarn.VelqaR260.Automation": scripts and tests drive the program's
// windows through it as a user would, and read back what the windows show. It is an adaptor of
// the object the program exports on the session bus, so it shares that object's path.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QString>
#include <functional>
#include <string>

namespace Json {
class Value;
}

namespace velqa::app {

inline constexpr char kAutomationInterface[] = "com.zarn.VelqaR260.Automation";

// One-line JSON text, as the interface answers (state providers use it too).
std::string compact_json(const Json::Value& value);

class Automation : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.zarn.VelqaR260.Automation")

  public:
    // `host` is the exported object (it owns the adaptor); create the adaptor before the host is
    // registered on the bus.
    explicit Automation(QObject* host);

    // JSON text describing the main window, answered by State().
    using StateProvider = std::function<std::string()>;
    void set_state_provider(StateProvider provider) { state_ = std::move(provider); }

  public slots:
    // Finds `control` by name in a visible window (the newest window first). When `value` is not
    // empty, sets it silently first: text for an edit, a number within the range for a slider or
    // progress bar, "1"/"0" for an option or check, an item index for a combo or list. Then
    // delivers the notification `type` for the control through its window, with the wParam a
    // user's action carries. False, with the reason in the debug output, when no visible window
    // holds the control, `type` is empty, or the value does not fit the control.
    // A caller on the bus is answered when the notification has been handled, or as soon as it
    // opens a modal window, whichever comes first: like a person's click, a script's never waits
    // for the window to close.
    bool Invoke(const QString& type, const QString& control, const QString& value);
    // JSON: "found", "window", "class", "visible", "enabled", "text", "value", "selected",
    // "index" of the control (visible windows searched first); {"found": false} when no window
    // holds it.
    QString Query(const QString& control);
    // The state provider's JSON; {} without a provider.
    QString State();

  private:
    StateProvider state_;
};

}  // namespace velqa::app
