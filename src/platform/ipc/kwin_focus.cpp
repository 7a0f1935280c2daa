#include "platform/ipc/kwin_focus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QObject>
#include <functional>
#include <optional>
#include <string>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/desktop/focus_common.h"

namespace velqa::platform::ipc {
namespace {

constexpr char kKWin[] = "org.kde.KWin";
constexpr char kScripting[] = "/Scripting";
constexpr char kScriptingInterface[] = "org.kde.kwin.Scripting";
constexpr char kScriptInterface[] = "org.kde.kwin.Script";
constexpr char kScriptFile[] = "kwin-focus.js";
constexpr int kBusTimeoutMs = 5000;

// KWin 6 names the active window workspace.activeWindow and signals windowActivated; KWin 5
// says client instead of window. `service` is our connection's unique name.
std::string script_text(const std::string& service) {
    return "// Tells velqa which application has the focus, for its per-application profiles.\n"
           "var service = \"" +
           service + "\";\nvar path = \"" + kFocusPath + "\";\nvar iface = \"" + kFocusInterface +
           "\";\n"
           "function report(window) {\n"
           "    callDBus(service, path, iface, \"focusChanged\",\n"
           "             window ? String(window.resourceClass) : \"\");\n"
           "}\n"
           "if (workspace.windowActivated !== undefined) {\n"
           "    workspace.windowActivated.connect(report);\n"
           "    report(workspace.activeWindow);\n"
           "} else {\n"
           "    workspace.clientActivated.connect(report);\n"
           "    report(workspace.activeClient);\n"
           "}\n";
}

QDBusMessage scripting_call(const char* member) {
    return QDBusMessage::createMethodCall(QLatin1String(kKWin), QLatin1String(kScripting),
                                          QLatin1String(kScriptingInterface),
                                          QLatin1String(member));
}

// The object the script calls.
class FocusReceiver : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.zarn.VelqaR260.Focus")

  public:
    using Handler = std::function<void(const QString& sender, const QString& resource_class)>;
    explicit FocusReceiver(Handler handler) : handler_(std::move(handler)) {}

  public slots:
    void focusChanged(const QString& resource_class) {
        handler_(message().service(), resource_class);
    }

  private:
    Handler handler_;
};

class KWinFocusWatcher final : public desktop::FocusWatcher {
  public:
    explicit KWinFocusWatcher(std::filesystem::path runtime_folder)
        : script_file_(runtime_folder.empty() ? std::filesystem::path()
                                              : runtime_folder / kScriptFile) {}
    ~KWinFocusWatcher() override { stop(); }
    KWinFocusWatcher(const KWinFocusWatcher&) = delete;
    KWinFocusWatcher& operator=(const KWinFocusWatcher&) = delete;

    std::string unavailable_reason() const override { return {}; }

    std::string start(Callback on_focus) override {
        if (receiver_ != nullptr)
            return "The focus watcher is running already.";
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return "There is no session bus, so KWin cannot tell which application has the "
                   "focus.";
        // The bus daemon answers this, not KWin.
        const QString owner = bus.interface()->serviceOwner(QLatin1String(kKWin)).value();
        if (owner.isEmpty())
            return "KWin is not on the session bus, so it cannot tell which application has "
                   "the focus.";
        if (script_file_.empty())
            return "There is no private runtime folder for the KWin script.";
        std::string error;
        if (!write_file_atomically(script_file_, script_text(bus.baseService().toStdString()),
                                   &error))
            return "The KWin script cannot be written: " + error;
        kwin_ = owner;
        on_focus_ = std::move(on_focus);
        last_.reset();
        receiver_ = new FocusReceiver([this](const QString& sender, const QString& resource_class) {
            on_call(sender, resource_class);
        });
        if (!bus.registerObject(QLatin1String(kFocusPath), receiver_,
                                QDBusConnection::ExportAllSlots)) {
            delete receiver_;
            receiver_ = nullptr;
            return "Our focus object cannot be put on the session bus.";
        }
        // A KWin that restarts has forgotten the script: it is loaded again.
        auto* restarts = new QDBusServiceWatcher(
            QLatin1String(kKWin), bus, QDBusServiceWatcher::WatchForOwnerChange, receiver_);
        QObject::connect(restarts, &QDBusServiceWatcher::serviceOwnerChanged, receiver_,
                         [this](const QString&, const QString&, const QString& new_owner) {
                             if (new_owner.isEmpty())
                                 return;
                             kwin_ = new_owner;
                             load_script();
                         });
        load_script();
        return {};
    }

    void stop() override {
        if (receiver_ == nullptr)
            return;
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QLatin1String(kFocusPath));
        QDBusMessage unload = scripting_call("unloadScript");
        unload << QLatin1String(kFocusScriptName);
        bus.send(unload);
        // Its pending calls go with it: no answer is handled once stop() has returned. From
        // inside its own call (a callback that stops us) it is deleted once the call is over.
        qDeleteAll(receiver_->children());
        if (in_call_)
            receiver_->deleteLater();
        else
            delete receiver_;
        receiver_ = nullptr;
        std::error_code ec;
        std::filesystem::remove(script_file_, ec);
    }

  private:
    void load_script() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        // A script of ours left loaded by an earlier run would refuse the name; messages to
        // one destination arrive in order, so the unload is done before the load.
        QDBusMessage unload = scripting_call("unloadScript");
        unload << QLatin1String(kFocusScriptName);
        bus.send(unload);
        QDBusMessage load = scripting_call("loadScript");
        load << QString::fromStdString(script_file_.string()) << QLatin1String(kFocusScriptName);
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(load, kBusTimeoutMs), receiver_);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, receiver_,
                         [this](QDBusPendingCallWatcher* w) {
                             w->deleteLater();
                             const QDBusPendingReply<int> reply = *w;
                             if (reply.isError() || reply.value() < 0) {
                                 debug_printf("focus (KWin): the script is not loaded: %s",
                                              qPrintable(reply.error().message()));
                                 return;
                             }
                             run_script(reply.value(), true);
                         });
    }

    // KWin 6 puts a loaded script at /Scripting/Script<id>, KWin 5 at /<id>.
    void run_script(int id, bool kwin6) {
        const QString path =
            kwin6 ? QStringLiteral("/Scripting/Script%1").arg(id) : QStringLiteral("/%1").arg(id);
        const QDBusMessage run = QDBusMessage::createMethodCall(
            QLatin1String(kKWin), path, QLatin1String(kScriptInterface), QStringLiteral("run"));
        auto* watcher = new QDBusPendingCallWatcher(
            QDBusConnection::sessionBus().asyncCall(run, kBusTimeoutMs), receiver_);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, receiver_,
                         [this, id, kwin6](QDBusPendingCallWatcher* w) {
                             w->deleteLater();
                             if (!w->isError())
                                 return;
                             if (kwin6)
                                 run_script(id, false);
                             else
                                 debug_printf("focus (KWin): the script does not run: %s",
                                              qPrintable(w->error().message()));
                         });
    }

    void on_call(const QString& sender, const QString& resource_class) {
        if (sender != kwin_) {
            debug_printf("focus (KWin): a call from %s, not KWin, ignored", qPrintable(sender));
            return;
        }
        std::string app = desktop::clean_app_id(resource_class.toStdString());
        if (receiver_ == nullptr || last_ == app)
            return;
        last_ = app;
        in_call_ = true;
        on_focus_(desktop::FocusedApp{std::move(app)});
        in_call_ = false;
    }

    std::filesystem::path script_file_;
    QString kwin_;
    Callback on_focus_;
    std::optional<std::string> last_;
    // Our bus object, and the parent of the pending calls and of the watch on KWin's name;
    // present while started.
    FocusReceiver* receiver_ = nullptr;
    bool in_call_ = false;
};

}  // namespace

std::unique_ptr<desktop::FocusWatcher> make_kwin_focus_watcher(
    std::filesystem::path runtime_folder) {
    return std::make_unique<KWinFocusWatcher>(std::move(runtime_folder));
}

}  // namespace velqa::platform::ipc

#include "kwin_focus.moc"
