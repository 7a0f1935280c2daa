// The HTTP client against an in-process loopback server: the request it sends, the bounded
// reply, refused addresses and certificates, and downloads that end, fail or are refused.
#include "platform/http/http_client.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/http/curl_library.h"
#include "support/loopback_http.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::platform::http {
namespace {

namespace fs = std::filesystem;
using test::LoopbackServer;

struct Seen {
    std::mutex mutex;
    std::string method, body, content_type, accept, length, agent;
};

std::vector<char> reply_buffer() {
    return std::vector<char>(ReplyBufferSize, 'x');
}

std::string text_of(const std::vector<char>& buffer) {
    return std::string(buffer.data());
}

TEST(HttpRequest, PostsTheBodyWithTheFormHeadersAndCopiesTheReply) {
    LoopbackServer server;
    Seen seen;
    server.server().Post("/api/updates", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(seen.mutex);
        seen.method = req.method;
        seen.body = req.body;
        seen.content_type = req.get_header_value("Content-Type");
        seen.accept = req.get_header_value("Accept");
        seen.length = req.get_header_value("Content-Length");
        seen.agent = req.get_header_value("User-Agent");
        res.set_content("{\"name\":\"x\"}", "application/json");
    });
    ASSERT_TRUE(server.start());

    HttpClient client;
    auto reply = reply_buffer();
    const char body[] = "app_key=K&version=1";
    const int n =
        client.http_request("post", server.url("/api/updates"), body, sizeof body, reply, false);
    EXPECT_EQ(n, 12);
    EXPECT_EQ(text_of(reply), "{\"name\":\"x\"}");
    EXPECT_EQ(reply[12], '\0') << "the rest of the buffer is zero-filled";
    EXPECT_EQ(reply.back(), '\0');
    std::lock_guard lock(seen.mutex);
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.body, std::string(body, sizeof body)) << "the terminating zero is sent";
    EXPECT_EQ(seen.length, std::to_string(sizeof body));
    EXPECT_EQ(seen.content_type, "application/x-www-form-urlencoded");
    EXPECT_EQ(seen.accept, "application/prs.Tavix.v1+json");
    EXPECT_EQ(seen.agent, "WinHTTP Client/1.0");
}

TEST(HttpRequest, RefusesBadArgumentsAndReportsWhatWasNeverSent) {
    HttpClient client;
    auto reply = reply_buffer();
    EXPECT_EQ(client.http_request("POST", "h", "", 0, reply, false), -1);
    EXPECT_EQ(client.last_error(), UrlTooShort);
    EXPECT_EQ(client.http_request("PUT", "https://127.0.0.1/", "", 0, reply, false), -1);
    EXPECT_EQ(client.last_error(), BadMethod);

    // Nothing listens: the request is never sent.
    const std::string closed =
        "http://127.0.0.1:" + std::to_string(test::closed_loopback_port()) + "/api/updates";
    EXPECT_EQ(client.http_request("POST", closed, "a", 1, reply, false), 0);
    EXPECT_EQ(text_of(reply), "NO_LINK_SERVER");
    EXPECT_NE(client.last_error(), NoError);

    // Plain http to a host the policy does not name, a scheme-less address, another scheme.
    for (const char* url : {"http://updates.example.com/api/updates", "api/updates",
                            "ftp://127.0.0.1/x", "file:///etc/passwd"}) {
        std::fill(reply.begin(), reply.end(), 'x');
        EXPECT_EQ(client.http_request("GET", url, nullptr, 0, reply, false), 0) << url;
        EXPECT_EQ(text_of(reply), "NO_LINK_SERVER") << url;
        EXPECT_EQ(client.last_error(), InsecureUrl) << url;
    }
}

TEST(HttpRequest, PlainHttpOnlyForLoopbackAndNamedHosts) {
    TransportPolicy policy;
    policy.plain_http_hosts = {"mirror.lan"};
    EXPECT_TRUE(url_allowed("https://updates.example.com/api/updates", policy));
    EXPECT_TRUE(url_allowed("http://127.0.0.1:8080/x", policy));
    EXPECT_TRUE(url_allowed("http://127.1.2.3/x", policy));
    EXPECT_TRUE(url_allowed("http://LOCALHOST/x", policy));
    EXPECT_TRUE(url_allowed("http://[::1]:99/x", policy));
    EXPECT_TRUE(url_allowed("http://Mirror.LAN/pkg", policy));
    EXPECT_FALSE(url_allowed("http://mirror.lan.evil.com/pkg", policy));
    EXPECT_FALSE(url_allowed("http://128.0.0.1/x", policy));
    EXPECT_FALSE(url_allowed("http://localhost.evil.com/x", policy));
    std::string why;
    EXPECT_FALSE(url_allowed("http://10.0.0.1/x", policy, &why));
    EXPECT_NE(why.find("10.0.0.1"), std::string::npos) << why;
}

TEST(HttpRequest, AReplyThatDoesNotFitIsRefusedAndOneThatFitsIsKept) {
    LoopbackServer server;
    server.server().Get("/fits", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(ReplyBufferSize - 1, 'a'), "text/plain");
    });
    server.server().Get("/long", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(ReplyBufferSize, 'a'), "text/plain");
    });
    ASSERT_TRUE(server.start());
    HttpClient client;
    auto reply = reply_buffer();
    EXPECT_EQ(client.http_request("GET", server.url("/fits"), nullptr, 0, reply, false),
              static_cast<int>(ReplyBufferSize - 1));
    EXPECT_EQ(reply.back(), '\0');
    EXPECT_EQ(client.http_request("GET", server.url("/long"), nullptr, 0, reply, false), -1);
    EXPECT_EQ(client.last_error(), ReplyTooLarge);
    EXPECT_EQ(std::count(reply.begin(), reply.end(), '\0'),
              static_cast<std::ptrdiff_t>(ReplyBufferSize));
}

TEST(HttpRequest, TheStopEventEndsARequestTheServerHoldsOpen) {
    LoopbackServer server;
    StopEvent stop;
    test::Mailbox<int> release;
    server.server().Post("/hold", [&](const httplib::Request&, httplib::Response& res) {
        stop.set();
        release.wait_count(1);
        res.set_content("{}", "application/json");
    });
    ASSERT_TRUE(server.start());
    HttpClient client;
    client.set_stop_event(&stop);
    auto reply = reply_buffer();
    EXPECT_EQ(client.http_request("POST", server.url("/hold"), "a", 1, reply, false), 0);
    EXPECT_EQ(client.last_error(), Stopped);
    EXPECT_EQ(text_of(reply), "NO_LINK_SERVER");
    release.push(1);
    // Once set, nothing more is sent.
    EXPECT_EQ(client.http_request("POST", server.url("/hold"), "a", 1, reply, false), 0);
    EXPECT_EQ(client.last_error(), Stopped);
}

class HttpsRequest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::make_test_certificate(dir_.path(), "good", "IP:127.0.0.1", good_));
        ASSERT_TRUE(test::make_test_certificate(dir_.path(), "other", "IP:127.0.0.1", other_));
        ASSERT_TRUE(
            test::make_test_certificate(dir_.path(), "wrongname", "DNS:elsewhere.test", wrong_));
    }
    // The status of one request to a server with `served`, trusting `trusted`.
    int request(const test::TestCertificate& served, const fs::path& trusted,
                std::vector<char>& reply) {
        LoopbackServer server(served);
        server.server().Post("/api/updates", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("{}", "application/json");
        });
        if (!server.start())
            return -99;
        TransportPolicy policy;
        policy.ca_file = trusted;
        HttpClient client(policy);
        return client.http_request("POST", server.url("/api/updates"), "a", 1, reply, false);
    }

    test::TempDir dir_;
    test::TestCertificate good_, other_, wrong_;
};

TEST_F(HttpsRequest, VerifiesTheServerCertificateAndItsName) {
    auto reply = reply_buffer();
    EXPECT_EQ(request(good_, good_.cert, reply), 2);
    EXPECT_EQ(text_of(reply), "{}");
    // Another authority, the system's authorities, a certificate for another name.
    EXPECT_EQ(request(good_, other_.cert, reply), 0);
    EXPECT_EQ(text_of(reply), "NO_LINK_SERVER");
    EXPECT_EQ(request(good_, fs::path(), reply), 0);
    EXPECT_EQ(text_of(reply), "NO_LINK_SERVER");
    EXPECT_EQ(request(wrong_, wrong_.cert, reply), 0);
    EXPECT_EQ(text_of(reply), "NO_LINK_SERVER");
}

// ---- downloads ----

struct Report {
    double total;
    double received;
};

class Download : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = dir_ / "UpdateData";
        fs::create_directory(folder_);
        fs::permissions(folder_, fs::perms::owner_all);
        payload_.resize(3000);
        for (std::size_t i = 0; i < payload_.size(); ++i)
            payload_[i] = static_cast<char>(i * 7);
        // HEAD and GET share the handler, as for any static file.
        server_.server().Get("/pkg", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(payload_, "application/octet-stream");
        });
        // HEAD announces 1000 bytes; GET announces and sends all 3000, or 1000 of 3000, or
        // sends 3000 without announcing a length.
        server_.server().Get(
            "/longer", [this](const httplib::Request& req, httplib::Response& res) {
                res.set_content(req.method == "HEAD" ? payload_.substr(0, 1000) : payload_,
                                "application/octet-stream");
            });
        server_.server().Get(
            "/shorter", [this](const httplib::Request& req, httplib::Response& res) {
                res.set_content(req.method == "HEAD" ? payload_ : payload_.substr(0, 1000),
                                "application/octet-stream");
            });
        server_.server().Get(
            "/unannounced", [this](const httplib::Request& req, httplib::Response& res) {
                if (req.method == "HEAD") {
                    res.set_content(payload_.substr(0, 1000), "application/octet-stream");
                    return;
                }
                res.set_chunked_content_provider("application/octet-stream",
                                                 [this](std::size_t, httplib::DataSink& sink) {
                                                     sink.write(payload_.data(), payload_.size());
                                                     sink.done();
                                                     return true;
                                                 });
            });
        server_.server().Get("/crawl", [](const httplib::Request&, httplib::Response& res) {
            test::send_trickle(res, std::string(300, 'c'), std::chrono::milliseconds(100));
        });
        // The connection breaks after 2048 of 3000 bytes.
        server_.server().Get("/broken", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(3000, "application/octet-stream",
                                     [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                         if (offset >= 2048)
                                             return false;
                                         const std::string chunk(1024, 'b');
                                         sink.write(chunk.data(), chunk.size());
                                         return true;
                                     });
        });
        server_.server().Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream",
                                             [](std::size_t, httplib::DataSink& sink) {
                                                 sink.write("abc", 3);
                                                 sink.done();
                                                 return true;
                                             });
        });
        ASSERT_TRUE(server_.start());
    }

    DownloadStatus get(HttpClient& client, const std::string& path, const std::string& name,
                       std::string_view sha256 = {}, const StopEvent* stop = nullptr) {
        reports_.clear();
        return client.download_file(
            server_.url(path), folder_, name,
            [this](double total, double received) {
                reports_.push_back({total, received});
            },
            stop, sha256);
    }
    std::string content(const std::string& name) const {
        std::string out;
        read_whole_file(folder_ / name, out);
        return out;
    }
    // Every entry of the folder: no partial file may stay behind.
    std::size_t entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
    }

    test::TempDir dir_;
    fs::path folder_;
    std::string payload_;
    LoopbackServer server_;
    std::vector<Report> reports_;
    HttpClient client_;
};

TEST_F(Download, WritesTheFileWithProgressPerKilobyteAndNoExecuteBit) {
    ASSERT_EQ(get(client_, "/pkg", "VELQA R260.bin"), DownloadStatus::Complete);
    EXPECT_EQ(content("VELQA R260.bin"), payload_);
    ASSERT_EQ(reports_.size(), 3u);
    EXPECT_EQ(reports_[0].total, 3000);
    EXPECT_EQ(reports_[0].received, 1024);
    EXPECT_EQ(reports_[1].received, 2048);
    EXPECT_EQ(reports_[2].received, 3000);
    struct stat st {};
    ASSERT_EQ(::stat((folder_ / "VELQA R260.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0111, 0u);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(Download, MoreOrFewerBytesThanAnnouncedFailAndLeaveNoFile) {
    for (const char* path : {"/longer", "/shorter", "/unannounced"}) {
        EXPECT_EQ(get(client_, path, "pkg.bin"), DownloadStatus::Failed) << path;
        EXPECT_EQ(client_.last_error(), LengthMismatch) << path;
        ASSERT_FALSE(reports_.empty());
        EXPECT_EQ(reports_.back().total, 0) << path;
        EXPECT_EQ(entries(), 0u) << path;
    }
}

TEST_F(Download, AStalledOrCrawlingTransferRunsOutOfTimeAndLeavesNoFile) {
    // 10 bytes a second: under the stall limit, and far too slow for the size's deadline.
    TransportPolicy stall;
    stall.deadlines.stall_bytes_per_second = 100;
    stall.deadlines.stall_seconds = 1;
    TransportPolicy crawl;
    crawl.deadlines.stall_bytes_per_second = 0;
    crawl.deadlines.download_base_ms = 500;
    crawl.deadlines.download_min_rate = 1000000;
    for (const TransportPolicy& policy : {stall, crawl}) {
        HttpClient client(policy);
        EXPECT_EQ(get(client, "/crawl", "pkg.bin"), DownloadStatus::Failed);
        EXPECT_EQ(client.last_error(), TimedOut);
        EXPECT_EQ(client.last_error_text().rfind("timed out", 0), 0u) << client.last_error_text();
        EXPECT_EQ(reports_.back().total, 0);
        EXPECT_EQ(entries(), 0u);
    }
}

TEST_F(Download, AFailedReadReportsATotalOfZeroAndLeavesNoFile) {
    ASSERT_EQ(get(client_, "/broken", "pkg.bin"), DownloadStatus::Failed);
    ASSERT_FALSE(reports_.empty());
    EXPECT_EQ(reports_.back().total, 0);
    EXPECT_EQ(reports_.back().received, 2048);
    EXPECT_EQ(entries(), 0u);

    ASSERT_EQ(get(client_, "/missing", "pkg.bin"), DownloadStatus::Failed);
    EXPECT_EQ(client_.last_error(), HttpStatus);
    ASSERT_EQ(get(client_, "/chunked", "pkg.bin"), DownloadStatus::Failed);
    EXPECT_EQ(client_.last_error(), NoContentLength);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].total, 0);
    EXPECT_EQ(entries(), 0u);
}

TEST_F(Download, ChecksTheAnnouncedDigest) {
    // sha256 of the payload, computed by the openssl tool.
    const fs::path probe = dir_ / "probe";
    ASSERT_TRUE(write_file_atomically(probe, payload_));
    const auto r = test::run_command("openssl dgst -sha256 -r '" + probe.string() + "'");
    ASSERT_EQ(r.exit_code, 0);
    const std::string digest = r.out.substr(0, 64);

    EXPECT_EQ(get(client_, "/pkg", "a.bin", digest), DownloadStatus::Complete);
    std::string upper = digest;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_EQ(get(client_, "/pkg", "b.bin", upper), DownloadStatus::Complete);

    std::string wrong = digest;
    wrong[10] = wrong[10] == '0' ? '1' : '0';
    EXPECT_EQ(get(client_, "/pkg", "c.bin", wrong), DownloadStatus::Failed);
    EXPECT_EQ(client_.last_error(), DigestMismatch);
    EXPECT_EQ(reports_.back().total, 0);
    EXPECT_EQ(get(client_, "/pkg", "c.bin", "1234"), DownloadStatus::Failed);
    EXPECT_FALSE(fs::exists(folder_ / "c.bin"));
    EXPECT_EQ(entries(), 2u);
}

TEST_F(Download, NamesThatLeaveTheFolderAndLinksAreRefused) {
    for (const char* name : {"../escape.bin", "sub/x.bin", "..", ".", "", "a..b"}) {
        EXPECT_EQ(get(client_, "/pkg", name), DownloadStatus::Failed) << name;
        EXPECT_EQ(client_.last_error(), BadFileName) << name;
        ASSERT_EQ(reports_.size(), 1u);
        EXPECT_EQ(reports_[0].total, 0);
    }
    EXPECT_FALSE(fs::exists(dir_ / "escape.bin"));

    // A link at the target's name is replaced, never written through.
    const fs::path victim = dir_ / "victim";
    ASSERT_TRUE(write_file_atomically(victim, "keep"));
    fs::create_symlink(victim, folder_ / "pkg.bin");
    ASSERT_EQ(get(client_, "/pkg", "pkg.bin"), DownloadStatus::Complete);
    EXPECT_FALSE(fs::is_symlink(folder_ / "pkg.bin"));
    EXPECT_EQ(content("pkg.bin"), payload_);
    std::string kept;
    read_whole_file(victim, kept);
    EXPECT_EQ(kept, "keep");

    // A folder that others may write to, or a link in place of the folder.
    fs::permissions(folder_, fs::perms::others_write, fs::perm_options::add);
    EXPECT_EQ(get(client_, "/pkg", "pkg2.bin"), DownloadStatus::Failed);
    EXPECT_EQ(client_.last_error(), FileError);
    fs::permissions(folder_, fs::perms::others_write, fs::perm_options::remove);
    fs::create_directory_symlink(folder_, dir_ / "linked");
    EXPECT_EQ(client_.download_file(server_.url("/pkg"), dir_ / "linked", "pkg3.bin", {}),
              DownloadStatus::Failed);
    EXPECT_EQ(client_.last_error(), FileError);
}

TEST_F(Download, LimitsAndInsecureAddressesAreRefusedBeforeAnyFileExists) {
    TransportPolicy policy;
    policy.max_download_bytes = 2999;
    HttpClient small(policy);
    EXPECT_EQ(get(small, "/pkg", "pkg.bin"), DownloadStatus::Failed);
    EXPECT_EQ(small.last_error(), TooLarge);
    EXPECT_EQ(client_.download_file("http://updates.example.com/pkg", folder_, "pkg.bin", {}),
              DownloadStatus::Failed);
    EXPECT_EQ(client_.last_error(), InsecureUrl);
    EXPECT_EQ(entries(), 0u);
}

TEST_F(Download, ASetStopEventEndsTheDownloadWithoutAFile) {
    StopEvent stop;
    DownloadStatus status = client_.download_file(
        server_.url("/pkg"), folder_, "pkg.bin", [&](double, double) { stop.set(); }, &stop);
    EXPECT_EQ(status, DownloadStatus::Stopped);
    EXPECT_EQ(entries(), 0u);
}

// Without libcurl every operation fails like an unreachable server and names the file. The
// answer is kept: the library turning up later changes nothing, and nothing is retried.
TEST(HttpLibrary, AMissingLibraryFailsEveryOperationByNameOnce) {
    const CurlApi* real = CurlLibrary::shared().api();
    ASSERT_NE(real, nullptr) << CurlLibrary::shared().error();
    Dl_info real_curl{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(real->easy_init), &real_curl), 0);

    test::TempDir dir;
    const fs::path missing = dir / "libcurl.so.4";
    CurlLibrary library(LibraryFiles{missing.string(), "libcrypto.so.3"});
    HttpClient client({}, &library);
    auto reply = reply_buffer();
    EXPECT_EQ(client.http_request("POST", "https://127.0.0.1/", "a", 1, reply, false), 0);
    EXPECT_EQ(text_of(reply), "NO_LINK_SERVER");
    EXPECT_EQ(client.last_error(), ClientUnavailable);
    const std::string why = client.last_error_text();
    EXPECT_NE(why.find(missing.string()), std::string::npos) << why;
    EXPECT_NE(why.find("cannot open shared object file"), std::string::npos) << why;

    fs::create_symlink(real_curl.dli_fname, missing);
    std::vector<double> totals;
    EXPECT_EQ(client.download_file("https://127.0.0.1/pkg", dir.path(), "pkg.bin",
                                   [&](double total, double) { totals.push_back(total); }),
              DownloadStatus::Failed);
    EXPECT_EQ(client.last_error(), ClientUnavailable);
    EXPECT_EQ(client.last_error_text(), why);
    EXPECT_EQ(totals, std::vector<double>{0});

    // A library without curl's functions names the first one missing.
    const CurlLibrary wrong(LibraryFiles{"libcrypto.so.3", "libcrypto.so.3"});
    EXPECT_EQ(wrong.api(), nullptr);
    EXPECT_NE(wrong.error().find("curl_global_init"), std::string::npos) << wrong.error();
}

}  // namespace
}  // namespace velqa::platform::http
