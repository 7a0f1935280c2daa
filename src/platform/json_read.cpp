#include "platform/json_read.h"

#include <cmath>
#include <exception>
#include <memory>

#include "platform/atomic_file.h"
#include "platform/text_controls.h"

namespace velqa::platform {
namespace {

const Json::Value& null_value() {
    static const Json::Value null;
    return null;
}

void set_error(std::string* error, std::string text) {
    if (error != nullptr)
        *error = std::move(text);
}

}  // namespace

Json::Value parse_json(std::string_view text, std::string* error) {
    Json::CharReaderBuilder builder;
    builder["allowComments"] = true;
    builder["collectComments"] = true;
    builder["stackLimit"] = MaxJsonDepth;
    Json::Value root;
    try {
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
            set_error(error, errors.empty() ? "not JSON" : errors);
            return Json::Value();
        }
    } catch (const std::exception& e) {
        // The reader throws on nesting beyond the stack limit.
        set_error(error, e.what());
        return Json::Value();
    }
    return root;
}

Json::Value read_json_file(const std::filesystem::path& file, std::string* error) {
    std::string text;
    if (!read_whole_file(file, text, error))
        return Json::Value();
    std::string parse_error;
    Json::Value root = parse_json(text, &parse_error);
    if (root.isNull() && !parse_error.empty())
        set_error(error, file.string() + ": " + parse_error);
    return root;
}

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

std::optional<std::uint64_t> to_unsigned(const Json::Value& value, std::uint64_t max) {
    std::uint64_t result = 0;
    switch (value.type()) {
        case Json::intValue:
            if (value.asInt64() < 0)
                return std::nullopt;
            result = static_cast<std::uint64_t>(value.asInt64());
            break;
        case Json::uintValue:
            result = value.asUInt64();
            break;
        case Json::realValue: {
            const double d = value.asDouble();
            // 1.8e19 is the first real above the 64-bit range; comparing in double keeps it exact.
            if (!std::isfinite(d) || d < 0 || d >= 18446744073709551616.0 || std::trunc(d) != d)
                return std::nullopt;
            result = static_cast<std::uint64_t>(d);
            break;
        }
        default:
            return std::nullopt;
    }
    if (result > max)
        return std::nullopt;
    return result;
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

std::string valid_utf8(std::string_view text) {
    static constexpr std::string_view Replacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (const size_t length = utf8_sequence_length(text, i); length > 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out.append(Replacement);
            ++i;
        }
    }
    return out;
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

}  // namespace velqa::platform
