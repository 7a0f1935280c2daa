#include "update/update_flow.h"

#include <array>
#include <cstdio>
#include <ctime>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/folders.h"
#include "platform/json_read.h"

namespace velqa::update {

namespace {

using platform::http::DownloadStatus;

constexpr const char* SoftwareChip = "ALL";

}  // namespace

const char* state_text_id(std::int32_t state) {
    switch (state) {
        case StateOlder:
            return "LessUpdateText";
        case StateNeedUpdate:
        case StateNeedUpdate2:
            return "NeedUpdateText";
        case StateQueued:
            return "DownloadWaitText";
        case StateDownloading:
            return "DownloadIngText";
        case StateDownloaded:
            return "DownloadOkText";
        case StateInstalling:
            return "UpdateIngText";
        case StateDone:
            return "UpdateOkText";
        case StateFailed:
            return "UpdateFailText";
        default:
            return "";
    }
}

const char* window_status_text_id(std::int32_t status) {
    switch (status) {
        case WindowChecking:
            return "GetUpdateInfoText";
        case WindowHaveUpdate:
            return "HaveUpdateInfoText";
        case WindowNoInfo:
            return "NoUpdateInfoText";
        case WindowUpdating:
            return "ISUpdateINGText";
        case WindowUpToDate:
            return "UpdateOkText";
        case WindowSomeUnchecked:
            return "update_some_unchecked_text";
        case WindowNoServer:
            return "update_no_server_text";
        default:
            return "";
    }
}

bool check_failed(const UpdateRow& row) {
    return row.state == StateDone &&
           (row.check == CheckOutcome::Unreachable || row.check == CheckOutcome::BadAnswer);
}

const char* row_status_text_id(const UpdateRow& row) {
    if (row.state != StateDone)
        return state_text_id(row.state);
    switch (row.check) {
        case CheckOutcome::Pending:
            return "update_row_checking_text";
        case CheckOutcome::Unreachable:
            return "update_row_unreachable_text";
        case CheckOutcome::BadAnswer:
            return "update_row_bad_answer_text";
        case CheckOutcome::NoServer:
            return "update_row_no_server_text";
        case CheckOutcome::Answered:
            break;
    }
    return state_text_id(row.state);
}

bool shows_progress(std::int32_t state) {
    return state == StateDownloading || state == StateInstalling;
}
bool shows_done_mark(std::int32_t state) {
    return state == StateDownloaded;
}
bool grey_text(std::int32_t state) {
    return state == StateOlder || state == StateDone;
}
bool tick_enabled(std::int32_t state) {
    return state == StateNeedUpdate || state == StateNeedUpdate2 || state == StateFailed;
}

std::string item_key(const UpdateItem& item) {
    if (item.version == 0)
        return "NULL";
    return item.brand + "_" + std::to_string(item.format) + "_" + item.chip + "_" + item.model +
           "_" + std::to_string(item.item_class);
}

std::vector<UpdateItem> build_update_list(const std::vector<UpdateItem>& table,
                                          const std::vector<TileVersion>& tiles,
                                          std::int32_t receiver_reported_version) {
    std::vector<UpdateItem> items = table;
    if (items.empty())
        return items;
    const std::size_t device_items = items.size() - 1;
    for (std::size_t k = 0; k < device_items; ++k) {
        UpdateItem& item = items[k];
        if (k >= tiles.size()) {
            item.version = 0;
            continue;
        }
        const TileVersion& tile = tiles[k];
        if (!tile.has_page) {
            item.version = 0;
        } else if (tile.command_open) {
            if (tile.via_receiver && tile.receiver_answers) {
                item.version = tile.receiver_version;
                item.item_class = 2;
                items[0].item_class = 2;
            } else {
                item.version = tile.firmware_version;
            }
        } else {
            item.version =
                item.item_class == 3 && tile.receiver_answers ? ReceiverPlaceholderVersion : 0;
        }
        if (tile.has_page && tile.sensor_code == SensorCode3950)
            item.name = std::string(Sensor3950ItemName);
    }
    std::vector<UpdateItem> listed;
    for (UpdateItem& item : items) {
        if (item.version == 0)
            continue;
        if (item.version == ReceiverPlaceholderVersion)
            item.version = receiver_reported_version;
        listed.push_back(std::move(item));
    }
    return listed;
}

UpdateRow listed_row(const UpdateItem& item) {
    UpdateRow row;
    row.item = item;
    row.display_name = is_software_item(item) ? "Driver" : item.name;
    row.current_text =
        item.format != 0 ? current_version_text(item.version, true) : item.version_text;
    row.state = StateDone;
    return row;
}

bool is_software_item(const UpdateItem& item) {
    return item.chip == SoftwareChip;
}

std::string package_file_name(const UpdateItem& item) {
    return platform::http::plain_file_name(item.package) ? item.package : std::string();
}

namespace {

// Fills a row from the server's answer; false when the server was not reached. `why` is the
// client's reason when there was no answer.
bool show_answer(UpdateRow& row, UpdateResult result, const std::filesystem::path& download_folder,
                 const std::string& why) {
    bool reached = true;
    row.check = CheckOutcome::Answered;
    row.check_failure.clear();
    if (result.name == platform::http::NoLinkServer) {
        reached = false;
        result.name.clear();
        row.check = CheckOutcome::Unreachable;
        row.check_failure = why;
    } else if (!result.answered) {
        // A reply that names no item or version (an error page, an empty body) is no answer:
        // the row keeps its version and says it could not be checked.
        result.name.clear();
        row.check = CheckOutcome::BadAnswer;
        row.check_failure = why.empty() ? "the server's reply is not an update answer" : why;
    }
    if (result.name.empty()) {
        const UpdateRow listed = listed_row(row.item);
        result.current_version_text = listed.current_text;
        result.latest_version_text.clear();
        result.status = StateDone;
    }
    result.name = row.item.name;
    const std::string file = package_file_name(row.item);
    result.package_file = file.empty() ? std::string() : (download_folder / file).string();
    row.result = std::move(result);
    row.display_name = row.result.name;
    // A decimal item (the software) shows its own version text, as it did before the check.
    row.current_text = row.item.format == 0 && !row.item.version_text.empty()
                           ? row.item.version_text
                           : row.result.current_version_text;
    row.latest_text =
        row.result.status == StateDone ? std::string() : row.result.latest_version_text;
    row.state = row.result.status;
    row.ticked = false;
    row.percent = 0;
    row.verified = false;
    row.failure.clear();
    return reached;
}

}  // namespace

bool check_row(platform::http::HttpClient& client, std::string_view base_url, UpdateRow& row,
               const std::filesystem::path& download_folder) {
    const bool hex = row.item.format != 0;
    UpdateResult result = query_update(client, base_url, item_key(row.item), row.item.version, hex);
    return show_answer(row, std::move(result), download_folder, client.last_error_text());
}

bool tick_offered_rows(std::vector<UpdateRow>& rows) {
    bool any = false;
    for (UpdateRow& row : rows) {
        row.ticked = row.state != StateOlder && row.state != StateDone;
        any = any || row.ticked;
    }
    return any;
}

std::int32_t status_after_check(const std::vector<UpdateRow>& rows, std::size_t failures) {
    bool unchecked = false;
    for (const UpdateRow& row : rows) {
        if (row.state != StateOlder && row.state != StateDone)
            return WindowHaveUpdate;
        unchecked = unchecked || check_failed(row);
    }
    if (failures > 0 && failures >= rows.size())
        return WindowNoInfo;
    // "Up to date" only when every row was answered.
    return unchecked ? WindowSomeUnchecked : WindowUpToDate;
}

std::int32_t check_rows(platform::http::HttpClient& client, std::string_view base_url,
                        std::vector<UpdateRow>& rows, const std::filesystem::path& download_folder,
                        const std::filesystem::path& last_check,
                        const std::function<void(std::size_t, const UpdateRow&)>& checked,
                        const platform::StopEvent* stop) {
    if (base_url.empty()) {
        for (std::size_t k = 0; k < rows.size(); ++k) {
            rows[k].check = CheckOutcome::NoServer;
            if (checked)
                checked(k, rows[k]);
        }
        return WindowNoServer;
    }
    std::size_t failures = 0;
    bool timed_out = false;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (stop != nullptr && stop->is_set())
            return WindowNoInfo;
        // A server that let one query run out of time would keep the window waiting a full
        // deadline for every row.
        UpdateResult not_asked;
        not_asked.name = std::string(platform::http::NoLinkServer);
        const bool reached =
            timed_out ? show_answer(rows[k], not_asked, download_folder, client.last_error_text())
                      : check_row(client, base_url, rows[k], download_folder);
        if (!reached) {
            ++failures;
            timed_out = timed_out || client.last_error() == platform::http::TimedOut;
        }
        std::string error;
        if (!write_last_check(last_check, today_text(), &error))
            platform::debug_printf("updatetime.config: %s", error.c_str());
        if (checked)
            checked(k, rows[k]);
    }
    tick_offered_rows(rows);
    return status_after_check(rows, failures);
}

std::string progress_text(const UpdateRow& row) {
    std::array<char, 24> text{};
    std::snprintf(text.data(), text.size(), "%d%s", row.percent, "%");
    return text.data();
}

bool any_ticked(const std::vector<UpdateRow>& rows) {
    for (const UpdateRow& row : rows) {
        if (row.ticked)
            return true;
    }
    return false;
}

bool queue_ticked_rows(std::vector<UpdateRow>& rows) {
    bool queued = false;
    for (UpdateRow& row : rows) {
        const bool offered = row.state == StateNeedUpdate || row.state == StateNeedUpdate2;
        if ((offered || row.state == StateFailed) && row.ticked) {
            row.state = StateQueued;
            queued = true;
        } else if (offered) {
            row.ticked = false;
        }
    }
    return queued;
}

bool wants_download(const UpdateRow& row) {
    return row.ticked && (row.state == StateQueued || row.state == StateFailed);
}

void apply_progress(UpdateRow& row, double total, double received) {
    const int percent = total > 0 ? static_cast<int>(received * 100 / total) : 0;
    if (percent == 0) {
        platform::debug_printf("count:%d,size:%d\n", static_cast<int>(received),
                               static_cast<int>(total));
    }
    if (total > 0) {
        row.percent = percent;
        if (received == total)
            row.state = StateDownloaded;
    } else {
        row.state = StateFailed;
    }
}

DownloadStatus download_row(platform::http::HttpClient& client, UpdateRow& row,
                            const std::filesystem::path& download_folder,
                            const std::function<void(const UpdateRow&)>& changed,
                            const platform::StopEvent* stop) {
    platform::debug_output("等待下载\n");
    row.state = StateDownloading;
    row.percent = 0;
    row.verified = false;
    row.failure.clear();
    if (changed)
        changed(row);
    const std::string file = package_file_name(row.item);
    row.result.package_file = file.empty() ? std::string() : (download_folder / file).string();
    std::string why;
    if (!platform::make_private_folder(download_folder, &why)) {
        platform::debug_printf("download folder: %s\n", why.c_str());
        row.state = StateFailed;
        row.failure = why;
        if (changed)
            changed(row);
        return DownloadStatus::Failed;
    }
    const DownloadStatus status = client.download_file(
        row.result.package_address, download_folder, file,
        [&](double total, double received) {
            apply_progress(row, total, received);
            if (changed)
                changed(row);
        },
        stop, row.result.sha256);
    if (status == DownloadStatus::Stopped) {
        row.state = StateQueued;
        if (changed)
            changed(row);
    } else if (status == DownloadStatus::Complete) {
        row.verified = true;
        if (changed)
            changed(row);
    } else {
        // The failed progress report has shown state 8 already; the reason follows with it.
        row.state = StateFailed;
        row.failure = client.last_error_text();
        if (changed)
            changed(row);
    }
    return status;
}

PackageAction package_action(const UpdateRow& row) {
    const bool ours = is_software_item(row.item) && !package_file_name(row.item).empty();
    return ours && row.verified && row.state != StateFailed ? PackageAction::OpenWithDesktop
                                                            : PackageAction::KeepInFolder;
}

void finish_install(UpdateRow& row) {
    row.current_text = row.latest_text;
    row.latest_text.clear();
    row.state = StateDone;
    row.ticked = false;
}

std::string date_text(int year, int month, int day) {
    std::array<char, 48> text{};
    std::snprintf(text.data(), text.size(), "%d-%d-%d", year, month, day);
    return text.data();
}

std::string today_text() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return date_text(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

std::filesystem::path last_check_file() {
    return platform::user_data_folder() / "updatetime.config";
}

std::optional<std::string> read_last_check(const std::filesystem::path& file) {
    const Json::Value root = platform::read_json_file(file);
    const Json::Value& value = platform::member(platform::member(root, "updatelasttime"), "value");
    if (!value.isString())
        return std::nullopt;
    return platform::to_text(value);
}

bool write_last_check(const std::filesystem::path& file, std::string_view date,
                      std::string* error) {
    Json::Value root = platform::read_json_file(file);
    platform::writable_member(platform::writable_member(root, "updatelasttime"), "value") =
        std::string(date);
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "   ";
    builder["commentStyle"] = "All";
    builder["emitUTF8"] = true;
    return platform::write_file_atomically(file, Json::writeString(builder, root) + "\n", error);
}

std::string last_check_on_open(const std::filesystem::path& file, std::string_view today) {
    if (auto stored = read_last_check(file))
        return *stored;
    std::string error;
    if (!write_last_check(file, today, &error))
        platform::debug_printf("updatetime.config: %s", error.c_str());
    return std::string(today);
}

std::optional<std::string> firmware_package(const link::DeviceCatalog& devices,
                                            std::int32_t product_id, std::int32_t version,
                                            std::int32_t sensor_code,
                                            const FirmwarePackages& packages) {
    const link::DeviceFirmware* rule = nullptr;
    for (const link::DeviceModel& model : devices.models()) {
        for (const link::DeviceLink& l : model.links) {
            const auto& fw = l.firmware;
            if (rule == nullptr && fw && l.product_id == product_id &&
                fw->sensor_id == sensor_code &&
                (fw->version_below == 0 || version < fw->version_below))
                rule = &*fw;
        }
    }
    const std::string* chosen = nullptr;
    if (rule != nullptr && rule->package == "wired")
        chosen = &packages.wired;
    else if (rule != nullptr && rule->package == "receiver")
        chosen = &packages.receiver;
    else if (rule != nullptr && rule->package == "third")
        chosen = &packages.third;
    if (chosen == nullptr || !platform::http::plain_file_name(*chosen))
        return std::nullopt;
    return *chosen;
}

std::filesystem::path firmware_package_folder() {
    return platform::resources_folder() / "Update";
}

}  // namespace velqa::update
