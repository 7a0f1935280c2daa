#include "app/light_sync.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <json/json.h>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/json_read.h"

namespace velqa::app {

namespace {

constexpr std::array<std::uint8_t, SyncSpeeds> kThresholdRow{8, 6, 4, 2, 1};

constexpr int kWheelEntries = 192;
constexpr int kWheelSegment = kWheelEntries / 3;
constexpr int kBreathSteps = 128;  // one breath; about 2 s at the slowest speed
// 100 steps of max(threshold, 1) ticks of 2 ms: a toggle every 200 ms times the threshold.
constexpr int kFlashStepsPerToggle = 100;
constexpr int kFlashWheelMove = 14;
// One tick of the original's step counter.
constexpr std::chrono::milliseconds kTick{2};

struct Rgb {
    std::uint8_t r, g, b;
};

Rgb split(std::uint32_t rgb) {
    return {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
            static_cast<std::uint8_t>(rgb)};
}

// Red to green to blue and back, each third a linear cross-fade of two primaries.
Rgb wheel_colour(int position) {
    const int p = ((position % kWheelEntries) + kWheelEntries) % kWheelEntries;
    const int segment = p / kWheelSegment;
    const auto rise = static_cast<std::uint8_t>((p % kWheelSegment) * 255 / kWheelSegment);
    const auto fall = static_cast<std::uint8_t>(255 - rise);
    switch (segment) {
        case 0:
            return {fall, rise, 0};
        case 1:
            return {0, fall, rise};
        default:
            return {rise, 0, fall};
    }
}

// A raised cosine: dark, a smooth rise to full brightness and back.
std::uint8_t breath_brightness(int phase) {
    static const auto curve = [] {
        std::array<std::uint8_t, kBreathSteps> values{};
        for (int i = 0; i < kBreathSteps; ++i) {
            const double x = 2.0 * std::numbers::pi * i / kBreathSteps;
            values[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(std::lround(127.5 * (1.0 - std::cos(x))));
        }
        return values;
    }();
    return curve[static_cast<std::size_t>(phase % kBreathSteps)];
}

std::uint32_t pack(Rgb c, std::uint8_t brightness) {
    return pack_sync_colour(c.r, c.g, c.b, brightness);
}

}  // namespace

std::uint8_t light_sync_threshold(int effect, int speed) {
    if (effect < 0 || effect >= SyncEffects || speed < 0 || speed >= SyncSpeeds)
        return 0;
    return kThresholdRow[static_cast<std::size_t>(speed)];
}

SyncChoice sync_choice_for_mouse(std::uint8_t mode, std::uint8_t speed, std::uint32_t rgb,
                                 bool multi_colour) {
    SyncChoice c;
    c.speed = std::clamp<int>(speed, 0, 4);
    c.rgb = rgb & 0xFFFFFF;
    switch (mode) {
        case 2:
            c.effect = static_cast<int>(SyncEffect::Breathing);
            c.wheel = multi_colour;
            break;
        case 3:
            c.effect = static_cast<int>(SyncEffect::Steady);
            break;
        case 4:
            c.effect = static_cast<int>(SyncEffect::Flashing);
            c.wheel = multi_colour;
            break;
        case 7:
            c.effect = static_cast<int>(SyncEffect::Breathing);
            c.wheel = true;
            break;
        case 8:
            c.effect = static_cast<int>(SyncEffect::Flashing);
            c.wheel = true;
            break;
        case 10:
            c.effect = static_cast<int>(SyncEffect::Off);
            break;
        default:
            c.effect = static_cast<int>(SyncEffect::Wheel);
            break;
    }
    return c;
}

std::optional<SyncChoice> read_sync_choice(const std::filesystem::path& file) {
    const Json::Value v = platform::read_json_file(file);
    if (!v.isObject())
        return std::nullopt;
    auto number = [&v](const char* name, long long min, long long max) -> std::optional<long long> {
        const Json::Value& m = v[name];
        if (!m.isIntegral() || m.asLargestInt() < min || m.asLargestInt() > max)
            return std::nullopt;
        return m.asLargestInt();
    };
    const auto effect = number("Effect", 0, SyncEffects - 1);
    const auto speed = number("Speed", 0, SyncSpeeds - 1);
    const auto rgb = number("Color", 0, 0xFFFFFF);
    if (!effect || !speed || !rgb || !v["Wheel"].isBool())
        return std::nullopt;
    return SyncChoice{static_cast<int>(*effect), static_cast<int>(*speed),
                      static_cast<std::uint32_t>(*rgb), v["Wheel"].asBool()};
}

bool write_sync_choice(const std::filesystem::path& file, const SyncChoice& choice) {
    Json::Value v(Json::objectValue);
    v["Effect"] = choice.effect;
    v["Speed"] = choice.speed;
    v["Color"] = static_cast<Json::UInt>(choice.rgb & 0xFFFFFF);
    v["Wheel"] = choice.wheel;
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    std::string error;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "    ";
    if (!platform::write_file_atomically(file, Json::writeString(writer, v) + "\n", &error)) {
        platform::debug_printf("light sync: %s not written (%s)\n", file.string().c_str(),
                               error.c_str());
        return false;
    }
    return true;
}

GameFlash game_flash(GameEvent event, long long argument, std::uint32_t rgb) {
    std::uint32_t own = 0xFFFFFF;
    int flashes = 1;
    switch (event) {
        case GameEvent::Start:
            own = 0x0060FF;
            flashes = 2;
            break;
        case GameEvent::End:
            own = 0xFFFFFF;
            break;
        case GameEvent::Kill:
            own = 0x00FF00;
            flashes = static_cast<int>(std::clamp<long long>(argument, 1, 5));
            break;
        case GameEvent::Death:
            own = 0xFF0000;
            flashes = 3;
            break;
    }
    const std::uint32_t c = (rgb & 0xFFFFFF) != 0 ? rgb & 0xFFFFFF : own;
    return {pack_sync_colour(static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                             static_cast<std::uint8_t>(c), 255),
            flashes};
}

void SyncEffectSteps::set_effect(int effect, int speed, std::uint32_t rgb, bool use_wheel) {
    // An unknown effect shows nothing rather than something unasked for.
    if (effect < 0 || effect >= SyncEffects)
        effect = static_cast<int>(SyncEffect::Off);
    if (effect != effect_) {
        phase_ = 0;
        flash_on_ = true;
        flash_steps_ = 0;
    }
    effect_ = effect;
    speed_ = std::clamp(speed, 0, SyncSpeeds - 1);
    rgb_ = rgb & 0xFFFFFF;
    use_wheel_ = use_wheel;
}

std::uint32_t SyncEffectSteps::step() {
    switch (static_cast<SyncEffect>(effect_)) {
        case SyncEffect::Breathing: {
            const Rgb colour = use_wheel_ ? wheel_colour(wheel_) : split(rgb_);
            const std::uint8_t brightness = breath_brightness(phase_);
            phase_ = (phase_ + 1) % kBreathSteps;
            if (use_wheel_)
                wheel_ = (wheel_ + 1) % kWheelEntries;
            return pack(colour, brightness);
        }
        case SyncEffect::Steady:
            return pack(split(rgb_), 255);
        case SyncEffect::Flashing: {
            const std::uint32_t value =
                flash_on_ ? pack(use_wheel_ ? wheel_colour(wheel_) : split(rgb_), 255) : 0;
            if (++flash_steps_ >= kFlashStepsPerToggle) {
                flash_steps_ = 0;
                flash_on_ = !flash_on_;
                if (use_wheel_)
                    wheel_ = (wheel_ + kFlashWheelMove) % kWheelEntries;
            }
            return value;
        }
        case SyncEffect::Wheel: {
            const Rgb colour = wheel_colour(wheel_);
            wheel_ = (wheel_ + 1) % kWheelEntries;
            return pack(colour, 255);
        }
        case SyncEffect::Off:
        default:
            return 0;
    }
}

LightSyncThread::LightSyncThread() = default;

LightSyncThread::~LightSyncThread() {
    stop();
}

void LightSyncThread::add_target(const std::shared_ptr<LightSyncTarget>& target) {
    {
        std::lock_guard lock(mutex_);
        std::erase_if(targets_, [](const auto& t) { return t.expired(); });
        targets_.push_back(target);
    }
    changed();
}

SyncChoice LightSyncThread::choice() const {
    std::lock_guard lock(mutex_);
    return {effect_.effect(), effect_.speed(), effect_.rgb(), effect_.use_wheel()};
}

void LightSyncThread::set_effect(int effect, int speed, std::uint32_t rgb, bool use_wheel) {
    {
        std::lock_guard lock(mutex_);
        effect_.set_effect(effect, speed, rgb, use_wheel);
    }
    changed();  // a new speed changes the due time of the next step
}

void LightSyncThread::changed() {
    worker_.stop_event().wake();
}

bool LightSyncThread::start() {
    return worker_.start([this](platform::StopEvent& stop) { run(stop); });
}

platform::StopOutcome LightSyncThread::stop(std::chrono::milliseconds bounded) {
    return worker_.stop(bounded);
}

void LightSyncThread::request_stop() {
    worker_.stop_event().set();
}

bool LightSyncThread::running() const {
    return worker_.running();
}

bool LightSyncThread::active() const {
    std::lock_guard lock(mutex_);
    return active_locked();
}

bool LightSyncThread::active_locked() const {
    for (const auto& weak : targets_) {
        if (const auto t = weak.lock(); t && t->linked.load() && t->sync.load())
            return true;
    }
    return false;
}

void LightSyncThread::run(platform::StopEvent& stop) {
    using Clock = platform::StopEvent::Clock;
    using Wait = platform::StopEvent::WaitResult;
    auto last_step = Clock::now();
    for (;;) {
        // Read before looking at the targets, so a changed() in between ends the wait below.
        const auto seen = stop.wakes();
        bool is_active = false;
        int threshold = 0;
        {
            std::lock_guard lock(mutex_);
            is_active = active_locked();
            threshold = light_sync_threshold(effect_.effect(), effect_.speed());
        }
        if (!is_active) {
            idle_waits_.fetch_add(1);
            // Every change of a target's flags calls changed(): nothing to look at until then.
            if (stop.wait(seen) == Wait::Set)
                break;
            last_step = Clock::now();
            continue;
        }
        const auto due = last_step + std::max(threshold, 1) * kTick;
        const auto woke = stop.wait_until(due, seen);
        if (woke == Wait::Set)
            break;
        if (woke == Wait::Woken)
            continue;
        std::vector<std::shared_ptr<LightSyncTarget>> live;
        std::uint32_t colour = 0;
        {
            std::lock_guard lock(mutex_);
            colour = effect_.step();
            for (const auto& weak : targets_) {
                if (auto t = weak.lock())
                    live.push_back(std::move(t));
            }
        }
        for (const auto& t : live) {
            t->colour.store(colour);
            t->pushes.fetch_add(1);
        }
        steps_.fetch_add(1);
        if (on_step_)
            on_step_();
        // Keep the rate, but do not race to catch up after a stall (a suspended machine).
        const auto now = Clock::now();
        last_step = now - due > std::chrono::milliseconds(100) ? now : due;
    }
    platform::debug_output("同步灯光线程设定退出");
}

}  // namespace velqa::app
