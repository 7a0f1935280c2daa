// HID report-descriptor parser: turns a descriptor into per-top-level-collection capabilities
// the way the operating system's HID parser reports them (no Qt, no exceptions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velqa::platform::hid {

enum class ReportKind : uint8_t { Input = 0, Output = 1, Feature = 2 };
inline constexpr size_t ReportKinds = 3;

// One button or value capability: a run of fields of one main item sharing a usage or range.
struct FieldCaps {
    ReportKind kind = ReportKind::Input;
    uint8_t report_id = 0;
    uint16_t usage_page = 0;
    bool is_range = false;
    uint16_t usage_min = 0;  // the usage when !is_range
    uint16_t usage_max = 0;
    // Bit position counted from the start of the report buffer, whose byte 0 is the report ID
    // (0 when the descriptor declares none).
    uint32_t bit_position = 0;
    uint16_t bit_size = 0;
    uint16_t report_count = 0;
    int32_t logical_min = 0;
    int32_t logical_max = 0;
    int32_t physical_min = 0;
    int32_t physical_max = 0;
    uint32_t unit = 0;
    int8_t unit_exponent = 0;
    bool is_array = false;  // array (selector) field rather than variable
    // Array fields: the selector index (value minus logical minimum) that stands for usage_min.
    // The usages of an array field's list follow one another in index order, so each usage or
    // range of the list is its own capability with its own first index.
    uint32_t array_index = 0;
    bool is_absolute = true;
    bool is_button = false;        // one-bit variable fields and arrays are buttons
    uint16_t link_collection = 0;  // index of the innermost collection (0 = the top level)

    uint16_t usage() const { return usage_min; }
};

struct TopCollection {
    uint16_t usage_page = 0;
    uint16_t usage = 0;
    std::vector<uint8_t> report_ids;  // ascending; empty when the descriptor uses none
    // Longest report of each kind in bytes plus the report-ID byte; 0 when the collection has
    // no report of that kind.
    uint16_t report_length[ReportKinds] = {0, 0, 0};
    std::vector<FieldCaps> button_caps[ReportKinds];
    std::vector<FieldCaps> value_caps[ReportKinds];
    uint16_t link_collections = 1;  // nested collections counted with the top level

    uint16_t input_length() const { return report_length[0]; }
    uint16_t output_length() const { return report_length[1]; }
    uint16_t feature_length() const { return report_length[2]; }
    bool has_report_id(uint8_t id) const;
};

struct ParsedDescriptor {
    std::vector<TopCollection> collections;  // in descriptor order
    bool uses_report_ids = false;
};

struct DescriptorError {
    size_t offset = 0;  // byte offset of the offending item (the length when input ends early)
    std::string reason;
};

// What a parse (and an open, which sizes its data records by the capabilities) may cost: a
// descriptor's length is a 16-bit count, and all its fields together may give at most
// MaxFieldEntries button slots (the report counts of button capabilities, which size their
// usage lists) and value usages.
inline constexpr size_t MaxDescriptorBytes = 0xFFFF;
inline constexpr size_t MaxFieldEntries = 32768;

// The entries a capability costs against MaxFieldEntries.
size_t field_entries(const FieldCaps& caps);

// Parses `bytes`. False on a malformed, truncated or too costly descriptor, with `error` naming
// where.
bool parse_report_descriptor(std::span<const uint8_t> bytes, ParsedDescriptor& out,
                             DescriptorError* error = nullptr);

// Hexadecimal text: bytes separated by spaces, tabs, commas or newlines, each with an optional
// "0x" prefix. False (and `error` says which token) on anything else or a byte above 0xFF.
bool parse_hex_bytes(std::string_view text, std::vector<uint8_t>& out, std::string* error);

// A descriptor file's contents: hexadecimal text when every character could belong to such
// text, else the raw bytes themselves.
bool decode_descriptor_file(std::string_view contents, std::vector<uint8_t>& out,
                            std::string* error);

// Extracts an unsigned bit field from a report; bits beyond the report read as 0.
uint32_t extract_bits(std::span<const uint8_t> report, uint32_t bit_position, uint16_t bit_size);

// A field's raw bits as a logical value: sign-extended when the logical minimum is negative.
int64_t logical_value(const FieldCaps& caps, uint32_t raw);

// The usage an array field's slot value selects among this capability's usages; false when the
// value lies outside the logical range or selects a usage of another capability of the field.
bool array_usage(const FieldCaps& caps, uint32_t raw, uint16_t& usage);

// A logical value within [logical_min, logical_max] (logical_min < logical_max) in physical
// units, rounded toward zero; the logical value itself when no physical extent is given (both 0).
// Exact over the whole 32-bit range.
int32_t scale_to_physical(const FieldCaps& caps, int64_t logical);

}  // namespace velqa::platform::hid
