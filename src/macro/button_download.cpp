#include "macro/button_download.h"

#include <numeric>
#include <system_error>

#include "macro/key_assignment.h"
#include "macro/macro_files.h"
#include "profile/profile_data.h"
#include "profile/profile_list.h"

namespace velqa::macro {

KeyPositions identity_key_positions(std::size_t key_count) {
    KeyPositions positions(key_count);
    std::iota(positions.begin(), positions.end(), 0);
    return positions;
}

ButtonWrite write_buttons(link::CommandChannel& channel, const std::filesystem::path& macro_folder,
                          std::span<const std::uint8_t> last_read, int key_count,
                          const std::vector<profile::KeyAssignment>& keys,
                          AfterMacroFailure after_failure) {
    ButtonWrite out;
    MacroLibrary library(macro_folder);
    library.load();
    const KeyPositions positions = identity_key_positions(keys.size());
    out.used = collect_used_macros(keys, positions, key_count, library.size());
    // No macro to write: the macro sequence would read the information block for nothing.
    if (!out.used.empty())
        out.macros = download_macros(channel, library.folder(), out.used);
    if (out.overflow())
        return out;
    if (out.macros < 0 && after_failure == AfterMacroFailure::SkipKeys)
        return out;
    const std::size_t table_bytes = static_cast<std::size_t>(std::max(key_count, 0)) * 3;
    out.keys_attempted = true;
    out.keys = download_key_table(channel, last_read.first(std::min(table_bytes, last_read.size())),
                                  keys, positions, library.size(), out.used);
    return out;
}

ProfileFixOutcome fix_macro_references_in_profiles(const std::filesystem::path& profile_folder,
                                                   const std::filesystem::path& default_profile,
                                                   int deleted, const std::filesystem::path& skip) {
    ProfileFixOutcome out;
    profile::ProfileList list(profile_folder, default_profile);
    if (const auto r = list.load(); !r.ok()) {
        out.list_error = std::string(profile::status_text(r.status)) + " (" + r.detail + ")";
        return out;
    }
    for (int i = 0; i < list.size(); ++i) {
        const std::filesystem::path file = list.file_of(i);
        std::error_code ec;
        if (!skip.empty() && std::filesystem::equivalent(file, skip, ec))
            continue;
        profile::CMouseProfiledata data;
        data.set_device_index(0);
        data.set_default_path(default_profile);
        data.set_profile_path(file);
        data.load_section(file);
        std::vector<profile::KeyAssignment> keys = data.read_key_list();
        if (!fix_macro_references(keys, deleted))
            continue;
        data.write_key_list(keys);
        (data.save() ? out.changed : out.failed).push_back(file);
    }
    return out;
}

}  // namespace velqa::macro
