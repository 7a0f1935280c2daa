// The start-up trace users paste into a report of a slow start.
#include "app/startup_trace.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace velqa::test {
namespace {

using app::StartupTrace;
using std::chrono::milliseconds;

TEST(StartupTrace, PhasesInOrderRepeatsAddUpAndTheReportIsPrintedOnce) {
    const StartupTrace::Clock::time_point t0{};
    StartupTrace trace(true, t0);
    trace.mark("qt", t0 + milliseconds(40));
    trace.mark("window", t0 + milliseconds(140));
    trace.mark("qt", t0 + milliseconds(150));
    EXPECT_EQ(trace.report(), "velqa: start-up: qt 50 ms, window 100 ms, total 150 ms");

    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    trace.print_once(out);
    trace.mark("late", t0 + milliseconds(900));
    trace.print_once(out);
    std::rewind(out);
    char line[128] = {};
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    EXPECT_STREQ(line, "velqa: start-up: qt 50 ms, window 100 ms, total 150 ms\n");
    EXPECT_EQ(std::fgets(line, sizeof line, out), nullptr) << "printed once, late marks ignored";
    std::fclose(out);

    StartupTrace off(false, t0);
    off.mark("qt", t0 + milliseconds(5));
    EXPECT_EQ(off.report(), "velqa: start-up: total 0 ms");
}

}  // namespace
}  // namespace velqa::test
