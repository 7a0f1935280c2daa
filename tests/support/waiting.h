// Waiting for other threads in tests without sleeping: on a condition variable that the thread
// under test notifies (a callback's mailbox, a debug line), always with a generous deadline.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/debug_output.h"

namespace velqa::test {

constexpr std::chrono::seconds GenerousDeadline{10};

// Collects values that another thread hands over and lets the test wait for them.
template <typename T>
class Mailbox {
  public:
    void push(T value) {
        {
            std::lock_guard lock(mutex_);
            items_.push_back(std::move(value));
        }
        changed_.notify_all();
    }
    // True once `pred(items)` holds; false at the deadline.
    template <typename Pred>
    bool wait(Pred pred, std::chrono::milliseconds deadline = GenerousDeadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return pred(items_); });
    }
    bool wait_count(std::size_t n, std::chrono::milliseconds deadline = GenerousDeadline) {
        return wait([n](const std::vector<T>& items) { return items.size() >= n; }, deadline);
    }
    std::vector<T> items() const {
        std::lock_guard lock(mutex_);
        return items_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<T> items_;
};

// Captures the debug output while alive; a test can wait for a line to appear.
class DebugLines {
  public:
    DebugLines()
        : previous_(platform::set_debug_sink(
              [this](std::string_view text) { lines_.push(std::string(text)); })) {}
    ~DebugLines() { platform::set_debug_sink(std::move(previous_)); }
    DebugLines(const DebugLines&) = delete;
    DebugLines& operator=(const DebugLines&) = delete;

    // Lines equal to `text`.
    std::size_t count(std::string_view text) const {
        std::size_t n = 0;
        for (const auto& line : lines_.items())
            n += line == text;
        return n;
    }
    // Lines that contain `part`.
    std::size_t count_containing(std::string_view part) const {
        std::size_t n = 0;
        for (const auto& line : lines_.items())
            n += line.find(part) != std::string::npos;
        return n;
    }
    bool wait_for(std::string_view text, std::size_t times = 1,
                  std::chrono::milliseconds deadline = GenerousDeadline) {
        return lines_.wait(
            [&](const std::vector<std::string>& lines) {
                std::size_t n = 0;
                for (const auto& line : lines)
                    n += line == text;
                return n >= times;
            },
            deadline);
    }

  private:
    Mailbox<std::string> lines_;
    platform::DebugSink previous_;
};

// For a state that announces no change (a flag of the code under test): checks it between
// yields until it holds or the deadline passes.
template <typename Pred>
bool eventually(Pred pred, std::chrono::milliseconds deadline = GenerousDeadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace velqa::test
