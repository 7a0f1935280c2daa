#include "platform/http/http_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <random>

#include "platform/ascii_text.h"
#include "platform/debug_output.h"
#include "platform/folders.h"
#include "platform/http/curl_library.h"

namespace velqa::platform::http {
namespace {

// The chunk the progress is reported for.
constexpr std::size_t ProgressChunk = 1024;

static_assert(static_cast<int>(TimedOut) == static_cast<int>(CURLE_OPERATION_TIMEDOUT));

using platform::equals_ignoring_case;

struct CurlDeleter {
    const CurlApi* api;
    void operator()(CURL* c) const { api->easy_cleanup(c); }
    void operator()(CURLU* u) const { api->url_cleanup(u); }
    void operator()(curl_slist* l) const { api->slist_free_all(l); }
    void operator()(EVP_MD_CTX* m) const { api->digest_free(m); }
};
using Easy = std::unique_ptr<CURL, CurlDeleter>;
using UrlHandle = std::unique_ptr<CURLU, CurlDeleter>;
using HeaderList = std::unique_ptr<curl_slist, CurlDeleter>;
using Digest = std::unique_ptr<EVP_MD_CTX, CurlDeleter>;

// A part of a parsed URL, or empty.
std::string url_part(const CurlApi& api, CURLU* url, CURLUPart which) {
    char* text = nullptr;
    if (api.url_get(url, which, &text, 0) != CURLUE_OK || text == nullptr)
        return {};
    std::string out(text);
    api.free(text);
    return out;
}

bool loopback_host(std::string_view host) {
    if (equals_ignoring_case(host, "localhost") || host == "[::1]")
        return true;
    in_addr v4{};
    const std::string text(host);
    return inet_pton(AF_INET, text.c_str(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127;
}

bool valid_hex_digest(std::string_view hex) {
    return hex.size() == 64 && std::all_of(hex.begin(), hex.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) != 0;
           });
}

std::string to_hex(const unsigned char* bytes, unsigned length) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < length; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0xf]);
    }
    return out;
}

// A transfer's failure in words; a time-out says so first, whichever limit it was.
std::string transfer_text(const CurlApi& api, CURLcode rc, const char* error_buffer) {
    std::string text = error_buffer[0] != '\0' ? error_buffer : api.easy_strerror(rc);
    return rc == CURLE_OPERATION_TIMEDOUT ? "timed out: " + text : text;
}

// Options every transfer of the client shares: verified TLS, no other protocols, redirects only
// to https, and the time-outs (the request's deadline included; a download sets its own).
void common_options(const CurlApi& api, CURL* c, const Settings& s, const TransportPolicy& policy,
                    char* error_buffer) {
    api.easy_setopt(c, CURLOPT_ERRORBUFFER, error_buffer);
    api.easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    api.easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    api.easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    api.easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    api.easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    api.easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    api.easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!policy.ca_file.empty())
        api.easy_setopt(c, CURLOPT_CAINFO, policy.ca_file.c_str());
    // libcurl's connect time-out includes resolving the name; the shorter limit wins.
    long connect_ms = s.connect_timeout_ms;
    if (policy.deadlines.connect_ms > 0 &&
        (connect_ms <= 0 || policy.deadlines.connect_ms < connect_ms))
        connect_ms = policy.deadlines.connect_ms;
    if (connect_ms > 0)
        api.easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, connect_ms);
    const long idle_ms = std::max(s.send_timeout_ms, s.receive_timeout_ms);
    if (idle_ms > 0) {
        api.easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        api.easy_setopt(c, CURLOPT_LOW_SPEED_TIME, std::max(1L, (idle_ms + 999) / 1000));
    }
    // Bytes that keep trickling in beat the idle limit above; only a deadline ends them.
    api.easy_setopt(c, CURLOPT_TIMEOUT_MS, std::max(0L, policy.deadlines.request_ms));
}

struct ReplySink {
    std::span<char> buffer;
    const StopEvent* stop = nullptr;
    std::size_t used = 0;
    bool overflow = false;
};

int reply_xferinfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* sink = static_cast<ReplySink*>(user);
    return sink->stop != nullptr && sink->stop->is_set() ? 1 : 0;
}

std::size_t write_reply(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<ReplySink*>(user);
    const std::size_t n = size * count;
    // One byte stays free so that the reply is always zero-terminated.
    if (n > sink->buffer.size() - 1 - sink->used) {
        sink->overflow = true;
        return 0;
    }
    std::memcpy(sink->buffer.data() + sink->used, data, n);
    sink->used += n;
    return n;
}

// The download's target: a fresh file in the folder, renamed over the target once complete.
class PartialFile {
  public:
    ~PartialFile() { discard(); }

    // Opens `folder` without following a link and checks that nobody else may change it.
    bool open_folder(const std::filesystem::path& folder, std::string& why) {
        dir_ = open_private_folder(folder, &why);
        return dir_ >= 0;
    }

    bool create(std::string& why) {
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            name_ = ".partial-" + std::to_string(::getpid()) + "-" + std::to_string(random());
            // Never executable; O_EXCL|O_NOFOLLOW: an existing name, link or not, is not used.
            fd_ = ::openat(dir_, name_.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd_ >= 0)
                return true;
            if (errno != EEXIST)
                break;
        }
        why = std::string("cannot create a file: ") + std::strerror(errno);
        name_.clear();
        return false;
    }

    bool write(const char* data, std::size_t n) {
        while (n > 0) {
            const ssize_t w = ::write(fd_, data, n);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            data += w;
            n -= static_cast<std::size_t>(w);
        }
        return true;
    }

    bool commit(std::string_view target, std::string& why) {
        if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
            fd_ = -1;
            why = std::string("cannot write the file: ") + std::strerror(errno);
            return false;
        }
        fd_ = -1;
        const std::string target_name(target);
        if (::renameat(dir_, name_.c_str(), dir_, target_name.c_str()) != 0) {
            why = "cannot replace " + target_name + ": " + std::strerror(errno);
            return false;
        }
        name_.clear();
        ::fsync(dir_);
        return true;
    }

    void discard() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        if (!name_.empty())
            ::unlinkat(dir_, name_.c_str(), 0);
        name_.clear();
        if (dir_ >= 0)
            ::close(dir_);
        dir_ = -1;
    }

  private:
    int dir_ = -1;
    int fd_ = -1;
    std::string name_;
};

struct DownloadSink {
    const CurlApi* api = nullptr;
    CURL* easy = nullptr;
    PartialFile* file = nullptr;
    EVP_MD_CTX* digest = nullptr;
    const HttpClient::Progress* progress = nullptr;
    const StopEvent* stop = nullptr;
    std::uint64_t length = 0;  // announced by HEAD
    std::uint64_t received = 0;
    int write_errno = 0;         // non-zero once a write failed
    curl_off_t get_length = -1;  // the GET's own Content-Length when it differs from `length`
    bool headers_checked = false;
    bool overflow = false;  // more bytes arrived than announced
    bool stopped = false;
};

bool stop_requested(DownloadSink& sink) {
    if (sink.stop != nullptr && sink.stop->is_set())
        sink.stopped = true;
    return sink.stopped;
}

std::size_t write_download(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<DownloadSink*>(user);
    const std::size_t n = size * count;
    if (stop_requested(*sink))
        return 0;
    // The GET must announce what HEAD did; a package of another length is not the one offered.
    if (!sink->headers_checked) {
        sink->headers_checked = true;
        curl_off_t announced = -1;
        sink->api->easy_getinfo(sink->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        if (announced >= 0 && static_cast<std::uint64_t>(announced) != sink->length) {
            sink->get_length = announced;
            return 0;
        }
    }
    // A byte past the announced length fails the download: cutting the rest off would keep a
    // file that is not the package.
    if (n > sink->length - sink->received) {
        sink->overflow = true;
        return 0;
    }
    for (std::size_t done = 0; done < n;) {
        const std::size_t piece = std::min(ProgressChunk, n - done);
        if (!sink->file->write(data + done, piece) ||
            sink->api->digest_update(sink->digest, data + done, piece) != 1) {
            sink->write_errno = errno != 0 ? errno : EIO;
            return 0;
        }
        done += piece;
        sink->received += piece;
        // The last report waits until the file is checked and in place.
        if (sink->received < sink->length && *sink->progress)
            (*sink->progress)(static_cast<double>(sink->length),
                              static_cast<double>(sink->received));
    }
    return n;
}

int download_xferinfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return stop_requested(*static_cast<DownloadSink*>(user)) ? 1 : 0;
}

bool address_allowed(const CurlApi& api, std::string_view url, const TransportPolicy& policy,
                     std::string* why) {
    auto say = [why](std::string text) {
        if (why != nullptr)
            *why = std::move(text);
        return false;
    };
    UrlHandle handle(api.url(), CurlDeleter{&api});
    const std::string text(url);
    if (!handle || api.url_set(handle.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK)
        return say("not an absolute http or https address: " + text);
    const std::string scheme = url_part(api, handle.get(), CURLUPART_SCHEME);
    const std::string host = url_part(api, handle.get(), CURLUPART_HOST);
    if (equals_ignoring_case(scheme, "https"))
        return true;
    if (!equals_ignoring_case(scheme, "http"))
        return say("only http and https addresses are used: " + text);
    if (loopback_host(host))
        return true;
    for (const auto& allowed : policy.plain_http_hosts) {
        if (equals_ignoring_case(allowed, host))
            return true;
    }
    return say("plain http is not used for " + host +
               " (only https, or hosts the configuration "
               "allows)");
}

}  // namespace

bool url_allowed(std::string_view url, const TransportPolicy& policy, std::string* why) {
    const CurlApi* api = CurlLibrary::shared().api();
    if (api == nullptr) {
        if (why != nullptr)
            *why = CurlLibrary::shared().error();
        return false;
    }
    return address_allowed(*api, url, policy, why);
}

long download_deadline_ms(const Deadlines& deadlines, std::uint64_t length) {
    if (deadlines.download_base_ms <= 0 && deadlines.download_min_rate == 0)
        return 0;
    constexpr auto Most = static_cast<std::uint64_t>(std::numeric_limits<long>::max());
    std::uint64_t ms = static_cast<std::uint64_t>(std::max(0L, deadlines.download_base_ms));
    if (deadlines.download_min_rate > 0) {
        const std::uint64_t seconds = length / deadlines.download_min_rate + 1;
        ms += std::min(seconds, Most / 1000) * 1000;
    }
    return static_cast<long>(std::min(ms, Most));
}

bool plain_file_name(std::string_view name) {
    return !name.empty() && name.size() <= 255 && name != "." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos &&
           name.find("..") == std::string_view::npos;
}

HttpClient::HttpClient(TransportPolicy policy, const CurlLibrary* library)
    : policy_(std::move(policy)), library_(library) {}

HttpClient::~HttpClient() = default;

void HttpClient::reset_settings() {
    settings_ = Settings{};
    last_error_ = NoError;
    last_error_text_.clear();
}

// Resolved on first use, so that a client made at start-up does not load the libraries.
const CurlLibrary& HttpClient::library() const {
    return library_ != nullptr ? *library_ : CurlLibrary::shared();
}

void HttpClient::fail(int code, std::string text) {
    last_error_ = code;
    last_error_text_ = std::move(text);
    debug_printf("http: %s", last_error_text_.c_str());
}

int HttpClient::http_request(std::string_view method, std::string_view url, const char* body,
                             std::size_t body_length, std::span<char> reply, bool use_named_proxy) {
    if (url.size() < 2) {
        fail(UrlTooShort, "the address is too short");
        return -1;
    }
    const bool post = equals_ignoring_case(method, "POST");
    if (!post && !equals_ignoring_case(method, "GET")) {
        fail(BadMethod, "the method must be GET or POST");
        return -1;
    }
    if (reply.empty() || (body == nullptr && body_length > 0)) {
        fail(BadMethod, "no reply buffer, or a body length without a body");
        return -1;
    }
    std::fill(reply.begin(), reply.end(), '\0');
    auto never_sent = [&](int code, std::string text) {
        fail(code, std::move(text));
        const std::size_t n = std::min(NoLinkServer.size(), reply.size() - 1);
        std::memcpy(reply.data(), NoLinkServer.data(), n);
        return 0;
    };

    if (stop_ != nullptr && stop_->is_set())
        return never_sent(Stopped, "stopped");
    const CurlApi* loaded = library().api();
    if (loaded == nullptr)
        return never_sent(ClientUnavailable, library().error());
    const CurlApi& api = *loaded;
    std::string why;
    if (!address_allowed(api, url, policy_, &why))
        return never_sent(InsecureUrl, why);
    Easy c(api.easy_init(), CurlDeleter{&api});
    if (!c) {
        fail(ClientUnavailable, "libcurl could not be initialised");
        return -1;
    }
    char error_buffer[CURL_ERROR_SIZE] = {};
    const std::string url_text(url);
    api.easy_setopt(c.get(), CURLOPT_URL, url_text.c_str());
    common_options(api, c.get(), settings_, policy_, error_buffer);
    api.easy_setopt(c.get(), CURLOPT_USERAGENT, settings_.user_agent.c_str());
    if (use_named_proxy) {
        api.easy_setopt(c.get(), CURLOPT_PROXY, settings_.named_proxy.c_str());
        api.easy_setopt(c.get(), CURLOPT_PROXYUSERNAME, settings_.proxy_user.c_str());
        api.easy_setopt(c.get(), CURLOPT_PROXYPASSWORD, settings_.proxy_password.c_str());
    }
    // libcurl writes the Content-Length itself, from the body length; "Expect:" keeps it from
    // waiting for a 100-continue the server may never send.
    HeaderList headers(api.slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded"),
                       CurlDeleter{&api});
    api.slist_append(headers.get(), "Accept:application/prs.Tavix.v1+json");
    api.slist_append(headers.get(), "Expect:");
    api.easy_setopt(c.get(), CURLOPT_HTTPHEADER, headers.get());
    if (post || body_length > 0) {
        api.easy_setopt(c.get(), CURLOPT_POSTFIELDS, body != nullptr ? body : "");
        api.easy_setopt(c.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_length));
        if (!post)
            api.easy_setopt(c.get(), CURLOPT_CUSTOMREQUEST, "GET");
    } else {
        api.easy_setopt(c.get(), CURLOPT_HTTPGET, 1L);
    }
    ReplySink sink{reply, stop_};
    api.easy_setopt(c.get(), CURLOPT_WRITEFUNCTION, write_reply);
    api.easy_setopt(c.get(), CURLOPT_WRITEDATA, &sink);
    if (stop_ != nullptr) {
        api.easy_setopt(c.get(), CURLOPT_NOPROGRESS, 0L);
        api.easy_setopt(c.get(), CURLOPT_XFERINFOFUNCTION, reply_xferinfo);
        api.easy_setopt(c.get(), CURLOPT_XFERINFODATA, &sink);
    }

    const CURLcode rc = api.easy_perform(c.get());
    if (rc == CURLE_OK)
        return static_cast<int>(sink.used);
    const std::string reason = transfer_text(api, rc, error_buffer);
    if (rc == CURLE_ABORTED_BY_CALLBACK) {
        std::fill(reply.begin(), reply.end(), '\0');
        return never_sent(Stopped, "stopped");
    }
    if (sink.overflow) {
        std::fill(reply.begin(), reply.end(), '\0');
        fail(ReplyTooLarge, "the reply is larger than " + std::to_string(reply.size() - 1) +
                                " bytes and was refused");
        return -1;
    }
    long request_bytes = 0;
    api.easy_getinfo(c.get(), CURLINFO_REQUEST_SIZE, &request_bytes);
    if (request_bytes == 0 && sink.used == 0)
        return never_sent(rc, reason);
    fail(rc, reason);
    return static_cast<int>(sink.used);
}

DownloadStatus HttpClient::download_file(std::string_view url, const std::filesystem::path& folder,
                                         std::string_view file_name, const Progress& progress,
                                         const StopEvent* stop, std::string_view sha256_hex) {
    if (stop == nullptr)
        stop = stop_;
    if (stop != nullptr && stop->is_set())
        return DownloadStatus::Stopped;
    std::uint64_t received = 0;
    auto failed = [&](int code, std::string text) {
        fail(code, std::move(text));
        if (progress)
            progress(0, static_cast<double>(received));
        return DownloadStatus::Failed;
    };
    if (!plain_file_name(file_name))
        return failed(BadFileName, "refused file name \"" + std::string(file_name) + "\"");
    if (!sha256_hex.empty() && !valid_hex_digest(sha256_hex))
        return failed(DigestMismatch, "the announced SHA-256 is not 64 hexadecimal digits");
    const CurlApi* loaded = library().api();
    if (loaded == nullptr)
        return failed(ClientUnavailable, library().error());
    const CurlApi& api = *loaded;
    std::string why;
    if (!address_allowed(api, url, policy_, &why))
        return failed(InsecureUrl, why);
    Easy c(api.easy_init(), CurlDeleter{&api});
    Digest digest(api.digest_new(), CurlDeleter{&api});
    if (!c || !digest || api.digest_init(digest.get(), api.sha256(), nullptr) != 1)
        return failed(ClientUnavailable, "libcurl or the SHA-256 digest could not be initialised");

    char error_buffer[CURL_ERROR_SIZE] = {};
    const std::string url_text(url);
    api.easy_setopt(c.get(), CURLOPT_URL, url_text.c_str());
    common_options(api, c.get(), settings_, policy_, error_buffer);
    api.easy_setopt(c.get(), CURLOPT_FAILONERROR, 1L);
    DownloadSink sink;
    sink.api = &api;
    sink.progress = &progress;
    sink.stop = stop;
    api.easy_setopt(c.get(), CURLOPT_NOPROGRESS, 0L);
    api.easy_setopt(c.get(), CURLOPT_XFERINFOFUNCTION, download_xferinfo);
    api.easy_setopt(c.get(), CURLOPT_XFERINFODATA, &sink);
    auto transfer_failed = [&](CURLcode rc) {
        if (rc == CURLE_HTTP_RETURNED_ERROR) {
            long status = 0;
            api.easy_getinfo(c.get(), CURLINFO_RESPONSE_CODE, &status);
            return failed(HttpStatus, "the server answered " + std::to_string(status));
        }
        return failed(rc, transfer_text(api, rc, error_buffer));
    };

    // The length first: it bounds the file, and the transfer ends when it is reached.
    api.easy_setopt(c.get(), CURLOPT_NOBODY, 1L);
    CURLcode rc = api.easy_perform(c.get());
    if (sink.stopped)
        return DownloadStatus::Stopped;
    if (rc != CURLE_OK)
        return transfer_failed(rc);
    curl_off_t length = -1;
    api.easy_getinfo(c.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length <= 0)
        return failed(NoContentLength, "the server gives no length for the package");
    if (static_cast<std::uint64_t>(length) > policy_.max_download_bytes) {
        return failed(TooLarge, "the package has " + std::to_string(length) +
                                    " bytes, more than the limit of " +
                                    std::to_string(policy_.max_download_bytes));
    }

    PartialFile file;
    if (!file.open_folder(folder, why) || !file.create(why))
        return failed(FileError, why);
    sink.easy = c.get();
    sink.file = &file;
    sink.digest = digest.get();
    sink.length = static_cast<std::uint64_t>(length);
    // The transfer's own deadline grows with the package; a stall ends it early.
    const Deadlines& limits = policy_.deadlines;
    api.easy_setopt(c.get(), CURLOPT_TIMEOUT_MS, download_deadline_ms(limits, sink.length));
    if (limits.stall_bytes_per_second > 0 && limits.stall_seconds > 0) {
        api.easy_setopt(c.get(), CURLOPT_LOW_SPEED_LIMIT, limits.stall_bytes_per_second);
        api.easy_setopt(c.get(), CURLOPT_LOW_SPEED_TIME, limits.stall_seconds);
    }
    api.easy_setopt(c.get(), CURLOPT_NOBODY, 0L);
    api.easy_setopt(c.get(), CURLOPT_HTTPGET, 1L);
    api.easy_setopt(c.get(), CURLOPT_WRITEFUNCTION, write_download);
    api.easy_setopt(c.get(), CURLOPT_WRITEDATA, &sink);
    error_buffer[0] = '\0';
    rc = api.easy_perform(c.get());
    received = sink.received;
    if (sink.stopped)
        return DownloadStatus::Stopped;
    if (sink.write_errno != 0) {
        return failed(FileError,
                      std::string("cannot write the file: ") + std::strerror(sink.write_errno));
    }
    if (sink.get_length >= 0) {
        return failed(LengthMismatch, "the server announced " + std::to_string(sink.length) +
                                          " bytes but sends " + std::to_string(sink.get_length));
    }
    if (sink.overflow) {
        return failed(LengthMismatch, "the server sends more than the " +
                                          std::to_string(sink.length) + " bytes it announced");
    }
    if (sink.received < sink.length) {
        if (rc != CURLE_OK)
            return transfer_failed(rc);
        return failed(CURLE_PARTIAL_FILE, "the transfer ended after " +
                                              std::to_string(sink.received) + " of " +
                                              std::to_string(sink.length) + " bytes");
    }

    if (!sha256_hex.empty()) {
        unsigned char bytes[EVP_MAX_MD_SIZE];
        unsigned size = 0;
        if (api.digest_final(digest.get(), bytes, &size) != 1)
            return failed(ClientUnavailable, "the SHA-256 digest could not be computed");
        const std::string actual = to_hex(bytes, size);
        if (!equals_ignoring_case(actual, sha256_hex))
            return failed(DigestMismatch, "the package's SHA-256 is " + actual + ", not " +
                                              std::string(sha256_hex));
    }
    if (!file.commit(file_name, why))
        return failed(FileError, why);
    last_error_ = NoError;
    last_error_text_.clear();
    if (progress)
        progress(static_cast<double>(sink.length), static_cast<double>(sink.length));
    return DownloadStatus::Complete;
}

}  // namespace velqa::platform::http
