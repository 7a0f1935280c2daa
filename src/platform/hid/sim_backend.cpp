#include "platform/hid/sim_backend.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/json_read.h"

namespace velqa::platform::hid {

namespace {

// A number outside 0..0xFFFF (or of another type) reads as 0, never as a wrapped value.
uint16_t member16(const Json::Value& root, const char* name) {
    return static_cast<uint16_t>(to_unsigned(member(root, name), 0xFFFF).value_or(0));
}

class SimBackend : public HidBackend {
  public:
    explicit SimBackend(std::filesystem::path dir) : dir_(std::move(dir)) {}

    const char* name() const override { return "sim"; }

    std::vector<NodeInfo> enumerate() override {
        std::vector<NodeInfo> nodes;
        list_nodes(nodes, nullptr);
        return nodes;
    }

    bool list_nodes(std::vector<NodeInfo>& nodes, std::string* error) override {
        nodes.clear();
        std::vector<std::filesystem::path> sidecars;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(dir_, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (it->path().extension() == ".json")
                sidecars.push_back(it->path());
        }
        // A folder the simulator has not created yet holds no nodes.
        if (ec && ec != std::errc::no_such_file_or_directory) {
            if (error)
                *error = dir_.string() + ": " + ec.message();
            return false;
        }
        std::sort(sidecars.begin(), sidecars.end());
        for (const auto& sidecar : sidecars) {
            auto info = read_sim_sidecar(sidecar);
            if (!info)
                continue;
            std::error_code exists_error;
            if (!std::filesystem::is_socket(info->node, exists_error))
                continue;
            nodes.push_back(std::move(*info));
        }
        return true;
    }

    std::filesystem::path node_folder() const override { return dir_; }

    bool describe(const std::string& node, NodeInfo& info) override {
        auto found = read_sim_sidecar(sim_sidecar_of(node));
        if (!found)
            return false;
        info = std::move(*found);
        return true;
    }

    NodeHandle open(const std::string& node, bool, bool, bool exclusive, std::string* error,
                    int* error_number) override {
        int lock_fd = -1;
        int fd = -1;
        auto fail = [&](const char* what) {
            const int code = errno;
            if (error_number)
                *error_number = code;
            if (fd >= 0)
                ::close(fd);
            if (lock_fd >= 0)
                ::close(lock_fd);
            if (error)
                *error = std::string(what) + ": " + std::strerror(code);
            return NodeHandle{};
        };
        lock_fd = ::open(sim_sidecar_of(node).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (lock_fd < 0)
            return fail("no such node");
        if (::flock(lock_fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            return fail("node in use");
        }
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (node.size() >= sizeof addr.sun_path) {
            errno = ENAMETOOLONG;
            return fail("node path");
        }
        std::memcpy(addr.sun_path, node.c_str(), node.size() + 1);
        fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return fail("socket");
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            return fail("connect");
        }
        if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0)
            return fail("fcntl");
        return NodeHandle(fd, lock_fd);
    }

  private:
    std::filesystem::path dir_;
};

}  // namespace

std::filesystem::path sim_sidecar_of(const std::filesystem::path& node) {
    auto sidecar = node;
    sidecar.replace_extension(".json");
    return sidecar;
}

std::optional<NodeInfo> read_sim_sidecar(const std::filesystem::path& sidecar) {
    const Json::Value root = read_json_file(sidecar);
    if (!root.isObject())
        return std::nullopt;
    NodeInfo info;
    auto node = sidecar;
    node.replace_extension(".sock");
    info.node = node.string();
    info.vendor_id = member16(root, "vendor_id");
    info.product_id = member16(root, "product_id");
    info.version_number = member16(root, "version_number");
    info.interface_number = member16(root, "interface");
    info.product = valid_utf8(to_text(member(root, "product")));
    const Json::Value& descriptor = member(root, "report_descriptor");
    if (!descriptor.isString())
        return std::nullopt;
    if (!parse_hex_bytes(to_text(descriptor), info.descriptor, nullptr))
        return std::nullopt;
    return info;
}

std::string sim_sidecar_text(const NodeInfo& info) {
    Json::Value root;
    root["vendor_id"] = info.vendor_id;
    root["product_id"] = info.product_id;
    root["version_number"] = info.version_number;
    root["interface"] = info.interface_number;
    root["product"] = info.product;
    std::string hex;
    static constexpr char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < info.descriptor.size(); ++i) {
        if (i)
            hex += ' ';
        hex += digits[info.descriptor[i] >> 4];
        hex += digits[info.descriptor[i] & 15];
    }
    root["report_descriptor"] = hex;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "  ";
    return Json::writeString(writer, root) + "\n";
}

std::unique_ptr<HidBackend> make_sim_backend(std::filesystem::path dir) {
    return std::make_unique<SimBackend>(std::move(dir));
}

}  // namespace velqa::platform::hid
