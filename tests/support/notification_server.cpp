#include "support/notification_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>

#include <atomic>
#include <fstream>

namespace velqa::test {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";

// A session-type bus that allows everything and activates nothing: a name nobody owns fails at
// once instead of starting a real notification daemon.
constexpr char kConfig[] =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

}  // namespace

PrivateBus::PrivateBus(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    const auto config = dir / "bus.conf";
    std::ofstream(config) << kConfig;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return;
    const std::string config_arg = "--config-file=" + config.string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execlp("dbus-daemon", "dbus-daemon", "--nofork", "--print-address=1", config_arg.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        return;
    }
    pid_ = pid;
    // The daemon prints its address once it listens.
    std::string text;
    char chunk[256];
    pollfd pfd{out[0], POLLIN, 0};
    while (text.find('\n') == std::string::npos && ::poll(&pfd, 1, 10000) > 0) {
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        text.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    address_ = QString::fromStdString(text).trimmed();
}

PrivateBus::~PrivateBus() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
}

class NotificationServer::Object : public QDBusVirtualObject {
  public:
    explicit Object(NotificationServer& server) : server_(server) {}

    QString introspect(const QString&) const override {
        return QStringLiteral(
            "<interface name=\"org.freedesktop.Notifications\">"
            "<method name=\"Notify\"><arg type=\"s\" direction=\"in\"/>"
            "<arg type=\"u\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/>"
            "<arg type=\"s\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/>"
            "<arg type=\"as\" direction=\"in\"/><arg type=\"a{sv}\" direction=\"in\"/>"
            "<arg type=\"i\" direction=\"in\"/><arg type=\"u\" direction=\"out\"/></method>"
            "</interface>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != QLatin1String(kInterface) ||
            message.member() != QLatin1String("Notify") || message.signature() != "susssasa{sv}i") {
            return false;
        }
        const QList<QVariant> args = message.arguments();
        NotifyCall call;
        call.app_name = args[0].toString();
        call.replaces_id = args[1].toUInt();
        call.icon = args[2].toString();
        call.summary = args[3].toString();
        call.body = args[4].toString();
        call.actions = qdbus_cast<QStringList>(args[5]);
        call.hints = qdbus_cast<QVariantMap>(args[6]);
        call.timeout = args[7].toInt();
        uint id = 0;
        server_.record(std::move(call), id);
        connection.send(message.createReply(QVariant::fromValue(id)));
        return true;
    }

  private:
    NotificationServer& server_;
};

NotificationServer::NotificationServer(const QString& address) : object_(new Object(*this)) {
    static std::atomic<int> serial{0};
    connection_name_ = QStringLiteral("velqa-test-notifications-%1").arg(++serial);
    QDBusConnection bus = QDBusConnection::connectToBus(address, connection_name_);
    registered_ = bus.isConnected() &&
                  bus.registerVirtualObject(QLatin1String(kPath), object_.get()) &&
                  bus.registerService(QLatin1String(kService));
}

NotificationServer::~NotificationServer() {
    QDBusConnection bus(connection_name_);
    bus.unregisterObject(QLatin1String(kPath));
    QDBusConnection::disconnectFromBus(connection_name_);
}

void NotificationServer::record(NotifyCall call, uint& id) {
    std::lock_guard lock(mutex_);
    id = call.replaces_id != 0 ? call.replaces_id : next_id_++;
    calls_.push_back(std::move(call));
}

std::vector<NotifyCall> NotificationServer::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::size_t NotificationServer::count() const {
    std::lock_guard lock(mutex_);
    return calls_.size();
}

}  // namespace velqa::test
