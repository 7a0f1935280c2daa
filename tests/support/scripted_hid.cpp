#include "support/scripted_hid.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velqa::test {

ScriptedHid::ScriptedHid(std::string node, uint16_t vendor_id, uint16_t product_id,
                         uint16_t interface_number, std::vector<uint8_t> descriptor) {
    info_.node = std::move(node);
    info_.vendor_id = vendor_id;
    info_.product_id = product_id;
    info_.interface_number = interface_number;
    info_.product = "Scripted";
    info_.descriptor = std::move(descriptor);
}

ScriptedHid::~ScriptedHid() {
    stop_peer();
}

std::string ScriptedHid::path(int col) const {
    char tail[64];
    std::snprintf(tail, sizeof tail, "#vid_%04x&pid_%04x&mi_%02x&col%02x", info_.vendor_id,
                  info_.product_id, info_.interface_number, col);
    return info_.node + tail;
}

void ScriptedHid::set_script(Script script) {
    std::lock_guard lock(mutex_);
    script_ = std::move(script);
}

void ScriptedHid::fail_opens_with(int error_number) {
    std::lock_guard lock(mutex_);
    fail_errno_ = error_number;
}

bool ScriptedHid::send(const Bytes& report) {
    std::lock_guard lock(mutex_);
    return peer_fd_ >= 0 && ::send(peer_fd_, report.data(), report.size(), MSG_NOSIGNAL) ==
                                static_cast<ssize_t>(report.size());
}

void ScriptedHid::hang_up() {
    stop_peer();
}

std::vector<ScriptedHid::Bytes> ScriptedHid::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<platform::hid::NodeInfo> ScriptedHid::enumerate() {
    return {info_};
}

bool ScriptedHid::describe(const std::string& node, platform::hid::NodeInfo& info) {
    if (node != info_.node)
        return false;
    info = info_;
    return true;
}

platform::hid::NodeHandle ScriptedHid::open(const std::string& node, bool, bool, bool,
                                            std::string* error, int* error_number) {
    int fail = node == info_.node ? 0 : ENOENT;
    {
        std::lock_guard lock(mutex_);
        if (fail_errno_)
            fail = fail_errno_;
    }
    if (fail) {
        if (error_number)
            *error_number = fail;
        if (error)
            *error = node + ": " + std::strerror(fail);
        return {};
    }
    stop_peer();
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
        return {};
    const int stop_fd = ::eventfd(0, EFD_CLOEXEC);
    {
        std::lock_guard lock(mutex_);
        peer_fd_ = fds[1];
        stop_fd_ = stop_fd;
    }
    peer_ = std::thread([this, fd = fds[1], stop_fd] { serve(fd, stop_fd); });
    return platform::hid::NodeHandle(fds[0], fds[0]);
}

void ScriptedHid::serve(int fd, int stop_fd) {
    Bytes buffer(4096);
    for (;;) {
        pollfd fds[2] = {{stop_fd, POLLIN, 0}, {fd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return;
        const Bytes request(buffer.begin(), buffer.begin() + n);
        Script script;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            script = script_;
        }
        if (!script)
            continue;
        for (const Bytes& reply : script(request))
            ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    }
}

void ScriptedHid::stop_peer() {
    int fd, stop_fd;
    {
        std::lock_guard lock(mutex_);
        fd = peer_fd_;
        stop_fd = stop_fd_;
        peer_fd_ = stop_fd_ = -1;
    }
    if (stop_fd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(stop_fd, &one, sizeof one);
    }
    if (peer_.joinable())
        peer_.join();
    if (fd >= 0)
        ::close(fd);
    if (stop_fd >= 0)
        ::close(stop_fd);
}

}  // namespace velqa::test
