// Completing a profile document from its kind's factory profile, so that a profile written by
// hand or by another program can be selected, changed and saved like one the program made.
#pragma once

#include <json/json.h>

#include <string>
#include <vector>

namespace velqa::profile {

// Copies into the "Device" sections of `document` whatever the factory profile's sections hold
// and the document lacks: a missing or null member or element takes the factory's, and a value
// that the factory holds as an object or array but the document holds as something else is
// replaced by the factory's. Values the document holds otherwise stay as they are. Returns one
// line per value taken, "member: old -> factory profile" (old: "missing" or the value's kind).
std::vector<std::string> complete_from_factory(Json::Value& document, const Json::Value& factory);

// Why the document's device sections could never be saved, or empty when they can: every
// section the factory profile has must be an object with a "KeyList". Without a usable factory
// profile, every section present must have one, and there must be at least one.
std::string unsavable_sections(const Json::Value& document, const Json::Value& factory);

}  // namespace velqa::profile
