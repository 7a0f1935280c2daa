// Text compared the way names, hosts and product strings are matched everywhere: ASCII letters
// ignoring case, every other byte exactly (so UTF-8 names never change meaning with the locale).
#pragma once

#include <string_view>

namespace velqa::platform {

constexpr char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when `a` and `b` have the same length and the same bytes, ASCII letters ignoring case.
constexpr bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i]))
            return false;
    }
    return true;
}

}  // namespace velqa::platform
