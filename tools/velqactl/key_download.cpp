#include "key_download.h"

#include <cstdio>
#include <numeric>

#include "macro/key_assignment.h"
#include "macro/macro_files.h"
#include "mouse_link.h"
#include "platform/folders.h"

namespace velqa::ctl {

std::filesystem::path mouse_macro_folder() {
    return platform::user_data_folder("mouse");
}

macro::KeyPositions mouse_key_positions(std::size_t key_count) {
    macro::KeyPositions positions(key_count);
    std::iota(positions.begin(), positions.end(), 0);
    return positions;
}

int write_keys_and_macros(MouseSession& session, const std::vector<profile::KeyAssignment>& keys) {
    macro::MacroLibrary library(mouse_macro_folder());
    library.load();
    const int key_count = session.core().info().key_count;
    const macro::KeyPositions positions = mouse_key_positions(keys.size());
    std::vector<int> used = macro::collect_used_macros(keys, positions, key_count, library.size());

    const int macros = macro::download_macros(session.channel(), library.folder(), used);
    if (macros > 0) {
        // "message_text_16": nothing was written, the key table neither.
        std::fprintf(stderr,
                     "velqactl: the macros on the buttons do not fit the mouse's macro memory "
                     "(%d events too many); nothing was written\n",
                     macros);
        return Failed;
    }
    if (macros < 0) {
        std::fprintf(stderr,
                     "velqactl: writing the macros failed; the key table was not written\n");
        return fail(session.channel(), "writing the macros", macros);
    }
    const auto& tables = session.core().key_tables();
    const std::span<const std::uint8_t> last_read(tables.data(),
                                                  static_cast<std::size_t>(key_count) * 3);
    const int rc = macro::download_key_table(session.channel(), last_read, keys, positions,
                                             library.size(), used);
    if (rc != link::result::Success)
        return fail(session.channel(), "writing the key table", rc);
    return Success;
}

}  // namespace velqa::ctl
