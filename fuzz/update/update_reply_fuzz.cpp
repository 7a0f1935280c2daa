// The update server's reply and the update files: any bytes, read as a reply (for a
// hexadecimal and a decimal item), as "UpdateConfig.json" and as "updatetime.config", give a
// result or a refusal, never a crash or a throw.
#include <cstdlib>
#include <string_view>

#include "scratch_file.h"
#include "update/update_client.h"
#include "update/update_config.h"
#include "update/update_flow.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const bool hex : {true, false}) {
        const auto r = velqa::update::parse_update_reply(bytes, 0x0106, hex);
        if (r.status != 0 && r.status != velqa::update::StatusNewer &&
            r.status != velqa::update::StatusUpToDate) {
            std::abort();
        }
    }
    const auto folder = velqa::fuzz::scratch_folder("update");
    velqa::fuzz::put_bytes(folder / "UpdateConfig.json", data, size);
    velqa::update::UpdateConfig config;
    if (velqa::update::load_update_config(folder / "UpdateConfig.json", config)) {
        for (const auto& item : config.items) {
            const std::string name = velqa::update::package_file_name(item);
            if (!name.empty() && !velqa::platform::http::plain_file_name(name))
                std::abort();
        }
    }
    velqa::fuzz::put_bytes(folder / "updatetime.config", data, size);
    (void)velqa::update::read_last_check(folder / "updatetime.config");
    return 0;
}
