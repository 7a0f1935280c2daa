// One HID interface (one top-level collection of a hidraw or simulated node) and the scan list
// that finds the interfaces present on the machine.
//
// CONTRACT (shared by the HID layer and the command layer; extend, do not change):
// the signatures below are used by CommandChannel, the device objects and velqactl.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hid/hid_backend.h"
#include "platform/hid/report_descriptor.h"

namespace velqa::link {

// Windows' HIDD_ATTRIBUTES.
struct HidAttributes {
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    uint16_t version_number = 0;
};

// Windows' HIDP_CAPS, as far as the program uses it. Report lengths count the report-ID byte.
struct HidCaps {
    uint16_t usage = 0;
    uint16_t usage_page = 0;
    uint16_t input_report_length = 0;
    uint16_t output_report_length = 0;
    uint16_t feature_report_length = 0;
    uint16_t number_input_button_caps = 0;
    uint16_t number_input_value_caps = 0;
    uint16_t number_output_button_caps = 0;
    uint16_t number_output_value_caps = 0;
    uint16_t number_feature_button_caps = 0;
    uint16_t number_feature_value_caps = 0;
};

using platform::hid::FieldCaps;
using platform::hid::ReportKind;

// Outcome of decoding one field (the HIDP_STATUS_* values the program looks at).
enum class HidStatus : int32_t {
    Success = 0,
    InvalidReportLength,   // the report is shorter than the field
    IncompatibleReportId,  // the report is not one of this record's
    ValueOutOfRange,       // a value outside the logical range (a null value)
    BadLogPhyValues,       // logical or physical extents that cannot scale
    NotOpen,
};

// One decoded field of a report: a button capability, or one usage of a value capability.
struct HidDataRecord {
    bool is_button = false;
    uint8_t report_id = 0;
    uint16_t usage_page = 0;
    HidStatus status = HidStatus::Success;  // of the last unpack
    bool is_set = false;                    // visited by the last unpack
    // Buttons: the capability's usage range, the longest usage list it can give and the
    // pressed usages of the last unpack, ended by 0 when shorter than that.
    uint16_t usage_min = 0;
    uint16_t usage_max = 0;
    size_t max_usage_list_length = 0;
    std::vector<uint16_t> usages;
    // Values.
    uint16_t usage = 0;
    uint32_t raw_value = 0;
    int32_t scaled_value = 0;
    // Where the field lies (index into the capability list of its kind, and the usage's field).
    size_t caps_index = 0;
    uint16_t field = 0;
};

// Access settings of the last open.
struct HidAccess {
    bool read = false;
    bool write = false;
    bool overlapped = false;
    bool exclusive = false;
};

// Why the last open, read or write of a HidDevice failed, beside its 0/false result.
enum class HidFailure {
    None,
    TimedOut,          // nothing arrived, or the device did not take the report, in time
    Cancelled,         // close() (or a second open) ended the transfer
    HungUp,            // the node went away: the device is unplugged
    PermissionDenied,  // the node exists but this user may not open it
    NoSuchNode,        // no node by that path, or it now belongs to another device
    IoError,           // any other error of the node or the transfer
    NotOpen,           // nothing open, or opened without that access
    LockTimedOut,      // another program of ours kept the device's link lock too long
};

// A short English text for `failure` ("timed out", "permission denied", ...).
const char* hid_failure_text(HidFailure failure);
// The failure an errno from opening a node stands for.
HidFailure hid_failure_of_errno(int error_number);

class HidDevice {
  public:
    using Backend = platform::hid::HidBackend;
    // Without a backend nothing can be scanned or opened (scan() false, open() NoSuchNode).
    HidDevice();
    // Scans and opens through `backend`, which the program chose once (see hid_backend.h).
    explicit HidDevice(std::shared_ptr<Backend> backend);
    ~HidDevice();
    HidDevice(const HidDevice&) = delete;
    HidDevice& operator=(const HidDevice&) = delete;

    // Scan list. scan() is false (with an empty list and a debug line) when the backend could
    // not read its node list.
    bool scan();
    std::optional<std::string> next_path();
    void clear_scan();

    // Opens one interface path (closing an open one first) and loads its capabilities.
    bool open(const std::string& path, bool read, bool write, bool overlapped, bool exclusive);
    // Cancels pending I/O (signals the cancel event), frees capabilities, closes.
    void close();
    bool is_open() const;

    // One transfer. Nonzero on success; 0 on time-out, cancel, hang-up or error.
    // timeout_ms -1 waits without limit. *bytes_read / *bytes_written get the count (0 on failure).
    // A read delivers only input reports whose report ID belongs to the opened collection.
    int read(uint8_t* buffer, size_t length, size_t* bytes_read, int timeout_ms);
    int write(const uint8_t* buffer, size_t length, size_t* bytes_written, int timeout_ms);

    // Discards every input report already queued on the open node, without waiting; returns
    // how many. An exchange calls it before it writes, so a late reply to an earlier request
    // cannot be taken for the reply to the next one.
    size_t drain_input();

    // Why the most recent failed open, read or write failed (None until one fails; a
    // successful open clears it), and the details in words (the node, the system's text).
    HidFailure last_failure() const { return last_failure_.load(); }
    std::string last_failure_detail() const;
    // The open node hung up (the device was unplugged); stays true until the next open.
    bool unplugged() const { return hung_up_.load(); }

    const std::shared_ptr<Backend>& backend() const { return backend_; }

    // Product string of the open interface; nullopt when it cannot be read.
    std::optional<std::string> product_string() const;

    const HidAttributes& attributes() const;
    const HidCaps& caps() const;
    const std::string& path() const;
    uint16_t interface_number() const;
    uint16_t collection_number() const;

    // Path parsers: case-insensitive marker ("vid_", "pid_", "&mi_", "&col"), hexadecimal
    // number after the four-character marker, 0 when the marker is absent.
    static uint16_t vendor_id_of(std::string_view path);
    static uint16_t product_id_of(std::string_view path);
    static uint16_t interface_of(std::string_view path);
    static uint16_t collection_of(std::string_view path);

    // Decodes an input report (report ID byte first) into the input data records whose report
    // ID equals report[0]. Returns the status of a value record that could not be read (which
    // ends the unpack), else Success.
    HidStatus unpack_input(const uint8_t* report, size_t length);

    const HidAccess& access() const { return access_; }
    const platform::hid::TopCollection& collection() const { return collection_; }
    const std::vector<FieldCaps>& button_caps(ReportKind kind) const;
    const std::vector<FieldCaps>& value_caps(ReportKind kind) const;
    const std::vector<HidDataRecord>& data_records(ReportKind kind) const;
    const std::vector<HidDataRecord>& input_data() const { return data_records(ReportKind::Input); }
    // Zeroed buffers of the report lengths (input_report_length() bytes for input).
    std::vector<uint8_t>& report_buffer(ReportKind kind);
    std::vector<uint8_t>& input_report_buffer() { return report_buffer(ReportKind::Input); }
    uint16_t input_report_length() const { return caps_.input_report_length; }

    bool read_in_progress() const { return read_in_progress_.load(); }
    bool write_in_progress() const { return write_in_progress_.load(); }

    // Number of paths in the scan list and the room it has (8, then doubling).
    size_t scan_count() const { return scan_list_.size(); }
    size_t scan_capacity() const { return scan_capacity_; }

    // Longest report a read takes from a node; longer ones are cut.
    static constexpr size_t MaxNodeReport = 16384;

  private:
    enum class Wait { Ready, TimedOut, Cancelled, HungUp, Error };
    static HidFailure failure_of(Wait wait);
    void close_locked(std::unique_lock<std::mutex>& lock);
    bool fail_open(HidFailure failure, std::string detail);
    void record_failure(HidFailure failure, const char* what);
    bool load_capabilities(const platform::hid::NodeInfo& info);
    void free_capabilities();
    // Waits for `events` on the node or the cancel event.
    Wait wait_ready(int fd, short events, int timeout_ms,
                    const std::chrono::steady_clock::time_point& deadline);
    // 1 on success; else 0 with *failure set.
    int do_read(int fd, uint8_t* buffer, size_t length, size_t* bytes_read, int timeout_ms,
                HidFailure* failure);
    int do_write(int fd, const uint8_t* buffer, size_t length, size_t* bytes_written,
                 int timeout_ms, HidFailure* failure);

    const std::shared_ptr<Backend> backend_;

    std::vector<std::string> scan_list_;
    size_t scan_capacity_ = 0;
    size_t scan_cursor_ = 0;

    HidAccess access_;
    platform::hid::NodeHandle handle_;
    bool node_is_socket_ = false;
    std::string path_;
    std::string product_;
    HidAttributes attributes_;
    HidCaps caps_;
    platform::hid::TopCollection collection_;
    bool uses_report_ids_ = false;
    std::vector<uint8_t> report_buffers_[platform::hid::ReportKinds];
    std::vector<HidDataRecord> records_[platform::hid::ReportKinds];
    uint16_t interface_number_ = 0;
    uint16_t collection_number_ = 0;

    // Cancel event: an eventfd that stays signalled until close has seen every transfer leave,
    // so a read and a write pending together both end.
    int cancel_fd_ = -1;
    std::atomic<bool> read_in_progress_{false};
    std::atomic<bool> write_in_progress_{false};
    mutable std::mutex mutex_;
    std::condition_variable io_done_;
    int active_io_ = 0;
    bool closing_ = false;
    std::atomic<HidFailure> last_failure_{HidFailure::None};
    std::atomic<bool> hung_up_{false};
    std::string failure_detail_;  // guarded by mutex_
};

}  // namespace velqa::link
