// The update query against a loopback server: the body and version formats it sends, and the
// result it makes of the server's reply, of no server and of a reply that is not JSON.
#include "update/update_client.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "support/loopback_http.h"

namespace velqa::update {
namespace {

using platform::http::HttpClient;

class UpdateQuery : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.server().Post("/base/api/updates",
                              [this](const httplib::Request& req, httplib::Response& res) {
                                  std::lock_guard lock(mutex_);
                                  bodies_.push_back(req.body);
                                  res.set_content(reply_, "application/json");
                              });
        ASSERT_TRUE(server_.start());
    }
    UpdateResult ask(const std::string& reply, std::int32_t version, bool hex,
                     const std::string& key = "ZARN_1_PAW3395_R260_1") {
        {
            std::lock_guard lock(mutex_);
            reply_ = reply;
        }
        return query_update(client_, server_.url("/base"), key, version, hex);
    }
    std::string last_body() {
        std::lock_guard lock(mutex_);
        return bodies_.empty() ? std::string() : bodies_.back();
    }

    test::LoopbackServer server_;
    HttpClient client_;
    std::mutex mutex_;
    std::string reply_;
    std::vector<std::string> bodies_;
};

TEST_F(UpdateQuery, HexadecimalItemSendsHexDigitsAndComparesHexVersions) {
    const std::string reply =
        R"({"name":"VELQA R260","version":"0106","version_name":"1.0.6","path":"https://h/p.bin",)"
        R"("device_id":2,"sha256":"ab"})";
    UpdateResult r = ask(reply, 0x0106, true);
    EXPECT_EQ(last_body(), std::string("app_key=ZARN_1_PAW3395_R260_1&version=106") + '\0');
    EXPECT_EQ(r.current_version_text, "V0106");
    EXPECT_EQ(r.status, StatusUpToDate);
    EXPECT_EQ(r.latest_version_text, "V0106");
    EXPECT_EQ(r.name, "VELQA R260");
    EXPECT_EQ(r.version_name, "1.0.6");
    EXPECT_EQ(r.package_address, "https://h/p.bin");
    EXPECT_EQ(r.device_id, 2);
    EXPECT_EQ(r.sha256, "ab");

    // 0x10a is newer than 0x106 although "10a" is no decimal number.
    r = ask(R"({"name":"n","version":"010a"})", 0x0106, true);
    EXPECT_EQ(r.status, StatusNewer);
    EXPECT_EQ(r.latest_version_text, "V010a");
    r = ask(R"({"name":"n","version":"0105"})", 0x0106, true);
    EXPECT_EQ(r.status, StatusUpToDate) << "an older version on the server is no update";
}

TEST_F(UpdateQuery, DecimalItemSendsDecimalAndShowsTheVersionName) {
    UpdateResult r = ask(R"({"name":"Driver","version":"106","version_name":"V0106"})", 105, false,
                         "ZARN_0_ALL_VELQA_0");
    EXPECT_EQ(last_body(), std::string("app_key=ZARN_0_ALL_VELQA_0&version=105") + '\0');
    EXPECT_EQ(r.current_version_text, "V0105");
    EXPECT_EQ(r.status, StatusNewer);
    EXPECT_EQ(r.latest_version_text, "V0106");
    // A JSON integer counts like its digits; an equal version is up to date.
    r = ask(R"({"name":"Driver","version":105,"version_name":"V0105"})", 105, false);
    EXPECT_EQ(r.status, StatusUpToDate);
}

TEST_F(UpdateQuery, NoServerAndUnreadableRepliesLeaveTheResultEmpty) {
    UpdateResult r = ask("<html>busy</html>", 1, false);
    EXPECT_TRUE(r.name.empty());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.current_version_text.empty());
    r = ask("[1,2]", 1, false);
    EXPECT_TRUE(r.name.empty());

    // A reply longer than the reply buffer is refused, and counts as no answer.
    r = ask(std::string(200000, ' ') + R"({"name":"n","version":"1"})", 1, false);
    EXPECT_EQ(r.name, "NO_LINK_SERVER");

    HttpClient client;
    const std::string closed = "http://127.0.0.1:" + std::to_string(test::closed_loopback_port());
    EXPECT_EQ(query_update(client, closed, "K", 1, false).name, "NO_LINK_SERVER");
    // No address configured at all.
    EXPECT_EQ(query_update(client, "", "K", 1, false).name, "NO_LINK_SERVER");
}

TEST(UpdateQueryText, UrlBodyAndVersionTexts) {
    EXPECT_EQ(update_url("https://u.example/"), "https://u.example/api/updates");
    EXPECT_EQ(update_url("https://u.example/v2"), "https://u.example/v2/api/updates");
    EXPECT_EQ(update_request_body("A B&c=d", 7, false), "app_key=A%20B%26c%3Dd&version=7");
    EXPECT_EQ(update_request_body("K", 0xbeef, true), "app_key=K&version=beef");
    EXPECT_EQ(current_version_text(0x0106, true), "V0106");
    EXPECT_EQ(current_version_text(0x12345, true), "V12345");
    EXPECT_EQ(current_version_text(105, false), "V0105");
    EXPECT_EQ(current_version_text(1, false), "V01");
}

}  // namespace
}  // namespace velqa::update
