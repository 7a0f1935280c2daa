// The progress line of a long write: on a terminal it shows after its delay, says what is being
// written, and is cleared when the write ends; anywhere else nothing is written at all.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "progress.h"

namespace {

using namespace std::chrono_literals;
using velqa::ctl::Progress;

class ProgressLine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::pipe(fds_), 0);
        out_ = ::fdopen(fds_[1], "w");
        ASSERT_NE(out_, nullptr);
    }
    void TearDown() override {
        if (out_ != nullptr)
            std::fclose(out_);
        ::close(fds_[0]);
    }
    // What the pipe holds after waiting (10 s at most) for `want` to appear in it.
    std::string read_until(const std::string& want) {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (text.find(want) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{fds_[0], POLLIN, 0};
            if (::poll(&p, 1, 100) == 1) {
                char buffer[256];
                const ssize_t n = ::read(fds_[0], buffer, sizeof buffer);
                if (n <= 0)
                    break;
                text.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return text;
    }
    // Everything left once the writing end is closed.
    std::string rest() {
        std::fclose(out_);
        out_ = nullptr;
        std::string text;
        char buffer[256];
        for (ssize_t n; (n = ::read(fds_[0], buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }

    int fds_[2] = {-1, -1};
    std::FILE* out_ = nullptr;
};

TEST_F(ProgressLine, ShowsOnATerminalAfterItsDelayAndIsClearedAtTheEnd) {
    {
        const Progress progress("writing the shooting patterns to the mouse", out_, true, 10ms,
                                10ms);
        const std::string shown = read_until("mouse... ");
        EXPECT_EQ(
            shown.rfind("\r\033[Kvelqactl: writing the shooting patterns to the mouse... ", 0), 0u)
            << shown;
    }
    // The last thing written clears the line, so the next output starts on a clean one.
    const std::string end = rest();
    ASSERT_GE(end.size(), 4u);
    EXPECT_EQ(end.substr(end.size() - 4), "\r\033[K");
}

TEST_F(ProgressLine, WritesNothingWhenTheWriteIsQuickOrTheStreamIsNoTerminal) {
    { const Progress quick("writing", out_, true, 1h, 1h); }
    { const Progress piped("writing", out_, false, 0ms, 1ms); }
    EXPECT_EQ(rest(), "");
}

}  // namespace
