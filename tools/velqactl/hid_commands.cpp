// velqactl hid list | parse FILE [--json]
//
// The line formats are read by scripts; change them only together with their users.
#include <json/json.h>

#include <cstdio>
#include <string>
#include <vector>

#include "command_registry.h"
#include "device/link/hid_device.h"
#include "device/link/supported_devices.h"
#include "platform/atomic_file.h"
#include "platform/hid/hid_backend.h"
#include "platform/hid/report_descriptor.h"

namespace velqa::ctl {

namespace {

namespace hid = platform::hid;
using link::HidDevice;

int list_interfaces(hid::HidBackend& backend, const link::SupportedDeviceTable& table) {
    const auto result = hid::scan_interfaces(backend);
    for (const auto& entry : result.interfaces) {
        const auto& node = result.nodes[entry.node];
        const auto& top = node.descriptor.collections[entry.collection];
        std::printf("%s  %04X:%04X  mi=%02X col=%02X usage=%04X:%04X  \"%s\"", entry.path.c_str(),
                    node.info.vendor_id, node.info.product_id, HidDevice::interface_of(entry.path),
                    HidDevice::collection_of(entry.path), top.usage_page, top.usage,
                    node.info.product.c_str());
        link::DeviceIdentity identity;
        identity.vendor_id = HidDevice::vendor_id_of(entry.path);
        identity.product_id = HidDevice::product_id_of(entry.path);
        identity.interface_number = HidDevice::interface_of(entry.path);
        identity.collection_number = HidDevice::collection_of(entry.path);
        identity.usage_page = top.usage_page;
        identity.usage = top.usage;
        identity.product_string = node.info.product;
        identity.device_path = entry.path;
        if (link::match_path(table, entry.path)) {
            if (auto row = link::match_identity(table, identity)) {
                std::printf("  row=%zu type=%u subtype=%u", *row, identity.device_type,
                            identity.device_sub_type);
            }
        }
        std::printf("\n");
    }
    if (result.interfaces.empty()) {
        std::fprintf(stderr, "velqactl: no HID interfaces found (%s backend)\n", backend.name());
    }
    return Success;
}

const char* kind_name(size_t k) {
    static const char* names[] = {"input", "output", "feature"};
    return names[k];
}

Json::Value caps_json(const hid::FieldCaps& c) {
    Json::Value v;
    v["report_id"] = c.report_id;
    v["usage_page"] = c.usage_page;
    if (c.is_range) {
        v["usage_min"] = c.usage_min;
        v["usage_max"] = c.usage_max;
    } else {
        v["usage"] = c.usage_min;
    }
    v["bit_position"] = c.bit_position;
    v["bit_size"] = c.bit_size;
    v["report_count"] = c.report_count;
    v["logical_min"] = c.logical_min;
    v["logical_max"] = c.logical_max;
    v["physical_min"] = c.physical_min;
    v["physical_max"] = c.physical_max;
    v["unit"] = c.unit;
    v["unit_exponent"] = c.unit_exponent;
    v["array"] = c.is_array;
    v["absolute"] = c.is_absolute;
    v["link_collection"] = c.link_collection;
    return v;
}

std::string ids_text(const std::vector<uint8_t>& ids) {
    if (ids.empty())
        return "-";
    std::string text;
    for (uint8_t id : ids) {
        if (!text.empty())
            text += ',';
        text += std::to_string(id);
    }
    return text;
}

int parse_descriptor(const std::vector<std::string>& args) {
    std::string file;
    bool json = false;
    for (const auto& a : args) {
        if (a == "--json") {
            json = true;
        } else if (file.empty() && !a.starts_with("--")) {
            file = a;
        } else {
            std::fprintf(stderr, "usage: velqactl hid parse FILE [--json]\n");
            return UsageError;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: velqactl hid parse FILE [--json]\n");
        return UsageError;
    }
    std::string contents;
    if (!platform::read_whole_file(file, contents)) {
        std::printf("error: cannot read %s\n", file.c_str());
        return Failed;
    }
    std::vector<uint8_t> bytes;
    std::string text_error;
    if (!hid::decode_descriptor_file(contents, bytes, &text_error)) {
        std::printf("error: %s\n", text_error.c_str());
        return Failed;
    }
    hid::ParsedDescriptor parsed;
    hid::DescriptorError error;
    if (!hid::parse_report_descriptor(bytes, parsed, &error)) {
        std::printf("error: offset %zu: %s\n", error.offset, error.reason.c_str());
        return Failed;
    }
    if (!json) {
        for (size_t i = 0; i < parsed.collections.size(); ++i) {
            const auto& c = parsed.collections[i];
            std::printf("col=%02zX usage=%04X:%04X input=%u output=%u feature=%u ids=%s\n", i + 1,
                        c.usage_page, c.usage, c.input_length(), c.output_length(),
                        c.feature_length(), ids_text(c.report_ids).c_str());
        }
        return Success;
    }
    Json::Value root;
    root["collections"] = Json::arrayValue;
    for (size_t i = 0; i < parsed.collections.size(); ++i) {
        const auto& c = parsed.collections[i];
        Json::Value col;
        col["col"] = static_cast<Json::UInt>(i + 1);
        col["usage_page"] = c.usage_page;
        col["usage"] = c.usage;
        col["input"] = c.input_length();
        col["output"] = c.output_length();
        col["feature"] = c.feature_length();
        col["ids"] = Json::arrayValue;
        for (uint8_t id : c.report_ids)
            col["ids"].append(id);
        for (size_t k = 0; k < hid::ReportKinds; ++k) {
            Json::Value caps;
            caps["buttons"] = Json::arrayValue;
            caps["values"] = Json::arrayValue;
            for (const auto& b : c.button_caps[k])
                caps["buttons"].append(caps_json(b));
            for (const auto& v : c.value_caps[k])
                caps["values"].append(caps_json(v));
            col["caps"][kind_name(k)] = caps;
        }
        root["collections"].append(col);
    }
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "  ";
    std::printf("%s\n", Json::writeString(writer, root).c_str());
    return Success;
}

int run_hid(const Context& context, const std::vector<std::string>& args) {
    if (args.size() == 1 && args[0] == "list")
        return list_interfaces(*context.hid, context.devices.interfaces());
    if (!args.empty() && args[0] == "parse") {
        return parse_descriptor(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    std::fprintf(stderr, "usage: velqactl hid list | hid parse FILE [--json]\n");
    return UsageError;
}

const RegisterCommand kHid("hid",
                           "  hid list                   every HID interface, per top-level "
                           "collection, with supported ones recognised\n"
                           "  hid parse FILE [--json]    report descriptor (raw or hex text) "
                           "per top-level collection",
                           run_hid);

}  // namespace

}  // namespace velqa::ctl
