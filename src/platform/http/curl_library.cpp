#include "platform/http/curl_library.h"

#include "platform/loaded_library.h"

namespace velqa::platform::http {
namespace {

bool resolve_curl(LoadedLibrary& lib, CurlApi& api) {
    return lib.resolve("curl_global_init", api.global_init) &&
           lib.resolve("curl_easy_init", api.easy_init) &&
           lib.resolve("curl_easy_cleanup", api.easy_cleanup) &&
           lib.resolve("curl_easy_setopt", api.easy_setopt) &&
           lib.resolve("curl_easy_perform", api.easy_perform) &&
           lib.resolve("curl_easy_getinfo", api.easy_getinfo) &&
           lib.resolve("curl_easy_strerror", api.easy_strerror) &&
           lib.resolve("curl_slist_append", api.slist_append) &&
           lib.resolve("curl_slist_free_all", api.slist_free_all) &&
           lib.resolve("curl_url", api.url) && lib.resolve("curl_url_cleanup", api.url_cleanup) &&
           lib.resolve("curl_url_set", api.url_set) && lib.resolve("curl_url_get", api.url_get) &&
           lib.resolve("curl_free", api.free);
}

bool resolve_crypto(LoadedLibrary& lib, CurlApi& api) {
    return lib.resolve("EVP_MD_CTX_new", api.digest_new) &&
           lib.resolve("EVP_MD_CTX_free", api.digest_free) &&
           lib.resolve("EVP_DigestInit_ex", api.digest_init) &&
           lib.resolve("EVP_DigestUpdate", api.digest_update) &&
           lib.resolve("EVP_DigestFinal_ex", api.digest_final) &&
           lib.resolve("EVP_sha256", api.sha256);
}

}  // namespace

CurlLibrary::CurlLibrary(const LibraryFiles& files) {
    LoadedLibrary curl(files.curl);
    if (!resolve_curl(curl, api_)) {
        error_ = curl.error();
        api_ = CurlApi{};
        return;
    }
    LoadedLibrary crypto(files.crypto);
    if (!resolve_crypto(crypto, api_)) {
        error_ = crypto.error();
        api_ = CurlApi{};
        return;
    }
    const CURLcode rc = api_.global_init(CURL_GLOBAL_DEFAULT);
    if (rc != CURLE_OK) {
        error_ = "libcurl could not be initialised: " + std::string(api_.easy_strerror(rc));
        api_ = CurlApi{};
        return;
    }
    ok_ = true;
}

const CurlLibrary& CurlLibrary::shared() {
    static const CurlLibrary library{LibraryFiles{}};
    return library;
}

}  // namespace velqa::platform::http
