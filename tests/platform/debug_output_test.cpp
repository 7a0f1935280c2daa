#include "platform/debug_output.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace velqa::platform {
namespace {

TEST(DebugOutput, CaptureSeesLinesFromAllThreadsAndRestoresPreviousSink) {
    std::vector<std::string> outer;
    DebugSink before = set_debug_sink([&](std::string_view t) { outer.emplace_back(t); });
    {
        DebugCapture capture;
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i) {
            threads.emplace_back([i] {
                for (int j = 0; j < 50; ++j)
                    debug_printf("thread %d line %d", i, j);
            });
        }
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(capture.lines().size(), 200u);
        EXPECT_TRUE(capture.contains("thread 3 line 49"));
        EXPECT_TRUE(outer.empty());
    }
    debug_output("after");
    ASSERT_EQ(outer.size(), 1u);
    EXPECT_EQ(outer[0], "after");
    set_debug_sink(std::move(before));
}

TEST(DebugOutput, LongFormattedTextIsNotTruncated) {
    DebugCapture capture;
    std::string long_text(2000, 'x');
    debug_printf("%s|end", long_text.c_str());
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0].size(), 2004u);
}

}  // namespace
}  // namespace velqa::platform
