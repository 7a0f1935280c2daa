// What one settings change names, and what applying it did. Every way in (the device pages'
// controls, `velqactl set`, the key commands, an applied profile) builds one of these and hands
// it to its device core's apply(), which holds the value within the limits table once, stores it
// in the profile, saves, and writes the record.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "device/link/command_channel.h"
#include "platform/desktop/pointer_settings.h"
#include "profile/profile_records.h"

namespace velqa::model {

// The result of apply(): the first step that failed (none on success), the value the profile
// kept and, when that is not the value asked for, the value asked for.
struct ApplyResult {
    enum class Step {
        None,     // every step succeeded, or the change needed none (Unchanged)
        Refused,  // the change names nothing the device has (a stage beyond six, an unknown
                  // sensor, a key the profile does not list): nothing was changed
        Save,     // the profile file was not written (save_error says why)
        Write,    // the device did not take the record (write_code says how)
    };
    Step failed = Step::None;
    // Whether the change had a record write step, and its result code (link::result).
    bool written = false;
    int write_code = link::result::ReadFailed;
    bool unchanged = false;  // the value was already stored: nothing saved or written
    // The keyboard's per-key colours, written with a custom-colour lighting: their write's
    // result, 0 when none were sent.
    int colours_code = 0;
    int stored = 0;
    std::optional<int> clamped_from;
    std::string save_error;
    bool ok() const { return failed == Step::None; }
};

// ---- The mouse ----

enum class PollingField { Usb, Receiver24K };

enum class MouseOption {
    LiftOff,
    LinearCalibration,
    MotionSync,
    SensorLift,
    DeepSleep,
    KeyDelay,
    SleepTime,
    AntiShake
};

namespace mouse {

// Stage `stage` (0-5) takes DPI `dpi`. With keep_same, a value equal to the one stored after
// the hold changes nothing (focus passing through an edit box).
struct StageDpi {
    int stage = 0;
    int dpi = 0;
    bool keep_same = false;
};
struct StageEnabled {
    int stage = 0;
    bool on = false;
};
struct StageColour {
    int stage = 0;
    std::uint8_t red = 0, green = 0, blue = 0;
};
// Stage `stage` becomes the active one; `shown_dpi`, when set, are the DPIs the page's sliders
// show for stages 0-5, stored with it.
struct ActiveStage {
    int stage = 0;
    std::optional<std::array<int, 6>> shown_dpi;
};
struct Polling {
    PollingField field = PollingField::Usb;
    int index = 0;
};
struct Option {
    MouseOption option = MouseOption::LiftOff;
    int value = 0;
};
// The lighting the user chose; a new mode keeps the one it replaces as the previous mode.
struct Lighting {
    profile::LightInfo info;
};
// The music-reactive lighting's mode and colours. Saved only: the page's light thread shows
// it from the profile while a music effect runs.
struct AudioLighting {
    profile::AudioLightInfo info;
};
// A desktop pointer setting the profile carries (value set) or leaves to the desktop (nullopt).
// Saved only: the desktop, not the mouse, takes it.
struct Pointer {
    platform::desktop::PointerSetting which = platform::desktop::PointerSetting::Speed;
    std::optional<int> value;
};
// Button `key` of the profile's key list takes `code`. Saved only: the buttons go to the device
// with the macros they use, by the caller.
struct KeyAssignment {
    int key = 0;
    profile::KeyCode code;
};
// The profile just chosen (attached to the core) goes to the mouse as it is; with `save` it is
// saved too, as the command line leaves it.
struct WholeProfile {
    bool save = false;
};

}  // namespace mouse

using MouseChange =
    std::variant<mouse::StageDpi, mouse::StageEnabled, mouse::StageColour, mouse::ActiveStage,
                 mouse::Polling, mouse::Option, mouse::Lighting, mouse::AudioLighting,
                 mouse::Pointer, mouse::KeyAssignment, mouse::WholeProfile>;

// ---- The keyboard ----

namespace keyboard {

// The keyboard's lighting; a custom-colour mode sends the profile's colour group with it
// (held back unless `awake`).
struct Lighting {
    profile::LightInfo info;
    bool awake = true;
};
// The keyboard's system settings (six-key flag, repeat, polling, repeat delay) as a whole.
struct System {
    profile::KeyboardSystemSettings settings;
};
// Key `key` of the profile's key list takes `code`, as on the mouse: saved only.
using KeyAssignment = mouse::KeyAssignment;
using AudioLighting = mouse::AudioLighting;
struct WholeProfile {};

}  // namespace keyboard

using KeyboardChange = std::variant<keyboard::Lighting, keyboard::System, keyboard::KeyAssignment,
                                    keyboard::AudioLighting, keyboard::WholeProfile>;

}  // namespace velqa::model
