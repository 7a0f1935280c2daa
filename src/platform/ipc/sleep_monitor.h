// Sleep and resume of the machine, from the login manager's "PrepareForSleep" signal on the
// system bus. Without a system bus (or without a login manager) it never reports anything: the
// program then behaves as always awake.
#pragma once

#include <QObject>

namespace velqa::platform::ipc {

inline constexpr char kLoginService[] = "org.freedesktop.login1";
inline constexpr char kLoginPath[] = "/org/freedesktop/login1";
inline constexpr char kLoginInterface[] = "org.freedesktop.login1.Manager";

class SleepMonitor : public QObject {
    Q_OBJECT

  public:
    explicit SleepMonitor(QObject* parent = nullptr);
    ~SleepMonitor() override;

    // True while the system bus is there and the signal is subscribed.
    bool listening() const { return listening_; }

  signals:
    // true: the machine is about to sleep; false: it has resumed. On this object's thread.
    void sleeping(bool asleep);

  private slots:
    void on_prepare_for_sleep(bool asleep);

  private:
    bool listening_ = false;
};

}  // namespace velqa::platform::ipc
