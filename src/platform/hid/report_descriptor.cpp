#include "platform/hid/report_descriptor.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdio>

namespace velqa::platform::hid {

namespace {

constexpr size_t kMaxPushDepth = 32;
constexpr size_t kMaxCollectionDepth = 64;
// Report lengths are 16-bit counts that include the report-ID byte.
constexpr uint64_t kMaxReportBits = (0xFFFFull - 1) * 8;

struct Signed {
    int32_t value = 0;
    uint32_t raw = 0;
    uint8_t size = 0;  // bytes of the item that set it
};

struct Globals {
    uint16_t usage_page = 0;
    Signed logical_min, logical_max, physical_min, physical_max;
    int8_t unit_exponent = 0;
    uint32_t unit = 0;
    uint32_t report_size = 0;
    uint32_t report_count = 0;
    uint8_t report_id = 0;
};

struct UsageEntry {
    uint16_t page = 0;
    uint16_t min = 0;
    uint16_t max = 0;
    bool is_range = false;
};

struct Locals {
    std::vector<UsageEntry> usages;
    bool have_min = false, have_max = false;
    uint32_t min = 0, max = 0;  // with their page in the upper half
    bool in_delimiter = false;
    bool delimiter_used = false;  // the first usage of the open set has been taken
};

struct OpenCollection {
    uint16_t link_index = 0;
};

// Logical and physical extents whose minimum is not negative are unsigned, so a one-byte
// maximum of 0xFF means 255 rather than -1.
int32_t effective_max(const Signed& min, const Signed& max) {
    if (min.value >= 0 && max.value < 0 && max.size < 4)
        return static_cast<int32_t>(max.raw);
    if (min.value >= 0 && max.value < 0)
        return INT32_MAX;
    return max.value;
}

class Parser {
  public:
    Parser(std::span<const uint8_t> bytes, ParsedDescriptor& out) : bytes_(bytes), out_(out) {}

    bool run(DescriptorError* error) {
        out_ = ParsedDescriptor{};
        bits_.fill({});
        used_.clear();
        entries_ = 0;
        if (bytes_.size() > MaxDescriptorBytes)
            return fail(error, MaxDescriptorBytes, "descriptor longer than 65535 bytes");
        size_t i = 0;
        while (i < bytes_.size()) {
            const size_t at = i;
            const uint8_t prefix = bytes_[i];
            if (prefix == 0xFE) {  // long item: size byte, tag byte, data; nothing uses them
                if (bytes_.size() - i < 3)
                    return fail(error, at, "long item truncated");
                const size_t size = bytes_[i + 1];
                if (bytes_.size() - i - 3 < size)
                    return fail(error, at, "long item truncated");
                i += 3 + size;
                continue;
            }
            static constexpr uint8_t kSizes[4] = {0, 1, 2, 4};
            const uint8_t size = kSizes[prefix & 3];
            const uint8_t type = (prefix >> 2) & 3;
            const uint8_t tag = prefix >> 4;
            if (bytes_.size() - i - 1 < size) {
                char reason[80];
                std::snprintf(reason, sizeof reason, "item 0x%02X needs %u data bytes, %zu left",
                              prefix, size, bytes_.size() - i - 1);
                return fail(error, at, reason);
            }
            uint32_t raw = 0;
            for (uint8_t k = 0; k < size; ++k)
                raw |= uint32_t{bytes_[i + 1 + k]} << (8 * k);
            i += 1 + size;
            const char* problem = nullptr;
            switch (type) {
                case 0:
                    problem = main_item(tag, raw);
                    break;
                case 1:
                    problem = global_item(tag, raw, size);
                    break;
                case 2:
                    problem = local_item(tag, raw, size);
                    break;
                default:
                    problem = "reserved item type";
                    break;
            }
            if (problem)
                return fail(error, at, problem);
        }
        if (!open_.empty())
            return fail(error, bytes_.size(), "collection not closed");
        if (out_.collections.empty())
            return fail(error, 0, "no top-level collection");
        finish();
        return true;
    }

  private:
    static bool fail(DescriptorError* error, size_t offset, std::string reason) {
        if (error)
            *error = {offset, std::move(reason)};
        return false;
    }

    static Signed make_signed(uint32_t raw, uint8_t size) {
        Signed s;
        s.raw = raw;
        s.size = size;
        if (size == 1)
            s.value = static_cast<int8_t>(raw);
        else if (size == 2)
            s.value = static_cast<int16_t>(raw);
        else
            s.value = static_cast<int32_t>(raw);
        return s;
    }

    const char* global_item(uint8_t tag, uint32_t raw, uint8_t size) {
        switch (tag) {
            case 0x0:
                g_.usage_page = static_cast<uint16_t>(raw);
                break;
            case 0x1:
                g_.logical_min = make_signed(raw, size);
                break;
            case 0x2:
                g_.logical_max = make_signed(raw, size);
                break;
            case 0x3:
                g_.physical_min = make_signed(raw, size);
                break;
            case 0x4:
                g_.physical_max = make_signed(raw, size);
                break;
            case 0x5:
                // A one-byte exponent is a 4-bit two's-complement nibble.
                if (size == 1 && raw < 16)
                    g_.unit_exponent =
                        static_cast<int8_t>(raw < 8 ? raw : static_cast<int>(raw) - 16);
                else
                    g_.unit_exponent = static_cast<int8_t>(make_signed(raw, size).value);
                break;
            case 0x6:
                g_.unit = raw;
                break;
            case 0x7:
                if (raw > 0xFFFF)
                    return "report size too large";
                g_.report_size = raw;
                break;
            case 0x8:
                if (raw == 0)
                    return "report ID 0 is reserved";
                if (raw > 0xFF)
                    return "report ID above 255";
                g_.report_id = static_cast<uint8_t>(raw);
                out_.uses_report_ids = true;
                break;
            case 0x9:
                if (raw > 0xFFFF)
                    return "report count too large";
                g_.report_count = raw;
                break;
            case 0xA:
                if (stack_.size() >= kMaxPushDepth)
                    return "push nested too deep";
                stack_.push_back(g_);
                break;
            case 0xB:
                if (stack_.empty())
                    return "pop without push";
                g_ = stack_.back();
                stack_.pop_back();
                break;
            default:
                return "unknown global item";
        }
        return nullptr;
    }

    // Usages given with one or two bytes take the usage page in effect now; four-byte usages
    // carry their own page in the upper half.
    uint32_t full_usage(uint32_t raw, uint8_t size) const {
        return size == 4 ? raw : (uint32_t{g_.usage_page} << 16) | (raw & 0xFFFF);
    }

    bool take_usage() {
        if (!l_.in_delimiter)
            return true;
        if (l_.delimiter_used)
            return false;  // later usages of a set are aliases
        l_.delimiter_used = true;
        return true;
    }

    const char* push_range() {
        if (!take_usage()) {
            l_.have_min = l_.have_max = false;
            return nullptr;
        }
        if ((l_.min >> 16) != (l_.max >> 16))
            return "usage range spans two usage pages";
        if ((l_.min & 0xFFFF) > (l_.max & 0xFFFF))
            return "usage minimum above maximum";
        l_.usages.push_back({static_cast<uint16_t>(l_.min >> 16),
                             static_cast<uint16_t>(l_.min & 0xFFFF),
                             static_cast<uint16_t>(l_.max & 0xFFFF), true});
        l_.have_min = l_.have_max = false;
        return nullptr;
    }

    const char* local_item(uint8_t tag, uint32_t raw, uint8_t size) {
        switch (tag) {
            case 0x0: {
                if (!take_usage())
                    break;
                const uint32_t u = full_usage(raw, size);
                l_.usages.push_back({static_cast<uint16_t>(u >> 16),
                                     static_cast<uint16_t>(u & 0xFFFF),
                                     static_cast<uint16_t>(u & 0xFFFF), false});
                break;
            }
            case 0x1:
                l_.min = full_usage(raw, size);
                l_.have_min = true;
                if (l_.have_max)
                    return push_range();
                break;
            case 0x2:
                l_.max = full_usage(raw, size);
                l_.have_max = true;
                if (l_.have_min)
                    return push_range();
                break;
            case 0xA:
                if (raw == 1) {
                    if (l_.in_delimiter)
                        return "delimiter sets nested";
                    l_.in_delimiter = true;
                    l_.delimiter_used = false;
                } else if (raw == 0) {
                    if (!l_.in_delimiter)
                        return "delimiter closed without open";
                    l_.in_delimiter = false;
                } else {
                    return "bad delimiter value";
                }
                break;
            default:
                break;  // designators and strings do not affect capabilities
        }
        return nullptr;
    }

    // A lone usage minimum or maximum stands for that single usage.
    void flush_half_range() {
        if (l_.have_min != l_.have_max) {
            const uint32_t u = l_.have_min ? l_.min : l_.max;
            l_.usages.push_back({static_cast<uint16_t>(u >> 16), static_cast<uint16_t>(u & 0xFFFF),
                                 static_cast<uint16_t>(u & 0xFFFF), false});
        }
        l_.have_min = l_.have_max = false;
    }

    const char* main_item(uint8_t tag, uint32_t raw) {
        const char* problem = nullptr;
        flush_half_range();
        if (l_.in_delimiter)
            problem = "main item inside a delimiter set";
        else if (tag == 0x8)
            problem = data_item(ReportKind::Input, raw);
        else if (tag == 0x9)
            problem = data_item(ReportKind::Output, raw);
        else if (tag == 0xB)
            problem = data_item(ReportKind::Feature, raw);
        else if (tag == 0xA)
            problem = begin_collection();
        else if (tag == 0xC)
            problem = end_collection();
        else
            problem = "unknown main item";
        l_ = Locals{};
        return problem;
    }

    const char* begin_collection() {
        if (open_.size() >= kMaxCollectionDepth)
            return "collections nested too deep";
        if (open_.empty()) {
            TopCollection top;
            if (!l_.usages.empty()) {
                top.usage_page = l_.usages.front().page;
                top.usage = l_.usages.front().min;
            }
            out_.collections.push_back(std::move(top));
            used_.emplace_back();
            open_.push_back({0});
        } else {
            auto& top = out_.collections.back();
            if (top.link_collections == 0xFFFF)
                return "too many collections";
            open_.push_back({top.link_collections++});
        }
        return nullptr;
    }

    const char* end_collection() {
        if (open_.empty())
            return "end collection without collection";
        open_.pop_back();
        return nullptr;
    }

    const char* data_item(ReportKind kind, uint32_t flags) {
        if (open_.empty())
            return "data item outside a collection";
        const size_t k = static_cast<size_t>(kind);
        uint32_t& bits = bits_[k][g_.report_id];
        const uint64_t total = uint64_t{g_.report_size} * g_.report_count;
        if (bits + total > kMaxReportBits)
            return "report longer than 65534 bytes";
        const uint32_t start = 8 + bits;  // byte 0 of the buffer is the report ID
        bits += static_cast<uint32_t>(total);
        auto& top = out_.collections.back();
        used_.back()[k].set(g_.report_id);
        const bool constant = flags & 0x01;
        if (constant || total == 0)
            return nullptr;

        FieldCaps base;
        base.kind = kind;
        base.report_id = g_.report_id;
        base.bit_size = static_cast<uint16_t>(g_.report_size);
        base.logical_min = g_.logical_min.value;
        base.logical_max = effective_max(g_.logical_min, g_.logical_max);
        base.physical_min = g_.physical_min.value;
        base.physical_max = effective_max(g_.physical_min, g_.physical_max);
        base.unit = g_.unit;
        base.unit_exponent = g_.unit_exponent;
        base.is_array = !(flags & 0x02);
        base.is_absolute = !(flags & 0x04);
        base.link_collection = open_.back().link_index;
        base.is_button = base.is_array || g_.report_size == 1;
        auto& list = base.is_button ? top.button_caps[k] : top.value_caps[k];

        std::vector<UsageEntry> usages = l_.usages;
        if (usages.empty())
            usages.push_back({g_.usage_page, 0, 0, false});

        const size_t first_new = list.size();
        if (base.is_array) {
            // Every usage of an array field shares the same bits; a value selects the usage at
            // its index in the list.
            uint32_t index = 0;
            for (const auto& u : usages) {
                FieldCaps c = base;
                c.usage_page = u.page;
                c.is_range = u.is_range;
                c.usage_min = u.min;
                c.usage_max = u.max;
                c.array_index = index;
                c.bit_position = start;
                c.report_count = static_cast<uint16_t>(g_.report_count);
                index += uint32_t{u.max} - u.min + 1;
                list.push_back(c);
                if (!charge(c))
                    return kTooCostly;
            }
            return nullptr;
        }
        // Variable fields take the usages in order; surplus fields repeat the last usage.
        uint32_t field = 0;
        const uint32_t count = g_.report_count;
        for (const auto& u : usages) {
            if (field >= count)
                break;
            FieldCaps c = base;
            c.usage_page = u.page;
            c.is_range = u.is_range;
            c.usage_min = u.min;
            uint32_t fields = 1;
            if (u.is_range) {
                fields = std::min<uint32_t>(uint32_t{u.max} - u.min + 1, count - field);
                c.usage_max = static_cast<uint16_t>(u.min + fields - 1);
            } else {
                c.usage_max = u.min;
            }
            c.bit_position = start + field * g_.report_size;
            c.report_count = static_cast<uint16_t>(fields);
            field += fields;
            list.push_back(c);
        }
        if (field < count) {
            list.back().report_count =
                static_cast<uint16_t>(list.back().report_count + count - field);
        }
        for (size_t i = first_new; i < list.size(); ++i) {
            if (!charge(list[i]))
                return kTooCostly;
        }
        return nullptr;
    }

    static constexpr const char* kTooCostly =
        "fields give more than 32768 button slots and value usages in all";
    static_assert(MaxFieldEntries == 32768, "the message above names the limit");

    // Counts a capability against the budget that bounds what an open allocates.
    bool charge(const FieldCaps& c) {
        entries_ += field_entries(c);
        return entries_ <= MaxFieldEntries;
    }

    void finish() {
        for (size_t c = 0; c < out_.collections.size(); ++c) {
            auto& top = out_.collections[c];
            std::bitset<256> ids;
            for (size_t k = 0; k < ReportKinds; ++k) {
                uint32_t longest = 0;
                bool any = false;
                for (size_t id = 0; id < 256; ++id) {
                    if (!used_[c][k].test(id))
                        continue;
                    any = true;
                    ids.set(id);
                    longest = std::max(longest, bits_[k][id]);
                }
                top.report_length[k] = any ? static_cast<uint16_t>((longest + 7) / 8 + 1) : 0;
            }
            for (size_t id = 1; id < 256; ++id) {
                if (ids.test(id))
                    top.report_ids.push_back(static_cast<uint8_t>(id));
            }
        }
    }

    std::span<const uint8_t> bytes_;
    ParsedDescriptor& out_;
    Globals g_;
    std::vector<Globals> stack_;
    Locals l_;
    std::vector<OpenCollection> open_;
    std::array<std::array<uint32_t, 256>, ReportKinds> bits_{};
    std::vector<std::array<std::bitset<256>, ReportKinds>> used_;  // per top collection
    size_t entries_ = 0;
};

}  // namespace

bool TopCollection::has_report_id(uint8_t id) const {
    return std::binary_search(report_ids.begin(), report_ids.end(), id);
}

bool parse_report_descriptor(std::span<const uint8_t> bytes, ParsedDescriptor& out,
                             DescriptorError* error) {
    ParsedDescriptor parsed;
    Parser parser(bytes, parsed);
    if (!parser.run(error))
        return false;
    out = std::move(parsed);
    return true;
}

size_t field_entries(const FieldCaps& caps) {
    if (caps.is_button)
        return caps.report_count;
    return caps.is_range ? size_t{caps.usage_max} - caps.usage_min + 1 : 1;
}

int64_t logical_value(const FieldCaps& caps, uint32_t raw) {
    const uint16_t bits = caps.bit_size;
    if (caps.logical_min >= 0 || bits == 0 || bits >= 32)
        return caps.logical_min >= 0 ? int64_t{raw} : int64_t{static_cast<int32_t>(raw)};
    const uint32_t sign = 1u << (bits - 1);
    const uint32_t value = raw & ((sign << 1) - 1);
    return int64_t{value} - ((value & sign) ? int64_t{sign} << 1 : 0);
}

bool array_usage(const FieldCaps& caps, uint32_t raw, uint16_t& usage) {
    const int64_t logical = logical_value(caps, raw);
    if (logical < caps.logical_min || logical > caps.logical_max)
        return false;
    const int64_t index = logical - caps.logical_min;
    const int64_t first = caps.array_index;
    if (index < first || index - first > int64_t{caps.usage_max} - caps.usage_min)
        return false;
    usage = static_cast<uint16_t>(caps.usage_min + (index - first));
    return true;
}

int32_t scale_to_physical(const FieldCaps& caps, int64_t logical) {
    if (caps.physical_min == 0 && caps.physical_max == 0)
        return static_cast<int32_t>(logical);
    // (logical - lmin) * pspan / lspan overflows 64 bits at the 32-bit extremes (about 2^64),
    // so it is taken apart: delta = q * lspan + r, and r * |pspan| < 2^64 fits unsigned.
    const uint64_t delta = static_cast<uint64_t>(logical - caps.logical_min);
    const uint64_t lspan = static_cast<uint64_t>(int64_t{caps.logical_max} - caps.logical_min);
    const int64_t pspan = int64_t{caps.physical_max} - caps.physical_min;
    const uint64_t pmag = static_cast<uint64_t>(pspan < 0 ? -pspan : pspan);
    const uint64_t q = delta / lspan;
    const uint64_t r = delta % lspan;
    const uint64_t mag = q * pmag + r * pmag / lspan;
    const int64_t offset = pspan < 0 ? -static_cast<int64_t>(mag) : static_cast<int64_t>(mag);
    return static_cast<int32_t>(caps.physical_min + offset);
}

uint32_t extract_bits(std::span<const uint8_t> report, uint32_t bit_position, uint16_t bit_size) {
    uint32_t value = 0;
    const uint16_t n = std::min<uint16_t>(bit_size, 32);
    for (uint16_t b = 0; b < n; ++b) {
        const uint64_t bit = uint64_t{bit_position} + b;
        const uint64_t byte = bit / 8;
        if (byte >= report.size())
            break;
        if ((report[byte] >> (bit % 8)) & 1)
            value |= 1u << b;
    }
    return value;
}

}  // namespace velqa::platform::hid

namespace velqa::platform::hid {

namespace {

bool is_separator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',';
}

bool is_hex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c - 'A' + 10;
}

}  // namespace

bool parse_hex_bytes(std::string_view text, std::vector<uint8_t>& out, std::string* error) {
    out.clear();
    size_t i = 0;
    while (i < text.size()) {
        if (is_separator(text[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < text.size() && !is_separator(text[end]))
            ++end;
        std::string_view token = text.substr(i, end - i);
        std::string_view digits = token;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            digits.remove_prefix(2);
        }
        const bool ok = !digits.empty() && digits.size() <= 2 &&
                        std::all_of(digits.begin(), digits.end(), is_hex);
        if (!ok) {
            if (error) {
                *error = "not a hexadecimal byte at character " + std::to_string(i) + ": \"" +
                         std::string(token.substr(0, 16)) + "\"";
            }
            out.clear();
            return false;
        }
        int value = 0;
        for (char c : digits)
            value = value * 16 + hex_value(c);
        out.push_back(static_cast<uint8_t>(value));
        i = end;
    }
    return true;
}

bool decode_descriptor_file(std::string_view contents, std::vector<uint8_t>& out,
                            std::string* error) {
    const bool text = std::all_of(contents.begin(), contents.end(), [](char c) {
        return is_separator(c) || is_hex(c) || c == 'x' || c == 'X';
    });
    if (text)
        return parse_hex_bytes(contents, out, error);
    out.assign(contents.begin(), contents.end());
    return true;
}

}  // namespace velqa::platform::hid
