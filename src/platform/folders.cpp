#include "platform/folders.h"

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#ifndef VELQA_INSTALL_DATADIR
#define VELQA_INSTALL_DATADIR "/usr/local/share/velqa"
#endif

namespace velqa::platform {
namespace fs = std::filesystem;
namespace {

fs::path env_path(const char* name) {
    const char* v = std::getenv(name);
    return (v != nullptr && *v != '\0') ? fs::path(v) : fs::path();
}

fs::path ensure(const fs::path& p) {
    std::error_code ec;
    fs::create_directories(p, ec);
    return p;
}

}  // namespace

fs::path executable_folder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

fs::path resources_folder() {
    return resources_folder_for(executable_folder());
}

fs::path resources_folder_for(const fs::path& exe) {
    if (fs::path env = env_path("VELQA_RESOURCE_DIR"); !env.empty())
        return env;
    std::error_code ec;
    if (!exe.empty() &&
        (fs::is_directory(exe / "DefaultData", ec) || fs::is_directory(exe / "skin", ec))) {
        return exe;
    }
    std::vector<fs::path> candidates;
    if (!exe.empty())
        candidates.push_back(exe.parent_path() / "share" / "velqa");
    const fs::path configured(VELQA_INSTALL_DATADIR);
    candidates.push_back(configured);
    // An executable copied elsewhere still finds a packaged install. The list holds absolute
    // folders only; anything else is skipped, as the XDG rules ask.
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string list = (dirs != nullptr && *dirs != '\0') ? dirs : "/usr/local/share:/usr/share";
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        const fs::path dir(list.substr(start, end - start));
        if (dir.is_absolute())
            candidates.push_back(dir / "velqa");
        start = end + 1;
    }
    for (const fs::path& c : candidates) {
        if (fs::is_directory(c, ec))
            return c;
    }
    return configured;
}

fs::path user_data_folder() {
    fs::path base = env_path("XDG_DATA_HOME");
    if (base.empty()) {
        fs::path home = env_path("HOME");
        base = home.empty() ? temp_folder() : home / ".local" / "share";
    }
    return ensure(base / "ZARN_VELQA_R260");
}

fs::path user_data_folder(std::string_view kind) {
    return ensure(user_data_folder() / kind);
}

fs::path temp_folder() {
    fs::path tmp = env_path("TMPDIR");
    return tmp.empty() ? fs::path("/tmp") : tmp;
}

fs::path download_folder() {
    return ensure(temp_folder() / "UpdateData");
}

}  // namespace velqa::platform
