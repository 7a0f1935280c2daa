// Messages with other programs over the D-Bus session bus. Owning the well-known name guards the
// single instance; named messages travel as the method "Post" (to the running instance) and the
// signal "Broadcast" (to every program listening) of one interface. Data blocks travel as the
// method "CopyData" (to us) and the signal "Data" (our replies). Without a session bus the program
// runs alone and every send is a no-op that reports false.
//
// Any program of the session may call us, so what a caller can make us keep is bounded: message
// names and data blocks past their limits are refused with a D-Bus error and never reach the
// receivers, and a large message never stops the connection from reading.
#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>

namespace velqa::platform::ipc {

inline constexpr char kServiceName[] = "com.zarn.VelqaR260";
inline constexpr char kObjectPath[] = "/com/zarn/VelqaR260";
inline constexpr char kInterface[] = "com.zarn.VelqaR260.Messages";

// The longest message name we take, in characters; longer ones are refused.
inline constexpr int kMaxMessageName = 256;
// The largest data block CopyData takes unless the receiver asks for less.
inline constexpr std::size_t kMaxDataBlock = 64 * 1024;
// The D-Bus error a refused message or block gets.
inline constexpr char kRefusedError[] = "com.zarn.VelqaR260.Error.Refused";

class ProgramChannel : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.zarn.VelqaR260.Messages")

  public:
    enum class Role {
        Primary,    // owns the name: the one running instance
        Secondary,  // another instance owns the name
        Alone,      // no session bus: runs without single-instance guard
    };

    // `connection_name` selects a private bus connection (tests use two in one process);
    // empty uses the process's session-bus connection. `service` overrides the well-known name.
    explicit ProgramChannel(QString connection_name = {}, QString service = kServiceName);
    ~ProgramChannel() override;

    // Tries to own the well-known name and, as Primary, starts receiving. The object is exported
    // with its QDBusAbstractAdaptor children: create those before claiming.
    Role claim();
    Role role() const { return role_; }

    // Asks the running instance to handle a message; waits for its answer while the event loop
    // runs. False without a bus or a running instance, or after `timeout_ms`; `error` (may be
    // null) then says why.
    bool post_to_primary(const QString& name, qlonglong wparam, qlonglong lparam,
                         int timeout_ms = 3000, QString* error = nullptr);
    // Sends the message to every program that listens (this one included). False without a bus.
    bool broadcast(const QString& name, qlonglong wparam, qlonglong lparam);

    // Sends a data block (the reply to a program that asked us for one) as the signal "Data" to
    // every program that listens. False without a bus.
    bool broadcast_data(quint32 kind, const QByteArray& data);

    using Receiver = std::function<void(const QString& name, qlonglong wparam, qlonglong lparam)>;
    // Called on this object's thread for every message posted to us or broadcast on the bus
    // whose name has at most kMaxMessageName characters.
    void set_receiver(Receiver receiver) { receiver_ = std::move(receiver); }

    using DataReceiver = std::function<void(quint32 kind, const QByteArray& data)>;
    // Called on this object's thread for every data block sent to us with CopyData of 1 to
    // `max_block` bytes (at most kMaxDataBlock); others are refused with an error to the caller.
    // Copy the block with copy_data_block into a buffer of fixed size.
    void set_data_receiver(DataReceiver receiver, std::size_t max_block = kMaxDataBlock) {
        data_receiver_ = std::move(receiver);
        max_block_ = std::min(max_block, kMaxDataBlock);
    }

  public slots:
    Q_SCRIPTABLE void Post(const QString& name, qlonglong wparam, qlonglong lparam);
    Q_SCRIPTABLE void CopyData(uint kind, const QByteArray& data);

  private slots:
    void on_broadcast(const QString& name, qlonglong wparam, qlonglong lparam);

  private:
    QDBusConnection bus() const;
    // Makes the bus connection read again after a large message (see the source).
    void resume_reading();

    QString connection_name_;
    QString service_;
    bool private_connection_ = false;
    bool connected_ = false;
    Role role_ = Role::Alone;
    Receiver receiver_;
    DataReceiver data_receiver_;
    std::size_t max_block_ = kMaxDataBlock;
};

}  // namespace velqa::platform::ipc
