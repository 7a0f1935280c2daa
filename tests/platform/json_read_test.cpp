#include "platform/json_read.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/atomic_file.h"
#include "support/temp_dir.h"

namespace velqa::platform {
namespace {

Json::Value parsed(const char* text) {
    return parse_json(text);
}

TEST(JsonAccess, NumbersTruncateToTheFieldWidth) {
    EXPECT_EQ(to_u16(Json::Value(70000)), 4464);
    EXPECT_EQ(to_u8(Json::Value(256 + 7)), 7);
    EXPECT_EQ(to_u16(Json::Value(-1)), 0xFFFF);
    EXPECT_EQ(to_i32(parsed("[4294967297]")[0]), 1);
    // Above the signed 64-bit range JsonCpp keeps an unsigned value; only the low bits matter.
    EXPECT_EQ(to_u16(parsed("[18446744073709551615]")[0]), 0xFFFF);
    EXPECT_EQ(to_u16(Json::Value(3.9)), 3);
    EXPECT_EQ(to_u16(Json::Value(true)), 1);
}

TEST(JsonAccess, WrongTypesReadAsZeroFalseOrEmpty) {
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

TEST(JsonAccess, MemberAndElementOfWrongTypesAreNull) {
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

TEST(JsonAccess, WritingReplacesWrongTypesAndGrowsArrays) {
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

TEST(JsonAccess, UnsignedReadsOnlyIntegralNumbersInRange) {
    EXPECT_EQ(to_unsigned(Json::Value(520), 0xFFFFFFFF), 520u);
    EXPECT_EQ(to_unsigned(Json::Value(0xFFFF), 0xFFFF), 0xFFFFu);
    EXPECT_EQ(to_unsigned(Json::Value(4.0), 0xFFFF), 4u);
    EXPECT_EQ(to_unsigned(parsed("[18446744073709551615]")[0], UINT64_MAX), UINT64_MAX);
    // The values that made JsonCpp's own conversions throw, and every other wrong kind.
    const Json::Value refused[] = {Json::Value(-1),      parsed("[1e19]")[0],  parsed("[-1e19]")[0],
                                   parsed("[1e400]")[0], Json::Value(0x10000), Json::Value(5.5),
                                   Json::Value(true),    Json::Value("7"),     Json::Value()};
    for (const Json::Value& v : refused)
        EXPECT_FALSE(to_unsigned(v, 0xFFFF).has_value()) << v.toStyledString();
    EXPECT_EQ(to_int(parsed("[1e19]")[0]), 0);
}

// ---- parsing ---------------------------------------------------------------------------------

std::string nested(int depth) {
    return std::string(static_cast<size_t>(depth), '[') +
           std::string(static_cast<size_t>(depth), ']');
}

TEST(JsonText, MadeValidTextSurvivesTheWriterUnchanged) {
    // Malformed lead bytes, a cut sequence, an overlong form, a surrogate and a NUL among
    // valid ASCII, Chinese and an emoji.
    const std::string inputs[] = {std::string("VEL\xf9,PK\xff\x7f\0\0SS", 13), "\xe4\xb8\xad\xe6",
                                  "\xc0\xaf\xed\xa0\x80", "\xe4\xb8\xad\xf0\x9f\x8e\xae ok"};
    for (const auto& input : inputs) {
        const std::string text = valid_utf8(input);
        Json::Value root;
        root["t"] = text;
        const Json::Value again = parse_json(Json::writeString(Json::StreamWriterBuilder(), root));
        EXPECT_EQ(to_text(member(again, "t")), text);
    }
    EXPECT_EQ(valid_utf8(inputs[3]), inputs[3]);
    EXPECT_EQ(valid_utf8("\xe4\xb8\xad\xe6"), "\xe4\xb8\xad\xef\xbf\xbd");
}

TEST(JsonParse, CommentsAllowedAndFailuresAreNullWithAReason) {
    EXPECT_EQ(to_int(member(parse_json("// note\n{\"a\": /* x */ 1}"), "a")), 1);
    const char* broken[] = {"", "{", "{\"a\":}", "{\"a\" 1}", "\"unterminated", "\xff\xfe"};
    for (const char* text : broken) {
        std::string error;
        EXPECT_TRUE(parse_json(text, &error).isNull()) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(JsonParse, NestingIsLimitedWithoutThrowing) {
    EXPECT_TRUE(parse_json(nested(MaxJsonDepth - 1)).isArray());
    std::string error;
    // 1001 deep made JsonCpp throw out of its own reader.
    for (int depth : {MaxJsonDepth + 2, 1001, 100000}) {
        EXPECT_NO_THROW(EXPECT_TRUE(parse_json(nested(depth), &error).isNull()));
        EXPECT_FALSE(error.empty());
    }
    const std::string objects = std::string(2000, '{');
    EXPECT_NO_THROW(EXPECT_TRUE(parse_json(objects).isNull()));
}

TEST(JsonReadFile, ReadsRegularFilesAndRefusesEverythingElsePromptly) {
    test::TempDir dir;
    ASSERT_TRUE(write_file_atomically(dir / "ok.json", "{\"a\":2}"));
    std::string error;
    EXPECT_EQ(to_int(member(read_json_file(dir / "ok.json", &error), "a")), 2);

    EXPECT_TRUE(read_json_file(dir / "missing.json", &error).isNull());
    EXPECT_NE(error.find("missing.json"), std::string::npos);
    EXPECT_TRUE(read_json_file(dir.path(), &error).isNull());
    // A FIFO without a writer would block an ordinary open for ever.
    ASSERT_EQ(::mkfifo((dir / "fifo.json").c_str(), 0600), 0);
    EXPECT_TRUE(read_json_file(dir / "fifo.json", &error).isNull());
    EXPECT_NE(error.find("not a regular file"), std::string::npos);
    ASSERT_TRUE(write_file_atomically(dir / "deep.json", nested(1001)));
    EXPECT_TRUE(read_json_file(dir / "deep.json", &error).isNull());
    EXPECT_NE(error.find("deep.json"), std::string::npos);
}

}  // namespace
}  // namespace velqa::platform
