#include "platform/folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "platform/debug_output.h"
#include "platform/diagnostics.h"

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

constexpr char DataFolderName[] = "ZARN_VELQA_R260";

// The private per-user folder in the shared temporary folder (see stand_in_home_folder).
fs::path stand_in_path() {
    return temp_folder() / ("velqa-" + std::to_string(::geteuid()));
}

// A per-user XDG folder: the variable when it holds an absolute path (the rules ignore anything
// else), else `under_home` in the home folder, else in the stand-in home folder, which is not
// checked here.
struct XdgBase {
    fs::path path;
    bool stand_in = false;
};

XdgBase xdg_base(const char* variable, const fs::path& under_home) {
    if (fs::path base = env_path(variable); base.is_absolute())
        return {base};
    if (fs::path home = home_folder(); !home.empty())
        return {home / under_home};
    return {stand_in_path() / under_home, true};
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

fs::path home_folder() {
    if (fs::path home = env_path("HOME"); !home.empty())
        return home;
    // Asked on every folder lookup; the user database may be a network service and does not
    // change while we run.
    static const fs::path listed = current_home_folder();
    return listed;
}

fs::path stand_in_home_folder(std::string* error) {
    fs::path folder = stand_in_path();
    if (!make_private_folder(folder, error))
        return {};
    return folder;
}

std::string user_data_refusal() {
    if (!xdg_base("XDG_DATA_HOME", fs::path(".local") / "share").stand_in)
        return {};
    // Only a folder that is ours and closed: at a shared name another user could have made it
    // first, with links in it to our files.
    std::string why;
    if (!stand_in_home_folder(&why).empty())
        return {};
    debug_printf("no private data folder: %s", why.c_str());
    return "no home folder, and " + why;
}

fs::path user_data_folder() {
    if (!user_data_refusal().empty())
        return {};
    return ensure(xdg_base("XDG_DATA_HOME", fs::path(".local") / "share").path / DataFolderName);
}

fs::path user_data_folder(std::string_view kind) {
    const fs::path base = user_data_folder();
    return base.empty() ? base : ensure(base / kind);
}

fs::path user_data_location() {
    const XdgBase base = xdg_base("XDG_DATA_HOME", fs::path(".local") / "share");
    if (base.stand_in) {
        const int fd = open_private_folder(stand_in_path());
        if (fd < 0)
            return {};
        ::close(fd);
    }
    return base.path / DataFolderName;
}

fs::path config_home() {
    const XdgBase base = xdg_base("XDG_CONFIG_HOME", ".config");
    if (base.stand_in && stand_in_home_folder().empty())
        return {};
    return base.path;
}

fs::path temp_folder() {
    fs::path tmp = env_path("TMPDIR");
    return tmp.empty() ? fs::path("/tmp") : tmp;
}

fs::path runtime_folder(std::string_view runtime_dir, std::string* error) {
    const std::string uid = std::to_string(::geteuid());
    std::vector<fs::path> candidates;
    if (!runtime_dir.empty())
        candidates.push_back(fs::path(runtime_dir) / "velqa");
    // Only a runtime folder that is already ours and closed to others; we never make it.
    const fs::path session = fs::path("/run/user") / uid;
    struct stat st {};
    if (::lstat(session.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 077) == 0) {
        candidates.push_back(session / "velqa");
    }
    candidates.push_back(stand_in_path());
    std::string reasons;
    for (const fs::path& c : candidates) {
        std::string why;
        if (make_private_folder(c, &why))
            return c;
        reasons += (reasons.empty() ? "" : "; ") + why;
    }
    debug_printf("no private runtime folder: %s", reasons.c_str());
    if (error != nullptr)
        *error = std::move(reasons);
    return {};
}

fs::path download_folder() {
    const XdgBase base = xdg_base("XDG_CACHE_HOME", ".cache");
    if (base.stand_in && stand_in_home_folder().empty())
        return {};
    return base.path / DataFolderName / "UpdateData";
}

int open_private_folder(const fs::path& folder, std::string* error) {
    auto refuse = [&](std::string why) {
        if (error != nullptr)
            *error = std::move(why);
        return -1;
    };
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (e == ELOOP || e == ENOTDIR)
            return refuse(folder.string() + " is a link or not a folder");
        return refuse("cannot open the folder " + folder.string() + ": " + std::strerror(e));
    }
    struct stat st {};
    std::string why;
    if (::fstat(fd, &st) != 0) {
        why = "cannot check the folder " + folder.string() + ": " + std::strerror(errno);
    } else if (st.st_uid != ::geteuid()) {
        why = "the folder " + folder.string() + " belongs to another user (uid " +
              std::to_string(st.st_uid) + ")";
    } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        why = "the folder " + folder.string() + " may be changed by other users (mode " + mode +
              "; make it 0700)";
    }
    if (!why.empty()) {
        ::close(fd);
        return refuse(std::move(why));
    }
    return fd;
}

bool make_private_folder(const fs::path& folder, std::string* error) {
    if (folder.empty()) {
        if (error != nullptr)
            *error = "no folder is set";
        return false;
    }
    fs::path target = folder.lexically_normal();
    if (!target.has_filename())
        target = target.parent_path();
    // Each missing folder is made 0700 itself; an existing one is checked below, never changed.
    fs::path made;
    for (const fs::path& part : target) {
        made /= part;
        if (part.empty() || part == "/" || ::mkdir(made.c_str(), 0700) == 0 || errno == EEXIST)
            continue;
        if (error != nullptr)
            *error = "cannot create the folder " + made.string() + ": " + std::strerror(errno);
        return false;
    }
    // The parent too: whoever may rename entries in it could swap the folder for their own. A
    // sticky parent (/tmp) lets nobody else rename or remove what is ours.
    const fs::path parent = target.parent_path();
    struct stat st {};
    const bool sticky =
        ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0;
    for (const fs::path& checked : {parent, target}) {
        if (checked.empty() || (sticky && checked == parent))
            continue;
        const int fd = open_private_folder(checked, error);
        if (fd < 0)
            return false;
        ::close(fd);
    }
    return true;
}

}  // namespace velqa::platform
