// Report-descriptor parser: any bytes end in a result or an error inside the input, never a
// crash, a hang or an unbounded allocation; what it accepts has consistent capabilities.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/hid/report_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velqa::platform::hid;
    ParsedDescriptor parsed;
    DescriptorError error;
    if (!parse_report_descriptor(std::span<const uint8_t>(data, size), parsed, &error)) {
        if (error.offset > size || error.reason.empty())
            std::abort();
        return 0;
    }
    // What an open allocates for the capabilities stays within the parser's budget.
    size_t entries = 0;
    for (const auto& c : parsed.collections) {
        for (size_t k = 0; k < ReportKinds; ++k) {
            for (const auto* list : {&c.button_caps[k], &c.value_caps[k]}) {
                for (const auto& f : *list) {
                    entries += field_entries(f);
                    if (entries > MaxFieldEntries)
                        std::abort();
                    // Every field lies inside its report as the lengths count it.
                    const uint64_t end = f.bit_position + uint64_t{f.bit_size} * f.report_count;
                    if (end > uint64_t{c.report_length[k]} * 8)
                        std::abort();
                    if (f.is_range && f.usage_min > f.usage_max)
                        std::abort();
                }
            }
        }
        if (!parsed.uses_report_ids && !c.report_ids.empty())
            std::abort();
    }
    std::vector<uint8_t> report(64, 0);
    (void)extract_bits(report, static_cast<uint32_t>(size * 7), 32);
    return 0;
}
