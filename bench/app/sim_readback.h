// What the simulated mouse holds, read back from its settings memory: the benches' proof that a
// change reached the mouse.
#pragma once

#include <algorithm>
#include <cstddef>

#include "device/link/codecs.h"
#include "in_process_sim.h"

namespace velqa::bench {

// Stage 2's DPI in the mouse's active settings slot.
inline int mouse_stage2(sim::InProcessSim& sim) {
    const auto memory = sim.firmware().settings_memory();
    link::MouseSettingsRecord record;
    const std::size_t at = memory[0] * link::MouseSlotStride;
    std::copy_n(memory.begin() + static_cast<std::ptrdiff_t>(at), record.bytes.size(),
                record.bytes.begin());
    return link::decode_mouse_settings(record, {}).stages[2].dpi_x;
}

}  // namespace velqa::bench
