// "Language.config": any bytes give a language list and an index inside it (or 0), never a
// crash or a throw.
#include <cstdlib>

#include "app/startup.h"
#include "platform/ui/settings_store.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& folder = velqa::fuzz::scratch_folder("language");
    velqa::fuzz::put_bytes(folder / "Language.config", data, size);
    const auto entries = velqa::app::read_language_config(folder);
    const velqa::platform::SettingsStore store(
        QString::fromStdString((folder / "no-such-store.conf").string()));
    const int index = velqa::app::read_language_index(store, folder);
    if (index < 0 || (index > 0 && static_cast<size_t>(index) >= entries.size()))
        std::abort();
    return 0;
}
