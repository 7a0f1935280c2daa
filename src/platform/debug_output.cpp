#include "platform/debug_output.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

namespace velqa::platform {
namespace {

std::mutex& sink_mutex() {
    static std::mutex m;
    return m;
}

DebugSink& current_sink() {
    static DebugSink sink;
    return sink;
}

std::deque<std::string>& recent_lines() {
    static std::deque<std::string> lines;
    return lines;
}

// Called with the sink mutex held.
void remember(std::string_view text) {
    while (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    auto& lines = recent_lines();
    if (lines.size() == kRecentDebugLines)
        lines.pop_front();
    lines.emplace_back(text.substr(0, kRecentDebugLineBytes));
}

bool stderr_enabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("VELQA_DEBUG");
        return v != nullptr && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

// `kept`: the line the report keeps; none when null.
void emit(std::string_view text, const std::string_view* kept) {
    std::lock_guard<std::mutex> lock(sink_mutex());
    if (kept != nullptr)
        remember(*kept);
    if (current_sink()) {
        current_sink()(text);
        return;
    }
    if (stderr_enabled()) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        if (text.empty() || text.back() != '\n')
            std::fputc('\n', stderr);
    }
}

}  // namespace

void debug_output(std::string_view text) {
    emit(text, &text);
}

void debug_output(std::string_view text, std::string_view kept) {
    emit(text, kept.empty() ? nullptr : &kept);
}

void debug_printf(const char* format, ...) {
    char stack_buf[512];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(stack_buf, sizeof stack_buf, format, args);
    va_end(args);
    if (n < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<size_t>(n) < sizeof stack_buf) {
        va_end(copy);
        debug_output(std::string_view(stack_buf, static_cast<size_t>(n)));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, copy);
    va_end(copy);
    big.resize(static_cast<size_t>(n));
    debug_output(big);
}

std::vector<std::string> recent_debug_lines() {
    std::lock_guard<std::mutex> lock(sink_mutex());
    return {recent_lines().begin(), recent_lines().end()};
}

DebugSink set_debug_sink(DebugSink sink) {
    std::lock_guard<std::mutex> lock(sink_mutex());
    DebugSink previous = std::move(current_sink());
    current_sink() = std::move(sink);
    return previous;
}

DebugCapture::DebugCapture() {
    previous_ = set_debug_sink([this](std::string_view text) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.emplace_back(text);
    });
}

DebugCapture::~DebugCapture() {
    set_debug_sink(std::move(previous_));
}

std::vector<std::string> DebugCapture::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool DebugCapture::contains(std::string_view needle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& line : lines_) {
        if (line.find(needle) != std::string::npos)
            return true;
    }
    return false;
}

void DebugCapture::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

}  // namespace velqa::platform
