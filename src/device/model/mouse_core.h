// The mouse page's device sequences over a command channel and the page's profile: loading the
// mouse's state, reading and writing the settings record, the power poll. No widgets: the page
// calls these on its window thread and shows what they return.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "device/link/codecs.h"
#include "device/link/command_channel.h"
#include "device/model/mouse_settings.h"
#include "device/model/settings_change.h"
#include "profile/profile_data.h"

namespace velqa::model {

// What a load from the device tells the page to do.
struct LoadOutcome {
    int result = 0;  // result code of the first failure, else 1
    // MsgDeviceUnlinked or MsgDeviceLinked once the information block has been read.
    std::optional<unsigned> link_message;
    // Set when the load succeeded: send MsgSensor with it, set the sliders to `range`.
    std::optional<std::uint16_t> sensor_id;
    DpiRange range;  // the narrowest range of the sensor table until the sensor is known
    bool sensor_picture = false;  // sensor 0x3950: "ms_device_name" shows the mouse picture
};

// The device-side state of one mouse page. Not thread-safe: it lives on the page's window
// thread; the notification workers hand their decoded actions to that thread.
class MouseCore {
  public:
    // `profile` must outlive the core; `sensors` as for set_sensors.
    explicit MouseCore(profile::CMouseProfiledata& profile, profile::SensorTable sensors = {});

    // The sensors the mouse may report (from its device file): they pick the profile's stage
    // set and the DPI range. Without them every sensor is unknown.
    void set_sensors(profile::SensorTable sensors) { sensors_ = std::move(sensors); }
    const profile::SensorTable& sensors() const { return sensors_; }

    // The lighting effect list (device code per selection index, see effect_codes()).
    void set_effect_list(std::vector<std::uint8_t> codes) { effects_ = std::move(codes); }
    const std::vector<std::uint8_t>& effect_list() const { return effects_; }

    // Presence (receiver path), begin, device information, key table and its bank (the bank
    // goes to the profile's key slot table), end; the end command follows a failed read too.
    // Returns 0 without I/O when the link is not open, and 0 when the mouse is absent.
    LoadOutcome load_from_device(link::CommandChannel& channel, int bank);

    // Reads the active slot's settings record, decodes it and mirrors it into the profile,
    // which is then saved. Returns 1, or 0 on any failure; when nothing was read (link not
    // open, mouse absent, a command failed) neither the decoded state nor the profile change.
    // With Mirror::No only the decoded state follows the mouse.
    int read_settings(link::CommandChannel& channel, Mirror mirror = Mirror::IntoProfile);

    // Builds the record from the last one read and the profile (byte 0 = slot_byte) and writes
    // it at slot x 96 with begin, write and end. Returns 1, or the first failure's result code
    // (0 when the link is not open or the mouse is absent), which also goes to the debug
    // output; a slot outside 0-255 gives -202 without I/O, and 0 without I/O before any
    // record was read.
    int write_settings(link::CommandChannel& channel, int slot, std::uint8_t slot_byte);

    // The one way in for a settings change (see settings_change.h): the value is held within
    // the limits table (the sensor's DPI range, the option's values), stored in the profile, and
    // the profile saved while the mouse takes the record built from it (slot 0) -- both are done
    // when it returns. Pointer settings and key assignments are saved only; an applied profile is
    // written only. Nothing is changed for a change that names nothing the mouse has.
    // `stored`, when given, runs once the profile holds the change and before the save and the
    // write (the page's preview shows it while the mouse takes the record).
    ApplyResult apply(link::CommandChannel& channel, const MouseChange& change,
                      const std::function<void()>& stored = {});

    // A notification's slot and stage change of the decoded state; true when the page must be
    // refreshed.
    bool apply(const NotificationAction& action) { return apply_notification(action, state_); }

    const link::DeviceInfo& info() const { return info_; }
    std::uint16_t sensor_id() const { return info_.sensor_id; }
    profile::Sensor sensor() const { return sensors_.sensor(info_.sensor_id); }
    DpiRange range() const { return sensor().dpi; }
    // Bytes 0-511: the key table; 512-1023: the bank.
    const std::array<std::uint8_t, 1024>& key_tables() const { return key_tables_; }
    const link::MouseSettingsRecord& last_record() const { return last_record_; }
    bool has_record() const { return has_record_; }
    const MouseDeviceState& state() const { return state_; }
    const MouseDeviceState& previous_state() const { return previous_; }
    profile::CMouseProfiledata& profile() { return profile_; }

  private:
    enum class Commit { Refused, Unchanged, SaveOnly, WriteOnly, SaveAndWrite };
    Commit store(const MouseChange& change, ApplyResult& result);
    // Saves the profile and writes the record as write_settings does; the file is written and
    // synced while the mouse takes the record, since most of a write is the mouse's own waits.
    void save_and_write(link::CommandChannel& channel, ApplyResult& result);
    link::MouseSettingsRecord record_for(std::uint8_t slot_byte);
    int write_record(link::CommandChannel& channel, int slot,
                     const link::MouseSettingsRecord& record);

    profile::CMouseProfiledata& profile_;
    profile::SensorTable sensors_;
    std::vector<std::uint8_t> effects_;
    link::DeviceInfo info_;
    std::array<std::uint8_t, 1024> key_tables_{};
    link::MouseSettingsRecord last_record_;
    bool has_record_ = false;
    MouseDeviceState state_;
    MouseDeviceState previous_;
};

// Points `profile` at the mouse's profile `file` (the factory copy in `default_data`/mouse.Json)
// and loads its section, and gives `core` the lighting effect list of
// `default_data`/default_light.json: what the mouse page and the command line do before they
// read the mouse.
void attach_mouse_profile(profile::CMouseProfiledata& profile, MouseCore& core,
                          const std::filesystem::path& file,
                          const std::filesystem::path& default_data);

// True when the link is open, the receiver path is selected and the mouse answers through the
// receiver.
bool receiver_link_ok(link::CommandChannel& channel);

// The key slot table read from the mouse into the profile's key list: key i takes the code the
// mouse holds at slot i (i below `key_count`), so the Buttons page shows the mouse's buttons.
// Macro codes stay as the profile has them: the mouse holds a macro's place in its image, the
// profile the macro itself. True when the list changed (it is then written into the section).
bool merge_device_keys(profile::CBasicProfiledata& profile, int key_count);

// Loads the custom effect list ("tavix_light.config" in the profile folder) into the profile's
// light document; returns how many effects it names for this device. A file that is no JSON
// object is refused (named in the debug output) and the list is empty; a missing one is empty.
std::size_t load_custom_effects(profile::CBasicProfiledata& profile,
                                const std::filesystem::path& file);
// The light record that shows custom effect `entry` whose steps are `steps`: the first step's
// mode, brightness, speed, direction, multi-colour and colour, with the custom group set to
// entry + 1. Nothing for an effect without steps.
std::optional<profile::LightInfo> custom_effect_record(
    const profile::LightInfo& current, const std::vector<profile::LedEffectStep>& steps, int entry);

// The power poll: nothing (0) unless the device is power-capable and the poll is not
// suppressed; otherwise 6 bytes of memory at address 0 (presence first on the receiver path),
// byte 3 marked with the path. Returns 1 with *out filled, or the failure's result code.
int poll_power(link::CommandChannel& channel, bool power_capable, bool suppressed,
               PowerUpdate& out);

}  // namespace velqa::model
