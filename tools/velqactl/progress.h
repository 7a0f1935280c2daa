// A line on standard error while a write to the mouse takes longer than a second (a slow
// 2.4G link can take half a minute), so that a terminal user knows velqactl is working: what
// is being written and the seconds so far, rewritten in place and cleared when the write ends.
// Nothing at all when standard error is not a terminal: scripts read the same output as before.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace velqa::ctl {

class Progress {
  public:
    // "writing the shooting patterns to the mouse", on stderr when it is a terminal.
    explicit Progress(std::string what);
    // The seam for tests: `out` is treated as a terminal when `terminal`; the line first shows
    // after `delay` and is rewritten every `interval`.
    Progress(std::string what, std::FILE* out, bool terminal, std::chrono::milliseconds delay,
             std::chrono::milliseconds interval);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

  private:
    void run();

    std::string what_;
    std::FILE* out_;
    std::chrono::milliseconds delay_;
    std::chrono::milliseconds interval_;
    std::mutex mutex_;
    std::condition_variable done_changed_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace velqa::ctl
