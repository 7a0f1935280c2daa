// The settings window's update flow without its window: which items are listed, the check of
// one item, the row states, the download of a row with progress, the date of the last check,
// and the choice of the firmware upgrade package carried beside the program. Nothing here runs
// a downloaded package.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/link/supported_devices.h"

#include "platform/http/http_client.h"
#include "platform/worker_thread.h"
#include "update/update_client.h"
#include "update/update_config.h"

namespace velqa::update {

// Row states; the language-text id of each is state_text_id().
enum RowState : std::int32_t {
    StateOlder = 0,        // "LessUpdateText"
    StateNeedUpdate = 1,   // "NeedUpdateText"
    StateNeedUpdate2 = 2,  // "NeedUpdateText"
    StateQueued = 3,       // "DownloadWaitText"
    StateDownloading = 4,  // "DownloadIngText"
    StateDownloaded = 5,   // "DownloadOkText"
    StateInstalling = 6,   // "UpdateIngText"
    StateDone = 7,         // "UpdateOkText"
    StateFailed = 8        // "UpdateFailText"
};

// Window statuses; the text id of each is window_status_text_id().
enum WindowStatus : std::int32_t {
    WindowChecking = 0,       // "GetUpdateInfoText", busy ring
    WindowHaveUpdate = 1,     // "HaveUpdateInfoText"
    WindowNoInfo = 2,         // "NoUpdateInfoText"
    WindowUpdating = 3,       // "ISUpdateINGText"
    WindowUpToDate = 4,       // "UpdateOkText" + the date of the last check
    WindowSomeUnchecked = 5,  // "update_some_unchecked_text": answers for some rows, not all
    WindowNoServer = 6        // "update_no_server_text": no server to ask; a fact, no failure
};

// What the server told about a row in the last check.
enum class CheckOutcome : std::int32_t {
    Pending,      // not asked yet
    Answered,     // an answer about the item
    Unreachable,  // the server was not reached (or not asked after a time-out)
    BadAnswer,    // a reply that says nothing about the item
    NoServer      // no update server is configured: nobody was asked
};

// A row state's text id; "" for an unknown state.
const char* state_text_id(std::int32_t state);
const char* window_status_text_id(std::int32_t status);
// Whether a row in `state` shows progress, the done mark, grey text, and an enabled tick box.
bool shows_progress(std::int32_t state);
bool shows_done_mark(std::int32_t state);
bool grey_text(std::int32_t state);
bool tick_enabled(std::int32_t state);

// The text colour of grey rows.
inline constexpr std::uint32_t GreyTextColor = 0xff666666;
// The version a device item shows until the receiver's own bytes replace it.
inline constexpr std::int32_t ReceiverPlaceholderVersion = 52820;
// The name a device item takes when its page reports the 3950 sensor.
inline constexpr std::string_view Sensor3950ItemName = "VELQA-R260";
inline constexpr std::int32_t SensorCode3950 = 0x3950;
inline constexpr std::int32_t SensorCode3395 = 0x3395;

// "BRAND_FORMAT_CHIP_MODEL_CLASS"; "NULL" for an item whose version is 0.
std::string item_key(const UpdateItem& item);

// What the device page of one tile tells about its item.
struct TileVersion {
    bool has_page = false;
    bool command_open = false;      // the page's command interface is open
    bool via_receiver = false;      // the page is linked through the receiver
    bool receiver_answers = false;  // the receiver answers the receiver-link query
    std::int32_t receiver_version = 0;
    std::int32_t firmware_version = 0;  // the device's own firmware version
    std::int32_t sensor_code = 0;
};

// The items the settings window lists, in table order: item k (below the number of tiles, the
// last item excepted) takes its version from tile k, the last item (the software) keeps the
// table's version; items with version 0 are left out, and the placeholder version 52820 becomes
// `receiver_reported_version` (the two bytes the receiver last reported, high byte first).
std::vector<UpdateItem> build_update_list(const std::vector<UpdateItem>& table,
                                          const std::vector<TileVersion>& tiles,
                                          std::int32_t receiver_reported_version);

// One row of the update list.
struct UpdateRow {
    UpdateItem item;
    UpdateResult result;
    std::string display_name;  // "Driver" for the software item (chip "ALL"), else its name
    std::string current_text;  // "OldRev"
    std::string latest_text;   // "updateRev"; hidden when empty
    std::int32_t state = StateDone;
    bool ticked = false;
    std::int32_t percent = 0;  // "update_progress_value", shown as "%d%s" with "%"
    bool verified = false;     // its package arrived whole: the announced length and digest
    std::string failure;       // why its last download failed; empty otherwise
    CheckOutcome check = CheckOutcome::Pending;
    std::string check_failure;  // why the server gave no answer; empty otherwise
};

// The text id of a row's status: state_text_id, except that a listed row (state 7) without an
// answer says it is being checked or why it could not be, never "up to date".
const char* row_status_text_id(const UpdateRow& row);
// True for a listed row whose check ended without an answer.
bool check_failed(const UpdateRow& row);

// True for the software's own item (chip "ALL"); the others are firmware.
bool is_software_item(const UpdateItem& item);

// The row listed before the check: display name, current version ("V%04x" for a hexadecimal
// item, the item's version text for a decimal one), no latest version, state 7.
UpdateRow listed_row(const UpdateItem& item);

// The package file name of an item: its configured package name; empty when it has none or the
// name would leave the download folder.
std::string package_file_name(const UpdateItem& item);

// Checks one row against the server at `base_url`: queries it, then fills the row from the
// result (an unreachable server or a reply without an answer leaves it listed at state 7, with
// its outcome and the reason), unticks it and sets its package file inside `download_folder`.
// Returns false when the server was not reached.
bool check_row(platform::http::HttpClient& client, std::string_view base_url, UpdateRow& row,
               const std::filesystem::path& download_folder);

// After the check: rows whose state is neither 0 nor 7 are ticked, the others unticked. True
// when some row is ticked (the button "update_fw_and_ap" is shown).
bool tick_offered_rows(std::vector<UpdateRow>& rows);

// The window status after a check of `rows` in which `failures` queries did not reach the
// server: 1 when a row offers an update, else 2 when every query failed, else 5 when some row
// got no answer, else 4.
std::int32_t status_after_check(const std::vector<UpdateRow>& rows, std::size_t failures);

// The check thread's pass: checks every row in order, writes today's date to `last_check`
// after each, calls `checked(index, row)` (may be empty; on this thread) after each, then ticks
// the rows that offer an update. Returns the window status (status_after_check). Once a query
// has timed out the server is not asked again in this pass: the rows left count as not
// reached. A set `stop` ends the pass before the next row, with the rows left as they are and
// WindowNoInfo. An empty `base_url` (no server configured) asks nobody and writes no date: every
// row is marked CheckOutcome::NoServer and the status is WindowNoServer.
std::int32_t check_rows(platform::http::HttpClient& client, std::string_view base_url,
                        std::vector<UpdateRow>& rows, const std::filesystem::path& download_folder,
                        const std::filesystem::path& last_check,
                        const std::function<void(std::size_t, const UpdateRow&)>& checked,
                        const platform::StopEvent* stop = nullptr);

// "%d%s" of the row's percentage and "%": the text of "update_progress_value".
std::string progress_text(const UpdateRow& row);

// True when some row is ticked.
bool any_ticked(const std::vector<UpdateRow>& rows);

// "update_OK_btn": ticked rows in state 1, 2 or 8 are queued (state 3), other rows in 1 or 2
// unticked. True when some row is queued (the start-downloads flag).
bool queue_ticked_rows(std::vector<UpdateRow>& rows);

// True for a row the download pass takes: ticked, in state 3 or 8.
bool wants_download(const UpdateRow& row);

// A progress report for a row: the percentage, state 5 when all bytes are in, state 8 for a
// total of 0 (a failed download). Writes "count:%d,size:%d\n" to the debug output while the
// percentage is 0.
void apply_progress(UpdateRow& row, double total, double received);

// Downloads a row's package into `download_folder` (state 4, then progress as apply_progress;
// writes "等待下载\n" to the debug output first). `changed` (may be empty) is called on this
// thread after every change of the row. The folder is made first (make_private_folder); the
// server's "sha256", when given, must match. A complete download marks the row verified; a
// failed one puts it in state 8 with the reason in its `failure`. A stopped download puts the
// row back to state 3.
platform::http::DownloadStatus download_row(platform::http::HttpClient& client, UpdateRow& row,
                                            const std::filesystem::path& download_folder,
                                            const std::function<void(const UpdateRow&)>& changed,
                                            const platform::StopEvent* stop = nullptr);

// What the window does with a downloaded package; we never execute one ourselves.
enum class PackageAction {
    OpenWithDesktop,  // the software's verified package: the desktop's default handler opens it
    KeepInFolder      // everything else: stays in the download folder for the user's flasher
};
// Decided by our own item table alone: nothing the server answers (its "device_id", say) can
// send a firmware package to the desktop.
PackageAction package_action(const UpdateRow& row);

// The end of the download pass for the installed row: its latest version becomes its current
// one, the latest is cleared, state 7, unticked.
void finish_install(UpdateRow& row);

// "%d-%d-%d", without leading zeros.
std::string date_text(int year, int month, int day);
// Today's local date as date_text.
std::string today_text();

// <user data>/updatetime.config.
std::filesystem::path last_check_file();
// "updatelasttime"/"value" of `file`; nothing when the file or the member is missing.
std::optional<std::string> read_last_check(const std::filesystem::path& file);
// Stores `date` as "updatelasttime"/"value", keeping the file's other members. False (with the
// reason in `error`) when the file cannot be written.
bool write_last_check(const std::filesystem::path& file, std::string_view date,
                      std::string* error = nullptr);
// When the settings window opens: the stored date, or `today` written there when none is.
std::string last_check_on_open(const std::filesystem::path& file, std::string_view today);

// The firmware upgrade package for a mouse (product ID, firmware version, sensor code of the
// selected page), or nothing: the first link of `devices` with that product ID whose "Firmware"
// names that sensor, and a version limit the firmware is below, names the package. Nothing for a
// configured name that is not a plain file name.
std::optional<std::string> firmware_package(const link::DeviceCatalog& devices,
                                            std::int32_t product_id, std::int32_t version,
                                            std::int32_t sensor_code,
                                            const FirmwarePackages& packages);
// <resources>/Update: the folder the firmware packages are carried in.
std::filesystem::path firmware_package_folder();

}  // namespace velqa::update
