// The sensors of the shipped mice, apart from shipped_devices.h so that link-only tests need no
// profile layer.
#pragma once

#include "device/model/mouse_settings.h"
#include "support/shipped_devices.h"

namespace velqa::test {

// As the programs hand them to profile import.
inline profile::SensorTable shipped_sensors() {
    return model::sensor_table(shipped_devices());
}

}  // namespace velqa::test
