#include "app/startup_trace.h"

namespace velqa::app {

namespace {

long long whole_ms(StartupTrace::Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

}  // namespace

void StartupTrace::mark(std::string_view phase, Clock::time_point now) {
    if (!enabled_ || printed_)
        return;
    // A clock that went backwards (it cannot, being steady) would give a negative phase.
    const Clock::duration spent = now > last_ ? now - last_ : Clock::duration::zero();
    last_ = now > last_ ? now : last_;
    for (auto& [name, total] : phases_) {
        if (name == phase) {
            total += spent;
            return;
        }
    }
    phases_.emplace_back(std::string(phase), spent);
}

std::string StartupTrace::report() const {
    std::string line = "velqa: start-up:";
    for (const auto& [name, spent] : phases_)
        line += " " + name + " " + std::to_string(whole_ms(spent)) + " ms,";
    line += " total " + std::to_string(whole_ms(last_ - start_)) + " ms";
    return line;
}

void StartupTrace::print_once(std::FILE* out) {
    if (!enabled_ || printed_)
        return;
    printed_ = true;
    std::fprintf(out, "%s\n", report().c_str());
    std::fflush(out);
}

}  // namespace velqa::app
