#include "update/update_client.h"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <optional>

#include "platform/json_read.h"
#include "platform/number_text.h"

namespace velqa::update {

namespace {

using platform::member;
using platform::to_text;

// "version" of the reply as text; a JSON integer counts as its decimal digits.
std::string version_member(const Json::Value& reply) {
    const Json::Value& v = member(reply, "version");
    if (v.isIntegral())
        return std::to_string(platform::to_int(v));
    return to_text(v);
}

// The reply's version as a number; nothing when it is not one.
std::optional<std::int64_t> latest_version(const std::string& text, bool hex) {
    if (text.empty())
        return std::nullopt;
    return platform::parse_number(hex ? "0x" + text : text, 0, INT64_MAX);
}

}  // namespace

std::string update_url(std::string_view base) {
    std::string url(base);
    if (!url.empty() && url.back() != '/')
        url += '/';
    return url + "api/" + "updates";
}

std::string update_request_body(std::string_view key, std::int32_t version, bool hex) {
    std::string body = "app_key=";
    for (const char c : key) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            body += c;
        } else {
            std::array<char, 4> escaped{};
            std::snprintf(escaped.data(), escaped.size(), "%%%02X", u);
            body += escaped.data();
        }
    }
    std::array<char, 32> tail{};
    if (hex)
        std::snprintf(tail.data(), tail.size(), "&version=%x", static_cast<unsigned>(version));
    else
        std::snprintf(tail.data(), tail.size(), "&version=%d", version);
    return body + tail.data();
}

std::string current_version_text(std::int32_t version, bool hex) {
    if (hex)
        return platform::firmware_version_text(static_cast<std::uint32_t>(version));
    return "V0" + std::to_string(version);
}

UpdateResult query_update(platform::http::HttpClient& client, std::string_view base_url,
                          std::string_view key, std::int32_t version, bool hex) {
    UpdateResult result;
    const std::string url = update_url(base_url);
    const std::string body = update_request_body(key, version, hex);
    std::vector<char> reply(platform::http::ReplyBufferSize, '\0');
    client.reset_settings();
    // The server expects the body's terminating zero byte, counted in the Content-Length.
    const int n = client.http_request("POST", url, body.c_str(), body.size() + 1, reply, false);
    if (n <= 0 || client.last_error() != platform::http::NoError) {
        // The buffer says "NO_LINK_SERVER" when nothing was sent. A reply refused as too long,
        // or cut short by a failed transfer, is no answer either: counted as not reached.
        result.name = reply.data();
        if (n < 0 || client.last_error() != platform::http::NoError)
            result.name = std::string(platform::http::NoLinkServer);
        return result;
    }
    return parse_update_reply(std::string_view(reply.data(), static_cast<std::size_t>(n)), version,
                              hex);
}

UpdateResult parse_update_reply(std::string_view reply, std::int32_t version, bool hex) {
    UpdateResult result;
    const Json::Value root = platform::parse_json(reply);
    if (!root.isObject())
        return result;
    const std::string latest_text = version_member(root);
    result.package_address = to_text(member(root, "path"));
    result.name = to_text(member(root, "name"));
    result.version_name = to_text(member(root, "version_name"));
    result.latest_version_text = "V" + latest_text;
    result.device_id = platform::to_i32(member(root, "device_id"));
    result.sha256 = to_text(member(root, "sha256"));
    result.current_version_text = current_version_text(version, hex);
    if (!hex)
        result.latest_version_text = result.version_name;
    const std::optional<std::int64_t> latest = latest_version(latest_text, hex);
    result.status = version < latest.value_or(0) ? StatusNewer : StatusUpToDate;
    result.answered = latest.has_value() && !result.name.empty();
    return result;
}

}  // namespace velqa::update
