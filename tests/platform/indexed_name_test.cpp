// The splitter of numbered control names that the window's routing and the pages share.
#include "platform/indexed_name.h"

#include <gtest/gtest.h>

namespace velqa::platform {
namespace {

TEST(IndexedName, NamesSplitAtTheLastUnderscore) {
    const auto dpi = split_indexed_name("DPI_slider_3");
    ASSERT_TRUE(dpi);
    EXPECT_EQ(dpi->prefix, "DPI_slider_");
    EXPECT_EQ(dpi->index, 3);
    EXPECT_EQ(split_indexed_name("key_12")->index, 12);
    // No underscore, nothing after it, or a tail that is not a decimal number: not indexed.
    EXPECT_FALSE(split_indexed_name("closebtn"));
    EXPECT_FALSE(split_indexed_name("DPI_slider_"));
    EXPECT_FALSE(split_indexed_name("key_Op_tab"));
    EXPECT_FALSE(split_indexed_name("DPI_slider_3a"));
    EXPECT_FALSE(split_indexed_name("DPI_slider_-3"));
    EXPECT_FALSE(split_indexed_name("DPI_slider_99999999999"));
}

}  // namespace
}  // namespace velqa::platform
