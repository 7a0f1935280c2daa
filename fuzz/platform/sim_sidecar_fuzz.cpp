// The simulator's node sidecars: any bytes read as a node or as none, never a crash or a throw;
// what is read survives a write and a second read unchanged.
#include <cstdlib>

#include "platform/hid/sim_backend.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velqa::platform::hid;
    const auto file = velqa::fuzz::scratch_folder("sidecar") / "node-if1.json";
    velqa::fuzz::put_bytes(file, data, size);
    const auto info = read_sim_sidecar(file);
    if (!info)
        return 0;
    const std::string text = sim_sidecar_text(*info);
    velqa::fuzz::put_bytes(file, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    const auto again = read_sim_sidecar(file);
    if (!again || again->vendor_id != info->vendor_id || again->product_id != info->product_id ||
        again->interface_number != info->interface_number || again->product != info->product ||
        again->descriptor != info->descriptor) {
        std::abort();
    }
    return 0;
}
