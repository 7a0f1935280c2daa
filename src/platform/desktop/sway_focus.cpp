// Sway and i3: both speak the i3 IPC protocol on a Unix socket. Each message is "i3-ipc", a
// 32-bit payload length and a 32-bit type (host byte order), then a JSON payload. Events carry
// the type's high bit.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/debug_output.h"
#include "platform/desktop/focus_common.h"
#include "platform/desktop/focus_watcher.h"
#include "platform/desktop/sway_ipc.h"
#include "platform/worker_thread.h"

namespace velqa::platform::desktop {
namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t kHeaderBytes = sizeof kMagic + 8;

struct Message {
    std::uint32_t type = 0;
    std::string payload;
    bool skipped = false;  // longer than we read; payload left empty
};

enum class Io { Ok, Stopped, Closed };

class SwayFocusWatcher final : public FocusWatcher {
  public:
    explicit SwayFocusWatcher(std::string path) : path_(std::move(path)) {
        reason_ = connect_socket();
    }

    ~SwayFocusWatcher() override {
        stop();
        if (fd_ >= 0)
            close(fd_);
    }
    SwayFocusWatcher(const SwayFocusWatcher&) = delete;
    SwayFocusWatcher& operator=(const SwayFocusWatcher&) = delete;

    std::string unavailable_reason() const override { return reason_; }

    std::string start(Callback on_focus) override {
        if (!stop_fd_.valid())
            return "The focus watcher cannot make its stop descriptor.";
        if (worker_.running())
            return "The focus watcher is running already.";
        // Each run has a connection of its own: a stopped one may have left a reply unread.
        if (fd_ < 0) {
            reason_ = connect_socket();
            if (!reason_.empty())
                return reason_;
        }
        stop_fd_.clear();
        tracker_ = SwayFocusTracker();
        on_focus_ = std::move(on_focus);
        if (!worker_.start([this](StopEvent&) { run(); }))
            return "The focus watcher's thread cannot be started.";
        return {};
    }

    void stop() override {
        worker_.stop(DefaultStopWait, [this] { stop_fd_.signal(); });
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

  private:
    // Empty when connected, else why not.
    std::string connect_socket() {
        const std::string unreachable =
            "The window manager's IPC socket \"" + path_ + "\" cannot be reached";
        sockaddr_un address{};
        if (path_.empty() || path_.size() >= sizeof address.sun_path)
            return unreachable + ".";
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path_.data(), path_.size());
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd_ >= 0 &&
            connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return {};
        std::string error = unreachable + ": " + std::strerror(errno) + ".";
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
        return error;
    }

    Io send_message(std::uint32_t type, const std::string& payload) {
        std::string bytes(kMagic, sizeof kMagic);
        const auto length = static_cast<std::uint32_t>(payload.size());
        bytes.append(reinterpret_cast<const char*>(&length), sizeof length);
        bytes.append(reinterpret_cast<const char*>(&type), sizeof type);
        bytes += payload;
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                if (!stop_fd_.wait_for(fd_, POLLOUT))
                    return Io::Stopped;
            } else {
                return Io::Closed;
            }
        }
        return Io::Ok;
    }

    // Reads `size` bytes into `into`, or drops them when `into` is null.
    Io receive(char* into, std::size_t size) {
        std::array<char, 4096> sink{};
        while (size > 0) {
            char* target = into != nullptr ? into : sink.data();
            const std::size_t want = into != nullptr ? size : std::min(size, sink.size());
            const ssize_t n = recv(fd_, target, want, 0);
            if (n > 0) {
                size -= static_cast<std::size_t>(n);
                if (into != nullptr)
                    into += n;
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                if (!stop_fd_.wait_for(fd_, POLLIN))
                    return Io::Stopped;
            } else {
                return Io::Closed;
            }
        }
        return Io::Ok;
    }

    Io receive_message(Message& message) {
        std::array<char, kHeaderBytes> header{};
        if (const Io io = receive(header.data(), header.size()); io != Io::Ok)
            return io;
        if (std::memcmp(header.data(), kMagic, sizeof kMagic) != 0)
            return Io::Closed;  // not the protocol: nothing after it can be trusted
        std::uint32_t length = 0;
        std::memcpy(&length, header.data() + sizeof kMagic, sizeof length);
        std::memcpy(&message.type, header.data() + sizeof kMagic + 4, sizeof message.type);
        message.skipped = length > MaxSwayMessageBytes;
        message.payload.clear();
        if (message.skipped)
            return receive(nullptr, length);
        message.payload.resize(length);
        return receive(message.payload.data(), length);
    }

    void run() {
        if (send_message(SwayGetTree, {}) != Io::Ok ||
            send_message(SwaySubscribe, R"(["window","workspace"])") != Io::Ok) {
            debug_printf("focus (sway): cannot send to the IPC socket");
            return;
        }
        Message message;
        for (;;) {
            const Io io = receive_message(message);
            if (io == Io::Stopped)
                return;
            if (io == Io::Closed) {
                debug_printf("focus (sway): the IPC connection is closed");
                return;
            }
            if (message.skipped) {
                debug_printf("focus (sway): message of type %u skipped: too long", message.type);
                continue;
            }
            std::string error;
            switch (tracker_.handle(message.type, message.payload, &error)) {
                case SwayFocusTracker::Outcome::Changed:
                    on_focus_(FocusedApp{tracker_.focused()});
                    break;
                case SwayFocusTracker::Outcome::Refused:
                    debug_printf("focus (sway): the window manager refuses the events");
                    return;
                case SwayFocusTracker::Outcome::Unchanged:
                    if (!error.empty())
                        debug_printf("focus (sway): message of type %u ignored: %s", message.type,
                                     error.c_str());
                    break;
            }
        }
    }

    std::string path_;
    std::string reason_;
    int fd_ = -1;
    SwayFocusTracker tracker_;
    Callback on_focus_;
    StopDescriptor stop_fd_;
    WorkerThread worker_;
};

}  // namespace

std::unique_ptr<FocusWatcher> make_sway_focus_watcher(const std::string& socket_path) {
    return std::make_unique<SwayFocusWatcher>(std::string(socket_path));
}

}  // namespace velqa::platform::desktop
