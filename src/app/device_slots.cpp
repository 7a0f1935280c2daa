#include "app/device_slots.h"

namespace velqa::app {

namespace {

using link::equals_ignoring_case;

bool is_receiver_type(std::uint8_t type) {
    return type == link::TypeMouseReceiver || type == link::TypeKeyboardReceiver;
}

// Rows with vendor or product 0 stand for devices this program cannot recognise: their slots
// can never be claimed, so they do not count as free.
bool claimable(const link::SupportedDeviceRow& row) {
    return row.vendor_id != 0 && row.product_id != 0;
}

}  // namespace

DeviceSlots::DeviceSlots(const link::SupportedDeviceTable& table) {
    slots_.reserve(table.size());
    for (const auto& row : table)
        slots_.push_back(DeviceSlot{row, false, {}, 0, 0, 0});
}

DeviceSlot DeviceSlots::slot(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return index < slots_.size() ? slots_[index] : DeviceSlot{};
}

bool DeviceSlots::any_free() const {
    std::lock_guard lock(mutex_);
    for (const auto& s : slots_) {
        if (claimable(s.row) && s.is_free())
            return true;
    }
    return false;
}

std::optional<std::size_t> DeviceSlots::claim(const link::DeviceIdentity& identity,
                                              std::uint64_t node_dev, std::uint64_t node_ino,
                                              std::int64_t node_birth) {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        auto& s = slots_[i];
        const auto& r = s.row;
        if (!s.is_free() || !claimable(r))
            continue;
        if (r.vendor_id == identity.vendor_id && r.product_id == identity.product_id &&
            r.collection_number == identity.collection_number &&
            r.interface_number == identity.interface_number &&
            r.device_type == identity.device_type &&
            r.device_sub_type == identity.device_sub_type && r.usage_page == identity.usage_page &&
            r.usage == identity.usage &&
            equals_ignoring_case(r.product_string, identity.product_string)) {
            s.linked = true;
            s.path = identity.device_path;
            s.node_dev = node_dev;
            s.node_ino = node_ino;
            s.node_birth = node_birth;
            return i;
        }
    }
    return std::nullopt;
}

void DeviceSlots::release(std::size_t index) {
    std::lock_guard lock(mutex_);
    if (index >= slots_.size())
        return;
    auto& s = slots_[index];
    s.linked = false;
    s.path.clear();
    s.node_dev = s.node_ino = 0;
    s.node_birth = 0;
}

std::vector<std::size_t> DeviceSlots::linked_slots() const {
    std::lock_guard lock(mutex_);
    std::vector<std::size_t> linked;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].linked)
            linked.push_back(i);
    }
    return linked;
}

bool DeviceSlots::has_free_candidate(std::uint16_t vendor_id, std::uint16_t product_id,
                                     std::uint16_t collection,
                                     std::uint16_t interface_number) const {
    std::lock_guard lock(mutex_);
    for (const auto& s : slots_) {
        const auto& r = s.row;
        if (s.is_free() && claimable(r) && r.vendor_id == vendor_id && r.product_id == product_id &&
            r.collection_number == collection && r.interface_number == interface_number) {
            return true;
        }
    }
    return false;
}

link::DeviceIdentity row_identity(const link::SupportedDeviceRow& row) {
    link::DeviceIdentity id;
    id.vendor_id = row.vendor_id;
    id.product_id = row.product_id;
    id.interface_number = row.interface_number;
    id.collection_number = row.collection_number;
    id.usage_page = row.usage_page;
    id.usage = row.usage;
    id.product_string = row.product_string;
    id.device_type = row.device_type;
    id.device_sub_type = row.device_sub_type;
    return id;
}

bool same_identity(const link::DeviceIdentity& a, const link::DeviceIdentity& b) {
    return a.vendor_id == b.vendor_id && a.product_id == b.product_id &&
           a.interface_number == b.interface_number && a.collection_number == b.collection_number &&
           a.device_type == b.device_type && a.device_sub_type == b.device_sub_type &&
           a.usage_page == b.usage_page && a.usage == b.usage &&
           equals_ignoring_case(a.product_string, b.product_string);
}

std::optional<std::size_t> mutual_partner(const DeviceSlots& slots, std::size_t index) {
    if (index >= slots.size())
        return std::nullopt;
    const auto row = slots.slot(index).row;
    if (!row.has_partner || row.partner_row >= slots.size())
        return std::nullopt;
    const auto partner = slots.slot(row.partner_row).row;
    if (!partner.has_partner || partner.partner_row != index)
        return std::nullopt;
    return row.partner_row;
}

bool partner_linked(const DeviceSlots& slots, std::size_t index) {
    const auto partner = mutual_partner(slots, index);
    if (!partner)
        return false;
    const auto s = slots.slot(*partner);
    return s.linked && !s.path.empty();
}

std::optional<std::size_t> command_slot(const DeviceSlots& slots, std::size_t index) {
    if (index >= slots.size())
        return std::nullopt;
    const auto row = slots.slot(index).row;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const auto r = slots.slot(i).row;
        if (r.device_type == row.device_type && r.device_sub_type == link::SubTypeCommand &&
            r.vendor_id == row.vendor_id && r.product_id == row.product_id &&
            equals_ignoring_case(r.product_string, row.product_string)) {
            return i;
        }
    }
    return std::nullopt;
}

link::DeviceIdentity wired_identity(const DeviceSlots& slots, std::size_t index) {
    const auto row = slots.slot(index).row;
    // The notification interface is looked at first: a receiver's notification row names the
    // wired notification row as partner, and following that would key it to no page at all.
    if (row.device_sub_type == link::SubTypeNotification) {
        for (std::size_t i = 0; i < slots.size(); ++i) {
            const auto r = slots.slot(i).row;
            if (r.device_sub_type == link::SubTypeCommand && r.vendor_id == row.vendor_id &&
                r.product_id == row.product_id && r.device_type == row.device_type) {
                return is_receiver_type(r.device_type) ? wired_identity(slots, i) : row_identity(r);
            }
        }
        return row_identity(row);
    }
    if (is_receiver_type(row.device_type)) {
        if (const auto partner = mutual_partner(slots, index))
            return row_identity(slots.slot(*partner).row);
    }
    return row_identity(row);
}

// ---- Device kinds ----

DeviceKindTable make_device_kind_table(const link::DeviceCatalog& devices) {
    DeviceKindTable table;
    for (const link::DeviceModel& model : devices.models()) {
        DeviceKindRow row;
        if (!model.links.empty()) {
            row.vendor_id = model.links.front().vendor_id;
            row.product_id = model.links.front().product_id;
        }
        row.device_type = model.device_type;
        row.device_sub_type = link::SubTypeCommand;
        row.product_string = model.product_string;
        row.tile_layout = "XML\\CustomControlXML\\DeviceOption.xml";
        row.header = "tab_header_device";
        row.power_container = "device_power_switch";
        row.kind_name = model.kind;
        row.model_index = model.model_index;
        row.page_layout = model.page_layout;
        row.page_integers = model.page_integers;
        row.lighting_name = "tavix_light";
        table.push_back(std::move(row));
    }
    return table;
}

std::optional<std::size_t> find_kind_row(const DeviceKindTable& table, std::uint16_t vendor_id,
                                         std::uint16_t product_id, std::uint8_t type,
                                         std::uint8_t sub_type, const std::string& product) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto& r = table[i];
        if (r.vendor_id == vendor_id && r.product_id == product_id && r.device_type == type &&
            r.device_sub_type == sub_type && equals_ignoring_case(r.product_string, product)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> kind_row_for_slot(const DeviceKindTable& table, const DeviceSlots& slots,
                                             std::size_t index) {
    if (index >= slots.size())
        return std::nullopt;
    const auto wired = wired_identity(slots, index);
    std::uint8_t type = wired.device_type;
    if (type == link::TypeMouseReceiver)
        type = link::TypeMouse;
    else if (type == link::TypeKeyboardReceiver)
        type = link::TypeKeyboard;
    return find_kind_row(table, wired.vendor_id, wired.product_id, type, link::SubTypeCommand,
                         wired.product_string);
}

// ---- Tiles ----

std::optional<TileImages> tile_images(int type, int sub_type) {
    const char* stem = "unknow";
    switch (type) {
        case 1:
            stem = "kb";
            break;
        case 2:
            stem = "ms";
            break;
        case 3:
            if (sub_type == 1)
                stem = "soft_mp";
            else if (sub_type == 0)
                stem = "hard_mp";
            else
                return std::nullopt;
            break;
        case 4:
        case 7:
            stem = "hd";
            break;
        default:
            break;
    }
    const std::string base = std::string("common/device_ico/") + stem;
    return TileImages{base + "_device_normal.png", base + "_device_selected.png",
                      base + "_device_synchro_normal.png", base + "_device_synchro_selected.png",
                      std::string(stem) + "_device_name_text"};
}

}  // namespace velqa::app
