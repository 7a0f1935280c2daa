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
#include <optional>
#include <string>
#include <vector>

#include "platform/debug_output.h"
#include "platform/desktop/focus_common.h"
#include "platform/desktop/focus_watcher.h"
#include "platform/json_read.h"
#include "platform/worker_thread.h"

namespace velqa::platform::desktop {
namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t kHeaderBytes = sizeof kMagic + 8;
constexpr std::uint32_t kSubscribe = 2;
constexpr std::uint32_t kGetTree = 4;
constexpr std::uint32_t kEventBit = 0x80000000u;
constexpr std::uint32_t kWorkspaceEvent = kEventBit | 0;
constexpr std::uint32_t kWindowEvent = kEventBit | 3;

struct Message {
    std::uint32_t type = 0;
    std::string payload;
    bool skipped = false;  // longer than we read; payload left empty
};

enum class Io { Ok, Stopped, Closed };

// A window's application: Wayland's app_id, else the X11 class (Xwayland, i3), else the
// executable of its process.
std::string app_of(const Json::Value& node) {
    std::string app = clean_app_id(to_text(member(node, "app_id")));
    if (app.empty())
        app = clean_app_id(to_text(member(member(node, "window_properties"), "class")));
    if (app.empty())
        app = executable_name(static_cast<long>(to_int(member(node, "pid"))));
    return app;
}

bool is_array_with_items(const Json::Value& v) {
    return v.isArray() && !v.empty();
}

// The focused node of a tree (nodes and floating nodes), or null.
const Json::Value* focused_node(const Json::Value& node) {
    if (to_bool(member(node, "focused")))
        return &node;
    for (const char* list : {"nodes", "floating_nodes"}) {
        const Json::Value& children = member(node, list);
        if (!children.isArray())
            continue;
        for (const Json::Value& child : children)
            if (const Json::Value* found = focused_node(child))
                return found;
    }
    return nullptr;
}

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
        last_.reset();
        focused_id_ = -1;
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

    void report(std::string app) {
        if (last_ == app)
            return;
        last_ = app;
        on_focus_(FocusedApp{std::move(app)});
    }

    void on_tree(const Json::Value& tree) {
        const Json::Value* node = focused_node(tree);
        if (node == nullptr)
            return;
        const std::string type = to_text(member(*node, "type"));
        const bool window = type == "con" || type == "floating_con";
        focused_id_ = window ? to_int(member(*node, "id")) : -1;
        report(window ? app_of(*node) : std::string());
    }

    void on_window(const Json::Value& event) {
        const std::string change = to_text(member(event, "change"));
        const Json::Value& container = member(event, "container");
        if (change == "focus") {
            focused_id_ = to_int(member(container, "id"));
            report(app_of(container));
        } else if (change == "close" && focused_id_ >= 0 &&
                   to_int(member(container, "id")) == focused_id_) {
            // A focus event follows when another window takes the focus.
            focused_id_ = -1;
            report({});
        }
    }

    void on_workspace(const Json::Value& event) {
        if (to_text(member(event, "change")) != "focus")
            return;
        // A workspace with windows is followed by a window event; an empty one leaves the focus
        // on no application.
        const Json::Value& current = member(event, "current");
        if (!is_array_with_items(member(current, "nodes")) &&
            !is_array_with_items(member(current, "floating_nodes"))) {
            focused_id_ = -1;
            report({});
        }
    }

    void run() {
        if (send_message(kGetTree, {}) != Io::Ok ||
            send_message(kSubscribe, R"(["window","workspace"])") != Io::Ok) {
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
            const Json::Value value = parse_json(message.payload, &error);
            if (!error.empty()) {
                debug_printf("focus (sway): message of type %u ignored: %s", message.type,
                             error.c_str());
                continue;
            }
            switch (message.type) {
                case kGetTree:
                    on_tree(value);
                    break;
                case kSubscribe:
                    if (!to_bool(member(value, "success"))) {
                        debug_printf("focus (sway): the window manager refuses the events");
                        return;
                    }
                    break;
                case kWindowEvent:
                    on_window(value);
                    break;
                case kWorkspaceEvent:
                    on_workspace(value);
                    break;
                default:
                    break;
            }
        }
    }

    std::string path_;
    std::string reason_;
    int fd_ = -1;
    std::optional<std::string> last_;
    std::int64_t focused_id_ = -1;
    Callback on_focus_;
    StopDescriptor stop_fd_;
    WorkerThread worker_;
};

}  // namespace

std::unique_ptr<FocusWatcher> make_sway_focus_watcher(const std::string& socket_path) {
    return std::make_unique<SwayFocusWatcher>(std::string(socket_path));
}

}  // namespace velqa::platform::desktop
