// libcurl and libcrypto, opened on first use rather than linked: the two bring some thirty
// libraries that the dynamic loader would otherwise map and relocate before every start, for
// an update check that may never run.
#pragma once

#include <curl/curl.h>
#include <openssl/evp.h>

#include <string>

namespace velqa::platform::http {

// The library files to open; a name without a slash is searched like a linked library.
struct LibraryFiles {
    std::string curl = "libcurl.so.4";
    std::string crypto = "libcrypto.so.3";
};

// Every function of the two libraries the client calls. Member names differ from the
// libraries' own, which curl's headers may define as type-checking macros.
struct CurlApi {
    decltype(&::curl_global_init) global_init = nullptr;
    decltype(&::curl_easy_init) easy_init = nullptr;
    decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&::curl_easy_setopt) easy_setopt = nullptr;
    decltype(&::curl_easy_perform) easy_perform = nullptr;
    decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&::curl_easy_strerror) easy_strerror = nullptr;
    decltype(&::curl_slist_append) slist_append = nullptr;
    decltype(&::curl_slist_free_all) slist_free_all = nullptr;
    decltype(&::curl_url) url = nullptr;
    decltype(&::curl_url_cleanup) url_cleanup = nullptr;
    decltype(&::curl_url_set) url_set = nullptr;
    decltype(&::curl_url_get) url_get = nullptr;
    decltype(&::curl_free) free = nullptr;
    decltype(&::EVP_MD_CTX_new) digest_new = nullptr;
    decltype(&::EVP_MD_CTX_free) digest_free = nullptr;
    decltype(&::EVP_DigestInit_ex) digest_init = nullptr;
    decltype(&::EVP_DigestUpdate) digest_update = nullptr;
    decltype(&::EVP_DigestFinal_ex) digest_final = nullptr;
    decltype(&::EVP_sha256) sha256 = nullptr;
};

// The two libraries with every function resolved and libcurl initialised, or the reason they
// could not be. Loaded once, in the constructor; the answer never changes afterwards, so a
// missing library costs one attempt, not one per request. Loaded libraries stay loaded for the
// life of the process: libcurl and OpenSSL do not support being unloaded.
class CurlLibrary {
  public:
    explicit CurlLibrary(const LibraryFiles& files);
    CurlLibrary(const CurlLibrary&) = delete;
    CurlLibrary& operator=(const CurlLibrary&) = delete;

    // The program's libraries, loaded by the first caller from any thread.
    static const CurlLibrary& shared();

    // The functions, or null when the libraries could not be used (see error()).
    const CurlApi* api() const { return ok_ ? &api_ : nullptr; }
    // Which library or function is missing, with the loader's reason; empty once loaded.
    const std::string& error() const { return error_; }

  private:
    CurlApi api_;
    bool ok_ = false;
    std::string error_;
};

}  // namespace velqa::platform::http
