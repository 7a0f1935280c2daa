// velqactl update check against an in-process update server named by VELQA_UPDATE_URL.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/json_read.h"
#include "support/loopback_http.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class VelqactlUpdate : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.server().Post("/mirror/api/updates", [this](const httplib::Request& req,
                                                            httplib::Response& res) {
            bool crawl = false;
            {
                std::lock_guard lock(mutex_);
                bodies_.push_back(req.body);
                crawl = crawl_;
            }
            if (crawl) {
                velqa::test::send_trickle(res, std::string(300, ' '),
                                          std::chrono::milliseconds(100));
                return;
            }
            const bool software = req.body.find("_ALL_") != std::string::npos;
            res.set_content(software ? R"({"name":"d","version":"105","version_name":"V0105"})"
                                     : R"({"name":"fw","version":"0107","version_name":"1.0.7",)"
                                       R"("path":"https://example.com/fw.bin","device_id":2})",
                            "application/json");
        });
        ASSERT_TRUE(server_.start());
    }
    // The command's environment: its own data, cache and temporary folders.
    std::string env(const std::string& url) const {
        return "XDG_DATA_HOME='" + dir_.path().string() + "' XDG_CACHE_HOME='" +
               (dir_ / "cache").string() + "' TMPDIR='" + dir_.path().string() +
               "' VELQA_UPDATE_URL='" + url + "' ";
    }
    // Standard output only; the exit code in `code`.
    Json::Value ctl(const std::string& url, const std::string& args, int& code) const {
        const auto r =
            velqa::test::run_command(env(url) + VELQACTL_BIN + " update " + args + " 2>/dev/null");
        code = r.exit_code;
        return velqa::platform::parse_json(r.out);
    }

    velqa::test::TempDir dir_;
    velqa::test::LoopbackServer server_;
    std::mutex mutex_;
    std::vector<std::string> bodies_;
    bool crawl_ = false;  // under mutex_: the server answers by trickling
};

TEST_F(VelqactlUpdate, CheckListsTheItemsWithTheServersAnswer) {
    // Another user's folder where downloads used to go is no concern of ours.
    fs::create_directory(dir_ / "UpdateData");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((dir_ / "UpdateData").c_str(), 65534, 65534), 0);
    }
    int code = -1;
    const Json::Value out = ctl(server_.url("/mirror"), "check --version 0:0x0106", code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out["status"].asInt(), 1);
    EXPECT_EQ(out["status_text"].asString(), "HaveUpdateInfoText");
    ASSERT_EQ(out["items"].size(), 2u);
    const Json::Value& firmware = out["items"][0];
    EXPECT_EQ(firmware["state"].asInt(), 1);
    EXPECT_EQ(firmware["current"].asString(), "V0106");
    EXPECT_EQ(firmware["latest"].asString(), "V0107");
    EXPECT_EQ(firmware["path"].asString(), "https://example.com/fw.bin");
    EXPECT_EQ(
        firmware["package_file"].asString(),
        (dir_ / "cache" / "ZARN_VELQA_R260" / "UpdateData" / "VELQA_R260_firmware.bin").string());
    const Json::Value& software = out["items"][1];
    EXPECT_EQ(software["state"].asInt(), 7);
    EXPECT_EQ(software["latest"].asString(), "");
    {
        std::lock_guard lock(mutex_);
        ASSERT_EQ(bodies_.size(), 2u);
        EXPECT_EQ(bodies_[0], std::string("app_key=ZARN_1_PAW3395_R260_1&version=106") + '\0');
    }
    const std::string date = out["last_check"].asString();
    EXPECT_EQ(date.find("-0"), std::string::npos) << date;
    EXPECT_EQ(velqa::platform::read_json_file(dir_ / "ZARN_VELQA_R260" /
                                              "updatetime.config")["updatelasttime"]["value"]
                  .asString(),
              date);
}

TEST_F(VelqactlUpdate, AnUnreachableServerAndBadWordsAreReported) {
    int code = -1;
    const std::string closed =
        "http://127.0.0.1:" + std::to_string(velqa::test::closed_loopback_port()) + "/";
    const Json::Value out = ctl(closed, "check", code);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(out["status"].asInt(), 2);
    ASSERT_EQ(out["items"].size(), 1u) << "without a device only the software row";
    EXPECT_EQ(out["items"][0]["state"].asInt(), 7);
    EXPECT_NE(out["items"][0]["state_text"].asString(), "UpdateOkText") << "no answer, no verdict";
    EXPECT_FALSE(out["items"][0]["answered"].asBool());
    EXPECT_FALSE(out["items"][0]["check_failure"].asString().empty());

    ctl(closed, "check --version 4:1", code);
    EXPECT_EQ(code, 2);
    ctl(closed, "check --version 0:zero", code);
    EXPECT_EQ(code, 2);
    ctl(closed, "fetch", code);
    EXPECT_EQ(code, 2);
}

TEST_F(VelqactlUpdate, AServerThatCrawlsIsNotReachedWithinTheConfiguredDeadline) {
    // The shipped configuration with a short query deadline.
    Json::Value config = velqa::platform::read_json_file(velqa::test::source_dir() / "DefaultData" /
                                                         "UpdateConfig.json");
    config["Deadlines"]["QueryMs"] = 500;
    fs::create_directories(dir_ / "res" / "DefaultData");
    {
        std::ofstream out(dir_ / "res" / "DefaultData" / "UpdateConfig.json");
        out << config.toStyledString();
    }
    {
        std::lock_guard lock(mutex_);
        crawl_ = true;
    }
    const auto r = velqa::test::run_command("VELQA_RESOURCE_DIR='" + (dir_ / "res").string() +
                                            "' " + env(server_.url("/mirror")) + VELQACTL_BIN +
                                            " update check --version 0:0x0106 2>&1 >/dev/null");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("could not be reached: timed out"), std::string::npos) << r.out;
    std::lock_guard lock(mutex_);
    EXPECT_EQ(bodies_.size(), 1u) << "after one time-out the other row is not asked";
}

}  // namespace
