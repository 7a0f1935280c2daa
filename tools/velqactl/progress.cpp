#include "progress.h"

#include <unistd.h>

namespace velqa::ctl {

Progress::Progress(std::string what)
    : Progress(std::move(what), stderr, ::isatty(STDERR_FILENO) == 1, std::chrono::seconds(1),
               std::chrono::seconds(1)) {}

Progress::Progress(std::string what, std::FILE* out, bool terminal, std::chrono::milliseconds delay,
                   std::chrono::milliseconds interval)
    : what_(std::move(what)), out_(out), delay_(delay), interval_(interval) {
    // The thread sleeps on the condition between lines: no polling.
    if (terminal)
        thread_ = std::thread([this] { run(); });
}

Progress::~Progress() {
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    done_changed_.notify_all();
    thread_.join();
}

void Progress::run() {
    const auto start = std::chrono::steady_clock::now();
    auto next = start + delay_;
    bool shown = false;
    std::unique_lock lock(mutex_);
    while (!done_changed_.wait_until(lock, next, [this] { return done_; })) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        // "\r" and erase-line: the line is rewritten in place, never scrolls.
        std::fprintf(out_, "\r\033[Kvelqactl: %s... %lld s", what_.c_str(),
                     static_cast<long long>(seconds));
        std::fflush(out_);
        shown = true;
        next += interval_;
    }
    if (shown) {
        std::fputs("\r\033[K", out_);
        std::fflush(out_);
    }
}

}  // namespace velqa::ctl
