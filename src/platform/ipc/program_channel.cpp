#include "platform/ipc/program_channel.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "platform/debug_output.h"

namespace velqa::platform::ipc {
namespace {

// Without a bus address QtDBus would try to autolaunch a bus; a program started outside a
// desktop session runs alone instead.
bool bus_address_known() {
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
           !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR");
}

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
    return role_;
}

bool ProgramChannel::post_to_primary(const QString& name, qlonglong wparam, qlonglong lparam,
                                     int timeout_ms) {
    if (!connected_)
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(service_, kObjectPath, kInterface, "Post");
    call << name << wparam << lparam;
    // BlockWithGui keeps this thread's events flowing, so a receiver in the same process (tests)
    // can answer.
    const QDBusMessage reply = bus().call(call, QDBus::BlockWithGui, timeout_ms);
    return reply.type() == QDBusMessage::ReplyMessage;
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
    if (receiver_)
        receiver_(name, wparam, lparam);
}

void ProgramChannel::CopyData(uint kind, const QByteArray& data) {
    if (data_receiver_)
        data_receiver_(kind, data);
}

void ProgramChannel::on_broadcast(const QString& name, qlonglong wparam, qlonglong lparam) {
    if (receiver_)
        receiver_(name, wparam, lparam);
}

}  // namespace velqa::platform::ipc
