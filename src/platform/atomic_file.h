// Whole-file writes that never leave a truncated file behind, and the one whole-file reader.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velqa::platform {

// Writes `data` to a temporary file beside the target, flushes it to disk and renames it over
// the target, then flushes the folder. Symbolic links in the path are followed, so the file a
// link finally names is replaced and the link stays; but a link in a sticky, world-writable
// folder (/tmp) is followed only when it belongs to us or to the folder's owner, as the kernel's
// protected_symlinks rule has it: another user's link there is refused (EACCES) and nothing is
// written. An existing file keeps its permissions; a new one gets 0666 less the umask. On any
// failure the old file stays as it was, the temporary file is removed, false is returned and
// `error` (when given) says why.
bool write_file_atomically(const std::filesystem::path& target, std::string_view data,
                           std::string* error = nullptr);

// Largest file read_whole_file reads; far beyond any file the programs use.
inline constexpr std::size_t MaxReadFileSize = 64u * 1024 * 1024;

// Reads a whole regular file (through symbolic links). Anything else - a folder, a FIFO, a
// device - is refused without blocking, as is a file larger than MaxReadFileSize. False when the
// file cannot be opened or read completely; `error` (when given) says why and errno is kept.
bool read_whole_file(const std::filesystem::path& file, std::string& out,
                     std::string* error = nullptr);

// Keeps the bytes of `source` (read as read_whole_file reads) at `copy` (written as
// write_file_atomically writes), with the permissions of `source` whatever the umask or an
// earlier copy: the copy of a private file stays private. An empty source leaves nothing to
// keep: true, and nothing is written. False, with the reason in `error` and errno kept (ENOENT:
// no source), when the source cannot be read or the copy cannot be written.
bool keep_copy(const std::filesystem::path& source, const std::filesystem::path& copy,
               std::string* error = nullptr);

}  // namespace velqa::platform
