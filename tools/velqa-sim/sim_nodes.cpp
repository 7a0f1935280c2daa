#include "sim_nodes.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "device/link/supported_devices.h"
#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/hid/sim_backend.h"

namespace velqa::sim {

namespace {

// Interface 0: the boot-protocol mouse (three buttons, X, Y), no report IDs.
constexpr uint8_t kMouseDescriptor[] = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19,
    0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02,
    0x95, 0x01, 0x75, 0x05, 0x81, 0x01, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15,
    0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0,
};

// Interface 1: keyboard (ID 1), system control (ID 2), consumer control (ID 3, one 16-bit
// array slot of usages 0..0x3FFF) and the vendor command collection (ID 4, 63 bytes each way).
// One descriptor item per line.
// clang-format off
constexpr uint8_t kMultiDescriptor[] = {
    // keyboard
    0x05, 0x01,
    0x09, 0x06,
    0xA1, 0x01,
    0x85, SimNodes::KeyboardReportId,
    0x05, 0x07,
    0x19, 0xE0,
    0x29, 0xE7,
    0x15, 0x00,
    0x25, 0x01,
    0x75, 0x01,
    0x95, 0x08,
    0x81, 0x02,
    0x95, 0x01,
    0x75, 0x08,
    0x81, 0x01,
    0x95, 0x05,
    0x75, 0x01,
    0x05, 0x08,
    0x19, 0x01,
    0x29, 0x05,
    0x91, 0x02,
    0x95, 0x01,
    0x75, 0x03,
    0x91, 0x01,
    0x95, 0x06,
    0x75, 0x08,
    0x15, 0x00,
    0x26, 0xFF, 0x00,
    0x05, 0x07,
    0x19, 0x00,
    0x2A, 0xFF, 0x00,
    0x81, 0x00,
    0xC0,
    // system control
    0x05, 0x01,
    0x09, 0x80,
    0xA1, 0x01,
    0x85, SimNodes::SystemControlReportId,
    0x19, 0x81,
    0x29, 0x83,
    0x15, 0x01,
    0x25, 0x03,
    0x75, 0x08,
    0x95, 0x01,
    0x81, 0x00,
    0xC0,
    // consumer control
    0x05, 0x0C,
    0x09, 0x01,
    0xA1, 0x01,
    0x85, SimNodes::ConsumerReportId,
    0x19, 0x00,
    0x2A, 0xFF, 0x3F,
    0x15, 0x00,
    0x26, 0xFF, 0x3F,
    0x75, 0x10,
    0x95, 0x01,
    0x81, 0x00,
    0xC0,
    // vendor
    0x06, 0x1C, 0xFF,
    0x09, 0x92,
    0xA1, 0x01,
    0x85, SimNodes::VendorReportId,
    0x09, 0x01,
    0x15, 0x00,
    0x26, 0xFF, 0x00,
    0x75, 0x08,
    0x95, 0x3F,
    0x81, 0x02,
    0x09, 0x02,
    0x15, 0x00,
    0x26, 0xFF, 0x00,
    0x75, 0x08,
    0x95, 0x3F,
    0x91, 0x02,
    0xC0,
};
// clang-format on

constexpr size_t kMaxReport = 4096;

const char* link_name(Link link) {
    return link == Link::Cable ? "cable" : "receiver";
}

struct Connection {
    int fd = -1;
    Link link = Link::Cable;
    uint8_t interface_number = 0;
};

struct Listener {
    int fd = -1;
    Link link = Link::Cable;
    uint8_t interface_number = 0;
};

}  // namespace

struct SimNodes::Impl {
    std::filesystem::path dir;
    ReportHandler* handler = nullptr;
    NodeIdentity identity;

    mutable std::mutex mutex;
    std::vector<Listener> listeners;
    std::vector<Connection> connections;
    std::vector<int> graveyard;  // shut down by plug/unplug, closed by the server thread
    bool plugged[2] = {false, false};
    bool owned[2][2] = {{false, false}, {false, false}};  // node files this server created
    int wake_fd = -1;
    std::atomic<bool> stopping{false};
    std::thread thread;

    static int index(Link link) { return link == Link::Cable ? 0 : 1; }

    std::filesystem::path node(Link link, uint8_t iface) const {
        return dir / (identity.prefix + std::string(link_name(link)) + "-if" +
                      std::to_string(iface) + ".sock");
    }

    void wake() const {
        uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake_fd, &one, sizeof one);
    }

    std::string sidecar_text(Link link, uint8_t iface) const {
        platform::hid::NodeInfo info;
        info.vendor_id = identity.vendor_id != 0 ? identity.vendor_id : identity.maker_vendor_id;
        info.product_id =
            link == Link::Cable ? identity.cable_product_id : identity.receiver_product_id;
        info.version_number = 0x0100;
        info.interface_number = iface;
        info.product = identity.product;
        auto descriptor = SimNodes::report_descriptor(iface);
        info.descriptor.assign(descriptor.begin(), descriptor.end());
        return platform::hid::sim_sidecar_text(info);
    }

    // Caller holds the mutex.
    bool create_node(Link link, uint8_t iface) {
        const auto sock = node(link, iface);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::string s = sock.string();
        if (s.size() >= sizeof addr.sun_path) {
            platform::debug_printf("velqa-sim: node path too long: %s", s.c_str());
            return false;
        }
        std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
        int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        // A socket that still accepts belongs to a running simulator; leave it alone. One that
        // refuses is left over from a run that crashed.
        if (int probe = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0); probe >= 0) {
            const bool live =
                ::connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
            ::close(probe);
            if (live) {
                platform::debug_printf("velqa-sim: %s is served by another simulator", s.c_str());
                ::close(fd);
                return false;
            }
        }
        ::unlink(s.c_str());
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd, 16) != 0) {
            platform::debug_printf("velqa-sim: cannot serve %s: %s", s.c_str(),
                                   std::strerror(errno));
            ::close(fd);
            return false;
        }
        // The sidecar appears last and atomically, so a scan never sees half a node.
        const auto sidecar = platform::hid::sim_sidecar_of(sock);
        std::string error;
        if (!platform::write_file_atomically(sidecar, sidecar_text(link, iface), &error)) {
            platform::debug_printf("velqa-sim: %s", error.c_str());
            ::close(fd);
            ::unlink(s.c_str());
            return false;
        }
        listeners.push_back({fd, link, iface});
        owned[index(link)][iface] = true;
        return true;
    }

    // Caller holds the mutex. Sidecar first, so scans stop listing the node before it goes.
    void remove_nodes(Link link) {
        for (uint8_t iface = 0; iface < 2; ++iface) {
            if (!owned[index(link)][iface])
                continue;
            owned[index(link)][iface] = false;
            auto sock = node(link, iface);
            auto sidecar = sock;
            sidecar.replace_extension(".json");
            std::error_code ec;
            std::filesystem::remove(sidecar, ec);
            std::filesystem::remove(sock, ec);
        }
        auto drop = [&](auto& list) {
            for (auto it = list.begin(); it != list.end();) {
                if (it->link == link) {
                    ::shutdown(it->fd, SHUT_RDWR);
                    graveyard.push_back(it->fd);
                    it = list.erase(it);
                } else {
                    ++it;
                }
            }
        };
        drop(listeners);
        drop(connections);
        plugged[index(link)] = false;
    }

    void serve() {
        std::vector<pollfd> fds;
        std::vector<uint8_t> buffer(kMaxReport);
        while (!stopping.load()) {
            fds.clear();
            {
                std::lock_guard lock(mutex);
                for (int fd : graveyard)
                    ::close(fd);
                graveyard.clear();
                fds.push_back({wake_fd, POLLIN, 0});
                for (const auto& l : listeners)
                    fds.push_back({l.fd, POLLIN, 0});
                for (const auto& c : connections)
                    fds.push_back({c.fd, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR)
                    continue;
                platform::debug_printf("velqa-sim: poll failed: %s", std::strerror(errno));
                return;
            }
            if (fds[0].revents & POLLIN) {
                uint64_t value;
                [[maybe_unused]] auto n = ::read(wake_fd, &value, sizeof value);
            }
            for (size_t i = 1; i < fds.size(); ++i) {
                if (fds[i].revents == 0)
                    continue;
                handle_ready(fds[i].fd, fds[i].revents, buffer);
            }
        }
    }

    void handle_ready(int fd, short revents, std::vector<uint8_t>& buffer) {
        Link link = Link::Cable;
        uint8_t iface = 0;
        {
            std::lock_guard lock(mutex);
            auto l = std::find_if(listeners.begin(), listeners.end(),
                                  [&](const Listener& x) { return x.fd == fd; });
            if (l != listeners.end()) {
                int conn = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (conn >= 0)
                    connections.push_back({conn, l->link, l->interface_number});
                return;
            }
            auto c = std::find_if(connections.begin(), connections.end(),
                                  [&](const Connection& x) { return x.fd == fd; });
            if (c == connections.end())
                return;  // removed by unplug meanwhile
            link = c->link;
            iface = c->interface_number;
        }
        // Drain every queued report of this connection.
        for (;;) {
            ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n > 0) {
                if (iface == 1 && handler) {
                    handler->on_output(
                        link, std::span<const uint8_t>(buffer.data(), static_cast<size_t>(n)));
                }
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                if (revents & (POLLHUP | POLLERR))
                    break;
                return;
            }
            break;  // 0 bytes: the client closed; or a hard error
        }
        std::lock_guard lock(mutex);
        auto c = std::find_if(connections.begin(), connections.end(),
                              [&](const Connection& x) { return x.fd == fd; });
        if (c != connections.end()) {
            ::close(c->fd);
            connections.erase(c);
        }
    }
};

SimNodes::SimNodes(std::filesystem::path dir, ReportHandler* handler)
    : impl_(std::make_unique<Impl>()) {
    impl_->dir = std::move(dir);
    impl_->handler = handler;
}

NodeIdentity keyboard_identity(const link::KeyboardIds& ids) {
    NodeIdentity identity;
    identity.vendor_id = ids.vendor_id;
    identity.cable_product_id = ids.product_id;
    identity.receiver_product_id = ids.receiver_product_id;
    identity.product = ids.product_string;
    identity.prefix = "kbd-";
    return identity;
}

void SimNodes::set_identity(NodeIdentity identity) {
    impl_->identity = std::move(identity);
}

const NodeIdentity& SimNodes::identity() const {
    return impl_->identity;
}

SimNodes::~SimNodes() {
    stop();
}

bool SimNodes::start(bool cable, bool receiver) {
    if (impl_->thread.joinable())
        return false;
    std::error_code ec;
    std::filesystem::create_directories(impl_->dir, ec);
    impl_->wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (impl_->wake_fd < 0)
        return false;
    impl_->stopping = false;
    impl_->thread = std::thread([this] { impl_->serve(); });
    bool ok = true;
    if (cable)
        ok = plug(Link::Cable) && ok;
    if (receiver)
        ok = plug(Link::Receiver) && ok;
    if (!ok)
        stop();
    return ok;
}

void SimNodes::stop() {
    if (!impl_->thread.joinable())
        return;
    impl_->stopping = true;
    impl_->wake();
    impl_->thread.join();
    std::lock_guard lock(impl_->mutex);
    impl_->remove_nodes(Link::Cable);
    impl_->remove_nodes(Link::Receiver);
    for (int fd : impl_->graveyard)
        ::close(fd);
    impl_->graveyard.clear();
    ::close(impl_->wake_fd);
    impl_->wake_fd = -1;
}

bool SimNodes::plug(Link link) {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->thread.joinable())
        return false;
    if (impl_->plugged[Impl::index(link)])
        return true;
    if (!impl_->create_node(link, 0) || !impl_->create_node(link, 1)) {
        impl_->remove_nodes(link);
        impl_->wake();
        return false;
    }
    impl_->plugged[Impl::index(link)] = true;
    impl_->wake();
    return true;
}

bool SimNodes::unplug(Link link) {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->plugged[Impl::index(link)])
        return false;
    impl_->remove_nodes(link);
    impl_->wake();
    return true;
}

bool SimNodes::plugged(Link link) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->plugged[Impl::index(link)];
}

bool SimNodes::send_input(Link link, uint8_t interface_number, std::span<const uint8_t> report) {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->plugged[Impl::index(link)])
        return false;
    for (const auto& c : impl_->connections) {
        if (c.link != link || c.interface_number != interface_number)
            continue;
        // Like hidraw, a reader that does not keep up loses reports rather than stalling us.
        [[maybe_unused]] auto n =
            ::send(c.fd, report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    }
    return true;
}

const std::filesystem::path& SimNodes::dir() const {
    return impl_->dir;
}

std::span<const uint8_t> SimNodes::report_descriptor(uint8_t interface_number) {
    if (interface_number == 0)
        return kMouseDescriptor;
    return kMultiDescriptor;
}

std::filesystem::path SimNodes::node_path(Link link, uint8_t interface_number) const {
    return impl_->node(link, interface_number);
}

size_t SimNodes::connection_count(Link link, uint8_t interface_number) const {
    std::lock_guard lock(impl_->mutex);
    return static_cast<size_t>(std::count_if(
        impl_->connections.begin(), impl_->connections.end(),
        [&](const auto& c) { return c.link == link && c.interface_number == interface_number; }));
}

}  // namespace velqa::sim
