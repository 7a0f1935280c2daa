// A PulseAudio server of the test's own: no system daemon, its own runtime folder and socket, a
// null sink as the default output (so what is played there can be read from its monitor, as
// from a desktop's speakers), and paplay to play into it. Works as root. Header-only.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"

namespace velqa::test {

class PrivatePulse {
  public:
    explicit PrivatePulse(const std::filesystem::path& dir) : dir_(dir) {
        if (!on_path("pulseaudio") || !on_path("paplay")) {
            why_not_ =
                "pulseaudio or paplay is missing (scripts/setup installs pulseaudio and "
                "pulseaudio-utils)";
            return;
        }
        std::filesystem::create_directories(dir_);
        socket_ = (dir_ / "native").string();
        const std::filesystem::path config = dir_ / "server.pa";
        std::ofstream(config) << "load-module module-null-sink sink_name=velqa_test\n"
                              << "load-module module-native-protocol-unix auth-anonymous=1 "
                              << "socket=" << socket_ << "\n"
                              << "set-default-sink velqa_test\n";
        server_ = spawn({"pulseaudio", "-n", "-F", config.string(), "--system=no", "--daemonize=no",
                         "--exit-idle-time=-1", "--use-pid-file=no", "--disable-shm=yes",
                         "--log-target=stderr"},
                        environment(), (dir_ / "server.log").string());
        // A program of its own: nothing to wait on but its socket.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!can_connect(socket_) && server_.running() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!can_connect(socket_))
            why_not_ = "pulseaudio did not start (see " + (dir_ / "server.log").string() + ")";
    }

    bool started() const { return why_not_.empty(); }
    const std::string& why_not() const { return why_not_; }
    // PULSE_SERVER for its clients.
    std::string server() const { return "unix:" + socket_; }
    // The variables a client of this server runs with.
    std::vector<std::string> environment() const {
        return {"XDG_RUNTIME_DIR=" + dir_.string(), "HOME=" + dir_.string(),
                "XDG_CONFIG_HOME=" + (dir_ / "config").string(), "PULSE_SERVER=" + server()};
    }
    // Plays `wav` into the default output; ends with the returned child.
    Child play(const std::filesystem::path& wav) const {
        return spawn({"paplay", wav.string()}, environment(), (dir_ / "paplay.log").string());
    }

  private:
    std::filesystem::path dir_;
    std::string socket_;
    Child server_;
    std::string why_not_;
};

// A mono 16-bit WAV at 48 kHz: `on_ms` of a sine of `hz` at half scale, then `off_ms` of
// silence, repeated for `total_ms`.
inline void write_tone_wav(const std::filesystem::path& file, double hz, int on_ms, int off_ms,
                           int total_ms) {
    constexpr std::uint32_t rate = 48000;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(rate) * total_ms / 1000);
    const std::size_t period = static_cast<std::size_t>(rate) * (on_ms + off_ms) / 1000;
    const std::size_t on = static_cast<std::size_t>(rate) * on_ms / 1000;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        if (i % period < on)
            samples[i] = static_cast<std::int16_t>(16383 * std::sin(2 * std::numbers::pi * hz * t));
    }
    const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::ofstream out(file, std::ios::binary);
    auto u32 = [&out](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&out](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);  // PCM
    u16(1);  // mono
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(bytes);
    out.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

}  // namespace velqa::test
