#include "profile/json_access.h"

#include <cmath>

namespace velqa::profile {
namespace {

const Json::Value& null_value() {
    static const Json::Value null;
    return null;
}

}  // namespace

std::int64_t to_int(const Json::Value& value) {
    switch (value.type()) {
        case Json::intValue:
            return value.asInt64();
        case Json::uintValue:
            // Above INT64_MAX wraps; only the low bits survive truncation to a field anyway.
            return static_cast<std::int64_t>(value.asUInt64());
        case Json::realValue: {
            const double d = value.asDouble();
            // The bounds keep the conversion defined; a real that big has no sensible field value.
            if (!std::isfinite(d) || d <= -9.2e18 || d >= 9.2e18)
                return 0;
            return static_cast<std::int64_t>(d);
        }
        case Json::booleanValue:
            return value.asBool() ? 1 : 0;
        default:
            return 0;
    }
}

bool to_bool(const Json::Value& value) {
    switch (value.type()) {
        case Json::booleanValue:
            return value.asBool();
        case Json::intValue:
        case Json::uintValue:
        case Json::realValue:
            return to_int(value) != 0 || value.asDouble() != 0.0;
        default:
            return false;
    }
}

std::string to_text(const Json::Value& value) {
    if (!value.isString())
        return {};
    return value.asString();
}

const Json::Value& member(const Json::Value& value, const char* key) {
    if (!value.isObject())
        return null_value();
    const Json::Value* found = value.find(key, key + std::char_traits<char>::length(key));
    return found != nullptr ? *found : null_value();
}

const Json::Value& element(const Json::Value& value, Json::ArrayIndex index) {
    if (!value.isArray() || index >= value.size())
        return null_value();
    return value[index];
}

Json::Value& writable_member(Json::Value& value, const char* key) {
    if (!value.isObject())
        value = Json::Value(Json::objectValue);
    return value[key];
}

Json::Value& writable_element(Json::Value& value, Json::ArrayIndex index) {
    if (!value.isArray())
        value = Json::Value(Json::arrayValue);
    return value[index];
}

}  // namespace velqa::profile
