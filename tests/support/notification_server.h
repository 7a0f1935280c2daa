// A private D-Bus bus for a test, and a stand-in for the desktop's notification service on it
// that records every Notify call.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

namespace velqa::test {

// A dbus-daemon of the test's own, with no services to activate, removed afterwards. It is
// started with fork and exec rather than QProcess: Qt's vfork-style start runs the child in our
// address space behind ThreadSanitizer's back, which then loses track of this thread's locks.
class PrivateBus {
  public:
    // Starts the daemon with its configuration in `dir`; address() is empty when it failed.
    explicit PrivateBus(const std::filesystem::path& dir);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& address() const { return address_; }

  private:
    int pid_ = -1;
    QString address_;
};

struct NotifyCall {
    QString app_name;
    uint replaces_id = 0;
    QString icon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int timeout = 0;
};

// Owns org.freedesktop.Notifications on the bus at `address` and answers Notify with a fresh id
// (or the id it replaces). Calls arrive on the thread with the event loop.
class NotificationServer {
  public:
    explicit NotificationServer(const QString& address);
    ~NotificationServer();
    NotificationServer(const NotificationServer&) = delete;
    NotificationServer& operator=(const NotificationServer&) = delete;

    // False when the bus could not be reached or the name was taken.
    bool registered() const { return registered_; }
    std::vector<NotifyCall> calls() const;
    std::size_t count() const;

    class Object;

  private:
    void record(NotifyCall call, uint& id);

    QString connection_name_;
    std::unique_ptr<Object> object_;
    bool registered_ = false;
    mutable std::mutex mutex_;
    std::vector<NotifyCall> calls_;
    uint next_id_ = 1;
};

}  // namespace velqa::test
