#include "platform/http/curl_library.h"

#include <dlfcn.h>

namespace velqa::platform::http {
namespace {

void* open_library(const std::string& file, std::string& error) {
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        error = "cannot load " + file + ": " + (why != nullptr ? why : "unknown reason");
    }
    return handle;
}

// Resolves `name` into `out`; a failure names the library and the function.
template <typename Function>
bool resolve(void* handle, const std::string& file, const char* name, Function& out,
             std::string& error) {
    ::dlerror();
    void* symbol = ::dlsym(handle, name);
    if (symbol == nullptr) {
        const char* why = ::dlerror();
        error = file + " has no " + name + ": " + (why != nullptr ? why : "the symbol is null");
        return false;
    }
    out = reinterpret_cast<Function>(symbol);
    return true;
}

bool resolve_curl(void* h, const std::string& file, CurlApi& api, std::string& error) {
    return resolve(h, file, "curl_global_init", api.global_init, error) &&
           resolve(h, file, "curl_easy_init", api.easy_init, error) &&
           resolve(h, file, "curl_easy_cleanup", api.easy_cleanup, error) &&
           resolve(h, file, "curl_easy_setopt", api.easy_setopt, error) &&
           resolve(h, file, "curl_easy_perform", api.easy_perform, error) &&
           resolve(h, file, "curl_easy_getinfo", api.easy_getinfo, error) &&
           resolve(h, file, "curl_easy_strerror", api.easy_strerror, error) &&
           resolve(h, file, "curl_slist_append", api.slist_append, error) &&
           resolve(h, file, "curl_slist_free_all", api.slist_free_all, error) &&
           resolve(h, file, "curl_url", api.url, error) &&
           resolve(h, file, "curl_url_cleanup", api.url_cleanup, error) &&
           resolve(h, file, "curl_url_set", api.url_set, error) &&
           resolve(h, file, "curl_url_get", api.url_get, error) &&
           resolve(h, file, "curl_free", api.free, error);
}

bool resolve_crypto(void* h, const std::string& file, CurlApi& api, std::string& error) {
    return resolve(h, file, "EVP_MD_CTX_new", api.digest_new, error) &&
           resolve(h, file, "EVP_MD_CTX_free", api.digest_free, error) &&
           resolve(h, file, "EVP_DigestInit_ex", api.digest_init, error) &&
           resolve(h, file, "EVP_DigestUpdate", api.digest_update, error) &&
           resolve(h, file, "EVP_DigestFinal_ex", api.digest_final, error) &&
           resolve(h, file, "EVP_sha256", api.sha256, error);
}

}  // namespace

CurlLibrary::CurlLibrary(const LibraryFiles& files) {
    void* curl = open_library(files.curl, error_);
    if (curl == nullptr)
        return;
    void* crypto = nullptr;
    if (resolve_curl(curl, files.curl, api_, error_)) {
        crypto = open_library(files.crypto, error_);
        if (crypto != nullptr && resolve_crypto(crypto, files.crypto, api_, error_)) {
            const CURLcode rc = api_.global_init(CURL_GLOBAL_DEFAULT);
            if (rc == CURLE_OK) {
                ok_ = true;
                return;
            }
            error_ = "libcurl could not be initialised: " + std::string(api_.easy_strerror(rc));
        }
    }
    // Nothing was initialised, so what was opened can go again.
    api_ = CurlApi{};
    if (crypto != nullptr)
        ::dlclose(crypto);
    ::dlclose(curl);
}

const CurlLibrary& CurlLibrary::shared() {
    static const CurlLibrary library{LibraryFiles{}};
    return library;
}

}  // namespace velqa::platform::http
