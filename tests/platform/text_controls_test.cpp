#include "platform/text_controls.h"

#include <gtest/gtest.h>

namespace velqa::platform {
namespace {

// The boundaries of each refused range, and what lies just outside them.
TEST(TextControls, ControlAndBidiCharactersAreFoundAndEscapedAndNothingElse) {
    for (const char* bad : {"a\tb", "\x1b[2J", "del\x7f", "\xc2\x80", "c1\xc2\x9f", "\xe2\x80\xaa",
                            "\xe2\x80\xae"
                            "exe",
                            "\xe2\x81\xa6", "\xe2\x81\xa9", "lone \x9b"}) {
        EXPECT_TRUE(has_control_characters(bad)) << bad;
    }
    for (const char* good : {"Profile 1", "\xc2\xa0nbsp", "caf\xc3\xa9", "\xe2\x80\xa9",
                             "\xe2\x81\xaa", "\xe2\x80\x8f", "\xf0\x9f\x8e\xae", "latin \xe9"}) {
        EXPECT_FALSE(has_control_characters(good)) << good;
    }

    EXPECT_EQ(escape_for_terminal("a\x1b[2J\n\xe2\x80\xae"
                                  "b\xc2\x9b\x9b caf\xc3\xa9"),
              "a\\u001b[2J\\u000a\\u202eb\\u009b\\u009b caf\xc3\xa9");
    // Malformed bytes never reach the terminal either: the output is well-formed UTF-8.
    EXPECT_EQ(escape_for_terminal("\xe9\xff\xe2\x80"), "\\u00e9\\u00ff\\u00e2\\u0080");
    EXPECT_EQ(escape_for_terminal("{\n   \"a\" : \"\\u001b\"\n}\n", true),
              "{\n   \"a\" : \"\\u001b\"\n}\n");
}

}  // namespace
}  // namespace velqa::platform
