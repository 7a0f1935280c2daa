// The supported devices, read from data files, their HID interfaces and the identity matching
// against them.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ascii_text.h"

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

// One row per interface the program serves, in the catalog's order (see DeviceCatalog).
using SupportedDeviceTable = std::vector<SupportedDeviceRow>;

// Used when the configuration file is missing or unreadable. Not a registered vendor's ID;
// owners of the real mouse set theirs in DefaultData/DeviceConfig.json.
inline constexpr uint16_t DefaultMakerVendorId = 0xFA2E;

// Reads "MakerVendorId" (hexadecimal text such as "FA2E" or "0xFA2E", or a JSON integer) from
// `file`. nullopt when the file is missing, unparsable or the value is not a 16-bit non-zero ID.
std::optional<uint16_t> read_maker_vendor_id(const std::filesystem::path& file);

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

// ---- Devices as data ----
//
// Each supported device is one JSON file (DefaultData/devices/*.json):
//   "Name"           text shown in messages
//   "Kind"           "mouse", "keyboard", "MousePad" or "HD": the profile folder and device type
//   "ProductString"  what the device reports (at most 126 characters)
//   "Configured"     true: IDs and product string come from the keyboard configuration
//   "Links"          [{"Link": "cable"|"receiver", "VendorId": ID|"maker", "ProductId": ID,
//                      "Firmware": {"Package": "wired"|"receiver"|"third", "Sensor": ID,
//                                   "VersionBelow": ID}}]; "Firmware" (optional) names the
//                    upgrade package carried for that product ID with that sensor, and only
//                    below that firmware version when VersionBelow is given
//   "Interface"      the USB interface number of its collections (0-255)
//   "Collections"    [{"Role": "command"|"notification", "Collection": 1-255,
//                      "UsagePage": ID, "Usage": ID}]; empty: the window knows the kind, but
//                    no interface of it is served
//   "Page"           {"Layout": text, "Integers": [4 integers], "ModelIndex": 0-255}; the
//                    integers are the kind table's four page integers (-32768 to 32767), kept
//                    in the order the table lists them and handed to the page as the table
//                    says (the second and first, then the third and fourth). What they mean is
//                    the page's to say, and no page reads them yet: they stay data so that a
//                    page that does needs no new field.
//   "Sensors"        a mouse's sensors: [{"SensorId": ID, "StageSet": 0-1, "DpiMax": 100-65535}];
//                    the sensor the mouse reports picks the profile's stage set and the DPI limit
// IDs are hexadecimal text ("22A0", "0x22A0"); "maker" is DefaultData/DeviceConfig.json's
// MakerVendorId. Unknown members are refused, so that a misspelt one is not silently ignored.

enum class DeviceLinkKind : uint8_t { Cable, Receiver };

// The firmware upgrade package carried for a link's product.
struct DeviceFirmware {
    std::string package;  // "wired", "receiver" or "third": which of the configured packages
    uint16_t sensor_id = 0;
    uint16_t version_below = 0;  // 0: any version
    bool operator==(const DeviceFirmware&) const = default;
};

struct DeviceLink {
    DeviceLinkKind link = DeviceLinkKind::Cable;
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    std::optional<DeviceFirmware> firmware;
};

struct DeviceCollection {
    uint8_t sub_type = SubTypeCommand;  // SubTypeCommand or SubTypeNotification
    uint16_t collection_number = 0;
    uint16_t usage_page = 0;
    uint16_t usage = 0;
};

// A sensor a mouse may report, the profile stage set its DPI stages are kept in and its highest
// DPI.
struct DeviceSensor {
    uint16_t sensor_id = 0;
    int stage_set = 0;
    int dpi_max = 0;
};

struct DeviceModel {
    std::string file;  // the file's name, for messages
    std::string name;
    std::string kind;         // "mouse", "keyboard", "MousePad", "HD"
    uint8_t device_type = 0;  // of the kind, on the cable
    std::string product_string;
    uint16_t interface_number = 0;
    std::vector<DeviceLink> links;  // cable first
    std::vector<DeviceCollection> collections;
    std::string page_layout;
    std::array<int, 4> page_integers{};  // "Page"."Integers", in file order
    int model_index = 0;
    std::vector<DeviceSensor> sensors;
};

// What a device file's IDs are resolved against.
struct DeviceDataSettings {
    uint16_t maker_vendor_id = DefaultMakerVendorId;
    KeyboardIds keyboard;
};

// Reads and checks one device file. nullopt, with "FILE: MEMBER: why" in *error, when it is not
// a device file the program accepts.
std::optional<DeviceModel> read_device_model(const std::filesystem::path& file,
                                             const DeviceDataSettings& settings = {},
                                             std::string* error = nullptr);

// The supported devices and the interface table built from them. Interface rows: keyboards
// first (the row numbers `velqactl hid list` prints), then the other devices, each in the order
// added; per device, each link (cable, receiver) with each of its collections. A device's rows
// on the cable and through the receiver name each other as partners.
class DeviceCatalog {
  public:
    // Adds a device. False (nothing added), with the reason in *error, when one of its
    // interfaces is one that another device already claims.
    bool add(DeviceModel model, std::string* error = nullptr);

    const std::vector<DeviceModel>& models() const { return models_; }
    const SupportedDeviceTable& interfaces() const { return table_; }

  private:
    void rebuild();

    std::vector<DeviceModel> models_;
    SupportedDeviceTable table_;
};

// A catalog and the files left out of it, one "FILE: MEMBER: why" each.
struct DeviceData {
    DeviceCatalog catalog;
    std::vector<std::string> problems;
};

// Every *.json file of `folder`, in file-name order; a file that is refused is left out and
// named in problems.
DeviceData load_device_catalog(const std::filesystem::path& folder,
                               const DeviceDataSettings& settings);

// What the programs read at start from their data folder: the maker's vendor ID from
// DeviceConfig.json (else DefaultMakerVendorId), the keyboard configuration from
// `keyboard_config` (empty: KeyboardDevice.json; unreadable: no keyboard is matched) and the
// devices of devices/.
DeviceData load_device_data(const std::filesystem::path& default_data,
                            const std::filesystem::path& keyboard_config = {});

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

// Product strings match ignoring ASCII case.
using platform::equals_ignoring_case;

}  // namespace velqa::link
