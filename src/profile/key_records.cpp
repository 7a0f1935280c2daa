#include "profile/json_access.h"
#include "profile/profile_records.h"

namespace velqa::profile {

KeyCode KeyCode::from_int(std::int64_t value) {
    KeyCode code;
    code.function_class = static_cast<std::uint8_t>(value >> 16);
    code.first = static_cast<std::uint8_t>(value >> 8);
    code.second = static_cast<std::uint8_t>(value);
    return code;
}

std::int32_t KeyCode::to_int() const {
    return function_class * 65536 + first * 256 + second;
}

std::vector<KeyAssignment> decode_key_list(const Json::Value& key_list) {
    std::vector<KeyAssignment> list;
    if (!key_list.isArray())
        return list;
    list.reserve(key_list.size());
    for (Json::ArrayIndex i = 0; i < key_list.size(); ++i) {
        const Json::Value& item = key_list[i];
        KeyAssignment entry;
        entry.key_index = static_cast<std::uint16_t>(i);
        entry.default_key_index = static_cast<std::uint16_t>(i);
        entry.current = KeyCode::from_int(to_int(member(item, "Assignment")));
        entry.default_code = KeyCode::from_int(to_int(member(item, "DefaultAssignment")));
        list.push_back(entry);
    }
    return list;
}

}  // namespace velqa::profile
