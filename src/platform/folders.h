// Where the program finds its resources and keeps its data on Linux.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velqa::platform {

// Folder of the running executable (from /proc/self/exe); empty when unknown.
std::filesystem::path executable_folder();

// Folder holding skin/, DefaultData/ and Font/: VELQA_RESOURCE_DIR when set, else beside the
// executable when DefaultData/ or skin/ is there (build tree), else ../share/velqa from the
// executable's folder (installed tree, wherever its prefix), else the configured install
// folder or velqa/ in one of ${XDG_DATA_DIRS:-/usr/local/share:/usr/share}, whichever exists
// first. When none exists, the configured install folder, so that errors name the expected place.
std::filesystem::path resources_folder();

// resources_folder() for an executable in `exe_folder` (empty when unknown).
std::filesystem::path resources_folder_for(const std::filesystem::path& exe_folder);

// ${XDG_DATA_HOME:-$HOME/.local/share}/ZARN_VELQA_R260, created on first use.
// Returns the path even when it cannot be created (callers' file operations then fail).
std::filesystem::path user_data_folder();

// user_data_folder()/kind (for example "mouse"), created on first use.
std::filesystem::path user_data_folder(std::string_view kind);

// ${TMPDIR:-/tmp}.
std::filesystem::path temp_folder();

// The folder where this user's programs meet by file name (the device link locks):
// `runtime_dir`/velqa when `runtime_dir` (XDG_RUNTIME_DIR, read by main) is set, else
// /run/user/<uid>/velqa when that runtime folder is ours (so a program started without the
// variable still meets the desktop's), else temp_folder()/velqa-<uid>; the first of these that
// make_private_folder accepts. Empty, with a debug line saying why, when none is.
std::filesystem::path runtime_folder(std::string_view runtime_dir);

// ${XDG_CACHE_HOME:-$HOME/.cache}/ZARN_VELQA_R260/UpdateData: where update packages are
// downloaded to, one per user. A relative XDG_CACHE_HOME is ignored; without a home the cache
// is under temp_folder(). Not created here: make_private_folder() does that before a download.
std::filesystem::path download_folder();

// Opens `folder` without following a link (O_DIRECTORY, close-on-exec) when it is a folder
// owned by this user that nobody else may write to. The descriptor, or -1 with the reason in
// `error`.
int open_private_folder(const std::filesystem::path& folder, std::string* error = nullptr);

// Creates `folder` and its missing parents with mode 0700, then checks `folder` and its parent
// as open_private_folder() does. False with the reason in `error` when a folder cannot be made
// or is refused (another user's, writable by others, or a link); a refused folder is left as
// it is.
bool make_private_folder(const std::filesystem::path& folder, std::string* error = nullptr);

}  // namespace velqa::platform
