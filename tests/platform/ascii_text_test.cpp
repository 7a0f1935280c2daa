#include "platform/ascii_text.h"

#include <gtest/gtest.h>

namespace velqa::platform {
namespace {

// Names match ignoring ASCII case only: bytes of UTF-8 text are never folded, as a Latin-1
// locale's tolower would fold 0xC0 and 0xE0 into one letter.
TEST(AsciiText, LettersFoldOtherBytesCompareExactly) {
    static_assert(equals_ignoring_case("VELQA-R260", "velqa-r260"));
    EXPECT_TRUE(equals_ignoring_case("", ""));
    EXPECT_FALSE(equals_ignoring_case("mouse", "mouse "));
    EXPECT_FALSE(equals_ignoring_case("a_b", "a-b"));
    EXPECT_FALSE(equals_ignoring_case("@", "`"));  // 0x40 and 0x60 differ by the case bit only
    EXPECT_FALSE(equals_ignoring_case("\xc3\x80", "\xc3\xa0"));  // À and à stay distinct
    EXPECT_TRUE(equals_ignoring_case("Profil \xc3\xa9t\xc3\xa9", "PROFIL \xc3\xa9T\xc3\xa9"));
}

}  // namespace
}  // namespace velqa::platform
