// A per-process scratch folder for fuzz targets whose readers take a file, not bytes.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace velqa::fuzz {

// ${TMPDIR}/velqa-fuzz-<name>-<pid>/, created on first use and removed when the process ends.
inline const std::filesystem::path& scratch_folder(const char* name) {
    struct Folder {
        std::filesystem::path path;
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Folder folder{[name] {
        auto path = std::filesystem::temp_directory_path() /
                    ("velqa-fuzz-" + std::string(name) + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }()};
    return folder.path;
}

// Writes the input bytes to `file`, replacing what was there.
inline void put_bytes(const std::filesystem::path& file, const uint8_t* data, size_t size) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace velqa::fuzz
