// The protocol's floor for applying a profile on the cable, shared by the benches that apply one
// (a choice in the profile control, a focus change): each sequence is begin, its reports and end;
// the key table and the macro image are preceded by the information read; 20 ms after each
// write and 10 ms before each end.
#pragma once

#include <cstddef>

#include "device/link/codecs.h"
#include "device/link/command_channel.h"

namespace velqa::bench {

// The protocol's exchanges for `bytes` in reports of `chunk`.
inline int reports(std::size_t bytes, std::size_t chunk) {
    return static_cast<int>((bytes + chunk - 1) / chunk);
}

struct ApplyFloor {
    int exchanges = 0;
    double ms = 0;
};

// `keys`: the mouse's key count; `macro_bytes`: the macro image's size, 0 when no key runs one.
inline ApplyFloor apply_floor(std::size_t chunk, std::size_t keys, std::size_t macro_bytes) {
    using link::CommandChannel;
    const int info = reports(34, chunk);
    int exchanges = 2 + reports(link::MouseSettingsSize, chunk);  // the settings record
    exchanges += info + 2 + reports(3 * keys, chunk);             // the key table
    int ends = 2;
    if (macro_bytes > 0) {
        exchanges += info + 2 + reports(macro_bytes, chunk);
        ++ends;
    }
    return {exchanges, exchanges * double{CommandChannel::AfterWriteSleepMs} +
                           ends * double{CommandChannel::BeforeEndConfigSleepMs}};
}

}  // namespace velqa::bench
