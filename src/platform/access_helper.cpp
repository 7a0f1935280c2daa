#include "platform/access_helper.h"

#include <unistd.h>

namespace velqa::platform {

namespace {

bool is_executable_file(const std::filesystem::path& file) {
    std::error_code ec;
    return std::filesystem::is_regular_file(file, ec) && ::access(file.c_str(), X_OK) == 0;
}

}  // namespace

AccessHelper find_access_helper(const std::filesystem::path& program_folder,
                                const std::filesystem::path& pkexec) {
    AccessHelper found;
    if (!program_folder.empty()) {
        // pkexec matches the polkit action by this exact path: no "..", no links.
        std::error_code ec;
        const auto helper =
            std::filesystem::weakly_canonical(program_folder / kAccessHelperFromBin, ec);
        if (!ec && is_executable_file(helper))
            found.helper = helper;
    }
    if (is_executable_file(pkexec))
        found.runner = pkexec;
    return found;
}

}  // namespace velqa::platform
