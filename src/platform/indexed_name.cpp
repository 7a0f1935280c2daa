#include "platform/indexed_name.h"

#include <charconv>

namespace velqa::platform {

std::optional<IndexedName> split_indexed_name(std::string_view name) {
    const auto cut = name.rfind('_');
    if (cut == std::string_view::npos || cut + 1 >= name.size())
        return std::nullopt;
    const std::string_view tail = name.substr(cut + 1);
    int index = 0;
    const auto [end, error] = std::from_chars(tail.data(), tail.data() + tail.size(), index);
    if (error != std::errc() || end != tail.data() + tail.size() || index < 0)
        return std::nullopt;
    return IndexedName{std::string(name.substr(0, cut + 1)), index};
}

}  // namespace velqa::platform
