#include "platform/ipc/program_channel.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/debug_output.h"

namespace velqa::platform::ipc {
namespace {

// Without a bus address QtDBus would try to autolaunch a bus; a program started outside a
// desktop session runs alone instead.
bool bus_address_known() {
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
           !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR");
}

// How often reading is resumed in case a message we did not see (another interface at our path)
// stopped it.
constexpr int kResumePeriodMs = 2000;

}  // namespace

ProgramChannel::ProgramChannel(QString connection_name, QString service)
    : connection_name_(std::move(connection_name)), service_(std::move(service)) {
    if (!bus_address_known())
        return;
    if (connection_name_.isEmpty()) {
        connected_ = QDBusConnection::sessionBus().isConnected();
    } else {
        private_connection_ = true;
        connected_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection_name_)
                         .isConnected();
    }
}

ProgramChannel::~ProgramChannel() {
    if (!connected_)
        return;
    QDBusConnection connection = bus();
    if (role_ == Role::Primary) {
        connection.unregisterObject(kObjectPath);
        connection.unregisterService(service_);
    }
    connection.disconnect(QString(), kObjectPath, kInterface, "Broadcast", this,
                          SLOT(on_broadcast(QString, qlonglong, qlonglong)));
    if (private_connection_)
        QDBusConnection::disconnectFromBus(connection_name_);
}

QDBusConnection ProgramChannel::bus() const {
    return private_connection_ ? QDBusConnection(connection_name_) : QDBusConnection::sessionBus();
}

ProgramChannel::Role ProgramChannel::claim() {
    if (!connected_) {
        debug_output("no session bus: running without the single-instance guard");
        role_ = Role::Alone;
        return role_;
    }
    QDBusConnection connection = bus();
    QDBusConnectionInterface* names = connection.interface();
    if (names == nullptr) {
        role_ = Role::Alone;
        return role_;
    }
    const auto reply = names->registerService(service_, QDBusConnectionInterface::DontQueueService,
                                              QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        role_ = Role::Alone;
        return role_;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        role_ = Role::Secondary;
        return role_;
    }
    role_ = Role::Primary;
    // Adaptors (the scripting interface) share our object path.
    connection.registerObject(
        kObjectPath, this,
        QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportAdaptors);
    connection.connect(QString(), kObjectPath, kInterface, "Broadcast", this,
                       SLOT(on_broadcast(QString, qlonglong, qlonglong)));
    auto* resume = new QTimer(this);
    connect(resume, &QTimer::timeout, this, &ProgramChannel::resume_reading);
    resume->start(kResumePeriodMs);
    return role_;
}

// libdbus stops reading a connection while the messages it has handed out add up to more than
// its limit (63 MiB), and resumes when they are freed. QtDBus frees a message on the thread of
// the object that took it (this one), and a read notifier re-enabled from here is marked enabled
// but never watched again, so one message of 64 MB stopped every later reply for good. After a
// message is freed, the connection's own thread re-registers its read notifier; should libdbus
// still want to wait, its next read disables it again.
void ProgramChannel::resume_reading() {
    if (!connected_)
        return;
    QDBusConnectionInterface* names = bus().interface();
    if (names == nullptr || names->parent() == nullptr)
        return;
    QObject* connection = names->parent();  // lives on the connection's thread, as its notifiers
    QMetaObject::invokeMethod(
        names,
        [connection] {
            const auto notifiers =
                connection->findChildren<QSocketNotifier*>(Qt::FindDirectChildrenOnly);
            for (QSocketNotifier* notifier : notifiers) {
                if (notifier->type() == QSocketNotifier::Read && notifier->isEnabled()) {
                    notifier->setEnabled(false);
                    notifier->setEnabled(true);
                }
            }
        },
        Qt::QueuedConnection);
}

bool ProgramChannel::post_to_primary(const QString& name, qlonglong wparam, qlonglong lparam,
                                     int timeout_ms, QString* error) {
    if (!connected_) {
        if (error != nullptr)
            *error = QStringLiteral("no session bus");
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service_, kObjectPath, kInterface, "Post");
    call << name << wparam << lparam;
    // BlockWithGui keeps this thread's events flowing, so a receiver in the same process (tests)
    // can answer.
    const QDBusMessage reply = bus().call(call, QDBus::BlockWithGui, timeout_ms);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    if (error != nullptr)
        *error = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return false;
}

bool ProgramChannel::broadcast(const QString& name, qlonglong wparam, qlonglong lparam) {
    if (!connected_)
        return false;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, kInterface, "Broadcast");
    signal << name << wparam << lparam;
    return bus().send(signal);
}

bool ProgramChannel::broadcast_data(quint32 kind, const QByteArray& data) {
    if (!connected_)
        return false;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, kInterface, "Data");
    signal << kind << data;
    return bus().send(signal);
}

void ProgramChannel::Post(const QString& name, qlonglong wparam, qlonglong lparam) {
    // The message is freed once this returns; reading resumes after that.
    QMetaObject::invokeMethod(this, &ProgramChannel::resume_reading, Qt::QueuedConnection);
    if (name.isEmpty() || name.size() > kMaxMessageName) {
        if (calledFromDBus()) {
            sendErrorReply(
                kRefusedError,
                QStringLiteral("a message name has 1 to %1 characters").arg(kMaxMessageName));
        }
        return;
    }
    if (receiver_)
        receiver_(name, wparam, lparam);
}

void ProgramChannel::CopyData(uint kind, const QByteArray& data) {
    QMetaObject::invokeMethod(this, &ProgramChannel::resume_reading, Qt::QueuedConnection);
    if (data.isEmpty() || static_cast<std::size_t>(data.size()) > max_block_) {
        if (calledFromDBus()) {
            sendErrorReply(kRefusedError,
                           QStringLiteral("a data block has 1 to %1 bytes").arg(max_block_));
        }
        return;
    }
    if (data_receiver_)
        data_receiver_(kind, data);
}

void ProgramChannel::on_broadcast(const QString& name, qlonglong wparam, qlonglong lparam) {
    QMetaObject::invokeMethod(this, &ProgramChannel::resume_reading, Qt::QueuedConnection);
    if (name.isEmpty() || name.size() > kMaxMessageName)
        return;
    if (receiver_)
        receiver_(name, wparam, lparam);
}

}  // namespace velqa::platform::ipc
