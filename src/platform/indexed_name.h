// Names of numbered controls ("DPI_slider_3"): the one splitter the window's routing and the
// device pages share.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velqa::platform {

struct IndexedName {
    std::string prefix;  // up to and including the last underscore
    int index = 0;
};
// "DPI_slider_3" -> {"DPI_slider_", 3}; nullopt for a name without an underscore or whose tail
// is not a decimal number.
std::optional<IndexedName> split_indexed_name(std::string_view name);

}  // namespace velqa::platform
