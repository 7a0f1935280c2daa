// The profile code's names for the no-throw JSON accessors of the platform layer.
#pragma once

#include "platform/json_read.h"

namespace velqa::profile {

using platform::element;
using platform::member;
using platform::to_bool;
using platform::to_i32;
using platform::to_int;
using platform::to_text;
using platform::to_u16;
using platform::to_u8;
using platform::to_unsigned;
using platform::writable_element;
using platform::writable_member;

}  // namespace velqa::profile
