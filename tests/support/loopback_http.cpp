#include "support/loopback_http.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/sim_process.h"
#include "support/waiting.h"

namespace velqa::test {

bool make_test_certificate(const std::filesystem::path& dir, const std::string& stem,
                           const std::string& subject_alt_names, TestCertificate& out) {
    out.cert = dir / (stem + ".pem");
    out.key = dir / (stem + ".key");
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=velqa-test -addext 'subjectAltName=" +
        subject_alt_names + "' -keyout '" + out.key.string() + "' -out '" + out.cert.string() +
        "' 2>&1";
    const CommandOutcome r = run_command(command);
    return r.exit_code == 0 && std::filesystem::exists(out.cert);
}

LoopbackServer::LoopbackServer() : server_(std::make_unique<httplib::Server>()) {}

LoopbackServer::LoopbackServer(const TestCertificate& certificate)
    : server_(
          std::make_unique<httplib::SSLServer>(certificate.cert.c_str(), certificate.key.c_str())),
      tls_(true) {}

LoopbackServer::~LoopbackServer() {
    if (thread_.joinable()) {
        // stop() before the accept loop has begun would be lost.
        eventually([this] { return server_->is_running(); });
        server_->stop();
        thread_.join();
    }
}

bool LoopbackServer::start() {
    if (!server_->is_valid())
        return false;
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        return false;
    // The socket listens from here on; the thread only accepts.
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    return true;
}

std::string LoopbackServer::url(std::string_view path) const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) +
           std::string(path);
}

void send_trickle(httplib::Response& res, std::string body, std::chrono::milliseconds gap) {
    const std::size_t length = body.size();
    res.set_content_provider(
        length, "application/octet-stream",
        [body = std::move(body), gap](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            // The crawl itself, on the server's own thread.
            std::this_thread::sleep_for(gap);
            return sink.write(body.data() + offset, 1);
        });
}

int closed_loopback_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

}  // namespace velqa::test
