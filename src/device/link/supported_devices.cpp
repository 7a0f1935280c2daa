#include "device/link/supported_devices.h"

#include <cctype>
#include <charconv>

#include "device/link/hid_device.h"
#include "platform/debug_output.h"
#include "platform/folders.h"
#include "platform/json_read.h"

namespace velqa::link {

namespace {

std::optional<uint16_t> parse_vendor_text(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

}  // namespace

std::optional<uint16_t> read_maker_vendor_id(const std::filesystem::path& file) {
    const Json::Value root = platform::read_json_file(file);
    const Json::Value& value = platform::member(root, "MakerVendorId");
    std::optional<uint16_t> id;
    if (value.isString()) {
        id = parse_vendor_text(platform::to_text(value));
    } else if (auto number = platform::to_unsigned(value, 0xFFFF)) {
        id = static_cast<uint16_t>(*number);
    }
    if (id && *id == 0)
        return std::nullopt;  // 0 would make every maker row unmatchable
    return id;
}

uint16_t maker_vendor_id() {
    static const uint16_t id = [] {
        auto file = platform::resources_folder() / "DefaultData" / "DeviceConfig.json";
        if (auto configured = read_maker_vendor_id(file))
            return *configured;
        platform::debug_printf("DeviceConfig.json: no usable MakerVendorId, using %04X",
                               DefaultMakerVendorId);
        return DefaultMakerVendorId;
    }();
    return id;
}

SupportedDeviceTable make_supported_device_table(uint16_t maker) {
    auto row = [](uint16_t vid, uint16_t pid, uint16_t col, uint8_t type, uint8_t sub,
                  uint8_t partner, const char* product) {
        SupportedDeviceRow r;
        r.vendor_id = vid;
        r.product_id = pid;
        r.interface_number = 1;
        r.collection_number = col;
        r.device_type = type;
        r.device_sub_type = sub;
        r.usage_page = col == 4 ? 0xFF1C : 0x000C;
        r.usage = col == 4 ? 0x92 : 0x01;
        r.has_partner = true;
        r.partner_row = partner;
        r.product_string = product;
        return r;
    };
    return {{
        row(0, 0, 4, TypeKeyboard, SubTypeCommand, 2, ""),
        row(0, 0, 3, TypeKeyboard, SubTypeNotification, 3, ""),
        row(0, 0, 4, TypeKeyboardReceiver, SubTypeCommand, 0, ""),
        row(0, 0, 3, TypeKeyboardReceiver, SubTypeNotification, 1, ""),
        row(maker, 0x2299, 4, TypeMouse, SubTypeCommand, 6, "VELQA-R260"),
        row(maker, 0x2299, 3, TypeMouse, SubTypeNotification, 7, "VELQA-R260"),
        row(maker, 0x22A0, 4, TypeMouseReceiver, SubTypeCommand, 4, "VELQA-R260"),
        row(maker, 0x22A0, 3, TypeMouseReceiver, SubTypeNotification, 5, "VELQA-R260"),
        row(maker, 0, 4, TypeMouse, SubTypeCommand, 10, ""),
        row(maker, 0, 3, TypeMouse, SubTypeNotification, 11, ""),
        row(maker, 0, 4, TypeMouseReceiver, SubTypeCommand, 8, ""),
        row(maker, 0, 3, TypeMouseReceiver, SubTypeNotification, 9, ""),
    }};
}

const SupportedDeviceTable& supported_device_table() {
    static const SupportedDeviceTable table = make_supported_device_table(maker_vendor_id());
    return table;
}

DeviceIdentity identity_of(const HidDevice& device) {
    DeviceIdentity id;
    id.vendor_id = device.attributes().vendor_id;
    id.product_id = device.attributes().product_id;
    id.interface_number = device.interface_number();
    id.collection_number = device.collection_number();
    id.usage_page = device.caps().usage_page;
    id.usage = device.caps().usage;
    id.product_string = device.product_string().value_or(std::string());
    id.device_path = device.path();
    return id;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::optional<size_t> match_path(const SupportedDeviceTable& table, std::string_view path) {
    const uint16_t vid = HidDevice::vendor_id_of(path);
    const uint16_t pid = HidDevice::product_id_of(path);
    const uint16_t mi = HidDevice::interface_of(path);
    const uint16_t col = HidDevice::collection_of(path);
    for (size_t i = 0; i < table.size(); ++i) {
        const auto& r = table[i];
        if (r.vendor_id == 0 || r.product_id == 0)
            continue;
        if (r.vendor_id == vid && r.product_id == pid && r.collection_number == col &&
            r.interface_number == mi) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<size_t> match_identity(const SupportedDeviceTable& table, DeviceIdentity& identity) {
    for (size_t i = 0; i < table.size(); ++i) {
        const auto& r = table[i];
        if (r.vendor_id == 0 || r.product_id == 0)
            continue;
        if (r.vendor_id == identity.vendor_id && r.product_id == identity.product_id &&
            r.collection_number == identity.collection_number &&
            r.interface_number == identity.interface_number &&
            r.usage_page == identity.usage_page && r.usage == identity.usage &&
            equals_ignoring_case(r.product_string, identity.product_string)) {
            identity.device_type = r.device_type;
            identity.device_sub_type = r.device_sub_type;
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace velqa::link
