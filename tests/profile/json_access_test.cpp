#include "profile/json_access.h"

#include <gtest/gtest.h>

#include "profile/profile_files.h"

namespace velqa::profile {
namespace {

Json::Value parsed(const char* text) {
    return parse_json(text);
}

TEST(ProfileJsonAccess, NumbersTruncateToTheFieldWidth) {
    EXPECT_EQ(to_u16(Json::Value(70000)), 4464);
    EXPECT_EQ(to_u8(Json::Value(256 + 7)), 7);
    EXPECT_EQ(to_u16(Json::Value(-1)), 0xFFFF);
    EXPECT_EQ(to_i32(parsed("[4294967297]")[0]), 1);
    // Above the signed 64-bit range JsonCpp keeps an unsigned value; only the low bits matter.
    EXPECT_EQ(to_u16(parsed("[18446744073709551615]")[0]), 0xFFFF);
    EXPECT_EQ(to_u16(Json::Value(3.9)), 3);
    EXPECT_EQ(to_u16(Json::Value(true)), 1);
}

TEST(ProfileJsonAccess, WrongTypesReadAsZeroFalseOrEmpty) {
    const Json::Value wrong[] = {Json::Value("12"), parsed("{\"a\":1}"),  parsed("[1]"),
                                 Json::Value(),     parsed("[1e300]")[0], parsed("[-1e300]")[0]};
    for (const Json::Value& v : wrong) {
        EXPECT_EQ(to_int(v), 0) << v.toStyledString();
        EXPECT_EQ(to_u8(v), 0);
        if (!v.isString()) {
            EXPECT_EQ(to_text(v), "");
        }
    }
    EXPECT_FALSE(to_bool(Json::Value("true")));
    EXPECT_FALSE(to_bool(parsed("{\"a\":true}")));
    EXPECT_FALSE(to_bool(parsed("[true]")));
    EXPECT_TRUE(to_bool(Json::Value(true)));
    EXPECT_TRUE(to_bool(Json::Value(2)));
    EXPECT_TRUE(to_bool(Json::Value(0.5)));
    EXPECT_FALSE(to_bool(Json::Value(0)));
    EXPECT_EQ(to_text(Json::Value(5)), "");
}

TEST(ProfileJsonAccess, MemberAndElementOfWrongTypesAreNull) {
    const Json::Value number(5);
    const Json::Value array = parsed("[1,2]");
    const Json::Value object = parsed("{\"k\":3}");
    EXPECT_TRUE(member(number, "k").isNull());
    EXPECT_TRUE(member(array, "k").isNull());
    EXPECT_EQ(member(object, "k").asInt(), 3);
    EXPECT_TRUE(member(object, "missing").isNull());
    EXPECT_TRUE(element(object, 0).isNull());
    EXPECT_TRUE(element(number, 0).isNull());
    EXPECT_TRUE(element(array, 2).isNull());
    EXPECT_EQ(element(array, 1).asInt(), 2);
}

TEST(ProfileJsonAccess, WritingReplacesWrongTypesAndGrowsArrays) {
    Json::Value v("text");
    writable_member(v, "a") = 1;
    EXPECT_EQ(v, parsed("{\"a\":1}"));

    Json::Value list(7);
    writable_element(list, 2) = 9;
    // Compared as text: JsonCpp stores only the elements that were touched.
    EXPECT_EQ(list.toStyledString(), parsed("[null,null,9]").toStyledString());

    Json::Value null;
    writable_element(writable_member(null, "Device"), 1) = true;
    EXPECT_EQ(null.toStyledString(), parsed("{\"Device\":[null,true]}").toStyledString());
}

}  // namespace
}  // namespace velqa::profile
