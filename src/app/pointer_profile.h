// The mouse profile's pointer settings in the desktop's terms: which of them a profile sets and
// their values, and the other way, what the System tab's controls show for a desktop value.
#pragma once

#include <cstdint>

#include "platform/desktop/pointer_settings.h"
#include "profile/profile_data.h"

namespace velqa::app {

// The values of the settings `set_bits` names, in desktop units, held in the System tab's
// ranges. A set value of 0 where its range starts above 0 (a missing or mistyped member) counts
// as not set.
platform::desktop::PointerValues profile_pointer_values(const profile::MouseSystemSettings& sys,
                                                        std::uint8_t set_bits);

// The System tab control's value for the desktop value of `which` (which `values` must have).
int control_value(const platform::desktop::PointerValues& values,
                  platform::desktop::PointerSetting which);

}  // namespace velqa::app
