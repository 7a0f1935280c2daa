// Sway and i3: both speak the i3 IPC protocol on a Unix socket. Each message is "i3-ipc", a
// 32-bit payload length and a 32-bit type (host byte order), then a JSON payload. Events carry
// the type's high bit.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

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

enum class Io { Ok, Stopped, Closed, Refused };

constexpr char kLost[] =
    "The connection to the window manager is lost, so profiles do not follow the focused "
    "application until it is back; trying again.";
constexpr char kRefused[] =
    "The window manager refuses to report focus changes, so profiles cannot follow the focused "
    "application.";

class SwayFocusWatcher final : public FocusWatcher {
  public:
    SwayFocusWatcher(std::string path, SocketPaths more_sockets)
        : path_(std::move(path)), first_path_(path_), more_sockets_(std::move(more_sockets)) {
        reason_ = connect_socket(path_);
    }

    ~SwayFocusWatcher() override {
        stop();
        if (fd_ >= 0)
            close(fd_);
    }
    SwayFocusWatcher(const SwayFocusWatcher&) = delete;
    SwayFocusWatcher& operator=(const SwayFocusWatcher&) = delete;

    std::string unavailable_reason() const override { return reason_; }

    std::string start(Callback on_focus, StatusCallback on_status) override {
        if (!stop_fd_.valid())
            return "The focus watcher cannot make its stop descriptor.";
        if (worker_.running())
            return "The focus watcher is running already.";
        // Each run has a connection of its own: a stopped one may have left a reply unread.
        if (fd_ < 0) {
            reason_ = connect_socket(path_);
            if (!reason_.empty())
                return reason_;
        }
        stop_fd_.clear();
        tracker_ = SwayFocusTracker();
        on_focus_ = std::move(on_focus);
        on_status_ = std::move(on_status);
        if (!worker_.start([this](StopEvent& stop) { run(stop); }))
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
    // Empty when connected to `path`, else why not.
    std::string connect_socket(const std::string& path) {
        const std::string unreachable =
            "The window manager's IPC socket \"" + path + "\" cannot be reached";
        sockaddr_un address{};
        if (path.empty() || path.size() >= sizeof address.sun_path)
            return unreachable + ".";
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.data(), path.size());
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

    void status(const char* reason) {
        if (on_status_)
            on_status_(reason);
    }

    // Follows the focus on the connection made; Stopped, Refused, or Closed when the window
    // manager went away. Subscribed before the tree is asked for, so that no change falls
    // between the two; `resumed` is said once the tree has answered.
    Io follow(bool resumed) {
        if (send_message(SwaySubscribe, R"(["window","workspace"])") != Io::Ok ||
            send_message(SwayGetTree, {}) != Io::Ok)
            return Io::Closed;
        Message message;
        for (;;) {
            if (const Io io = receive_message(message); io != Io::Ok)
                return io;
            if (message.skipped) {
                debug_printf("focus (sway): message of type %u skipped: too long", message.type);
                continue;
            }
            std::string error;
            const auto outcome = tracker_.handle(message.type, message.payload, &error);
            if (resumed && message.type == SwayGetTree) {
                resumed = false;
                debug_printf("focus (sway): connected again to %s", path_.c_str());
                status("");
            }
            switch (outcome) {
                case SwayFocusTracker::Outcome::Changed:
                    on_focus_(FocusedApp{tracker_.focused()});
                    break;
                case SwayFocusTracker::Outcome::Refused:
                    return Io::Refused;
                case SwayFocusTracker::Outcome::Unchanged:
                    if (!error.empty())
                        debug_printf("focus (sway): message of type %u ignored: %s", message.type,
                                     error.c_str());
                    break;
            }
        }
    }

    // i3 restarts in place and listens again on the same path; a Sway started anew listens on
    // a path of its own. False once stopped.
    bool reconnect(StopEvent& stop) {
        auto delay = FirstReconnectDelay;
        for (;;) {
            if (stop.wait_for(delay, stop.wakes()) == StopEvent::WaitResult::Set)
                return false;
            std::vector<std::string> paths{first_path_};
            if (path_ != first_path_)
                paths.push_back(path_);
            if (more_sockets_) {
                for (std::string& p : more_sockets_())
                    if (std::find(paths.begin(), paths.end(), p) == paths.end())
                        paths.push_back(std::move(p));
            }
            for (const std::string& p : paths) {
                if (connect_socket(p).empty()) {
                    path_ = p;
                    return true;
                }
            }
            delay = std::min(delay * 2, LastReconnectDelay);
        }
    }

    void run(StopEvent& stop) {
        for (bool resumed = false;; resumed = true) {
            switch (follow(resumed)) {
                case Io::Stopped:
                    return;
                case Io::Refused:
                    debug_printf("focus (sway): the window manager refuses the events");
                    status(kRefused);
                    return;
                case Io::Ok:
                case Io::Closed:
                    break;
            }
            debug_printf("focus (sway): the IPC connection is closed; trying again");
            status(kLost);
            close(fd_);
            fd_ = -1;
            // The focus is read from the new tree; an unchanged application is not reported
            // twice.
            if (!reconnect(stop))
                return;
        }
    }

    std::string path_;        // the socket connected last; the worker's once started
    std::string first_path_;  // the one the session named
    SocketPaths more_sockets_;
    std::string reason_;
    int fd_ = -1;
    SwayFocusTracker tracker_;
    Callback on_focus_;
    StatusCallback on_status_;
    StopDescriptor stop_fd_;
    WorkerThread worker_;
};

}  // namespace

std::unique_ptr<FocusWatcher> make_sway_focus_watcher(const std::string& socket_path,
                                                      SocketPaths more_sockets) {
    return std::make_unique<SwayFocusWatcher>(std::string(socket_path), std::move(more_sockets));
}

std::vector<std::string> sway_sockets_beside(const std::string& socket_path) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(socket_path).parent_path();
    struct stat dir {};
    if (folder.empty() || lstat(folder.c_str(), &dir) != 0 || !S_ISDIR(dir.st_mode))
        return {};
    // In a folder that only its owner can write to (the runtime folder), that owner's sockets;
    // in a shared one, only our own.
    const bool private_folder = (dir.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    std::vector<std::pair<fs::file_time_type, std::string>> found;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("sway-ipc.") || !name.ends_with(".sock") ||
            entry.path() == fs::path(socket_path))
            continue;
        struct stat info {};
        if (lstat(entry.path().c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
            continue;
        if (info.st_uid != geteuid() && !(private_folder && info.st_uid == dir.st_uid))
            continue;
        std::error_code time_ec;
        found.emplace_back(fs::last_write_time(entry.path(), time_ec), entry.path().string());
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a > b; });
    std::vector<std::string> paths;
    for (auto& [time, path] : found)
        paths.push_back(std::move(path));
    return paths;
}

}  // namespace velqa::platform::desktop
