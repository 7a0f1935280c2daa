#include "update/update_config.h"

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
    return policy;
}

}  // namespace velqa::update
