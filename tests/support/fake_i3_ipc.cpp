#include "support/fake_i3_ipc.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "support/waiting.h"

namespace velqa::test {

namespace {

constexpr char kMagic[] = "i3-ipc";
constexpr std::size_t kMagicBytes = sizeof kMagic - 1;

std::string header(std::uint32_t type, std::uint32_t length) {
    std::string bytes(kMagic, kMagicBytes);
    bytes.append(reinterpret_cast<const char*>(&length), sizeof length);
    bytes.append(reinterpret_cast<const char*>(&type), sizeof type);
    return bytes;
}

bool read_exact(int fd, char* into, std::size_t size) {
    while (size > 0) {
        const ssize_t n = recv(fd, into, size, 0);
        if (n <= 0)
            return false;
        into += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

FakeI3Ipc::FakeI3Ipc(const std::filesystem::path& dir, std::string tree)
    : path_(dir / "ipc.sock"), tree_(std::move(tree)) {
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    if (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        listen(listener_, 1) == 0)
        thread_ = std::thread([this] { serve(); });
}

FakeI3Ipc::~FakeI3Ipc() {
    // Shutting the sockets down ends a blocked accept or read.
    shutdown(listener_, SHUT_RDWR);
    {
        std::lock_guard lock(mutex_);
        if (client_ >= 0)
            shutdown(client_, SHUT_RDWR);
    }
    if (thread_.joinable())
        thread_.join();
    if (client_ >= 0)
        close(client_);
    close(listener_);
}

void FakeI3Ipc::serve() {
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
        return;
    {
        std::lock_guard lock(mutex_);
        client_ = client;
    }
    char head[kMagicBytes + 8];
    while (read_exact(client, head, sizeof head)) {
        std::uint32_t length = 0, type = 0;
        std::memcpy(&length, head + kMagicBytes, 4);
        std::memcpy(&type, head + kMagicBytes + 4, 4);
        std::string payload(length, '\0');
        if (!read_exact(client, payload.data(), length))
            return;
        if (type == 4) {
            send(4, tree_);
        } else if (type == 2) {
            send(2, R"({"success":true})");
            std::lock_guard lock(mutex_);
            subscription_ = payload;
            subscribed_.notify_all();
        }
    }
}

std::string FakeI3Ipc::wait_subscribed() {
    std::unique_lock lock(mutex_);
    subscribed_.wait_for(lock, GenerousDeadline, [this] { return !subscription_.empty(); });
    return subscription_;
}

void FakeI3Ipc::send(std::uint32_t type, std::string_view payload) {
    send_raw(header(type, static_cast<std::uint32_t>(payload.size())) + std::string(payload));
}

void FakeI3Ipc::send_header(std::uint32_t type, std::uint32_t length) {
    send_raw(header(type, length));
}

void FakeI3Ipc::send_raw(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    if (client_ >= 0)
        write_all(client_, bytes);
}

}  // namespace velqa::test
