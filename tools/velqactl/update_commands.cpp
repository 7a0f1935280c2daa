// velqactl update check: the update items, as the settings window lists them, and what the
// update server says about each, as JSON for scripts. Nothing is downloaded.
#include <json/json.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "command_registry.h"
#include "platform/number_text.h"
#include "update/update_config.h"
#include "update/update_flow.h"

namespace velqa::ctl {

namespace {

constexpr const char* kUsageText =
    "  update check [--version ROW:VERSION]...  the update items and their states (JSON);\n"
    "                             without a device only the software row is listed, ROW 0-3\n"
    "                             gives a device row the firmware VERSION it has\n"
    "                             (e.g. --version 0:0x0106)";

int usage(const std::string& message) {
    std::fprintf(stderr, "velqactl update: %s\nusage:\n%s\n", message.c_str(), kUsageText);
    return UsageError;
}

Json::Value row_json(const update::UpdateRow& row) {
    Json::Value v;
    v["name"] = row.display_name;
    v["key"] = update::item_key(row.item);
    v["current"] = row.current_text;
    v["latest"] = row.latest_text;
    v["state"] = row.state;
    // A row the server never answered about is not "up to date": say why instead.
    v["state_text"] = update::row_status_text_id(row);
    v["answered"] = row.check == update::CheckOutcome::Answered;
    if (!row.check_failure.empty())
        v["check_failure"] = row.check_failure;
    v["version_name"] = row.result.version_name;
    v["path"] = row.result.package_address;
    v["device_id"] = row.result.device_id;
    v["package_file"] = row.result.package_file;
    return v;
}

int cmd_update(const Context& context, const std::vector<std::string>& args) {
    if (args.empty() || args[0] != "check")
        return usage(args.empty() ? "which update command?" : "unknown command '" + args[0] + "'");
    std::map<std::size_t, std::int32_t> versions;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] != "--version" || i + 1 >= args.size())
            return usage("unexpected '" + args[i] + "'");
        const std::vector<std::string> parts = split(args[++i], ':');
        if (parts.size() != 2)
            return usage("--version wants ROW:VERSION, not '" + args[i] + "'");
        const auto row = platform::parse_number(parts[0], 0, 3);
        const auto version = platform::parse_number(parts[1], 1, 0xFFFF);
        if (!row)
            return usage(platform::number_error("ROW", parts[0], 0, 3));
        if (!version)
            return usage(platform::number_error("VERSION", parts[1], 1, 0xFFFF));
        versions[static_cast<std::size_t>(*row)] = static_cast<std::int32_t>(*version);
    }

    update::UpdateConfig config;
    std::string error;
    if (!update::load_update_config(update::update_config_file(), config, &error)) {
        std::fprintf(stderr, "velqactl update: %s\n", error.c_str());
        return Failed;
    }
    update::apply_server_override(config, context.update_url);
    if (config.server_url.empty()) {
        std::fprintf(stderr,
                     "velqactl update: no update server is configured; set VELQA_UPDATE_URL\n");
    }

    // The device rows are listed only with a version; the software row keeps the table's.
    std::vector<update::UpdateRow> rows;
    for (std::size_t k = 0; k < config.items.size(); ++k) {
        update::UpdateItem item = config.items[k];
        if (k + 1 < config.items.size()) {
            const auto given = versions.find(k);
            item.version = given != versions.end() ? given->second : 0;
        }
        if (item.version != 0)
            rows.push_back(update::listed_row(item));
    }

    platform::http::HttpClient client(update::transport_policy(config));
    const std::filesystem::path last_check = update::last_check_file();
    std::string reason;
    const std::int32_t status =
        update::check_rows(client, config.server_url, rows, context.download_folder, last_check,
                           [&](std::size_t, const update::UpdateRow&) {
                               if (client.last_error() != platform::http::NoError)
                                   reason = client.last_error_text();
                           });
    const std::string today = update::today_text();

    Json::Value out;
    out["server"] = config.server_url.empty() ? "" : update::update_url(config.server_url);
    out["status"] = status;
    out["status_text"] = update::window_status_text_id(status);
    out["last_check"] = update::read_last_check(last_check).value_or(today);
    out["items"] = Json::Value(Json::arrayValue);
    for (const update::UpdateRow& row : rows)
        out["items"].append(row_json(row));
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    std::printf("%s\n", Json::writeString(builder, out).c_str());

    if (status == update::WindowNoInfo) {
        std::fprintf(stderr, "velqactl update: the update server could not be reached%s%s\n",
                     reason.empty() ? "" : ": ", reason.c_str());
        return Failed;
    }
    return Success;
}

const RegisterCommand reg_update("update", kUsageText, cmd_update);

}  // namespace

}  // namespace velqa::ctl
