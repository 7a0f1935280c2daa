// The device manager's data without any UI: the slot list (one slot per supported interface),
// the kinds of device the window makes pages for, and the identity rules that tie a device's
// cable, receiver and notification interfaces to one page. Thread-safe where the scan thread
// and the window thread share it (DeviceSlots).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/link/supported_devices.h"

namespace velqa::app {

// One entry of the slot list: a copy of its supported-table row and, while an interface of the
// machine is assigned to it, that interface's path.
struct DeviceSlot {
    link::SupportedDeviceRow row;
    bool linked = false;
    std::string path;
    // Identity of the node the path was claimed on (device and inode numbers), so that a node
    // number reused by another device between two passes is not taken for the same interface.
    std::uint64_t node_dev = 0;
    std::uint64_t node_ino = 0;
    // Its birth time (ns since the epoch; 0 when the file system does not keep one): most file
    // systems hand a freed inode number to the next file at once.
    std::int64_t node_birth = 0;

    bool is_free() const { return !linked && path.empty(); }
};

// The slot list shared by the scan thread (which claims and frees slots) and the window thread
// (which reads them while it handles arrival and loss). Never resized after construction.
class DeviceSlots {
  public:
    explicit DeviceSlots(const link::SupportedDeviceTable& table);

    std::size_t size() const { return slots_.size(); }
    // A copy of slot `index` (an empty, free slot for an index beyond the list).
    DeviceSlot slot(std::size_t index) const;
    // True when some slot that can ever be claimed (its row has a vendor and a product ID) is
    // free: the rows of unknown devices never link, and must not keep the scan running.
    bool any_free() const;

    // Claims the first free slot whose row has the identity's vendor ID, product ID,
    // collection, interface, type, sub-type, usage page, usage and product string (ignoring
    // case): marks it linked with the identity's path and node stamp. Its index, or nullopt.
    std::optional<std::size_t> claim(const link::DeviceIdentity& identity, std::uint64_t node_dev,
                                     std::uint64_t node_ino, std::int64_t node_birth = 0);
    // Frees a slot (linked off, path empty).
    void release(std::size_t index);
    // Indexes of the linked slots, in order.
    std::vector<std::size_t> linked_slots() const;
    // True when some free slot's row has this vendor ID, product ID, collection and interface.
    bool has_free_candidate(std::uint16_t vendor_id, std::uint16_t product_id,
                            std::uint16_t collection, std::uint16_t interface_number) const;

  private:
    mutable std::mutex mutex_;
    std::vector<DeviceSlot> slots_;
};

// The identity a slot's row stands for (no path).
link::DeviceIdentity row_identity(const link::SupportedDeviceRow& row);
// Vendor ID, product ID, interface, collection, type, sub-type, usage page and usage equal, and
// the product strings equal ignoring case.
bool same_identity(const link::DeviceIdentity& a, const link::DeviceIdentity& b);

// The identity the device page of a slot is keyed by: for a receiver-type slot (6 or 9) whose
// partner names it back, the partner's; for a notification slot (sub-type 255) that of the
// command slot (sub-type 0) with the same vendor ID, product ID and type (followed to its
// partner for types 6 and 9); otherwise the slot's own.
link::DeviceIdentity wired_identity(const DeviceSlots& slots, std::size_t index);
// True when the slot has a partner, the partner names the slot back, and the partner is linked
// with a non-empty path.
bool partner_linked(const DeviceSlots& slots, std::size_t index);
// The partner slot's index when the slot has a partner that names it back.
std::optional<std::size_t> mutual_partner(const DeviceSlots& slots, std::size_t index);
// The command slot (sub-type 0) of the slot's device: the first slot whose row has the slot's
// type, vendor ID, product ID and product string (ignoring case).
std::optional<std::size_t> command_slot(const DeviceSlots& slots, std::size_t index);

// ---- Device kinds ----

struct DeviceKindRow {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint8_t device_type = 0;
    std::uint8_t device_sub_type = 0;
    std::string product_string;
    std::string tile_layout;      // "XML\CustomControlXML\DeviceOption.xml"
    std::string header;           // "tab_header_device"
    std::string power_container;  // "device_power_switch"
    std::string kind_name;        // "mouse", "keyboard", "MousePad", "HD"
    int model_index = 0;
    std::string page_layout;  // "XML\DeviceXml\mousedevice.xml"
    std::array<int, 4> page_integers{};
    std::string lighting_name;  // "tavix_light"
};

using DeviceKindTable = std::vector<DeviceKindRow>;

// One row per device of the catalog, in its order: the identity its page is keyed by (the
// cable link's IDs, type and product string) and its page.
DeviceKindTable make_device_kind_table(const link::DeviceCatalog& devices);

// The row matching (vendor ID, product ID, type, sub-type, product string ignoring case).
std::optional<std::size_t> find_kind_row(const DeviceKindTable& table, std::uint16_t vendor_id,
                                         std::uint16_t product_id, std::uint8_t type,
                                         std::uint8_t sub_type, const std::string& product);
// The kind row of a slot's device: looked up by its wired identity, type 6 taken as 2 (and 9
// as 1), sub-type 0.
std::optional<std::size_t> kind_row_for_slot(const DeviceKindTable& table, const DeviceSlots& slots,
                                             std::size_t index);

// ---- Tiles ----

struct TileImages {
    std::string normal;  // "common/device_ico/ms_device_normal.png"
    std::string selected;
    std::string synchro_normal;
    std::string synchro_selected;
    std::string name_text_id;  // "ms_device_name_text"
};
// The images and name text of a tile for a device type and sub-type; nullopt for type 3 with a
// sub-type other than 0 or 1 (the tile keeps what it has).
std::optional<TileImages> tile_images(int type, int sub_type);

}  // namespace velqa::app
