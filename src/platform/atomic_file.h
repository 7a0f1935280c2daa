// Whole-file writes that never leave a truncated file behind.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velqa::platform {

// Writes `data` to a temporary file in the target's folder, flushes it to disk and renames it
// over `target`. On any failure the old file stays as it was, the temporary file is removed,
// false is returned and `error` (when given) says why.
bool write_file_atomically(const std::filesystem::path& target, std::string_view data,
                           std::string* error = nullptr);

// Reads a whole file; false when it cannot be opened or read.
bool read_whole_file(const std::filesystem::path& file, std::string& out);

}  // namespace velqa::platform
