// The fixed table of supported HID interfaces and the identity matching against it.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velqa::link {

// Device types. Types 3 (mouse pad) and 7 (headset) belong to the device manager's kind table.
enum DeviceType : uint8_t {
    TypeKeyboard = 1,
    TypeMouse = 2,
    TypeMousePad = 3,
    TypeMouseReceiver = 6,
    TypeHeadset = 7,
    TypeKeyboardReceiver = 9,
};

// Device sub-types: which interface of a device a row or identity stands for.
enum DeviceSubType : uint8_t {
    SubTypeCommand = 0,         // vendor collection 4
    SubTypeNotification = 255,  // consumer-control collection 3
};

// What is known of one present interface.
struct DeviceIdentity {
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    uint16_t interface_number = 0;
    uint16_t collection_number = 0;
    uint16_t usage_page = 0;
    uint16_t usage = 0;
    std::string product_string;
    uint8_t device_type = 0;
    uint8_t device_sub_type = 0;
    std::string device_path;
};

struct SupportedDeviceRow {
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    uint16_t interface_number = 0;
    uint16_t collection_number = 0;
    uint8_t device_type = 0;
    uint8_t device_sub_type = 0;
    uint8_t spare = 0;
    uint16_t usage_page = 0;
    uint16_t usage = 0;
    bool has_partner = false;
    uint8_t partner_row = 0;
    std::string display_name;
    std::string product_string;
};

inline constexpr size_t SupportedDeviceRows = 12;
using SupportedDeviceTable = std::array<SupportedDeviceRow, SupportedDeviceRows>;

// Used when the configuration file is missing or unreadable. Not a registered vendor's ID;
// owners of the real mouse set theirs in DefaultData/DeviceConfig.json.
inline constexpr uint16_t DefaultMakerVendorId = 0xFA2E;

// Reads "MakerVendorId" (hexadecimal text such as "FA2E" or "0xFA2E", or a JSON integer) from
// `file`. nullopt when the file is missing, unparsable or the value is not a 16-bit non-zero ID.
std::optional<uint16_t> read_maker_vendor_id(const std::filesystem::path& file);

// The maker's vendor ID: from resources_folder()/DefaultData/DeviceConfig.json, else the
// compiled-in default. Read once per process.
uint16_t maker_vendor_id();

// The keyboard's identifiers (rows 0 to 3 and the keyboard's kind row). All 0 by default, so
// that no interface matches until a keyboard is configured.
struct KeyboardIds {
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;           // on the cable (rows 0 and 1)
    uint16_t receiver_product_id = 0;  // through the receiver (rows 2 and 3)
    // The product string the keyboard reports; rows 0 to 3 expect it once an ID is set.
    std::string product_string = "keyboard";
    bool operator==(const KeyboardIds&) const = default;
};

// Reads a keyboard configuration: "VendorId", "ProductId", "ReceiverProductId" (hexadecimal
// text such as "3151" or "0x3151", or JSON integers, 0-FFFF; a missing one is 0) and
// "ProductString" (text, at most 126 characters; missing: "keyboard"). nullopt, with the
// reason in *error, when the file is missing or unparsable or any member is of the wrong type
// or out of range: nothing of a damaged file is half taken.
std::optional<KeyboardIds> read_keyboard_ids(const std::filesystem::path& file,
                                             std::string* error = nullptr);

// The file the keyboard configuration is read from: $VELQA_KEYBOARD_CONFIG when set, else
// resources_folder()/DefaultData/KeyboardDevice.json.
std::filesystem::path keyboard_config_file();

// read_keyboard_ids(keyboard_config_file()), or the defaults (all 0) when that fails. Read once
// per process.
const KeyboardIds& keyboard_ids();

// The table for the given maker vendor ID (rows 4 to 11 carry it) and keyboard identifiers
// (rows 0 to 3; their product string stays empty while the vendor ID is 0).
SupportedDeviceTable make_supported_device_table(uint16_t maker_vendor_id,
                                                 const KeyboardIds& keyboard = {});

// The process-wide table, built from maker_vendor_id() and keyboard_ids() on first use and
// never changed.
const SupportedDeviceTable& supported_device_table();

// First matching stage (before opening): the row index whose vendor, product, collection and
// interface equal the numbers parsed from `path`; rows with vendor or product 0 never match.
std::optional<size_t> match_path(const SupportedDeviceTable& table, std::string_view path);

// Second matching stage (after opening): vendor, product, collection, interface, usage page and
// usage equal and the product string equal ignoring case. On a match the row's type and sub-type
// are copied into `identity` and the row index is returned.
std::optional<size_t> match_identity(const SupportedDeviceTable& table, DeviceIdentity& identity);

class HidDevice;
// What an opened interface says of itself (attributes, capabilities, product string), with its
// path; type and sub-type stay 0 until match_identity sets them.
DeviceIdentity identity_of(const HidDevice& device);

// ASCII case-insensitive equality (product strings).
bool equals_ignoring_case(std::string_view a, std::string_view b);

}  // namespace velqa::link
