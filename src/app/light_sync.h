// Software light sync: while two or more linked devices have their light-sync box on, one
// effect (breathing, steady, flashing, colour wheel, off) is stepped at a rate set by its
// threshold table and each step's colour is pushed to every device page. No UI: each page has a
// LightSyncTarget that the thread writes; the window thread hands its colour to the page.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/worker_thread.h"

namespace velqa::app {

// Effects 0-4: breathing, steady chosen colour, flashing, colour wheel, off.
enum class SyncEffect : int { Breathing = 0, Steady = 1, Flashing = 2, Wheel = 3, Off = 4 };
inline constexpr int SyncEffects = 5;
inline constexpr int SyncSpeeds = 15;

// Steps per effect and speed (rows 8, 6, 4, 2, 1 then ten zeros). 0 outside the table.
std::uint8_t light_sync_threshold(int effect, int speed);

// One colour value: red in the low byte, then green, blue and brightness.
constexpr std::uint32_t pack_sync_colour(std::uint8_t r, std::uint8_t g, std::uint8_t b,
                                         std::uint8_t brightness) {
    return std::uint32_t(r) | std::uint32_t(g) << 8 | std::uint32_t(b) << 16 |
           std::uint32_t(brightness) << 24;
}

// What a game reports (Game_Start, Game_End, Game_Kill, Game_Death).
enum class GameEvent { Start, End, Kill, Death };
// How the devices light up for a game's event: `colour` (packed as above, full brightness) shown
// `flashes` times, each for FlashMs on and FlashMs off. `rgb` is the colour the game sent
// (0xRRGGBB), 0 for the event's own: start blue, end white, a kill green, a death red. A kill
// flashes once per kill the game reports in `argument` (1 to 5).
struct GameFlash {
    static constexpr int FlashMs = 150;
    std::uint32_t colour = 0;
    int flashes = 1;
};
GameFlash game_flash(GameEvent event, long long argument, std::uint32_t rgb);

// The effect generator: each step() gives the next colour value. Pure, for tests.
class SyncEffectSteps {
  public:
    // `rgb` is 0xRRGGBB; `use_wheel` makes breathing and flashing move along the wheel.
    void set_effect(int effect, int speed, std::uint32_t rgb, bool use_wheel);
    std::uint32_t step();
    int effect() const { return effect_; }
    int speed() const { return speed_; }
    std::uint32_t rgb() const { return rgb_; }
    bool use_wheel() const { return use_wheel_; }

  private:
    int effect_ = 0;
    int speed_ = 0;
    std::uint32_t rgb_ = 0xFFFFFF;
    bool use_wheel_ = false;
    int phase_ = 0;
    int wheel_ = 0;
    bool flash_on_ = true;
    int flash_steps_ = 0;
};

// The effect the synced devices show: chosen in a page's lighting editor while that page syncs,
// kept in "LightSync.json" in the user data folder.
struct SyncChoice {
    int effect = static_cast<int>(SyncEffect::Breathing);
    int speed = 0;
    std::uint32_t rgb = 0xFFFFFF;
    bool wheel = false;
    bool operator==(const SyncChoice&) const = default;
};
// The sync effect nearest a mouse lighting record: colour wheel (and the neon patterns) 3,
// breathing 0, static 1, blinking 2, the cycling breathing and blinking 0 and 2 along the wheel,
// off 4; its speed level, colour and multi-colour flag.
SyncChoice sync_choice_for_mouse(std::uint8_t mode, std::uint8_t speed, std::uint32_t rgb,
                                 bool multi_colour);
// The stored choice; nothing when the file is missing or is no choice (values out of range).
std::optional<SyncChoice> read_sync_choice(const std::filesystem::path& file);
bool write_sync_choice(const std::filesystem::path& file, const SyncChoice& choice);

// What one device page shares with the thread.
struct LightSyncTarget {
    std::atomic<bool> linked{false};
    std::atomic<bool> sync{false};
    std::atomic<std::uint32_t> colour{0};
    std::atomic<std::uint64_t> pushes{0};
};

class LightSyncThread {
  public:
    LightSyncThread();
    ~LightSyncThread();

    // Called on the thread after each step has pushed its colour to the targets. It must not
    // block: the window thread reads the targets' colours when it gets round to it. Set before
    // start().
    using Stepped = std::function<void()>;
    void set_on_step(Stepped on_step) { on_step_ = std::move(on_step); }

    // Window thread. Targets are held weakly: a page that is gone is skipped.
    void add_target(const std::shared_ptr<LightSyncTarget>& target);
    void set_effect(int effect, int speed, std::uint32_t rgb, bool use_wheel);
    void set_choice(const SyncChoice& c) { set_effect(c.effect, c.speed, c.rgb, c.wheel); }
    SyncChoice choice() const;
    // A target's linked or sync flag changed: the thread looks again at once.
    void changed();

    bool start();
    // Writes "同步灯光线程设定退出" from the thread as it ends.
    platform::StopOutcome stop(std::chrono::milliseconds bounded = platform::DefaultStopWait);
    void request_stop();
    bool running() const;

    // True while some linked target has its sync flag set.
    bool active() const;
    std::uint64_t steps() const { return steps_.load(); }
    // How often the thread has looked at its targets and found sync inactive (then it waits for
    // changed() or stop, without a time-out).
    std::uint64_t idle_waits() const { return idle_waits_.load(); }

  private:
    void run(platform::StopEvent& stop);
    bool active_locked() const;

    mutable std::mutex mutex_;
    std::vector<std::weak_ptr<LightSyncTarget>> targets_;
    SyncEffectSteps effect_;
    Stepped on_step_;
    std::atomic<std::uint64_t> steps_{0};
    std::atomic<std::uint64_t> idle_waits_{0};
    platform::WorkerThread worker_;
};

}  // namespace velqa::app
