#include "platform/ipc/kwin_focus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QTimer>
#include <QUuid>
#include <QXmlStreamReader>
#include <functional>
#include <optional>
#include <set>
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

constexpr char kNotStarted[] =
    "KWin does not run our focus script, so profiles cannot follow the focused application.";
constexpr char kKWinGone[] =
    "KWin has left the session bus, so profiles do not follow the focused application until it "
    "is back.";

// KWin 6 names the active window workspace.activeWindow and signals windowActivated; KWin 5
// says client instead of window. `service` is our connection's unique name; `token` tells this
// load of the script from any other object KWin might run in its place.
std::string script_text(const std::string& service, const std::string& token) {
    return "// Tells velqa which application has the focus, for its per-application profiles.\n"
           "var service = \"" +
           service + "\";\nvar path = \"" + kFocusPath + "\";\nvar iface = \"" + kFocusInterface +
           "\";\nvar token = \"" + token +
           "\";\n"
           "function report(window) {\n"
           "    callDBus(service, path, iface, \"focusChanged\",\n"
           "             window ? String(window.resourceClass) : \"\");\n"
           "}\n"
           "callDBus(service, path, iface, \"scriptStarted\", token);\n"
           "if (workspace.windowActivated !== undefined) {\n"
           "    workspace.windowActivated.connect(report);\n"
           "    report(workspace.activeWindow);\n"
           "} else {\n"
           "    workspace.clientActivated.connect(report);\n"
           "    report(workspace.activeClient);\n"
           "}\n";
}

QString script_name(int index) {
    return index == 0 ? QLatin1String(kFocusScriptName)
                      : QStringLiteral("%1_%2").arg(QLatin1String(kFocusScriptName)).arg(index + 1);
}

QDBusMessage scripting_call(const char* member) {
    return QDBusMessage::createMethodCall(QLatin1String(kKWin), QLatin1String(kScripting),
                                          QLatin1String(kScriptingInterface),
                                          QLatin1String(member));
}

// The names of the child nodes in an introspection answer.
QStringList child_nodes(const QString& xml) {
    QStringList names;
    QXmlStreamReader reader(xml);
    int depth = 0;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (depth == 2 && reader.name() == QLatin1String("node"))
                names << reader.attributes().value(QLatin1String("name")).toString();
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    return names;
}

// The object the script calls.
class FocusReceiver : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.zarn.VelqaR260.Focus")

  public:
    using Handler = std::function<void(const QString& sender, const QString& text)>;
    FocusReceiver(Handler on_started, Handler on_focus)
        : on_started_(std::move(on_started)), on_focus_(std::move(on_focus)) {}

  public slots:
    void scriptStarted(const QString& token) { on_started_(message().service(), token); }
    void focusChanged(const QString& resource_class) {
        on_focus_(message().service(), resource_class);
    }

  private:
    Handler on_started_;
    Handler on_focus_;
};

class KWinFocusWatcher final : public desktop::FocusWatcher {
  public:
    KWinFocusWatcher(std::filesystem::path runtime_folder, std::chrono::milliseconds handshake)
        : script_file_(runtime_folder.empty() ? std::filesystem::path()
                                              : runtime_folder / kScriptFile),
          handshake_(handshake) {}
    ~KWinFocusWatcher() override { stop(); }
    KWinFocusWatcher(const KWinFocusWatcher&) = delete;
    KWinFocusWatcher& operator=(const KWinFocusWatcher&) = delete;

    std::string unavailable_reason() const override { return {}; }

    std::string start(Callback on_focus, StatusCallback on_status) override {
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
        kwin_ = owner;
        on_focus_ = std::move(on_focus);
        on_status_ = std::move(on_status);
        last_.reset();
        receiver_ = new FocusReceiver(
            [this](const QString& sender, const QString& token) { on_started(sender, token); },
            [this](const QString& sender, const QString& resource_class) {
                on_call(sender, resource_class);
            });
        if (!bus.registerObject(QLatin1String(kFocusPath), receiver_,
                                QDBusConnection::ExportAllSlots)) {
            delete receiver_;
            receiver_ = nullptr;
            return "Our focus object cannot be put on the session bus.";
        }
        handshake_timer_ = new QTimer(receiver_);
        handshake_timer_->setSingleShot(true);
        QObject::connect(handshake_timer_, &QTimer::timeout, receiver_, [this] {
            debug_printf(
                "focus (KWin): script %s did not call back: the object run was "
                "another's",
                qPrintable(script_name(name_index_)));
            ++name_index_;
            attempt();
        });
        // A KWin that restarts has forgotten the script: it is loaded again.
        auto* restarts = new QDBusServiceWatcher(
            QLatin1String(kKWin), bus, QDBusServiceWatcher::WatchForOwnerChange, receiver_);
        QObject::connect(restarts, &QDBusServiceWatcher::serviceOwnerChanged, receiver_,
                         [this](const QString&, const QString&, const QString& new_owner) {
                             loaded_.clear();
                             if (new_owner.isEmpty()) {
                                 ++generation_;
                                 handshake_timer_->stop();
                                 status(kKWinGone);
                                 return;
                             }
                             kwin_ = new_owner;
                             load_script();
                         });
        // Scripts of ours that an earlier run left loaded would refuse the names. Messages to
        // one destination arrive in order, so these are done before the loads.
        for (int i = 0; i < kFocusScriptNames; ++i)
            unload(script_name(i));
        load_script();
        return {};
    }

    void stop() override {
        if (receiver_ == nullptr)
            return;
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QLatin1String(kFocusPath));
        for (const QString& name : loaded_)
            unload(name);
        loaded_.clear();
        ++generation_;
        // Its pending calls and timer go with it: no answer is handled once stop() has
        // returned. From inside its own call (a callback that stops us) it is deleted once the
        // call is over.
        qDeleteAll(receiver_->children());
        handshake_timer_ = nullptr;
        if (in_call_)
            receiver_->deleteLater();
        else
            delete receiver_;
        receiver_ = nullptr;
        std::error_code ec;
        std::filesystem::remove(script_file_, ec);
    }

  private:
    void status(const char* reason) {
        if (reason[0] != '\0')
            debug_printf("focus (KWin): %s", reason);
        if (on_status_)
            on_status_(reason);
    }

    static void unload(const QString& name) {
        QDBusMessage call = scripting_call("unloadScript");
        call << name;
        QDBusConnection::sessionBus().send(call);
    }

    // `then` runs with the answer unless the watcher moved on (stopped, KWin gone, a new load).
    void call(const QDBusMessage& message,
              std::function<void(const QDBusPendingCallWatcher&)> then) {
        auto* watcher = new QDBusPendingCallWatcher(
            QDBusConnection::sessionBus().asyncCall(message, kBusTimeoutMs), receiver_);
        QObject::connect(
            watcher, &QDBusPendingCallWatcher::finished, receiver_,
            [this, gen = generation_, then = std::move(then)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (gen == generation_)
                    then(*w);
            });
    }

    void load_script() {
        ++generation_;
        handshake_timer_->stop();
        confirmed_ = false;
        name_index_ = 0;
        attempt();
    }

    // Which script objects exist before the load (KWin 5 puts them at /<id>, KWin 6 at
    // /Scripting/Script<id>): an id we are given whose object is there already is another
    // script's.
    void attempt() {
        if (name_index_ >= kFocusScriptNames) {
            status(kNotStarted);
            return;
        }
        taken_.clear();
        const QString root = QStringLiteral("/");
        call(
            QDBusMessage::createMethodCall(QLatin1String(kKWin), root,
                                           QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                           QStringLiteral("Introspect")),
            [this](const QDBusPendingCallWatcher& w) {
                const QDBusPendingReply<QString> reply = w;
                for (const QString& node : child_nodes(reply.isError() ? QString() : reply.value()))
                    taken_.insert(QLatin1Char('/') + node);
                call(QDBusMessage::createMethodCall(
                         QLatin1String(kKWin), QLatin1String(kScripting),
                         QStringLiteral("org.freedesktop.DBus.Introspectable"),
                         QStringLiteral("Introspect")),
                     [this](const QDBusPendingCallWatcher& w2) {
                         const QDBusPendingReply<QString> more = w2;
                         for (const QString& node :
                              child_nodes(more.isError() ? QString() : more.value()))
                             taken_.insert(QLatin1String(kScripting) + QLatin1Char('/') + node);
                         load(script_name(name_index_));
                     });
            });
    }

    void load(const QString& name) {
        token_ = QUuid::createUuid().toString(QUuid::WithoutBraces);
        const std::string service = QDBusConnection::sessionBus().baseService().toStdString();
        std::string error;
        if (!write_file_atomically(script_file_, script_text(service, token_.toStdString()),
                                   &error)) {
            debug_printf("focus (KWin): the script cannot be written: %s", error.c_str());
            status(kNotStarted);
            return;
        }
        QDBusMessage message = scripting_call("loadScript");
        message << QString::fromStdString(script_file_.string()) << name;
        call(message, [this, name](const QDBusPendingCallWatcher& w) {
            const QDBusPendingReply<int> reply = w;
            if (reply.isError()) {
                debug_printf("focus (KWin): the script is not loaded: %s",
                             qPrintable(reply.error().message()));
                status(kNotStarted);
                return;
            }
            const int id = reply.value();
            if (id < 0) {
                // The name is in use (a leftover not yet gone): the next one.
                debug_printf("focus (KWin): KWin refuses the name %s", qPrintable(name));
                ++name_index_;
                attempt();
                return;
            }
            loaded_ << name;
            if (taken_.count(QStringLiteral("/%1").arg(id)) != 0 ||
                taken_.count(
                    QStringLiteral("%1/Script%2").arg(QLatin1String(kScripting)).arg(id)) != 0) {
                // Ours stays loaded: holding a place in KWin's list, it makes the next load's
                // id one more.
                debug_printf("focus (KWin): id %d of %s is another script's; loading again", id,
                             qPrintable(name));
                ++name_index_;
                attempt();
                return;
            }
            run(id, true);
        });
    }

    // KWin 6 puts a loaded script at /Scripting/Script<id>, KWin 5 at /<id>.
    void run(int id, bool kwin6) {
        const QString path =
            kwin6 ? QStringLiteral("%1/Script%2").arg(QLatin1String(kScripting)).arg(id)
                  : QStringLiteral("/%1").arg(id);
        call(QDBusMessage::createMethodCall(QLatin1String(kKWin), path,
                                            QLatin1String(kScriptInterface), QStringLiteral("run")),
             [this, id, kwin6](const QDBusPendingCallWatcher& w) {
                 if (!w.isError()) {
                     if (!confirmed_)
                         handshake_timer_->start(handshake_);
                     return;
                 }
                 if (kwin6) {
                     run(id, false);
                     return;
                 }
                 debug_printf("focus (KWin): the script does not run: %s",
                              qPrintable(w.error().message()));
                 status(kNotStarted);
             });
    }

    void on_started(const QString& sender, const QString& token) {
        if (sender != kwin_ || token != token_ || receiver_ == nullptr) {
            debug_printf("focus (KWin): a start call from %s that is not our script's, ignored",
                         qPrintable(sender));
            return;
        }
        handshake_timer_->stop();
        confirmed_ = true;
        status("");
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
    std::chrono::milliseconds handshake_;
    QString kwin_;
    Callback on_focus_;
    StatusCallback on_status_;
    std::optional<std::string> last_;
    // Our bus object, and the parent of the pending calls, the handshake timer and the watch
    // on KWin's name; present while started.
    FocusReceiver* receiver_ = nullptr;
    QTimer* handshake_timer_ = nullptr;
    bool in_call_ = false;
    // The load under way: answers to an earlier one are dropped.
    int generation_ = 0;
    int name_index_ = 0;
    QString token_;
    bool confirmed_ = false;
    std::set<QString> taken_;  // script objects that were there before our load
    QStringList loaded_;       // the names we loaded into this KWin
};

}  // namespace

std::unique_ptr<desktop::FocusWatcher> make_kwin_focus_watcher(
    std::filesystem::path runtime_folder, std::chrono::milliseconds handshake) {
    return std::make_unique<KWinFocusWatcher>(std::move(runtime_folder), handshake);
}

}  // namespace velqa::platform::ipc

#include "kwin_focus.moc"
