// A small HTTP client over libcurl: one request into a bounded reply buffer, and the download of
// one file with progress. Certificates are always verified; plain HTTP is used only for a
// loopback address or for a host the caller's policy names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/worker_thread.h"

namespace velqa::platform::http {

// Size of the reply buffer of one request.
inline constexpr std::size_t ReplyBufferSize = 102400;

// The reply text written into the buffer when a request could not be sent at all.
inline constexpr std::string_view NoLinkServer = "NO_LINK_SERVER";

// Largest download accepted unless the policy says otherwise.
inline constexpr std::uint64_t DefaultMaxDownloadBytes = 512ull * 1024 * 1024;

// Codes of last_error(). Transport failures keep libcurl's own code (a CURLcode, 1-99).
enum ErrorCode : int {
    NoError = 0,
    UrlTooShort = 3,           // a URL shorter than 2 characters
    BadMethod = 87,            // a method other than GET or POST
    InsecureUrl = 1001,        // plain HTTP to a host the policy does not allow, or another scheme
    ReplyTooLarge = 1002,      // the reply did not fit the buffer
    HttpStatus = 1003,         // a download answered with a status other than 2xx
    NoContentLength = 1004,    // a download without a length
    TooLarge = 1005,           // a download larger than the policy's limit
    DigestMismatch = 1006,     // the downloaded bytes do not have the announced SHA-256
    BadFileName = 1007,        // a target name with a separator, "..", or nothing
    FileError = 1008,          // the target folder or file could not be used
    ClientUnavailable = 1009,  // libcurl or libcrypto could not be loaded or initialised
    Stopped = 1010,            // the stop event was set
    LengthMismatch = 1011,     // a download's length differs from the one announced
    TimedOut = 28              // libcurl's time-out: a deadline or the stall limit was reached
};

// The client settings, reset before every query.
struct Settings {
    std::string user_agent = "WinHTTP Client/1.0";
    std::string named_proxy;  // used only by requests with use_named_proxy
    std::string proxy_user;
    std::string proxy_password;
    // Time-outs in milliseconds; 0 is libcurl's default. Resolving counts toward the connect
    // time-out; without separate send and receive time-outs, the larger of them ends a transfer
    // that moves no byte for that long.
    long resolve_timeout_ms = 0;
    long connect_timeout_ms = 60000;
    long send_timeout_ms = 30000;
    long receive_timeout_ms = 30000;
};

// How long the client waits; 0 turns a limit off. A request (a query, or the length request
// before a download) ends after `request_ms` in all. A download's transfer ends after
// `download_base_ms` plus one second for every `download_min_rate` bytes of its length, or once
// it has moved fewer than `stall_bytes_per_second` bytes a second for `stall_seconds`, so that
// a server that trickles cannot hold a worker for hours.
struct Deadlines {
    long connect_ms = 15000;
    long request_ms = 15000;
    long download_base_ms = 30000;
    std::uint64_t download_min_rate = 8192;
    long stall_bytes_per_second = 100;
    long stall_seconds = 30;
};

// What the client trusts and how long it waits; fixed for the client's lifetime.
struct TransportPolicy {
    // Hosts (exact, case-insensitive names) reached over plain HTTP besides loopback addresses.
    std::vector<std::string> plain_http_hosts;
    // Extra certificate bundle to verify servers with instead of the system's (a test's own
    // authority, a private mirror's). Empty: the system's bundle.
    std::filesystem::path ca_file;
    std::uint64_t max_download_bytes = DefaultMaxDownloadBytes;
    Deadlines deadlines;
};

// The time a download of `length` bytes may take under `deadlines`, in milliseconds; 0 when
// unbounded.
long download_deadline_ms(const Deadlines& deadlines, std::uint64_t length);

// True when `url` is https, or http to a loopback address ("localhost", 127.0.0.0/8, [::1]) or
// to a host of `policy.plain_http_hosts`. Otherwise false, with the reason in `why` (also when
// libcurl cannot be loaded).
bool url_allowed(std::string_view url, const TransportPolicy& policy, std::string* why = nullptr);

// True for a name that stays inside its folder: not empty, not "." or "..", no "/", no NUL, no
// "..", at most 255 bytes.
bool plain_file_name(std::string_view name);

enum class DownloadStatus {
    Complete,  // the file holds exactly the announced bytes (and digest)
    Failed,    // see last_error(); progress was reported with a total of 0
    Stopped    // the stop event was set; no further progress was reported
};

class CurlLibrary;

// One client per thread: settings and the last error are the client's own and not locked.
class HttpClient {
  public:
    // `library` (it must outlive the client) replaces the program's libcurl and libcrypto,
    // which are otherwise loaded by the first request of any client.
    explicit HttpClient(TransportPolicy policy = {}, const CurlLibrary* library = nullptr);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    Settings& settings() { return settings_; }
    void reset_settings();
    const TransportPolicy& policy() const { return policy_; }
    // A worker's stop event (may be null; it must outlive the client's use): a request or
    // download under way ends soon after it is set (within about a second while no byte moves).
    void set_stop_event(const StopEvent* stop) { stop_ = stop; }

    // Sends one request ("GET" or "POST", any case) with `body_length` bytes of `body`, as
    // form data that accepts the update server's JSON, and copies the reply body into `reply`
    // (zero-filled first; the reply always ends before the buffer's last byte, so the text is
    // zero-terminated). Returns the number of reply bytes. -1 for a bad argument (last error 3
    // or 87), when libcurl gives no handle, or for a reply that does not fit (ReplyTooLarge; the
    // buffer is zeroed again). When the request could not be sent (no route, refused
    // connection, failed TLS handshake or certificate, a URL the policy refuses, libcurl or
    // libcrypto missing: ClientUnavailable, naming the file or function), the buffer holds
    // "NO_LINK_SERVER" and the result is 0. The body of a non-2xx reply is returned like
    // any other. A request ended by the stop event is treated as never sent (last error
    // Stopped). A request that outlives the policy's deadline ends with last error TimedOut, as
    // never sent when nothing was sent, else with the bytes that arrived.
    int http_request(std::string_view method, std::string_view url, const char* body,
                     std::size_t body_length, std::span<char> reply, bool use_named_proxy);

    // progress(total bytes, received bytes).
    using Progress = std::function<void(double total, double received)>;

    // Downloads `url` to `folder`/`file_name`: a HEAD request for the length, then a GET that
    // must bring exactly that many bytes (a GET announcing another length, or sending more or
    // fewer bytes, fails with LengthMismatch or the transfer's error), within the policy's
    // deadlines (else TimedOut). The bytes go to a new file that is created
    // without following links and without execute permission, and replace `file_name` only when
    // complete (and equal to `sha256_hex`, a hexadecimal SHA-256, when that is not empty).
    // `folder` must be a real folder owned by this user and writable by nobody else.
    // progress(length, received) after every 1024 bytes, the last one only once the file is in
    // place; every failure reports progress(0, received) once and leaves no file behind.
    // `stop` (the client's stop event when null) ends the download with Stopped and no report.
    DownloadStatus download_file(std::string_view url, const std::filesystem::path& folder,
                                 std::string_view file_name, const Progress& progress,
                                 const StopEvent* stop = nullptr, std::string_view sha256_hex = {});

    int last_error() const { return last_error_; }
    // A readable reason for the last error; empty when there was none.
    const std::string& last_error_text() const { return last_error_text_; }

  private:
    void fail(int code, std::string text);
    const CurlLibrary& library() const;

    TransportPolicy policy_;
    const CurlLibrary* library_;
    Settings settings_;
    const StopEvent* stop_ = nullptr;
    int last_error_ = NoError;
    std::string last_error_text_;
};

}  // namespace velqa::platform::http
