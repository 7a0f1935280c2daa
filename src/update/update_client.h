// The one query the update server answers (is there a newer version of this item, and where is
// it), over the HTTP client.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/http/http_client.h"

namespace velqa::update {

// Statuses set by query_update.
inline constexpr std::int32_t StatusNewer = 1;
inline constexpr std::int32_t StatusUpToDate = 7;

// The answer for one update item.
struct UpdateResult {
    std::int32_t status = 0;           // 1: newer version offered; 7: up to date
    std::int32_t device_id = 0;        // "device_id" of the reply
    std::string name;                  // "name"; "NO_LINK_SERVER" when the server was not reached
    std::string current_version_text;  // the version the program has, formatted
    std::string version_name;          // "version_name"
    std::string latest_version_text;   // "V" + "version"; for a decimal item the version name
    std::string package_address;       // "path": where the package is downloaded from
    std::string package_file;          // the local file of the package (set by the update flow)
    std::string sha256;                // "sha256", when the server announces the package's digest
    // The reply was an answer about the item: a JSON object with a "name" and a numeric
    // "version". Anything else tells nothing, so the item may not be called up to date.
    bool answered = false;
};

// base + "api/" + "updates"; a "/" is put between them when `base` lacks it.
std::string update_url(std::string_view base);

// "app_key=KEY&version=V" with V in hexadecimal digits when `hex`, else decimal. Characters of
// the key outside letters, digits and "-_.~" are percent-encoded.
std::string update_request_body(std::string_view key, std::int32_t version, bool hex);

// "V%04x" of `version` when `hex`, else "V0%d".
std::string current_version_text(std::int32_t version, bool hex);

// The result of a reply of `reply` bytes for an item with `version`: empty unless the reply is a
// JSON object; then filled from its members, status 1 when its "version" (hexadecimal digits
// when `hex`, else decimal) is greater than `version`, else 7, and `answered` when it has a
// "name" and its "version" is a number.
UpdateResult parse_update_reply(std::string_view reply, std::int32_t version, bool hex);

// Asks the server at `base_url` about one item. Resets the client's settings first and sends
// the body with its terminating zero byte. When the server cannot be reached, or the transfer
// fails, or the reply does not fit the reply buffer, the result's name is "NO_LINK_SERVER".
// Otherwise the result is parse_update_reply's (empty for a reply that is not JSON).
UpdateResult query_update(platform::http::HttpClient& client, std::string_view base_url,
                          std::string_view key, std::int32_t version, bool hex);

}  // namespace velqa::update
