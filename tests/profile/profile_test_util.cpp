#include "profile_test_util.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "profile/profile_files.h"

namespace velqa::profile::test_util {

void put_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string file_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Json::Value json(const std::string& text) {
    Json::Value value = parse_json(text);
    EXPECT_FALSE(value.isNull()) << "bad test JSON: " << text;
    return value;
}

}  // namespace velqa::profile::test_util
