// What the program knows about its update items and its update server: configuration shipped
// in DefaultData/UpdateConfig.json.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http/http_client.h"

namespace velqa::update {

// One row of the update-item table.
struct UpdateItem {
    std::int32_t format = 0;      // non-zero: versions are hexadecimal ("V%04x"); 0: decimal
    std::int32_t item_class = 0;  // the item's class, part of its key
    std::int32_t version = 0;     // the version the program has; 0 hides the item
    std::string brand;
    std::string chip;
    std::string model;
    std::string name;          // display name
    std::string version_text;  // current-version text of a decimal item
    std::string package;       // file name of its downloaded package (a plain name)
};

// The three firmware upgrade packages carried beside the program, by file name.
struct FirmwarePackages {
    std::string wired;     // the wired mouse with the 3950 sensor
    std::string receiver;  // the receiver of the 3950 mouse
    std::string third;     // an older 3950 mouse without a product ID
};

struct UpdateConfig {
    // Base address of the update server; "api/updates" is added to it. Empty: none known.
    std::string server_url;
    // Hosts reached over plain http (besides loopback addresses).
    std::vector<std::string> plain_http_hosts;
    std::uint64_t max_download_bytes = platform::http::DefaultMaxDownloadBytes;
    // "Deadlines": how long a query and a download may take; missing values keep the defaults.
    platform::http::Deadlines deadlines;
    std::vector<UpdateItem> items;
    FirmwarePackages firmware_packages;
};

// <resources>/DefaultData/UpdateConfig.json.
std::filesystem::path update_config_file();

// Reads the configuration from `file`. False when the file cannot be read or parsed, or holds
// no item table; `config` is then left as it was and `error` says why. Items with a package
// name that is not a plain file name keep an empty package name (their downloads are refused).
bool load_update_config(const std::filesystem::path& file, UpdateConfig& config,
                        std::string* error = nullptr);

// The server address a program uses: `override_url` (from VELQA_UPDATE_URL, read by the
// program's main) when not empty, else the configured one.
void apply_server_override(UpdateConfig& config, std::string_view override_url);

// The client's trust policy from the configuration.
platform::http::TransportPolicy transport_policy(const UpdateConfig& config);

}  // namespace velqa::update
