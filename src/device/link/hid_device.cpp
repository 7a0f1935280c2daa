#include "device/link/hid_device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/debug_output.h"

namespace velqa::link {

namespace {

// Like "%x": optional "0x", then hexadecimal digits; the result is cut to 16 bits.
uint16_t hex_after(std::string_view path, std::string_view marker) {
    const size_t at = platform::hid::find_path_marker(path, marker);
    if (at == std::string_view::npos)
        return 0;
    std::string_view rest = path.substr(at + marker.size());
    if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(rest[2]))) {
        rest.remove_prefix(2);
    }
    uint32_t value = 0;
    for (char ch : rest) {
        if (!std::isxdigit(static_cast<unsigned char>(ch)))
            break;
        int digit = std::isdigit(static_cast<unsigned char>(ch))
                        ? ch - '0'
                        : std::tolower(static_cast<unsigned char>(ch)) - 'a' + 10;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    return static_cast<uint16_t>(value);
}

}  // namespace

uint16_t HidDevice::vendor_id_of(std::string_view path) {
    return hex_after(path, "vid_");
}
uint16_t HidDevice::product_id_of(std::string_view path) {
    return hex_after(path, "pid_");
}
uint16_t HidDevice::interface_of(std::string_view path) {
    return hex_after(path, "&mi_");
}
uint16_t HidDevice::collection_of(std::string_view path) {
    return hex_after(path, "&col");
}

namespace {

namespace hid = platform::hid;

constexpr size_t kInitialScanCapacity = 8;
// A hostile descriptor could declare value ranges of 65536 usages in many items.
constexpr size_t kMaxDataRecords = 65536;

size_t kind_index(ReportKind kind) {
    return static_cast<size_t>(kind);
}

}  // namespace

const char* hid_failure_text(HidFailure failure) {
    switch (failure) {
        case HidFailure::None:
            return "no failure";
        case HidFailure::TimedOut:
            return "timed out";
        case HidFailure::Cancelled:
            return "cancelled";
        case HidFailure::HungUp:
            return "the device was unplugged";
        case HidFailure::PermissionDenied:
            return "permission denied";
        case HidFailure::NoSuchNode:
            return "no such device node";
        case HidFailure::IoError:
            return "input/output error";
        case HidFailure::NotOpen:
            return "the link is not open";
        case HidFailure::LockTimedOut:
            return "timed out waiting for the device lock";
    }
    return "unknown failure";
}

HidFailure hid_failure_of_errno(int error_number) {
    switch (error_number) {
        case EACCES:
        case EPERM:
            return HidFailure::PermissionDenied;
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
        case ECONNREFUSED:  // a simulator socket nobody serves any more
            return HidFailure::NoSuchNode;
        default:
            return HidFailure::IoError;
    }
}

HidDevice::HidDevice() : HidDevice(nullptr) {}

HidDevice::HidDevice(std::shared_ptr<Backend> backend) : backend_(std::move(backend)) {
    cancel_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

HidDevice::~HidDevice() {
    close();
    clear_scan();
    if (cancel_fd_ >= 0)
        ::close(cancel_fd_);
}

bool HidDevice::scan() {
    clear_scan();
    if (!backend_)
        return false;
    auto result = hid::scan_interfaces(*backend_);
    if (!result.listed) {
        platform::debug_printf("HID scan: %s", result.error.c_str());
        return false;
    }
    scan_capacity_ = kInitialScanCapacity;
    scan_list_.reserve(scan_capacity_);
    for (auto& entry : result.interfaces) {
        if (scan_list_.size() == scan_capacity_) {
            scan_capacity_ *= 2;
            scan_list_.reserve(scan_capacity_);
        }
        scan_list_.push_back(std::move(entry.path));
    }
    scan_cursor_ = 0;
    return true;
}

std::optional<std::string> HidDevice::next_path() {
    if (scan_cursor_ >= scan_list_.size())
        return std::nullopt;
    return scan_list_[scan_cursor_++];
}

void HidDevice::clear_scan() {
    std::vector<std::string>().swap(scan_list_);
    scan_capacity_ = 0;
    scan_cursor_ = 0;
}

bool HidDevice::open(const std::string& path, bool read, bool write, bool overlapped,
                     bool exclusive) {
    std::unique_lock lock(mutex_);
    close_locked(lock);
    access_ = {read, write, overlapped, exclusive};
    path_ = path;
    hung_up_ = false;

    hid::NodeInfo info;
    const std::string node = hid::node_of(path);
    if (!backend_ || !backend_->describe(node, info))
        return fail_open(HidFailure::NoSuchNode, node + ": no such node");
    // A node name can be reused by another device after a re-plug; the path must still fit.
    if (info.vendor_id != vendor_id_of(path) || info.product_id != product_id_of(path) ||
        info.interface_number != interface_of(path)) {
        return fail_open(HidFailure::NoSuchNode, node + ": the node now belongs to another device");
    }
    std::string error;
    int error_number = 0;
    handle_ = backend_->open(node, read, write, exclusive, &error, &error_number);
    if (!handle_.valid())
        return fail_open(hid_failure_of_errno(error_number), error);
    struct stat st {};
    node_is_socket_ = ::fstat(handle_.fd(), &st) == 0 && S_ISSOCK(st.st_mode);
    if (!load_capabilities(info)) {
        handle_.reset();
        free_capabilities();
        return fail_open(HidFailure::IoError, node + ": the report descriptor does not fit");
    }
    interface_number_ = interface_of(path);
    collection_number_ = collection_of(path);
    last_failure_ = HidFailure::None;
    failure_detail_.clear();
    return true;
}

bool HidDevice::fail_open(HidFailure failure, std::string detail) {
    platform::debug_printf("HID open %s: %s", path_.c_str(), detail.c_str());
    last_failure_ = failure;
    failure_detail_ = std::move(detail);
    return false;
}

void HidDevice::record_failure(HidFailure failure, const char* what) {
    last_failure_ = failure;
    if (failure == HidFailure::HungUp)
        hung_up_ = true;
    failure_detail_ = path_ + ": " + what + " " + hid_failure_text(failure);
}

std::string HidDevice::last_failure_detail() const {
    std::lock_guard lock(mutex_);
    return failure_detail_;
}

bool HidDevice::load_capabilities(const hid::NodeInfo& info) {
    hid::ParsedDescriptor parsed;
    hid::DescriptorError error;
    if (!hid::parse_report_descriptor(info.descriptor, parsed, &error)) {
        platform::debug_printf("HID open %s: report descriptor rejected at offset %zu: %s",
                               path_.c_str(), error.offset, error.reason.c_str());
        return false;
    }
    const uint16_t col = collection_of(path_);
    const size_t count = parsed.collections.size();
    // Without "&col" the path names the only collection of its node.
    if ((col == 0 && count != 1) || (col != 0 && col > count)) {
        platform::debug_printf("HID open %s: the node has no such collection", path_.c_str());
        return false;
    }
    collection_ = std::move(parsed.collections[col == 0 ? 0 : col - 1]);
    uses_report_ids_ = parsed.uses_report_ids;
    attributes_ = {info.vendor_id, info.product_id, info.version_number};
    product_ = info.product;

    caps_ = HidCaps{};
    caps_.usage = collection_.usage;
    caps_.usage_page = collection_.usage_page;
    caps_.input_report_length = collection_.input_length();
    caps_.output_report_length = collection_.output_length();
    caps_.feature_report_length = collection_.feature_length();
    auto n = [](const std::vector<FieldCaps>& v) { return static_cast<uint16_t>(v.size()); };
    caps_.number_input_button_caps = n(collection_.button_caps[0]);
    caps_.number_input_value_caps = n(collection_.value_caps[0]);
    caps_.number_output_button_caps = n(collection_.button_caps[1]);
    caps_.number_output_value_caps = n(collection_.value_caps[1]);
    caps_.number_feature_button_caps = n(collection_.button_caps[2]);
    caps_.number_feature_value_caps = n(collection_.value_caps[2]);

    for (size_t k = 0; k < hid::ReportKinds; ++k) {
        report_buffers_[k].assign(collection_.report_length[k], 0);
        auto& records = records_[k];
        records.clear();
        const auto& buttons = collection_.button_caps[k];
        const auto& values = collection_.value_caps[k];
        for (size_t i = 0; i < buttons.size() && records.size() < kMaxDataRecords; ++i) {
            const auto& c = buttons[i];
            HidDataRecord r;
            r.is_button = true;
            r.report_id = c.report_id;
            r.usage_page = c.usage_page;
            r.usage_min = c.usage_min;
            r.usage_max = c.usage_max;
            // Variable buttons give at most one usage per bit; an array one per slot.
            r.max_usage_list_length = c.report_count;
            r.usages.assign(r.max_usage_list_length, 0);
            r.caps_index = i;
            records.push_back(std::move(r));
        }
        for (size_t i = 0; i < values.size(); ++i) {
            const auto& c = values[i];
            const uint32_t usages = c.is_range ? uint32_t{c.usage_max} - c.usage_min + 1 : 1;
            for (uint32_t u = 0; u < usages && records.size() < kMaxDataRecords; ++u) {
                HidDataRecord r;
                r.report_id = c.report_id;
                r.usage_page = c.usage_page;
                r.usage = static_cast<uint16_t>(c.usage_min + u);
                r.caps_index = i;
                r.field = static_cast<uint16_t>(u);
                records.push_back(std::move(r));
            }
        }
    }
    return true;
}

void HidDevice::free_capabilities() {
    attributes_ = {};
    caps_ = {};
    collection_ = {};
    uses_report_ids_ = false;
    product_.clear();
    for (size_t k = 0; k < hid::ReportKinds; ++k) {
        std::vector<uint8_t>().swap(report_buffers_[k]);
        std::vector<HidDataRecord>().swap(records_[k]);
    }
}

void HidDevice::close() {
    std::unique_lock lock(mutex_);
    close_locked(lock);
}

void HidDevice::close_locked(std::unique_lock<std::mutex>& lock) {
    if (active_io_ > 0) {
        closing_ = true;
        uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(cancel_fd_, &one, sizeof one);
        // The node's descriptor must outlive every poll() that still waits on it.
        io_done_.wait(lock, [this] { return active_io_ == 0; });
    }
    uint64_t drained;
    [[maybe_unused]] auto n = ::read(cancel_fd_, &drained, sizeof drained);
    closing_ = false;
    handle_.reset();
    free_capabilities();
    interface_number_ = 0;
    collection_number_ = 0;
}

bool HidDevice::is_open() const {
    std::lock_guard lock(mutex_);
    return handle_.valid();
}

HidDevice::Wait HidDevice::wait_ready(int fd, short events, int timeout_ms,
                                      const std::chrono::steady_clock::time_point& deadline) {
    for (;;) {
        int wait_ms = -1;
        if (timeout_ms >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            wait_ms = static_cast<int>(std::max<int64_t>(0, left.count()));
        }
        pollfd fds[2] = {{cancel_fd_, POLLIN, 0}, {fd, events, 0}};
        const int ready = ::poll(fds, 2, wait_ms);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return Wait::Error;
        }
        if (fds[0].revents & POLLIN)
            return Wait::Cancelled;  // cancel first, like the original wait order
        if (fds[1].revents & events)
            return Wait::Ready;
        // hidraw reports a removed device as POLLHUP | POLLERR.
        if (fds[1].revents & POLLHUP)
            return Wait::HungUp;
        if (fds[1].revents & (POLLERR | POLLNVAL))
            return Wait::Error;
        if (ready == 0)
            return Wait::TimedOut;
    }
}

namespace {

// Errors of a transfer on an open node: a vanished device shows as one of these.
HidFailure failure_of_transfer_errno(int error_number) {
    switch (error_number) {
        case EIO:  // hidraw: the device was removed
        case ENODEV:
        case ENXIO:
        case EPIPE:
        case ECONNRESET:
        case ESHUTDOWN:
            return HidFailure::HungUp;
        default:
            return HidFailure::IoError;
    }
}

}  // namespace

HidFailure HidDevice::failure_of(Wait wait) {
    switch (wait) {
        case Wait::TimedOut:
            return HidFailure::TimedOut;
        case Wait::Cancelled:
            return HidFailure::Cancelled;
        case Wait::HungUp:
            return HidFailure::HungUp;
        case Wait::Ready:
        case Wait::Error:
            break;
    }
    return HidFailure::IoError;
}

size_t HidDevice::drain_input() {
    int fd = -1;
    {
        std::lock_guard lock(mutex_);
        if (!handle_.valid() || closing_ || !access_.read)
            return 0;
        fd = handle_.fd();
        ++active_io_;
    }
    thread_local std::vector<uint8_t> report(MaxNodeReport);
    size_t drained = 0;
    // The node is non-blocking: the loop ends at the first read that finds nothing queued.
    for (;;) {
        const ssize_t n = node_is_socket_ ? ::recv(fd, report.data(), report.size(), MSG_DONTWAIT)
                                          : ::read(fd, report.data(), report.size());
        if (n > 0) {
            ++drained;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;  // EAGAIN, a hang-up or an error: the next transfer reports those
    }
    std::lock_guard lock(mutex_);
    --active_io_;
    io_done_.notify_all();
    return drained;
}

int HidDevice::do_read(int fd, uint8_t* buffer, size_t length, size_t* bytes_read, int timeout_ms,
                       HidFailure* failure) {
    thread_local std::vector<uint8_t> report(MaxNodeReport);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
    for (;;) {
        if (const Wait w = wait_ready(fd, POLLIN, timeout_ms, deadline); w != Wait::Ready) {
            *failure = failure_of(w);
            return 0;
        }
        const ssize_t n = ::read(fd, report.data(), report.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            *failure = failure_of_transfer_errno(errno);
            return 0;
        }
        if (n == 0) {
            *failure = HidFailure::HungUp;
            return 0;
        }
        size_t copied = 0;
        if (uses_report_ids_) {
            if (!collection_.has_report_id(report[0]))
                continue;  // another collection's report
            copied = std::min(static_cast<size_t>(n), length);
            std::memcpy(buffer, report.data(), copied);
        } else {
            // Unnumbered reports arrive without the ID byte; callers always get one.
            buffer[0] = 0;
            copied = 1 + std::min(static_cast<size_t>(n), length - 1);
            std::memcpy(buffer + 1, report.data(), copied - 1);
        }
        if (bytes_read)
            *bytes_read = copied;
        return 1;
    }
}

int HidDevice::do_write(int fd, const uint8_t* buffer, size_t length, size_t* bytes_written,
                        int timeout_ms, HidFailure* failure) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
    for (;;) {
        if (const Wait w = wait_ready(fd, POLLOUT, timeout_ms, deadline); w != Wait::Ready) {
            *failure = failure_of(w);
            return 0;
        }
        const ssize_t n = node_is_socket_ ? ::send(fd, buffer, length, MSG_DONTWAIT | MSG_NOSIGNAL)
                                          : ::write(fd, buffer, length);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            *failure = failure_of_transfer_errno(errno);
            return 0;
        }
        if (static_cast<size_t>(n) != length) {
            *failure = HidFailure::IoError;
            return 0;
        }
        if (bytes_written)
            *bytes_written = length;
        return 1;
    }
}

int HidDevice::read(uint8_t* buffer, size_t length, size_t* bytes_read, int timeout_ms) {
    if (bytes_read)
        *bytes_read = 0;
    int fd = -1;
    {
        std::lock_guard lock(mutex_);
        if (!handle_.valid() || closing_ || !access_.read || !buffer || length == 0) {
            if (hung_up_) {
                record_failure(HidFailure::HungUp, "read:");
            } else {
                record_failure(closing_ ? HidFailure::Cancelled : HidFailure::NotOpen, "read:");
            }
            return 0;
        }
        fd = handle_.fd();
        ++active_io_;
        read_in_progress_ = true;
    }
    HidFailure failure = HidFailure::None;
    const int result = do_read(fd, buffer, length, bytes_read, timeout_ms, &failure);
    std::lock_guard lock(mutex_);
    if (!result)
        record_failure(failure, "read:");
    read_in_progress_ = false;
    --active_io_;
    io_done_.notify_all();
    return result;
}

int HidDevice::write(const uint8_t* buffer, size_t length, size_t* bytes_written, int timeout_ms) {
    if (bytes_written)
        *bytes_written = 0;
    int fd = -1;
    {
        std::lock_guard lock(mutex_);
        if (!handle_.valid() || closing_ || !access_.write || !buffer || length == 0) {
            if (hung_up_) {
                record_failure(HidFailure::HungUp, "write:");
            } else {
                record_failure(closing_ ? HidFailure::Cancelled : HidFailure::NotOpen, "write:");
            }
            return 0;
        }
        fd = handle_.fd();
        ++active_io_;
        write_in_progress_ = true;
    }
    HidFailure failure = HidFailure::None;
    const int result = do_write(fd, buffer, length, bytes_written, timeout_ms, &failure);
    std::lock_guard lock(mutex_);
    if (!result)
        record_failure(failure, "write:");
    write_in_progress_ = false;
    --active_io_;
    io_done_.notify_all();
    return result;
}

std::optional<std::string> HidDevice::product_string() const {
    std::lock_guard lock(mutex_);
    if (!handle_.valid() || product_.empty())
        return std::nullopt;
    return product_;
}

const HidAttributes& HidDevice::attributes() const {
    return attributes_;
}
const HidCaps& HidDevice::caps() const {
    return caps_;
}
const std::string& HidDevice::path() const {
    return path_;
}
uint16_t HidDevice::interface_number() const {
    return interface_number_;
}
uint16_t HidDevice::collection_number() const {
    return collection_number_;
}

const std::vector<FieldCaps>& HidDevice::button_caps(ReportKind kind) const {
    return collection_.button_caps[kind_index(kind)];
}

const std::vector<FieldCaps>& HidDevice::value_caps(ReportKind kind) const {
    return collection_.value_caps[kind_index(kind)];
}

const std::vector<HidDataRecord>& HidDevice::data_records(ReportKind kind) const {
    return records_[kind_index(kind)];
}

std::vector<uint8_t>& HidDevice::report_buffer(ReportKind kind) {
    return report_buffers_[kind_index(kind)];
}

HidStatus HidDevice::unpack_input(const uint8_t* report, size_t length) {
    if (!report || length == 0)
        return HidStatus::InvalidReportLength;
    const std::span<const uint8_t> bytes(report, length);
    const uint64_t report_bits = uint64_t{length} * 8;
    const auto& buttons = collection_.button_caps[0];
    const auto& values = collection_.value_caps[0];
    for (auto& r : records_[0]) {
        if (r.report_id != report[0])
            continue;
        r.is_set = true;
        if (r.is_button) {
            const FieldCaps& c = buttons[r.caps_index];
            std::fill(r.usages.begin(), r.usages.end(), 0);
            if (c.bit_position + uint64_t{c.bit_size} * c.report_count > report_bits) {
                r.status = HidStatus::InvalidReportLength;
                continue;
            }
            size_t found = 0;
            for (uint16_t i = 0; i < c.report_count && found < r.usages.size(); ++i) {
                const uint32_t v =
                    hid::extract_bits(bytes, c.bit_position + uint32_t{i} * c.bit_size, c.bit_size);
                int64_t usage = 0;
                if (c.is_array) {
                    uint16_t selected = 0;
                    if (!hid::array_usage(c, v, selected))
                        continue;
                    usage = selected;
                } else {
                    if (v == 0)
                        continue;
                    usage = c.is_range ? c.usage_min + i : c.usage_min;
                }
                // Usage 0 means "no control"; the record keeps only its own usages.
                if (usage == 0 || usage < r.usage_min || usage > r.usage_max)
                    continue;
                r.usages[found++] = static_cast<uint16_t>(usage);
            }
            r.status = HidStatus::Success;
            continue;
        }
        const FieldCaps& c = values[r.caps_index];
        const uint32_t position = c.bit_position + uint32_t{r.field} * c.bit_size;
        if (position + uint64_t{c.bit_size} > report_bits) {
            r.status = HidStatus::InvalidReportLength;
            return r.status;
        }
        r.raw_value = hid::extract_bits(bytes, position, c.bit_size);
        const int64_t value = hid::logical_value(c, r.raw_value);
        if (value < c.logical_min || value > c.logical_max) {
            r.status = HidStatus::ValueOutOfRange;
            continue;
        }
        if (c.logical_max <= c.logical_min) {
            r.status = HidStatus::BadLogPhyValues;
            continue;
        }
        r.scaled_value = hid::scale_to_physical(c, value);
        r.status = HidStatus::Success;
    }
    return HidStatus::Success;
}

}  // namespace velqa::link
