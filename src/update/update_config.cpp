#include "update/update_config.h"

#include <cstdint>

#include "platform/folders.h"
#include "platform/json_read.h"

namespace velqa::update {

namespace {

using platform::element;
using platform::member;
using platform::to_i32;
using platform::to_text;

UpdateItem read_item(const Json::Value& row) {
    UpdateItem item;
    item.format = to_i32(member(row, "format"));
    item.item_class = to_i32(member(row, "class"));
    item.version = to_i32(member(row, "version"));
    item.brand = to_text(member(row, "brand"));
    item.chip = to_text(member(row, "chip"));
    item.model = to_text(member(row, "model"));
    item.name = to_text(member(row, "name"));
    item.version_text = to_text(member(row, "versiontext"));
    item.package = to_text(member(row, "package"));
    if (!platform::http::plain_file_name(item.package))
        item.package.clear();
    return item;
}

// A positive whole number up to `max` replaces `value`; anything else keeps the default, so
// that no configuration can take a deadline away.
template <typename T>
void read_limit(const Json::Value& limits, const char* name, std::uint64_t max, T& value) {
    if (auto v = platform::to_unsigned(member(limits, name), max); v && *v > 0)
        value = static_cast<T>(*v);
}

platform::http::Deadlines read_deadlines(const Json::Value& limits) {
    constexpr std::uint64_t Day = 24ull * 3600 * 1000;
    platform::http::Deadlines d;
    read_limit(limits, "ConnectMs", Day, d.connect_ms);
    read_limit(limits, "QueryMs", Day, d.request_ms);
    read_limit(limits, "DownloadBaseMs", Day, d.download_base_ms);
    read_limit(limits, "DownloadMinBytesPerSecond", UINT32_MAX, d.download_min_rate);
    read_limit(limits, "StallBytesPerSecond", UINT32_MAX, d.stall_bytes_per_second);
    read_limit(limits, "StallSeconds", Day / 1000, d.stall_seconds);
    return d;
}

}  // namespace

std::filesystem::path update_config_file() {
    return platform::resources_folder() / "DefaultData" / "UpdateConfig.json";
}

bool load_update_config(const std::filesystem::path& file, UpdateConfig& config,
                        std::string* error) {
    std::string why;
    const Json::Value root = platform::read_json_file(file, &why);
    const Json::Value& items = member(root, "Items");
    if (!items.isArray() || items.empty()) {
        if (error != nullptr)
            *error = why.empty() ? file.string() + ": no \"Items\" table" : why;
        return false;
    }
    UpdateConfig loaded;
    loaded.server_url = to_text(member(root, "ServerUrl"));
    const Json::Value& hosts = member(root, "PlainHttpHosts");
    for (Json::ArrayIndex i = 0; hosts.isArray() && i < hosts.size(); ++i) {
        if (std::string host = to_text(element(hosts, i)); !host.empty())
            loaded.plain_http_hosts.push_back(std::move(host));
    }
    if (auto limit = platform::to_unsigned(member(root, "MaxDownloadBytes"), UINT64_MAX);
        limit && *limit > 0) {
        loaded.max_download_bytes = *limit;
    }
    loaded.deadlines = read_deadlines(member(root, "Deadlines"));
    for (Json::ArrayIndex i = 0; i < items.size(); ++i)
        loaded.items.push_back(read_item(element(items, i)));
    const Json::Value& packages = member(root, "FirmwarePackages");
    loaded.firmware_packages.wired = to_text(member(packages, "wired"));
    loaded.firmware_packages.receiver = to_text(member(packages, "receiver"));
    loaded.firmware_packages.third = to_text(member(packages, "third"));
    config = std::move(loaded);
    return true;
}

void apply_server_override(UpdateConfig& config, std::string_view override_url) {
    if (!override_url.empty())
        config.server_url = std::string(override_url);
}

platform::http::TransportPolicy transport_policy(const UpdateConfig& config) {
    platform::http::TransportPolicy policy;
    policy.plain_http_hosts = config.plain_http_hosts;
    policy.max_download_bytes = config.max_download_bytes;
    policy.deadlines = config.deadlines;
    return policy;
}

}  // namespace velqa::update
