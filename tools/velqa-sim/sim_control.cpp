#include "sim_control.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <json/writer.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/number_text.h"

namespace velqa::sim {

namespace {

bool parse_int(const std::string& text, long min, long max, int& out) {
    const auto v = platform::parse_number(text, min, max);
    if (!v)
        return false;
    out = static_cast<int>(*v);
    return true;
}

std::optional<Link> parse_link(const std::string& s) {
    if (s == "cable")
        return Link::Cable;
    if (s == "receiver")
        return Link::Receiver;
    return std::nullopt;
}

ControlResult usage_error(const std::string& why) {
    return {2, why + "\n" + control_usage()};
}

bool write_all(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

constexpr size_t kRequestLimit = 64 * 1024;

// Milliseconds from now until `deadline` for poll(), rounded up so a wait never ends just
// before it; 0 once it has passed.
int wait_ms(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT32_MAX));
}

// Reads until the peer shuts its side down; false after `limit` bytes or at `deadline`.
bool read_all(int fd, std::string& out, size_t limit,
              std::chrono::steady_clock::time_point deadline) {
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, wait_ms(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > limit)
            return false;
    }
}

sockaddr_un address_of(const std::filesystem::path& path, bool& fits) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string s = path.string();
    fits = s.size() < sizeof(addr.sun_path);
    if (fits)
        std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
    return addr;
}

}  // namespace

FirmwareHandler::FirmwareHandler(Firmware& firmware, int latency_ms)
    : firmware_(firmware), latency_ms_(latency_ms) {}

FirmwareHandler::~FirmwareHandler() {
    firmware_.set_notify_sink(nullptr);
}

void FirmwareHandler::attach(SimNodes* nodes) {
    nodes_ = nodes;
    firmware_.set_notify_sink([nodes](Link l, std::span<const uint8_t> report) {
        if (nodes)
            nodes->send_input(l, 1, report);
    });
}

void FirmwareHandler::on_output(Link l, std::span<const uint8_t> report) {
    Firmware::Outcome out = firmware_.handle(l, report);
    const int delay = latency_ms_.load() + out.delay_ms;
    if (delay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    if (out.reply && nodes_)
        nodes_->send_input(l, 1, *out.reply);
}

const char* control_usage() {
    return "velqa-sim ctl --dir DIR COMMAND\n"
           "  dump                        device state as JSON\n"
           "  plug|unplug cable|receiver  hot-plug one link\n"
           "  link on|off                 the mouse's radio link to the receiver\n"
           "  press dpi                   the DPI button: next enabled stage\n"
           "  press key POS [1|2]         keyboard: key POS pressed (reactive kind 1 or 2)\n"
           "  set-slot N                  select onboard slot N (0-3)\n"
           "  change OFFSET VALUE         change byte OFFSET (1-73) of the active record\n"
           "  battery PCT [0|1|2]         battery level and charging state\n"
           "  fault drop|status-ff|status-fe|wrong-echo [COUNT]  the next COUNT (default 1) "
           "requests meet the fault\n"
           "  fault slow MS [COUNT]       the next COUNT requests are answered MS late\n"
           "  fault clear                 forget pending faults\n";
}

ControlResult run_control(Firmware& fw, SimNodes* nodes, const std::vector<std::string>& args) {
    if (args.empty())
        return usage_error("missing command");
    const std::string& cmd = args[0];
    if (cmd == "dump" && args.size() == 1) {
        Json::StreamWriterBuilder b;
        b["indentation"] = "  ";
        return {0, Json::writeString(b, fw.dump()) + "\n"};
    }
    if ((cmd == "plug" || cmd == "unplug") && args.size() == 2) {
        const auto l = parse_link(args[1]);
        if (!l)
            return usage_error("expected cable or receiver");
        const bool plug = cmd == "plug";
        const bool ok = nodes ? (plug ? nodes->plug(*l) : nodes->unplug(*l)) : true;
        if (!ok)
            return {1, "cannot " + cmd + " " + args[1] + "\n"};
        fw.set_plugged(*l, plug);
        return {0, ""};
    }
    if (cmd == "link" && args.size() == 2 && (args[1] == "on" || args[1] == "off")) {
        fw.set_linked(args[1] == "on");
        return {0, ""};
    }
    if (cmd == "press" && args.size() == 2 && args[1] == "dpi") {
        fw.press_dpi();
        return {0, ""};
    }
    if (cmd == "press" && (args.size() == 3 || args.size() == 4) && args[1] == "key") {
        int position = 0;
        int kind = 1;
        if (fw.device() != SimDevice::Keyboard)
            return {1, "press key needs a keyboard (velqa-sim --device keyboard)\n"};
        if (!parse_int(args[2], 0, 255, position) ||
            (args.size() == 4 && !parse_int(args[3], 1, 2, kind)) || !fw.press_key(position, kind))
            return usage_error(
                "press key needs a key position below the key count and KIND 1 or 2");
        return {0, ""};
    }
    if (cmd == "set-slot" && args.size() == 2) {
        int slot = 0;
        if (!parse_int(args[1], 0, Firmware::Slots - 1, slot)) {
            return usage_error("slot must be 0-" + std::to_string(Firmware::Slots - 1));
        }
        fw.set_slot(slot);
        return {0, ""};
    }
    if (cmd == "change" && args.size() == 3) {
        int offset = 0;
        int value = 0;
        if (!parse_int(args[1], 1, 73, offset) || !parse_int(args[2], 0, 255, value)) {
            return usage_error("change needs OFFSET 1-73 and VALUE 0-255");
        }
        if (!fw.change_setting(static_cast<size_t>(offset), static_cast<uint8_t>(value)))
            return usage_error("a keyboard's record takes OFFSET 1-32");
        return {0, ""};
    }
    if (cmd == "battery" && (args.size() == 2 || args.size() == 3)) {
        int pct = 0;
        int charging = 0;
        if (!parse_int(args[1], 0, 100, pct) ||
            (args.size() == 3 && !parse_int(args[2], 0, 2, charging))) {
            return usage_error("battery needs PCT 0-100 and an optional state 0, 1 or 2");
        }
        fw.set_battery(pct, charging);
        return {0, ""};
    }
    if (cmd == "fault" && args.size() >= 2) {
        if (args[1] == "clear" && args.size() == 2) {
            fw.clear_faults();
            return {0, ""};
        }
        const auto fault = parse_fault(args[1]);
        if (!fault)
            return usage_error("unknown fault '" + args[1] + "'");
        size_t next = 2;
        int delay = 0;
        if (*fault == Fault::Slow) {
            if (args.size() < 3 || !parse_int(args[2], 0, 60000, delay)) {
                return usage_error("fault slow needs MS (0-60000)");
            }
            next = 3;
        }
        int count = 1;
        if (args.size() > next + 1 ||
            (args.size() == next + 1 && !parse_int(args[next], 1, 1000000, count))) {
            return usage_error("COUNT must be a positive number");
        }
        fw.inject_fault(*fault, count, delay);
        return {0, ""};
    }
    return usage_error("unknown or incomplete command '" + cmd + "'");
}

struct ControlServer::Connection {
    int fd = -1;
    std::chrono::steady_clock::time_point deadline;
    std::string request;
    std::string answer;
    size_t sent = 0;
    bool answering = false;
};

ControlServer::ControlServer(Firmware& firmware, SimNodes* nodes, std::filesystem::path dir,
                             std::chrono::milliseconds deadline)
    : firmware_(firmware), nodes_(nodes), dir_(std::move(dir)), deadline_(deadline) {}

ControlServer::~ControlServer() {
    stop();
}

std::filesystem::path ControlServer::socket_path(const std::filesystem::path& dir) {
    return dir / "control.sock";
}

bool ControlServer::start() {
    bool fits = false;
    const auto path = socket_path(dir_);
    const sockaddr_un addr = address_of(path, fits);
    if (!fits)
        return false;
    std::error_code ec;
    std::filesystem::remove(path, ec);
    listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0)
        return false;
    if (::bind(listen_fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_fd_, 8) != 0) {
        ::close(listen_fd_);
        listen_fd_ = -1;
        return false;
    }
    stop_fd_ = ::eventfd(0, EFD_CLOEXEC);
    if (stop_fd_ < 0) {
        ::close(listen_fd_);
        listen_fd_ = -1;
        return false;
    }
    thread_ = std::thread([this] { serve(); });
    return true;
}

void ControlServer::stop() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(stop_fd_, &one, sizeof one);
        thread_.join();
    }
    if (listen_fd_ >= 0) {
        ::close(listen_fd_);
        listen_fd_ = -1;
        std::error_code ec;
        std::filesystem::remove(socket_path(dir_), ec);
    }
    if (stop_fd_ >= 0) {
        ::close(stop_fd_);
        stop_fd_ = -1;
    }
}

bool ControlServer::take_input(Connection& c) {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK;
        if (n == 0)
            break;
        c.request.append(buf, static_cast<size_t>(n));
        if (c.request.size() > kRequestLimit)
            return false;
    }
    std::vector<std::string> args;
    size_t start = 0;
    while (start < c.request.size()) {
        const size_t end = c.request.find('\n', start);
        args.push_back(c.request.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    const ControlResult res = run_control(firmware_, nodes_, args);
    c.answer = std::to_string(res.exit_code) + "\n" + res.output;
    c.answering = true;
    return give_output(c);
}

bool ControlServer::give_output(Connection& c) {
    while (c.sent < c.answer.size()) {
        const ssize_t n = ::send(c.fd, c.answer.data() + c.sent, c.answer.size() - c.sent,
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK;
        c.sent += static_cast<size_t>(n);
    }
    return false;  // all sent
}

void ControlServer::serve() {
    std::vector<Connection> connections;
    std::vector<pollfd> fds;
    auto drop = [](Connection& c) {
        ::close(c.fd);
        c.fd = -1;
    };
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        for (auto& c : connections) {
            if (now >= c.deadline)
                drop(c);
        }
        std::erase_if(connections, [](const Connection& c) { return c.fd < 0; });

        // A full table stops accepting; new clients wait in the listen queue meanwhile.
        fds.assign({{stop_fd_, POLLIN, 0},
                    {connections.size() < MaxConnections ? listen_fd_ : -1, POLLIN, 0}});
        auto next = std::chrono::steady_clock::time_point::max();
        for (const auto& c : connections) {
            fds.push_back({c.fd, static_cast<short>(c.answering ? POLLOUT : POLLIN), 0});
            next = std::min(next, c.deadline);
        }
        const int timeout = connections.empty() ? -1 : wait_ms(next);
        const int r = ::poll(fds.data(), fds.size(), timeout);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (fds[0].revents & POLLIN))
            break;
        for (size_t i = 0; i < connections.size(); ++i) {
            Connection& c = connections[i];
            const short ev = fds[i + 2].revents;
            if (ev == 0)
                continue;
            const bool keep = c.answering ? (ev & (POLLOUT | POLLERR | POLLHUP)) && give_output(c)
                                          : (ev & (POLLIN | POLLERR | POLLHUP)) && take_input(c);
            if (!keep)
                drop(c);
        }
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) {
                Connection c;
                c.fd = fd;
                c.deadline = std::chrono::steady_clock::now() + deadline_;
                connections.push_back(std::move(c));
            }
        }
    }
    for (auto& c : connections) {
        if (c.fd >= 0)
            ::close(c.fd);
    }
}

ControlResult send_control(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a.find('\n') != std::string::npos)
            return {2, "arguments cannot hold line breaks\n"};
    }
    bool fits = false;
    const sockaddr_un addr = address_of(ControlServer::socket_path(dir), fits);
    if (!fits)
        return {1, "folder path too long for a socket\n"};
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {1, "cannot create a socket\n"};
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return {1, "no simulator is running in " + dir.string() + "\n"};
    }
    std::string request;
    for (size_t i = 0; i < args.size(); ++i)
        request += (i ? "\n" : "") + args[i];
    std::string reply;
    const bool ok = write_all(fd, request) && ::shutdown(fd, SHUT_WR) == 0 &&
                    read_all(fd, reply, 64 * 1024 * 1024,
                             std::chrono::steady_clock::now() + std::chrono::seconds(10));
    ::close(fd);
    const size_t nl = reply.find('\n');
    if (!ok || nl == std::string::npos)
        return {1, "no answer from the simulator\n"};
    int code = 1;
    if (!parse_int(reply.substr(0, nl), 0, 255, code))
        return {1, "garbled answer\n"};
    return {code, reply.substr(nl + 1)};
}

}  // namespace velqa::sim
