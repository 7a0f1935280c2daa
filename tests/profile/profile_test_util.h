// Small file helpers shared by the profile tests.
#pragma once

#include <json/json.h>

#include <filesystem>
#include <string>

namespace velqa::profile::test_util {

void put_file(const std::filesystem::path& path, const std::string& bytes);
std::string file_bytes(const std::filesystem::path& path);
// Parses text that the test itself wrote; fails the test on bad JSON.
Json::Value json(const std::string& text);

}  // namespace velqa::profile::test_util
