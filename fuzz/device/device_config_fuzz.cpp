// The device configurations ("DeviceConfig.json", "KeyboardDevice.json", devices/*.json): any
// bytes give a non-zero vendor ID or none, keyboard identifiers with a short product string or
// none, a device with its page layout or none, never a crash or a throw.
#include <cstdlib>

#include "device/link/supported_devices.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto file = velqa::fuzz::scratch_folder("device-config") / "DeviceConfig.json";
    velqa::fuzz::put_bytes(file, data, size);
    const auto id = velqa::link::read_maker_vendor_id(file);
    if (id && *id == 0)
        std::abort();
    const auto keyboard = velqa::link::read_keyboard_ids(file);
    if (keyboard && keyboard->product_string.size() > 126)
        std::abort();
    const auto model = velqa::link::read_device_model(file);
    if (model && (model->page_layout.empty() || model->links.empty()))
        std::abort();
    return 0;
}
