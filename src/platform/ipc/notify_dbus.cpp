// The desktop backend of the notification seam: org.freedesktop.Notifications on a D-Bus bus.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <atomic>
#include <map>
#include <optional>

#include "platform/debug_output.h"
#include "platform/ipc/notify.h"

namespace velqa::platform {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";

QDBusConnection open_bus(const std::string& address, QString& private_name) {
    if (address.empty())
        return QDBusConnection::sessionBus();
    // Each notifier on a private bus gets its own connection name, so two never share one.
    static std::atomic<int> serial{0};
    private_name = QStringLiteral("velqa-notify-%1").arg(++serial);
    return QDBusConnection::connectToBus(QString::fromStdString(address), private_name);
}

class DbusNotifier final : public Notifier {
  public:
    DbusNotifier(const std::string& app_name, const std::string& bus_address)
        : app_name_(QString::fromStdString(app_name)), bus_(open_bus(bus_address, private_name_)) {}
    ~DbusNotifier() override {
        // Pending answers die with the context before the connection goes.
        delete context_;
        if (!private_name_.isEmpty())
            QDBusConnection::disconnectFromBus(private_name_);
    }

    bool notify(const DesktopNotice& notice) override {
        if (!bus_.isConnected()) {
            log_once("no D-Bus session bus: " + bus_.lastError().message().toStdString());
            return false;
        }
        if (!notice.tag.empty()) {
            Tagged& tagged = tags_[notice.tag];
            // The id to replace is in the answer still on its way: wait for it, or the desktop
            // would show both. Only the newest waiting notice matters.
            if (tagged.pending) {
                tagged.queued = notice;
                return true;
            }
            tagged.pending = true;
        }
        send(notice);
        return true;
    }

  private:
    struct Tagged {
        uint id = 0;  // the desktop's id of the last notice shown
        bool pending = false;
        std::optional<DesktopNotice> queued;
    };

    void send(const DesktopNotice& notice) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                           QLatin1String(kInterface), QStringLiteral("Notify"));
        const uint replaces = notice.tag.empty() ? 0u : tags_[notice.tag].id;
        QVariantMap hints;
        hints.insert(QStringLiteral("urgency"),
                     QVariant::fromValue(static_cast<uchar>(notice.urgency)));
        hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("velqa"));
        hints.insert(QStringLiteral("category"), QStringLiteral("device"));
        call << app_name_ << replaces << QStringLiteral("velqa")
             << QString::fromStdString(notice.summary) << QString::fromStdString(notice.body)
             << QStringList() << hints << static_cast<qint32>(notice.timeout_ms);

        auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), context_);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context_,
                         [this, tag = notice.tag](QDBusPendingCallWatcher* w) {
                             answered(tag, *w);
                             w->deleteLater();
                         });
    }

    void answered(const std::string& tag, const QDBusPendingReply<uint>& reply) {
        if (reply.isError()) {
            log_once("desktop notifications unavailable: " + reply.error().message().toStdString());
        }
        if (tag.empty())
            return;
        Tagged& tagged = tags_[tag];
        if (!reply.isError())
            tagged.id = reply.value();
        tagged.pending = false;
        if (tagged.queued) {
            const DesktopNotice next = *tagged.queued;
            tagged.queued.reset();
            tagged.pending = true;
            send(next);
        }
    }

    // A desktop without the service stays without it: one line says so, not one per notice.
    void log_once(const std::string& why) {
        if (logged_)
            return;
        logged_ = true;
        debug_printf("notify: %s\n", why.c_str());
    }

    QString app_name_;
    QString private_name_;
    QDBusConnection bus_;
    QObject* context_ = new QObject;
    std::map<std::string, Tagged> tags_;
    bool logged_ = false;
};

}  // namespace

std::unique_ptr<Notifier> make_desktop_notifier(const std::string& app_name,
                                                const std::string& bus_address) {
    return std::make_unique<DbusNotifier>(app_name, bus_address);
}

}  // namespace velqa::platform
