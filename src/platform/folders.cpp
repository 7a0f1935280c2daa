#include "platform/folders.h"

#include <cstdlib>
#include <system_error>

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
    if (fs::path env = env_path("VELQA_RESOURCE_DIR"); !env.empty())
        return env;
    fs::path exe = executable_folder();
    std::error_code ec;
    if (!exe.empty() &&
        (fs::is_directory(exe / "DefaultData", ec) || fs::is_directory(exe / "skin", ec))) {
        return exe;
    }
    if (!exe.empty()) {
        fs::path prefixed = exe.parent_path() / "share" / "velqa";
        if (fs::is_directory(prefixed, ec))
            return prefixed;
    }
    return fs::path(VELQA_INSTALL_DATADIR);
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
