// The one place diagnostic text goes (the debugger output of the original design).
// Text is written to stderr when VELQA_DEBUG=1; tests install a capture sink instead.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace velqa::platform {

// Emits one diagnostic line (no trailing newline needed). Thread-safe.
void debug_output(std::string_view text);

// Emits `text` as debug_output does, but keeps `kept` for the diagnostic report instead (nothing
// when empty): for lines that can hold what the user typed, which a shared report must not.
void debug_output(std::string_view text, std::string_view kept);

// The last kRecentDebugLines lines, oldest first, kept whether or not they are printed (for the
// diagnostic report). A line is kept up to kRecentDebugLineBytes bytes. Thread-safe.
inline constexpr std::size_t kRecentDebugLines = 50;
inline constexpr std::size_t kRecentDebugLineBytes = 1024;
std::vector<std::string> recent_debug_lines();

// printf-style convenience over debug_output.
void debug_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

using DebugSink = std::function<void(std::string_view)>;

// Replaces the sink for all threads; returns the previous one (empty = default stderr rule).
DebugSink set_debug_sink(DebugSink sink);

// Captures every debug line while alive (tests). Restores the previous sink on destruction.
class DebugCapture {
  public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> lines() const;
    // True when some captured line contains `needle`.
    bool contains(std::string_view needle) const;
    void clear();

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    DebugSink previous_;
};

}  // namespace velqa::platform
