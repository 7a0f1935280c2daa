// "Allow access": the udev helper the package installs, which pkexec runs as root to give the
// user at the seat access to the mouse, and the programs' means of finding it.
#pragma once

#include <filesystem>

namespace velqa::platform {

// Where the package puts the helper, relative to the programs' folder (bin/).
inline constexpr const char* kAccessHelperFromBin = "../libexec/velqa/velqa-udev-helper";
// pkexec is setuid root and polkit installs it here; a copy found through PATH could be anyone's.
inline constexpr const char* kPkexecPath = "/usr/bin/pkexec";

// What "Allow access" runs: `runner` (pkexec) with `helper` as its only argument.
struct AccessHelper {
    std::filesystem::path runner;
    std::filesystem::path helper;
    // Both are installed. Whether a polkit agent will answer cannot be known beforehand; pkexec
    // then fails with its own exit code, which the caller reports.
    bool available() const { return !runner.empty() && !helper.empty(); }
};

// The helper installed beside programs in `program_folder` (kAccessHelperFromBin; empty when it
// is not there, as in a build tree) and `pkexec` (empty when it is not installed).
AccessHelper find_access_helper(const std::filesystem::path& program_folder,
                                const std::filesystem::path& pkexec = kPkexecPath);

}  // namespace velqa::platform
