#include "device/link/hid_device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/debug_output.h"

namespace velqa::link {

namespace {

// Last case-insensitive occurrence of `marker`: the interface suffix comes last in a path, so a
// folder name that happens to contain a marker does not shadow it.
size_t find_marker(std::string_view path, std::string_view marker) {
    if (path.size() < marker.size())
        return std::string_view::npos;
    for (size_t i = path.size() - marker.size() + 1; i-- > 0;) {
        bool same = true;
        for (size_t k = 0; k < marker.size() && same; ++k) {
            same = std::tolower(static_cast<unsigned char>(path[i + k])) == marker[k];
        }
        if (same)
            return i;
    }
    return std::string_view::npos;
}

// Like "%x": optional "0x", then hexadecimal digits; the result is cut to 16 bits.
uint16_t hex_after(std::string_view path, std::string_view marker) {
    size_t at = find_marker(path, marker);
    if (at == std::string_view::npos)
        return 0;
    std::string_view rest = path.substr(at + marker.size());
    if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(rest[2]))) {
        rest.remove_prefix(2);
    }
    uint32_t value = 0;
    for (char ch : rest) {
        if (!std::isxdigit(static_cast<unsigned char>(ch)))
            break;
        int digit = std::isdigit(static_cast<unsigned char>(ch))
                        ? ch - '0'
                        : std::tolower(static_cast<unsigned char>(ch)) - 'a' + 10;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    return static_cast<uint16_t>(value);
}

}  // namespace

uint16_t HidDevice::vendor_id_of(std::string_view path) {
    return hex_after(path, "vid_");
}
uint16_t HidDevice::product_id_of(std::string_view path) {
    return hex_after(path, "pid_");
}
uint16_t HidDevice::interface_of(std::string_view path) {
    return hex_after(path, "&mi_");
}
uint16_t HidDevice::collection_of(std::string_view path) {
    return hex_after(path, "&col");
}

}  // namespace velqa::link
