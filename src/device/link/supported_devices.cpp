#include "device/link/supported_devices.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "device/link/hid_device.h"
#include "platform/debug_output.h"
#include "platform/json_read.h"
#include "platform/number_text.h"

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

namespace {

constexpr const char* MakerVendor = "maker";

struct Kind {
    const char* name;
    uint8_t cable_type;
    uint8_t receiver_type;  // 0: no receiver
};
constexpr Kind Kinds[] = {
    {"mouse", TypeMouse, TypeMouseReceiver},
    {"keyboard", TypeKeyboard, TypeKeyboardReceiver},
    {"MousePad", TypeMousePad, 0},
    {"HD", TypeHeadset, 0},
};

// Collects the first refusal of a device file as "MEMBER: why".
class Checker {
  public:
    bool failed() const { return !why_.empty(); }
    const std::string& why() const { return why_; }
    void fail(const std::string& where, const std::string& reason) {
        if (why_.empty())
            why_ = where + ": " + reason;
    }

    // Refuses members of `object` that are not in `known`.
    void only(const Json::Value& object, const std::string& where,
              std::initializer_list<const char*> known) {
        for (const auto& name : object.getMemberNames()) {
            bool listed = false;
            for (const char* k : known)
                listed = listed || name == k;
            if (!listed)
                fail(where.empty() ? name : where + "." + name, "unknown member");
        }
    }
    std::string text(const Json::Value& object, const char* key, const std::string& where,
                     size_t max) {
        const Json::Value& v = platform::member(object, key);
        if (!v.isString() || v.asString().empty() || v.asString().size() > max) {
            fail(where + key, "must be text of 1 to " + std::to_string(max) + " characters");
            return {};
        }
        return v.asString();
    }
    int integer(const Json::Value& v, const std::string& where, int min, int max) {
        if (!v.isIntegral() || v.isBool() || v.asLargestInt() < min || v.asLargestInt() > max) {
            fail(where,
                 "must be an integer from " + std::to_string(min) + " to " + std::to_string(max));
            return 0;
        }
        return static_cast<int>(v.asLargestInt());
    }
    uint16_t id(const Json::Value& v, const std::string& where) {
        if (v.isString()) {
            if (auto parsed = parse_vendor_text(v.asString()))
                return *parsed;
        }
        fail(where, "must be a hexadecimal ID 0000-FFFF");
        return 0;
    }

    // Each object of the list member `name` (min to max of them, each with only `known`
    // members), with its "NAME[i]" path; `read` returns false to stop.
    template <typename Read>
    void objects(const Json::Value& list, const char* name, Json::ArrayIndex min,
                 Json::ArrayIndex max, std::initializer_list<const char*> known, Read read) {
        if (!list.isArray() || list.size() < min || list.size() > max) {
            fail(name, "must be a list of " + std::to_string(min) + " to " + std::to_string(max) +
                           " objects");
            return;
        }
        for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
            const std::string where = std::string(name) + "[" + std::to_string(i) + "]";
            if (!list[i].isObject()) {
                fail(where, "must be an object");
                return;
            }
            only(list[i], where, known);
            if (!read(list[i], where))
                return;
        }
    }

  private:
    std::string why_;
};

void read_links(Checker& check, const Json::Value& links, const Kind& kind, bool configured,
                const DeviceDataSettings& settings, DeviceModel& model) {
    const auto read_link = [&](const Json::Value& entry, const std::string& where) {
        DeviceLink link;
        const std::string name = platform::to_text(platform::member(entry, "Link"));
        if (name == "cable") {
            link.link = DeviceLinkKind::Cable;
        } else if (name == "receiver" && kind.receiver_type != 0) {
            link.link = DeviceLinkKind::Receiver;
        } else {
            check.fail(where + ".Link", kind.receiver_type != 0
                                            ? "must be \"cable\" or \"receiver\""
                                            : std::string("must be \"cable\" for a ") + kind.name);
            return false;
        }
        for (const auto& other : model.links) {
            if (other.link == link.link)
                check.fail(where + ".Link", "names a link twice");
        }
        const Json::Value& vendor = platform::member(entry, "VendorId");
        const Json::Value& product = platform::member(entry, "ProductId");
        if (configured) {
            if (!vendor.isNull() || !product.isNull())
                check.fail(where,
                           "a configured device takes its IDs from the keyboard "
                           "configuration; VendorId and ProductId must be left out");
            link.vendor_id = settings.keyboard.vendor_id;
            link.product_id = link.link == DeviceLinkKind::Cable
                                  ? settings.keyboard.product_id
                                  : settings.keyboard.receiver_product_id;
        } else {
            link.vendor_id = vendor.isString() && vendor.asString() == MakerVendor
                                 ? settings.maker_vendor_id
                                 : check.id(vendor, where + ".VendorId");
            link.product_id = check.id(product, where + ".ProductId");
        }
        if (const Json::Value& fw = platform::member(entry, "Firmware"); !fw.isNull()) {
            const std::string at = where + ".Firmware";
            if (!fw.isObject()) {
                check.fail(at, "must be an object");
                return false;
            }
            check.only(fw, at, {"Package", "Sensor", "VersionBelow"});
            DeviceFirmware firmware;
            firmware.package = platform::to_text(platform::member(fw, "Package"));
            if (firmware.package != "wired" && firmware.package != "receiver" &&
                firmware.package != "third")
                check.fail(at + ".Package", "must be \"wired\", \"receiver\" or \"third\"");
            firmware.sensor_id = check.id(platform::member(fw, "Sensor"), at + ".Sensor");
            if (const Json::Value& below = platform::member(fw, "VersionBelow"); !below.isNull())
                firmware.version_below = check.id(below, at + ".VersionBelow");
            link.firmware = std::move(firmware);
        }
        model.links.push_back(link);
        return true;
    };
    check.objects(links, "Links", 1, 2, {"Link", "VendorId", "ProductId", "Firmware"}, read_link);
    if (!model.links.empty() && model.links.front().link != DeviceLinkKind::Cable)
        check.fail("Links[0].Link", "the cable link comes first");
}

void read_collections(Checker& check, const Json::Value& list, DeviceModel& model) {
    const auto read_collection = [&](const Json::Value& entry, const std::string& where) {
        DeviceCollection c;
        const std::string role = platform::to_text(platform::member(entry, "Role"));
        if (role == "command") {
            c.sub_type = SubTypeCommand;
        } else if (role == "notification") {
            c.sub_type = SubTypeNotification;
        } else {
            check.fail(where + ".Role", "must be \"command\" or \"notification\"");
            return false;
        }
        for (const auto& other : model.collections) {
            if (other.sub_type == c.sub_type)
                check.fail(where + ".Role", "names a role twice");
        }
        c.collection_number = static_cast<uint16_t>(
            check.integer(platform::member(entry, "Collection"), where + ".Collection", 1, 255));
        c.usage_page = check.id(platform::member(entry, "UsagePage"), where + ".UsagePage");
        c.usage = check.id(platform::member(entry, "Usage"), where + ".Usage");
        model.collections.push_back(c);
        return true;
    };
    check.objects(list, "Collections", 0, 2, {"Role", "Collection", "UsagePage", "Usage"},
                  read_collection);
}

void read_page(Checker& check, const Json::Value& page, DeviceModel& model) {
    if (!page.isObject()) {
        check.fail("Page", "must be an object");
        return;
    }
    check.only(page, "Page", {"Layout", "Integers", "ModelIndex"});
    model.page_layout = check.text(page, "Layout", "Page.", 260);
    const Json::Value& integers = platform::member(page, "Integers");
    if (!integers.isArray() || integers.size() != model.page_integers.size()) {
        check.fail("Page.Integers", "must be a list of 4 integers");
        return;
    }
    for (Json::ArrayIndex i = 0; i < integers.size(); ++i) {
        model.page_integers[i] =
            check.integer(integers[i], "Page.Integers[" + std::to_string(i) + "]", -0x8000, 0x7FFF);
    }
    model.model_index =
        check.integer(platform::member(page, "ModelIndex"), "Page.ModelIndex", 0, 255);
}

void read_sensors(Checker& check, const Json::Value& list, const Kind& kind, DeviceModel& model) {
    if (list.isNull())
        return;
    if (kind.cable_type != TypeMouse) {
        check.fail("Sensors", "only a mouse has sensors");
        return;
    }
    const auto read_sensor = [&](const Json::Value& entry, const std::string& where) {
        DeviceSensor sensor;
        sensor.sensor_id = check.id(platform::member(entry, "SensorId"), where + ".SensorId");
        // The profile holds two stage sets; a third could never reach the mouse.
        sensor.stage_set =
            check.integer(platform::member(entry, "StageSet"), where + ".StageSet", 0, 1);
        // Stage DPIs travel as 16-bit values.
        sensor.dpi_max =
            check.integer(platform::member(entry, "DpiMax"), where + ".DpiMax", 100, 0xFFFF);
        for (const auto& other : model.sensors) {
            if (other.sensor_id == sensor.sensor_id)
                check.fail(where + ".SensorId", "names a sensor twice");
        }
        model.sensors.push_back(sensor);
        return !check.failed();
    };
    check.objects(list, "Sensors", 1, 16, {"SensorId", "StageSet", "DpiMax"}, read_sensor);
}

bool is_keyboard(const DeviceModel& model) {
    return model.device_type == TypeKeyboard;
}

}  // namespace

std::optional<DeviceModel> read_device_model(const std::filesystem::path& file,
                                             const DeviceDataSettings& settings,
                                             std::string* error) {
    std::string why;
    const Json::Value root = platform::read_json_file(file, &why);
    const auto refuse = [&](const std::string& reason) -> std::optional<DeviceModel> {
        if (error)
            *error = file.filename().string() + ": " + reason;
        return std::nullopt;
    };
    if (!root.isObject())
        return refuse(why.empty() ? "not a JSON object" : why);

    Checker check;
    check.only(root, "",
               {"Name", "Kind", "ProductString", "Configured", "Links", "Interface", "Collections",
                "Page", "Sensors"});
    DeviceModel model;
    model.file = file.filename().string();
    model.name = check.text(root, "Name", "", 200);
    const std::string kind_name = platform::to_text(platform::member(root, "Kind"));
    const Kind* kind = nullptr;
    for (const Kind& k : Kinds) {
        if (kind_name == k.name)
            kind = &k;
    }
    if (kind == nullptr)
        return refuse("Kind: must be \"mouse\", \"keyboard\", \"MousePad\" or \"HD\"");
    model.kind = kind->name;
    model.device_type = kind->cable_type;

    const Json::Value& configured = platform::member(root, "Configured");
    if (!configured.isNull() && !configured.isBool())
        check.fail("Configured", "must be true or false");
    const bool from_configuration = configured.isBool() && configured.asBool();
    if (from_configuration && kind->cable_type != TypeKeyboard)
        check.fail("Configured", "only a keyboard takes its IDs from the keyboard configuration");
    if (from_configuration) {
        if (!platform::member(root, "ProductString").isNull())
            check.fail("ProductString",
                       "a configured device takes it from the keyboard "
                       "configuration; it must be left out");
        model.product_string = settings.keyboard.product_string;
    } else {
        model.product_string = check.text(root, "ProductString", "", MaxProductString);
    }
    read_links(check, platform::member(root, "Links"), *kind, from_configuration, settings, model);
    model.interface_number = static_cast<uint16_t>(
        check.integer(platform::member(root, "Interface"), "Interface", 0, 255));
    read_collections(check, platform::member(root, "Collections"), model);
    read_page(check, platform::member(root, "Page"), model);
    read_sensors(check, platform::member(root, "Sensors"), *kind, model);
    if (check.failed())
        return refuse(check.why());
    return model;
}

bool DeviceCatalog::add(DeviceModel model, std::string* error) {
    // Two devices may not answer to the same interface: the scan would give it to the first.
    for (const auto& link : model.links) {
        if (link.vendor_id == 0 || link.product_id == 0)
            continue;  // never matched
        for (const auto& other : models_) {
            if (other.interface_number != model.interface_number)
                continue;
            for (const auto& other_link : other.links) {
                if (other_link.vendor_id != link.vendor_id ||
                    other_link.product_id != link.product_id)
                    continue;
                for (const auto& c : model.collections) {
                    for (const auto& oc : other.collections) {
                        if (oc.collection_number == c.collection_number) {
                            if (error) {
                                *error = model.file + ": Links: " +
                                         platform::usb_ids_text(link.vendor_id, link.product_id) +
                                         " collection " + std::to_string(c.collection_number) +
                                         " is already " + other.file + "'s";
                            }
                            return false;
                        }
                    }
                }
            }
        }
    }
    models_.push_back(std::move(model));
    rebuild();
    return true;
}

void DeviceCatalog::rebuild() {
    table_.clear();
    std::vector<const DeviceModel*> order;
    for (const auto& m : models_) {
        if (is_keyboard(m))
            order.push_back(&m);
    }
    for (const auto& m : models_) {
        if (!is_keyboard(m))
            order.push_back(&m);
    }
    for (const DeviceModel* m : order) {
        const size_t first = table_.size();
        const size_t per_link = m->collections.size();
        for (size_t l = 0; l < m->links.size(); ++l) {
            const DeviceLink& link = m->links[l];
            const Kind* kind = nullptr;
            for (const Kind& k : Kinds) {
                if (k.cable_type == m->device_type)
                    kind = &k;
            }
            for (size_t c = 0; c < per_link; ++c) {
                const DeviceCollection& col = m->collections[c];
                SupportedDeviceRow r;
                r.vendor_id = link.vendor_id;
                r.product_id = link.product_id;
                r.interface_number = m->interface_number;
                r.collection_number = col.collection_number;
                r.device_type = link.link == DeviceLinkKind::Receiver && kind != nullptr
                                    ? kind->receiver_type
                                    : m->device_type;
                r.device_sub_type = col.sub_type;
                r.usage_page = col.usage_page;
                r.usage = col.usage;
                // The cable's row and the receiver's row of one collection name each other.
                r.has_partner = m->links.size() == 2;
                r.partner_row = static_cast<uint8_t>(first + (1 - l) * per_link + c);
                if (!r.has_partner)
                    r.partner_row = 0;
                // A link that can never match carries no product string.
                if (link.vendor_id != 0 && link.product_id != 0)
                    r.product_string = m->product_string;
                table_.push_back(std::move(r));
            }
        }
    }
}

DeviceData load_device_catalog(const std::filesystem::path& folder,
                               const DeviceDataSettings& settings) {
    DeviceData data;
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->path().extension() == ".json")
            files.push_back(it->path());
    }
    if (ec) {
        data.problems.push_back(folder.string() + ": " + ec.message());
        return data;
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::string error;
        auto model = read_device_model(file, settings, &error);
        if (!model || !data.catalog.add(std::move(*model), &error))
            data.problems.push_back(error);
    }
    return data;
}

DeviceData load_device_data(const std::filesystem::path& default_data,
                            const std::filesystem::path& keyboard_config) {
    DeviceDataSettings settings;
    if (auto configured = read_maker_vendor_id(default_data / "DeviceConfig.json")) {
        settings.maker_vendor_id = *configured;
    } else {
        platform::debug_printf("DeviceConfig.json: no usable MakerVendorId, using %04X",
                               DefaultMakerVendorId);
    }
    std::string error;
    const auto keyboard_file =
        keyboard_config.empty() ? default_data / "KeyboardDevice.json" : keyboard_config;
    if (auto ids = read_keyboard_ids(keyboard_file, &error)) {
        settings.keyboard = *ids;
    } else {
        platform::debug_printf("keyboard configuration not used (%s): no keyboard is matched",
                               error.c_str());
    }
    return load_device_catalog(default_data / "devices", settings);
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
