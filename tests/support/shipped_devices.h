// The devices the program ships, read from the source tree's DefaultData/devices.
#pragma once

#include <cstdint>

#include "device/link/supported_devices.h"
#include "support/temp_dir.h"

namespace velqa::test {

inline link::DeviceCatalog shipped_devices(std::uint16_t maker = link::DefaultMakerVendorId,
                                           const link::KeyboardIds& keyboard = {}) {
    return link::load_device_catalog(source_dir() / "DefaultData" / "devices", {maker, keyboard})
        .catalog;
}

inline link::SupportedDeviceTable shipped_interfaces(std::uint16_t maker,
                                                     const link::KeyboardIds& keyboard = {}) {
    return shipped_devices(maker, keyboard).interfaces();
}

// With the shipped maker ID and no keyboard; kept for the life of the test program, since scan
// threads hold on to the table they are given.
inline const link::SupportedDeviceTable& shipped_interfaces() {
    static const link::SupportedDeviceTable table = shipped_devices().interfaces();
    return table;
}

}  // namespace velqa::test
