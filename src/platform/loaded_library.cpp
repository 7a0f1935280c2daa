#include "platform/loaded_library.h"

#include <dlfcn.h>

namespace velqa::platform {

LoadedLibrary::LoadedLibrary(const std::string& file) : file_(file) {
    handle_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = ::dlerror();
        error_ = "cannot load " + file + ": " + (why != nullptr ? why : "unknown reason");
    }
}

void* LoadedLibrary::find(const char* name) {
    if (handle_ == nullptr)
        return nullptr;
    ::dlerror();
    void* symbol = ::dlsym(handle_, name);
    if (symbol == nullptr) {
        const char* why = ::dlerror();
        error_ = file_ + " has no " + name + ": " + (why != nullptr ? why : "the symbol is null");
    }
    return symbol;
}

}  // namespace velqa::platform
