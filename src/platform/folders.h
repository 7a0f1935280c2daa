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

// The user's home folder: HOME when set, else the user database's entry for this user (a
// program started without HOME still finds it). Empty when neither names one.
std::filesystem::path home_folder();

// Where a user without any home folder keeps the files that would be under it: the private
// temp_folder()/velqa-<uid>, made and checked as make_private_folder does (the runtime folder's
// own fallback). Empty, with the reason in `error`, when it is refused.
std::filesystem::path stand_in_home_folder(std::string* error = nullptr);

// ${XDG_DATA_HOME:-$HOME/.local/share}/ZARN_VELQA_R260 (a relative XDG_DATA_HOME is ignored;
// home_folder(), else stand_in_home_folder()), created on first use. Never a folder in the
// shared temporary folder that another user could have made first: empty when
// user_data_refusal() says why not. The path is returned when it merely cannot be created
// (callers' file operations then fail).
std::filesystem::path user_data_folder();

// Why there is no user data folder (no home folder, and the stand-in refused), or empty when
// there is one. Programs ask once at start and refuse to work with profiles, rather than hand
// an empty folder down. Creates nothing but the stand-in home folder, and that only when there
// is no home folder.
std::string user_data_refusal();

// user_data_folder()/kind (for example "mouse"), created on first use; empty when
// user_data_folder() is.
std::filesystem::path user_data_folder(std::string_view kind);

// user_data_folder() without creating or checking anything (for readers that must change
// nothing: shell completion). Empty without a home folder.
std::filesystem::path user_data_location();

// ${XDG_CONFIG_HOME:-$HOME/.config} (a relative XDG_CONFIG_HOME is ignored; home_folder(), else
// stand_in_home_folder()); empty when there is none. Not created here.
std::filesystem::path config_home();

// ${TMPDIR:-/tmp}.
std::filesystem::path temp_folder();

// The folder where this user's programs meet by file name (the device link locks):
// `runtime_dir`/velqa when `runtime_dir` (XDG_RUNTIME_DIR, read by main) is set, else
// /run/user/<uid>/velqa when that runtime folder is ours (so a program started without the
// variable still meets the desktop's), else temp_folder()/velqa-<uid>; the first of these that
// make_private_folder accepts. Empty, with the reason in `error` (and a debug line), when none
// is: the device locks are then off, which the program tells the user.
std::filesystem::path runtime_folder(std::string_view runtime_dir, std::string* error = nullptr);

// ${XDG_CACHE_HOME:-$HOME/.cache}/ZARN_VELQA_R260/UpdateData: where update packages are
// downloaded to, one per user. A relative XDG_CACHE_HOME is ignored; without a home folder the
// cache is inside stand_in_home_folder(), and without that the path is empty. Not created
// here: make_private_folder() does that before a download (and refuses an empty path).
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
