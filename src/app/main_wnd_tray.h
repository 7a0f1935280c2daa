// The main window's battery watch behind the tray icon: where notices go and each mouse page's
// once-per-discharge state.
#pragma once

#include <QObject>
#include <map>
#include <memory>

#include "app/battery_watch.h"
#include "platform/ipc/notify.h"

namespace velqa::app {

struct TrayBattery {
    std::unique_ptr<platform::Notifier> notifier;    // made on the first notice unless set
    std::map<const QObject*, LowBatteryRule> rules;  // by mouse page
};

}  // namespace velqa::app
