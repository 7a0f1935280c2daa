#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/hid/hid_backend.h"

namespace velqa::platform::hid {

namespace {

// Small sysfs attributes; a plain read() keeps a scan of hundreds of nodes cheap.
bool read_small_file(const std::filesystem::path& file, std::string& out) {
    out.clear();
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<size_t>(n));
            if (out.size() > (1u << 20))
                break;  // no sysfs attribute is this large
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        ::close(fd);
        return n == 0;
    }
    ::close(fd);
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) {
        s.remove_suffix(1);
    }
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    return s;
}

bool parse_number(std::string_view s, int base, uint32_t& value) {
    s = trim(s);
    if (s.empty())
        return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    return ec == std::errc() && end == s.data() + s.size();
}

std::string_view uevent_value(std::string_view uevent, std::string_view key) {
    size_t pos = 0;
    while (pos < uevent.size()) {
        size_t end = uevent.find('\n', pos);
        if (end == std::string_view::npos)
            end = uevent.size();
        std::string_view line = uevent.substr(pos, end - pos);
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
            return line.substr(key.size() + 1);
        }
        pos = end + 1;
    }
    return {};
}

// "usb-0000:00:14.0-1/input2" -> 2.
bool interface_from_phys(std::string_view phys, uint16_t& number) {
    size_t at = phys.rfind("input");
    if (at == std::string_view::npos)
        return false;
    uint32_t value = 0;
    if (!parse_number(phys.substr(at + 5), 10, value) || value > 0xFFFF)
        return false;
    number = static_cast<uint16_t>(value);
    return true;
}

// "hidraw12" -> 12, for a natural order.
long node_number(const std::string& name) {
    long value = 0;
    auto digits = std::string_view(name).substr(6);
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

class HidrawBackend : public HidBackend {
  public:
    HidrawBackend(std::filesystem::path sysfs_root, std::filesystem::path dev_root)
        : class_dir_(std::move(sysfs_root) / "class" / "hidraw"), dev_root_(std::move(dev_root)) {}

    const char* name() const override { return "hidraw"; }

    std::vector<NodeInfo> enumerate() override {
        std::vector<NodeInfo> nodes;
        list_nodes(nodes, nullptr);
        return nodes;
    }

    bool list_nodes(std::vector<NodeInfo>& nodes, std::string* error) override {
        nodes.clear();
        std::vector<std::string> names;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(class_dir_, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::string name = it->path().filename().string();
            if (name.starts_with("hidraw"))
                names.push_back(std::move(name));
        }
        // No hidraw class at all means no HID device (or no hidraw driver): an empty list.
        if (ec && ec != std::errc::no_such_file_or_directory) {
            if (error)
                *error = class_dir_.string() + ": " + ec.message();
            return false;
        }
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            const long na = node_number(a), nb = node_number(b);
            return na != nb ? na < nb : a < b;
        });
        nodes.reserve(names.size());
        for (const auto& name : names) {
            NodeInfo info;
            if (read_node(name, info))
                nodes.push_back(std::move(info));
        }
        return true;
    }

    std::filesystem::path node_folder() const override { return dev_root_; }

    bool describe(const std::string& node, NodeInfo& info) override {
        const std::string name = std::filesystem::path(node).filename().string();
        if (!name.starts_with("hidraw"))
            return false;
        return read_node(name, info, true);
    }

    NodeHandle open(const std::string& node, bool read, bool write, bool exclusive,
                    std::string* error, int* error_number) override {
        int flags = O_NONBLOCK | O_CLOEXEC;
        flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
        int fd = ::open(node.c_str(), flags);
        if (fd < 0) {
            if (error_number)
                *error_number = errno;
            if (error)
                *error = node + ": " + std::strerror(errno);
            return {};
        }
        if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            if (error_number)
                *error_number = EWOULDBLOCK;
            if (error)
                *error = node + ": in use by another program";
            ::close(fd);
            return {};
        }
        return NodeHandle(fd, fd);
    }

  private:
    // class/hidraw/hidrawN links to <hid device>/hidraw/hidrawN; resolving that one link
    // lexically costs one readlink where a full canonical path costs one per component.
    std::filesystem::path hid_device_dir(const std::string& name) const {
        const auto entry = class_dir_ / name;
        char target[4096];
        const ssize_t n = ::readlink(entry.c_str(), target, sizeof target - 1);
        if (n > 0) {
            std::filesystem::path link(std::string(target, static_cast<size_t>(n)));
            if (link.is_relative())
                link = class_dir_ / link;
            link = link.lexically_normal();
            if (link.filename() == name && link.parent_path().filename() == "hidraw")
                return link.parent_path().parent_path();
        }
        std::error_code ec;
        auto dir = std::filesystem::canonical(entry / "device", ec);
        return ec ? std::filesystem::path{} : dir;
    }

    // The version number is only needed when a node is opened.
    bool read_node(const std::string& name, NodeInfo& info, bool with_version = false) {
        const auto hid_dir = hid_device_dir(name);
        if (hid_dir.empty())
            return false;
        std::string uevent;
        if (!read_small_file(hid_dir / "uevent", uevent))
            return false;
        std::string descriptor;
        if (!read_small_file(hid_dir / "report_descriptor", descriptor))
            return false;

        info = NodeInfo{};
        info.node = (dev_root_ / name).string();
        info.descriptor.assign(descriptor.begin(), descriptor.end());

        // HID_ID=0003:0000FA2E:00002299 (bus, vendor, product).
        std::string_view id = uevent_value(uevent, "HID_ID");
        uint32_t vendor = 0, product = 0;
        if (id.size() >= 22 && parse_number(id.substr(5, 8), 16, vendor) &&
            parse_number(id.substr(14, 8), 16, product)) {
            info.vendor_id = static_cast<uint16_t>(vendor);
            info.product_id = static_cast<uint16_t>(product);
        }

        // A USB HID device sits below its USB interface, which sits below the USB device.
        const auto usb_interface = hid_dir.parent_path();
        std::string text;
        uint32_t number = 0;
        bool usb = false;
        if (read_small_file(usb_interface / "bInterfaceNumber", text) &&
            parse_number(text, 16, number)) {
            info.interface_number = static_cast<uint16_t>(number);
            usb = true;
        } else {
            interface_from_phys(uevent_value(uevent, "HID_PHYS"), info.interface_number);
        }
        if (usb) {
            const auto usb_device = usb_interface.parent_path();
            if (read_small_file(usb_device / "product", text))
                info.product = trim(text);
            if (with_version && read_small_file(usb_device / "bcdDevice", text) &&
                parse_number(text, 16, number)) {
                info.version_number = static_cast<uint16_t>(number);
            }
        }
        if (info.product.empty())
            info.product = trim(uevent_value(uevent, "HID_NAME"));
        return true;
    }

    std::filesystem::path class_dir_;
    std::filesystem::path dev_root_;
};

}  // namespace

std::unique_ptr<HidBackend> make_hidraw_backend(std::filesystem::path sysfs_root,
                                                std::filesystem::path dev_root) {
    return std::make_unique<HidrawBackend>(std::move(sysfs_root), std::move(dev_root));
}

}  // namespace velqa::platform::hid
