// velqa-audio: music lighting's companion. Reads what the desktop plays (the monitor of the
// default output, through libpulse: PulseAudio or PipeWire's pulse server), turns it into blocks
// of 500 levels and sends each to the running velqa as any other program would, with the D-Bus
// method CopyData, kind 1. velqa starts it while a music lighting effect is selected and stops
// it with SIGTERM; it also ends when velqa has gone.
//
// Exit status: 0 velqa is gone or the program was stopped; 1 bad usage; 3 no audio server (or it
// went away); 4 no session bus or velqa refused the blocks. It says why once, on stderr.
#include <gio/gio.h>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio_levels.h"
#include "velqa_version.h"

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitNoAudioServer = 3;
constexpr int kExitNoProgram = 4;

constexpr char kDefaultService[] = "com.zarn.VelqaR260";
constexpr char kObjectPath[] = "/com/zarn/VelqaR260";
constexpr char kInterface[] = "com.zarn.VelqaR260.Messages";
constexpr std::uint32_t kAudioLevelsKind = 1;
// The one D-Bus answer we wait for; velqa answers at once.
constexpr int kCallTimeoutMs = 2000;

void usage(std::FILE* to) {
    std::fprintf(to,
                 "Usage: velqa-audio [--service NAME] [--source NAME]\n"
                 "Sends the levels of the desktop's audio output to velqa for music lighting.\n"
                 "\n"
                 "  --service NAME  the D-Bus name of the program to send to (default %s)\n"
                 "  --source NAME   the audio source to read (default @DEFAULT_MONITOR@, what the\n"
                 "                  default output plays)\n"
                 "  --help          this text\n"
                 "  --version       the version\n",
                 kDefaultService);
}

struct PulseClose {
    void operator()(pa_simple* s) const { pa_simple_free(s); }
};

}  // namespace

int main(int argc, char** argv) {
    std::string service = kDefaultService;
    std::string source = "@DEFAULT_MONITOR@";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            usage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("velqa-audio %s\n", VELQA_VERSION_TEXT);
            return 0;
        }
        if ((arg == "--service" || arg == "--source") && i + 1 < argc) {
            (arg == "--service" ? service : source) = argv[++i];
            continue;
        }
        std::fprintf(stderr, "velqa-audio: unknown option %s\n", arg.c_str());
        usage(stderr);
        return kExitUsage;
    }
    // Ends with the program that started it, whatever way that one ends.
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        return 0;

    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        std::fprintf(stderr, "velqa-audio: no session bus: %s\n",
                     error != nullptr ? error->message : "unknown");
        g_clear_error(&error);
        return kExitNoProgram;
    }

    pa_sample_spec sample{};
    sample.format = PA_SAMPLE_FLOAT32LE;
    sample.channels = 1;
    sample.rate = velqa::audio::kSampleRate;
    // One block per read: the server sends when a block is full, so the loop sleeps in between.
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(velqa::audio::kBlockSamples * sizeof(float));
    int pa_error = 0;
    std::unique_ptr<pa_simple, PulseClose> stream(
        pa_simple_new(nullptr, "velqa music lighting", PA_STREAM_RECORD, source.c_str(),
                      "levels for music lighting", &sample, nullptr, &attr, &pa_error));
    if (!stream) {
        std::fprintf(stderr, "velqa-audio: no audio server: %s\n", pa_strerror(pa_error));
        g_object_unref(bus);
        return kExitNoAudioServer;
    }

    velqa::audio::Spectrum spectrum;
    std::vector<float> samples(velqa::audio::kBlockSamples);
    int status = 0;
    unsigned quiet_blocks = 0;
    for (;;) {
        if (pa_simple_read(stream.get(), samples.data(), samples.size() * sizeof(float),
                           &pa_error) < 0) {
            std::fprintf(stderr, "velqa-audio: the audio server went away: %s\n",
                         pa_strerror(pa_error));
            status = kExitNoAudioServer;
            break;
        }
        const velqa::audio::Levels levels = spectrum.levels(samples);
        // A quiet desktop costs no calls: after a second of silence (enough for the lights to
        // fade out) nothing is sent until there is sound again.
        quiet_blocks = velqa::audio::is_silent(levels) ? quiet_blocks + 1 : 0;
        if (quiet_blocks > velqa::audio::kBlocksPerSecond)
            continue;
        const std::vector<std::uint8_t> block = velqa::audio::encode_block(levels);
        GVariant* data = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, block.data(), block.size(),
                                                   sizeof(std::uint8_t));
        GVariant* reply = g_dbus_connection_call_sync(
            bus, service.c_str(), kObjectPath, kInterface, "CopyData",
            g_variant_new("(u@ay)", kAudioLevelsKind, data), nullptr,
            G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, &error);
        if (reply != nullptr) {
            g_variant_unref(reply);
            continue;
        }
        // velqa has ended (or never ran): nothing to light any more.
        const bool gone = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
                          g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
        if (!gone)
            std::fprintf(stderr, "velqa-audio: %s refused the levels: %s\n", service.c_str(),
                         error->message);
        g_clear_error(&error);
        status = gone ? 0 : kExitNoProgram;
        break;
    }
    stream.reset();
    g_object_unref(bus);
    return status;
}
