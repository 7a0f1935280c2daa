#include "support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace velqa::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "velqa-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable so removal succeeds.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        // A link's target is not ours to change (a test may link the shipped skin in).
        if (it->is_symlink(ec))
            continue;
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_old_ = true;
        old_ = old;
    }
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had_old_) {
        ::setenv(name_.c_str(), old_.c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

std::filesystem::path source_dir() {
    const char* v = std::getenv("VELQA_SOURCE_DIR");
    return v != nullptr ? std::filesystem::path(v) : std::filesystem::current_path();
}

}  // namespace velqa::test
