#include "key_download.h"

#include <cstdio>

#include "macro/button_download.h"
#include "macro/macro_files.h"
#include "mouse_link.h"
#include "platform/folders.h"

namespace velqa::ctl {

std::filesystem::path mouse_macro_folder() {
    return platform::user_data_folder("mouse");
}

std::vector<Candidate> listed_macros() {
    const std::filesystem::path data = platform::user_data_location();
    if (data.empty())
        return {};
    macro::MacroLibrary library(data / "mouse");
    library.load();
    std::vector<Candidate> out;
    for (int i = 0; i < library.size(); ++i)
        out.push_back(
            {std::to_string(i), shown(library.entries()[static_cast<std::size_t>(i)].name)});
    return out;
}

macro::KeyPositions mouse_key_positions(std::size_t key_count) {
    return macro::identity_key_positions(key_count);
}

int write_keys_and_macros(MouseSession& session, const std::vector<profile::KeyAssignment>& keys) {
    const int key_count = session.core().info().key_count;
    const auto& tables = session.core().key_tables();
    const macro::ButtonWrite w =
        macro::write_buttons(session.channel(), mouse_macro_folder(), tables, key_count, keys,
                             macro::AfterMacroFailure::SkipKeys);
    if (w.overflow()) {
        // "message_text_16": nothing was written, the key table neither.
        std::fprintf(stderr,
                     "velqactl: the macros on the buttons do not fit the mouse's macro memory "
                     "(%d events too many); nothing was written\n",
                     w.macros);
        return Failed;
    }
    if (w.macros < 0) {
        std::fprintf(stderr,
                     "velqactl: writing the macros failed; the key table was not written\n");
        return fail(session.channel(), "writing the macros", w.macros);
    }
    if (w.keys != link::result::Success)
        return fail(session.channel(), "writing the key table", w.keys);
    return Success;
}

}  // namespace velqa::ctl
