// A fresh folder per test, removed afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace velqa::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Sets an environment variable for the lifetime of the object, restoring the old value.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::string old_;
    bool had_old_ = false;
};

// The repository's source folder (VELQA_SOURCE_DIR, set by CTest).
std::filesystem::path source_dir();

}  // namespace velqa::test
