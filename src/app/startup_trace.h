// Where start-up spends its time, for users who report a slow start (VELQA_TRACE=1).
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velqa::app {

// Phases are marked in order as they end; each gets the time since the previous mark (or the
// start). The report is printed at most once, so a late mark after it changes nothing.
class StartupTrace {
  public:
    using Clock = std::chrono::steady_clock;

    explicit StartupTrace(bool enabled, Clock::time_point start = Clock::now())
        : enabled_(enabled), start_(start), last_(start) {}

    bool enabled() const { return enabled_; }
    // Ends `phase` at `now`. A phase marked twice adds up.
    void mark(std::string_view phase, Clock::time_point now = Clock::now());
    // "velqa: start-up: qt 40 ms, fonts 3 ms, ..., total 460 ms" (one line, no newline).
    std::string report() const;
    // Writes the report once, when enabled; later calls do nothing.
    void print_once(std::FILE* out);

  private:
    bool enabled_;
    bool printed_ = false;
    Clock::time_point start_;
    Clock::time_point last_;
    std::vector<std::pair<std::string, Clock::duration>> phases_;
};

}  // namespace velqa::app
