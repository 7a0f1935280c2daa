// An HTTP or HTTPS server on 127.0.0.1 inside the test process, and certificates for it made
// with the openssl tool at test time.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include <httplib.h>

namespace velqa::test {

// A self-signed certificate (its own authority) and its key.
struct TestCertificate {
    std::filesystem::path cert;
    std::filesystem::path key;
};

// Makes `dir`/`stem`.pem and `stem`.key for the names in `subject_alt_names` (openssl's
// subjectAltName syntax, e.g. "IP:127.0.0.1,DNS:localhost"). False when openssl failed.
bool make_test_certificate(const std::filesystem::path& dir, const std::string& stem,
                           const std::string& subject_alt_names, TestCertificate& out);

// Serves on a loopback port from a thread of its own. Add handlers through server() before
// start(); the destructor stops it.
class LoopbackServer {
  public:
    LoopbackServer();                                 // plain http
    explicit LoopbackServer(const TestCertificate&);  // https
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    httplib::Server& server() { return *server_; }
    // Binds a free port and starts serving; connections are accepted from then on. False when
    // the port could not be bound (or the certificate not loaded).
    bool start();
    int port() const { return port_; }
    // "http[s]://127.0.0.1:PORT" + path.
    std::string url(std::string_view path = "/") const;

  private:
    std::unique_ptr<httplib::Server> server_;
    bool tls_ = false;
    int port_ = -1;
    std::thread thread_;
};

// A loopback port that nothing listens on (bound once, then closed).
int closed_loopback_port();

// A server that crawls: `body` (its length announced) goes out one byte every `gap`, until it
// is all sent or the client has gone.
void send_trickle(httplib::Response& res, std::string body, std::chrono::milliseconds gap);

}  // namespace velqa::test
