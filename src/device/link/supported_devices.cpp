#include "device/link/supported_devices.h"

#include <cctype>
#include <charconv>
#include <cstdlib>

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

namespace {

// A 16-bit identifier member: absent is 0; hexadecimal text or an integer.
bool read_id(const Json::Value& root, const char* key, uint16_t& out, std::string& why) {
    const Json::Value& value = platform::member(root, key);
    if (value.isNull()) {
        out = 0;
        return true;
    }
    std::optional<uint16_t> id;
    if (value.isString()) {
        id = parse_vendor_text(platform::to_text(value));
    } else if (value.isIntegral() && !value.isBool()) {
        if (auto number = platform::to_unsigned(value, 0xFFFF))
            id = static_cast<uint16_t>(*number);
    }
    if (!id) {
        why = std::string(key) + " must be a hexadecimal ID 0000-FFFF";
        return false;
    }
    out = *id;
    return true;
}

// The longest product string a USB string descriptor holds.
constexpr size_t MaxProductString = 126;

}  // namespace

std::optional<KeyboardIds> read_keyboard_ids(const std::filesystem::path& file,
                                             std::string* error) {
    std::string why;
    const Json::Value root = platform::read_json_file(file, &why);
    const auto refuse = [&](std::string reason) -> std::optional<KeyboardIds> {
        if (error)
            *error = file.string() + ": " + reason;
        return std::nullopt;
    };
    if (!root.isObject())
        return refuse(why.empty() ? "not a JSON object" : why);
    KeyboardIds ids;
    if (!read_id(root, "VendorId", ids.vendor_id, why) ||
        !read_id(root, "ProductId", ids.product_id, why) ||
        !read_id(root, "ReceiverProductId", ids.receiver_product_id, why)) {
        return refuse(why);
    }
    const Json::Value& product = platform::member(root, "ProductString");
    if (!product.isNull()) {
        if (!product.isString() || product.asString().size() > MaxProductString)
            return refuse("ProductString must be text of at most 126 characters");
        ids.product_string = product.asString();
    }
    return ids;
}

std::filesystem::path keyboard_config_file() {
    if (const char* env = std::getenv("VELQA_KEYBOARD_CONFIG"); env != nullptr && *env != '\0')
        return env;
    return platform::resources_folder() / "DefaultData" / "KeyboardDevice.json";
}

const KeyboardIds& keyboard_ids() {
    static const KeyboardIds ids = [] {
        std::string error;
        if (auto configured = read_keyboard_ids(keyboard_config_file(), &error))
            return *configured;
        platform::debug_printf("keyboard configuration not used (%s): no keyboard is matched",
                               error.c_str());
        return KeyboardIds{};
    }();
    return ids;
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

SupportedDeviceTable make_supported_device_table(uint16_t maker, const KeyboardIds& keyboard) {
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
    const uint16_t kvid = keyboard.vendor_id;
    const uint16_t kpid = keyboard.product_id;
    const uint16_t krpid = keyboard.receiver_product_id;
    const char* kname = kvid != 0 ? keyboard.product_string.c_str() : "";
    return {{
        row(kvid, kpid, 4, TypeKeyboard, SubTypeCommand, 2, kname),
        row(kvid, kpid, 3, TypeKeyboard, SubTypeNotification, 3, kname),
        row(kvid, krpid, 4, TypeKeyboardReceiver, SubTypeCommand, 0, kname),
        row(kvid, krpid, 3, TypeKeyboardReceiver, SubTypeNotification, 1, kname),
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
    static const SupportedDeviceTable table =
        make_supported_device_table(maker_vendor_id(), keyboard_ids());
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
