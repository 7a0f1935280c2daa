// One HID interface (one top-level collection of a hidraw or simulated node) and the scan list
// that finds the interfaces present on the machine.
//
// CONTRACT (shared by the HID layer and the command layer; extend, do not change):
// the signatures below are used by CommandChannel, the device objects and velqactl.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

class HidDevice {
public:
    HidDevice();
    ~HidDevice();
    HidDevice(const HidDevice&) = delete;
    HidDevice& operator=(const HidDevice&) = delete;

    // Scan list.
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

    // The HID layer adds: unpack_input, data records, input report buffer, access settings...
};

}  // namespace velqa::link
