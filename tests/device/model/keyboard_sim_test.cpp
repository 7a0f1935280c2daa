// The keyboard core against the in-process simulated keyboard: load, read and write of the
// record, the per-key colours both ways, the stream frame, and the lighting writes stopping on a
// closed link, a sleeping window and five failures in a row.
#include <gtest/gtest.h>

#include <algorithm>

#include "device/model/keyboard_core.h"
#include "device/model/keyboard_light.h"
#include "device/model/notification_worker.h"
#include "in_process_sim.h"
#include "profile/profile_files.h"
#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::model {
namespace {

using sim::Fault;
using sim::InProcessSim;
using sim::Link;

constexpr int Keys = 104;

sim::FirmwareOptions keyboard_options() {
    sim::FirmwareOptions o;
    o.device = sim::SimDevice::Keyboard;
    o.keys = Keys;
    return o;
}

sim::NodeIdentity test_identity() {
    link::KeyboardIds ids;
    ids.vendor_id = 0x3151;
    ids.product_id = 0x4011;
    ids.receiver_product_id = 0x4012;
    return sim::keyboard_identity(ids);
}

class KeyboardSim : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.started());
        ASSERT_TRUE(sim_.open(channel_, Link::Cable));
        ASSERT_TRUE(
            test::eventually([&] { return sim_.nodes().connection_count(Link::Cable, 1) > 0; }));
        attach_keyboard_profile(profile_, dir_ / "keyboard.Json",
                                test::source_dir() / "DefaultData");
        core_.set_led_count(170);
        core_.set_clock([this] { return now_; });
    }
    sim::Firmware& fw() { return sim_.firmware(); }
    std::vector<std::uint8_t> record(std::size_t slot) {
        const auto mem = fw().settings_memory();
        return {mem.begin() + static_cast<long>(slot * 33),
                mem.begin() + static_cast<long>(slot * 33 + 34)};
    }
    void reload() {
        ASSERT_EQ(core_.load_from_device(channel_).result, 1);
        ASSERT_EQ(core_.read_settings(channel_).result, 1);
    }

    test::TempDir dir_;
    InProcessSim sim_{dir_.path(), keyboard_options(), 0, test_identity()};
    link::CommandChannel channel_{sim_.backend()};
    profile::CKeyboardProfiledata profile_;
    KeyboardCore core_{profile_};
    std::uint64_t now_ = 1000;
};

TEST_F(KeyboardSim, LoadReadsBothKeyTablesAndTheRecordGoesToTheProfile) {
    reload();
    EXPECT_EQ(core_.key_count(), Keys);
    const auto table = fw().key_table();
    EXPECT_TRUE(std::equal(table.begin(), table.end(), core_.key_tables().begin()));
    const auto thirds = fw().key_table_thirds();
    EXPECT_TRUE(
        std::equal(thirds.begin(), thirds.end(), core_.key_tables().begin() + KeyTablesSecondAt));
    EXPECT_FALSE(fw().config_open());

    const Json::Value saved = profile::read_json(dir_ / "keyboard.Json")["Device"][0];
    EXPECT_EQ(saved["SystemStages"]["Repeat"].asInt(), 3);
    EXPECT_EQ(saved["SystemStages"]["PollingRate"].asInt(), 3);
    // The delay is kept in step too, so that a later write does not undo it.
    EXPECT_EQ(saved["SystemStages"]["RepeatDelay"].asInt(), 2);
    EXPECT_EQ(saved["LightInfo"]["SelectItem"].asInt(), 3);
    EXPECT_EQ(saved["LightInfo"]["Speed"].asInt(), 2);
}

TEST_F(KeyboardSim, AKeyCountAbove170EndsTheLoadAndTheConfigurationIsClosed) {
    test::TempDir dir;
    sim::FirmwareOptions o = keyboard_options();
    o.keys = 171;
    InProcessSim big(dir.path(), o, 0, test_identity());
    link::CommandChannel channel(big.backend());
    ASSERT_TRUE(big.open(channel, Link::Cable));
    EXPECT_EQ(core_.load_from_device(channel).result, 0);
    EXPECT_FALSE(big.firmware().config_open());
    EXPECT_EQ(big.firmware().command_count(0x07), 0u);
}

TEST_F(KeyboardSim, AWriteChangesTheProfileFieldsAndKeepsEveryOtherByte) {
    fw().set_slot(2);
    reload();
    const auto before = record(2);
    auto sys = profile_.read_keyboard_settings();
    sys.repeat = 7;
    sys.repeat_delay = 1;
    sys.six_key_flag = 1;
    sys.polling_rate = 4;
    profile_.write_keyboard_settings(sys);
    auto light = profile_.light_info();
    light.mode = StreamModeWave;
    light.speed = 4;
    profile_.write_light_info(light);
    ASSERT_EQ(core_.write_settings(channel_, 2, 2), 1);

    auto expected = before;
    expected[1] = StreamModeCode;
    expected[3] = 0;
    expected[19] = 1;
    expected[20] = 7;
    expected[21] = 4;
    expected[22] = 1;
    EXPECT_EQ(record(2), expected);
    EXPECT_EQ(record(2)[30], 0xA5);  // the firmware's own byte
    EXPECT_FALSE(fw().config_open());

    // Read back, 254 keeps the streamed mode the page had.
    ASSERT_EQ(core_.read_settings(channel_).result, 1);
    EXPECT_EQ(core_.state().light_selection, StreamModeWave);

    // A hand-edited profile's values reach the keyboard within the page's options.
    sys.repeat = 999;
    sys.repeat_delay = 40;
    sys.six_key_flag = 9;
    sys.polling_rate = 200;
    profile_.write_keyboard_settings(sys);
    ASSERT_EQ(core_.write_settings(channel_, 2, 2), 1);
    EXPECT_EQ(record(2)[19], 1);
    EXPECT_EQ(record(2)[20], 31);
    EXPECT_EQ(record(2)[21], 5);
    EXPECT_EQ(record(2)[22], 3);
}

TEST_F(KeyboardSim, NothingIsWrittenBeforeARead) {
    ASSERT_EQ(core_.load_from_device(channel_).result, 1);
    EXPECT_EQ(core_.write_settings(channel_, 0, 0), 0);
    EXPECT_EQ(fw().command_count(0x06), 0u);
}

TEST_F(KeyboardSim, AKeyAssignmentIsSavedWithoutARecordWriteAndAnUnlistedKeyIsRefused) {
    reload();
    profile_.write_key_list(std::vector<profile::KeyAssignment>(3));
    ASSERT_TRUE(profile_.save());
    const auto writes = fw().command_count(0x06);
    const profile::KeyCode code{2, 4, 0};
    const ApplyResult r = core_.apply(channel_, keyboard::KeyAssignment{1, code});
    EXPECT_TRUE(r.ok());
    EXPECT_FALSE(r.written);
    EXPECT_EQ(fw().command_count(0x06), writes);
    profile::CKeyboardProfiledata saved;
    attach_keyboard_profile(saved, dir_ / "keyboard.Json", test::source_dir() / "DefaultData");
    EXPECT_EQ(saved.read_key_list().at(1).current, code);

    const auto file = profile::read_json(dir_ / "keyboard.Json");
    EXPECT_EQ(core_.apply(channel_, keyboard::KeyAssignment{3, code}).failed,
              ApplyResult::Step::Refused);
    EXPECT_EQ(core_.apply(channel_, keyboard::KeyAssignment{-1, code}).failed,
              ApplyResult::Step::Refused);
    EXPECT_EQ(profile::read_json(dir_ / "keyboard.Json"), file);
}

TEST_F(KeyboardSim, CustomColoursComeFromTheDeviceAndGoBackByteForByte) {
    fw().change_setting(1, CustomColourMode);
    reload();
    const auto memory = fw().indexed_memory();
    // The device's gradient reached the LEDs and the profile.
    EXPECT_EQ(core_.led_colours()[5], (Rgb{memory[15], memory[16], memory[17]}));
    EXPECT_EQ(profile_.read_key_colours(0, 170)[5].red, memory[15]);

    core_.led_colours()[0] = Rgb{1, 2, 3};
    core_.led_colours()[103] = Rgb{4, 5, 6};
    core_.led_colours()[150] = Rgb{7, 8, 9};  // beyond the 104 keys: not sent
    ASSERT_EQ(core_.write_custom_colours(channel_, true), 1);
    const auto after = fw().indexed_memory();
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin(), after.begin() + 3),
              (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + 309, after.begin() + 312),
              (std::vector<std::uint8_t>{4, 5, 6}));
    EXPECT_EQ(after[312], 0);  // group 0 ends at 3 x K
}

TEST_F(KeyboardSim, TheStreamSendsTheScaledFrameInStreamedModesOnly) {
    reload();
    LedFrame frame(170);
    frame[0] = LedEntry{255, 0, 128, 255};
    frame[103] = LedEntry{100, 200, 50, 128};
    EXPECT_EQ(core_.stream(channel_, frame, KbStatic, true), 0);
    EXPECT_EQ(fw().command_count(0x12), 0u);
    ASSERT_EQ(core_.stream(channel_, frame, StreamModeAudio, true), 1);
    const auto sent = fw().lighting_memory();
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin(), sent.begin() + 3),
              (std::vector<std::uint8_t>{254, 0, 127}));
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin() + 309, sent.begin() + 312),
              (std::vector<std::uint8_t>{50, 100, 25}));
}

TEST_F(KeyboardSim, LightingWritesStopWhileClosedAsleepAndAfterFiveFailuresUntilReload) {
    reload();
    fw().change_setting(1, CustomColourMode);
    LedFrame frame(170);
    const auto streams = [&] { return fw().command_count(0x12); };

    EXPECT_EQ(core_.stream(channel_, frame, StreamModeWave, false), 0);  // window asleep
    EXPECT_EQ(streams(), 0u);

    // Every chunk of the next streams fails: five in a row, each after the pause.
    fw().inject_fault(Fault::StatusFF, 1000);
    for (int i = 0; i < LightingGate::MaxFailures; ++i) {
        EXPECT_EQ(core_.stream(channel_, frame, StreamModeWave, true), -102) << i;
        const auto sent = streams();
        // Within the pause nothing goes out.
        EXPECT_EQ(core_.stream(channel_, frame, StreamModeWave, true), 0);
        EXPECT_EQ(streams(), sent);
        now_ += LightingGate::PauseMs;
    }
    EXPECT_TRUE(core_.stream_gate().stopped());
    fw().clear_faults();
    const auto stopped_at = streams();
    now_ += 60000;
    EXPECT_EQ(core_.stream(channel_, frame, StreamModeWave, true), 0);
    EXPECT_EQ(streams(), stopped_at);
    // The colour writes have their own count.
    EXPECT_EQ(core_.write_custom_colours(channel_, true), 1);

    // The next reload starts again.
    reload();
    EXPECT_EQ(core_.stream(channel_, frame, StreamModeWave, true), 1);

    channel_.close_link();
    const auto before_close = fw().command_count(0x0B);
    EXPECT_EQ(core_.write_custom_colours(channel_, true), 0);
    EXPECT_EQ(core_.stream(channel_, frame, StreamModeWave, true), 0);
    EXPECT_EQ(fw().command_count(0x0B), before_close);
    EXPECT_EQ(core_.stream_gate().failures(), 0);  // closed is no failure
}

TEST_F(KeyboardSim, NothingReadMeansTheProfileStaysAsItWas) {
    reload();
    const auto saved = profile::read_json(dir_ / "keyboard.Json");
    fw().inject_fault(Fault::StatusFF, 1);
    EXPECT_EQ(core_.read_settings(channel_).result, 0);
    EXPECT_EQ(profile::read_json(dir_ / "keyboard.Json"), saved);
}

// The threads: frames streamed from the light thread in a streamed mode, and key presses read
// by the wired notification worker.
TEST_F(KeyboardSim, TheLightThreadStreamsItsFramesAndEndsWithItsText) {
    reload();
    test::DebugLines debug;
    test::Mailbox<int> streamed;
    KeyboardLightThread light(channel_, [&](const LedFrame& frame, int mode) {
        streamed.push(core_.stream(channel_, frame, mode, true));
    });
    light.set_led_count(170);
    LightingState state;
    state.mode = StreamModeWave;
    state.brightness = 4;
    state.speed = 4;
    light.set_lighting(state);
    ASSERT_TRUE(light.start());
    ASSERT_TRUE(streamed.wait(
        [](const std::vector<int>& r) { return std::count(r.begin(), r.end(), 1) >= 3; }));
    light.stop();
    EXPECT_EQ(debug.count("KB灯光线程设定退出"), 1u);
    EXPECT_GE(fw().command_count(0x12), 3u);
}

TEST_F(KeyboardSim, KeyPressesReachTheHandlerAsReactiveEvents) {
    link::CommandChannel holder(sim_.backend());
    test::Mailbox<NotificationEvent> events;
    MouseNotifications::Kinds kinds;
    kinds.wired_type = 1;
    kinds.receiver_type = 9;
    kinds.decode = decode_keyboard_notification;
    MouseNotifications notifications(
        holder, channel_, [&](const NotificationEvent& e) { events.push(e); }, kinds);
    const auto path = sim_.interface_path(Link::Cable, 3);
    ASSERT_TRUE(path);
    ASSERT_TRUE(notifications.open_notification(*path, 1));
    EXPECT_FALSE(notifications.open_notification(*path, 2));  // a mouse type: not this page's
    ASSERT_TRUE(
        test::eventually([&] { return sim_.nodes().connection_count(Link::Cable, 1) > 1; }));
    ASSERT_TRUE(fw().press_key(33, 2));
    ASSERT_TRUE(events.wait_count(1));
    const NotificationEvent e = events.items().front();
    EXPECT_EQ(e.code, 0x621);
    EXPECT_EQ(e.action.kind, NotificationAction::Kind::Reactive);
    EXPECT_EQ(e.action.key, 33);
    EXPECT_EQ(e.action.reactive_kind, 2);
    notifications.close_notification(1);
    EXPECT_FALSE(notifications.worker_running(1));
}

}  // namespace
}  // namespace velqa::model
