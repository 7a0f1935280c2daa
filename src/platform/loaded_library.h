// A shared library opened on first use rather than linked, for a feature only some sessions
// use: every linked library is mapped and relocated before each start, used or not.
#pragma once

#include <string>

namespace velqa::platform {

class LoadedLibrary {
  public:
    // Opens `file` (a name without a slash is searched like a linked library). Opened libraries
    // stay loaded for the life of the process: not every library supports being unloaded.
    explicit LoadedLibrary(const std::string& file);
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // Why the library or the last function asked for is missing; empty while all is well.
    const std::string& error() const { return error_; }

    // Resolves `name` into `out`, in the library or the libraries it depends on; false names
    // the library and the function in error().
    template <typename Function>
    bool resolve(const char* name, Function& out) {
        void* symbol = find(name);
        if (symbol == nullptr)
            return false;
        out = reinterpret_cast<Function>(symbol);
        return true;
    }

  private:
    void* find(const char* name);

    void* handle_ = nullptr;
    std::string file_;
    std::string error_;
};

}  // namespace velqa::platform
