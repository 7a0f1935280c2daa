#include "platform/ipc/sleep_monitor.h"

#include <QDBusConnection>

#include "platform/debug_output.h"

namespace velqa::platform::ipc {

SleepMonitor::SleepMonitor(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        debug_output("no system bus: sleep and resume are not seen, the program stays awake");
        return;
    }
    listening_ = bus.connect(kLoginService, kLoginPath, kLoginInterface, "PrepareForSleep", this,
                             SLOT(on_prepare_for_sleep(bool)));
    if (!listening_)
        debug_output("cannot subscribe to PrepareForSleep: the program stays awake");
}

SleepMonitor::~SleepMonitor() {
    if (listening_) {
        QDBusConnection::systemBus().disconnect(kLoginService, kLoginPath, kLoginInterface,
                                                "PrepareForSleep", this,
                                                SLOT(on_prepare_for_sleep(bool)));
    }
}

void SleepMonitor::on_prepare_for_sleep(bool asleep) {
    emit sleeping(asleep);
}

}  // namespace velqa::platform::ipc
