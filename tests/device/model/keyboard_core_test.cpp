// The keyboard's pure logic: the settings record byte by byte, the LED-to-key map with the
// per-key colour table, the stream frame, the notification events and the lighting gate.
#include <gtest/gtest.h>

#include <map>

#include "device/model/keyboard_core.h"
#include "device/model/keyboard_light.h"

namespace velqa::model {
namespace {

KeyboardSettingsRecord filled(std::uint8_t value) {
    KeyboardSettingsRecord r;
    r.bytes.fill(value);
    return r;
}

TEST(KeyboardRecord, EveryFieldLandsOnItsByteAndTheRestIsKept) {
    KeyboardSettingsValues v;
    v.slot_byte = 2;
    v.light_selection = 7;
    v.light = 3;
    v.speed = 1;
    v.fx = 1;
    v.multi_color = 1;
    v.red = 10;
    v.green = 20;
    v.blue = 30;
    v.second_mode = 4;
    v.six_key = 1;
    v.repeat = 5;
    v.polling_rate = 3;
    v.repeat_delay = 2;
    v.custom_group = 6;
    const KeyboardSettingsRecord r = encode_keyboard_settings(v, filled(0xEE), {});
    const std::map<std::size_t, std::uint8_t> expected = {
        {0, 2},  {1, 7},  {2, 3},  {3, 3},  {4, 1},  {5, 1},  {6, 10}, {7, 20},
        {8, 30}, {16, 0}, {18, 4}, {19, 1}, {20, 5}, {21, 3}, {22, 2}, {25, 6}};
    for (std::size_t i = 0; i < r.bytes.size(); ++i) {
        const auto it = expected.find(i);
        EXPECT_EQ(r.bytes[i], it != expected.end() ? it->second : 0xEE) << "byte " << i;
    }
}

TEST(KeyboardRecord, ModeCodesGoThroughTheListAndTheStreamedModesBecome254) {
    const std::vector<std::uint8_t> list = {0, 9, 29};
    EXPECT_EQ(keyboard_mode_code(1, list), 9);
    EXPECT_EQ(keyboard_mode_code(2, list), StreamModeCode);  // the code 29, not the mode
    EXPECT_EQ(keyboard_mode_code(5, list), 5);               // beyond the list: the mode itself
    EXPECT_EQ(keyboard_mode_code(29, {}), StreamModeCode);
    EXPECT_EQ(keyboard_mode_code(30, {}), StreamModeCode);
    EXPECT_EQ(keyboard_mode_code(20, {}), 20);
}

TEST(KeyboardRecord, ASpeedOutsideItsLevelsKeepsTheByteRead) {
    KeyboardSettingsValues v;
    v.speed = 9;
    EXPECT_EQ(encode_keyboard_settings(v, filled(0x02), {}).bytes[3], 0x02);
    v.speed = 0;
    EXPECT_EQ(encode_keyboard_settings(v, filled(0x02), {}).bytes[3], 4);
}

TEST(KeyboardRecord, DecodeInvertsEncodeAnd254KeepsTheCurrentMode) {
    KeyboardSettingsRecord r = filled(0);
    r.bytes = {1, 12, 4, 1, 1, 0, 200, 100, 50};
    r.bytes[19] = 1;
    r.bytes[20] = 6;
    r.bytes[21] = 2;
    r.bytes[22] = 3;
    r.bytes[25] = 5;
    KeyboardSettingsDecoded d = decode_keyboard_settings(r, {}, 3);
    EXPECT_EQ(d.active_slot, 1);
    EXPECT_EQ(d.light_selection, 12);
    EXPECT_EQ(d.speed, 3);
    EXPECT_EQ(d.fx, 1);
    EXPECT_EQ(d.red, 200);
    EXPECT_EQ(d.blue, 50);
    EXPECT_EQ(d.six_key, 1);
    EXPECT_EQ(d.repeat, 6);
    EXPECT_EQ(d.polling_rate, 2);
    EXPECT_EQ(d.repeat_delay, 3);
    EXPECT_EQ(d.custom_group, 5);

    r.bytes[1] = StreamModeCode;
    EXPECT_EQ(decode_keyboard_settings(r, {}, 30).light_selection, 30);
    // A code found in the list decodes to its index.
    r.bytes[1] = 9;
    const std::vector<std::uint8_t> list = {0, 9};
    EXPECT_EQ(decode_keyboard_settings(r, list, 0).light_selection, 1);
    // A speed byte above 4 is the slowest speed, never a negative one.
    r.bytes[3] = 200;
    EXPECT_EQ(decode_keyboard_settings(r, {}, 0).speed, 0);
}

TEST(KeyboardColours, OnlyMappedLedsWithinTheKeysReachTheTable) {
    LedKeyMap map = {2, NoKeyPosition, 0, 171, 3};
    const std::vector<Rgb> colours = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 14, 15}};
    // Four keys: LED 0 is key 2, LED 2 key 0; LED 1 has none, LED 3 a position beyond 170 and
    // LED 4 the last key.
    const auto bytes = key_colour_bytes(colours, map, 4);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{7, 8, 9, 0, 0, 0, 1, 2, 3, 13, 14, 15}));

    std::vector<Rgb> back(5, Rgb{99, 99, 99});
    apply_key_colour_bytes(bytes, map, back);
    EXPECT_EQ(back[0], (Rgb{1, 2, 3}));
    EXPECT_EQ(back[1], (Rgb{99, 99, 99}));  // unmapped LEDs keep their colour
    EXPECT_EQ(back[3], (Rgb{99, 99, 99}));
    EXPECT_EQ(back[4], (Rgb{13, 14, 15}));
    // A position past the keys of a short table is left alone, not read beyond it.
    std::vector<Rgb> few(5);
    apply_key_colour_bytes(std::vector<std::uint8_t>{1, 1, 1}, map, few);
    EXPECT_EQ(few[2], (Rgb{1, 1, 1}));
    EXPECT_EQ(few[0], Rgb{});
}

TEST(KeyboardColours, IdentityMapStopsAtPosition170) {
    const LedKeyMap map = identity_led_map(200);
    EXPECT_EQ(map[170], 170);
    EXPECT_EQ(map[171], NoKeyPosition);
}

TEST(KeyboardStream, FrameBytesAreColourTimesBrightnessHighByteAtThreeTimesThePosition) {
    LedFrame frame(3);
    frame[0] = LedEntry{255, 128, 0, 255};
    frame[1] = LedEntry{200, 100, 50, 128};
    frame[2] = LedEntry{255, 255, 255, 0};
    const LedKeyMap map = {1, 0, 2};
    EXPECT_EQ(stream_frame(frame, map, 3),
              (std::vector<std::uint8_t>{100, 50, 25, 254, 127, 0, 0, 0, 0}));
}

TEST(KeyboardNotifications, RangesAndSlotUpdates) {
    using Kind = NotificationAction::Kind;
    EXPECT_EQ(decode_keyboard_notification(0x401, true, true).kind, Kind::ReloadSettings);
    EXPECT_EQ(decode_keyboard_notification(0x402, false, false).kind, Kind::ReloadSettings);

    const auto press = decode_keyboard_notification(0x512, true, true);
    EXPECT_EQ(press.kind, Kind::Reactive);
    EXPECT_EQ(press.key, 0x12);
    EXPECT_EQ(press.reactive_kind, 1);
    const auto ripple = decode_keyboard_notification(0x6FF, true, false);
    EXPECT_EQ(ripple.kind, Kind::Reactive);
    EXPECT_EQ(ripple.key, 0xFF);
    EXPECT_EQ(ripple.reactive_kind, 2);
    // The receiver reports no key presses.
    EXPECT_EQ(decode_keyboard_notification(0x512, false, true).kind, Kind::None);

    const auto slot = decode_keyboard_notification(0x1123, true, true);
    EXPECT_EQ(slot.kind, Kind::SetSlot);
    EXPECT_EQ(slot.slot, 3);
    EXPECT_EQ(slot.stage, 2);
    EXPECT_EQ(decode_keyboard_notification(0x1023, false, true).stage, -1);
    EXPECT_EQ(decode_keyboard_notification(0x1023, true, false).kind, Kind::None);
    EXPECT_EQ(decode_keyboard_notification(0x1223, true, true).kind, Kind::None);
    EXPECT_EQ(decode_keyboard_notification(0x403, true, true).kind, Kind::None);
}

TEST(KeyboardGate, PausesAfterAFailureAndStopsAfterFiveInARowUntilReset) {
    LightingGate gate;
    EXPECT_FALSE(gate.may_send(false, true, 0));  // link closed
    EXPECT_FALSE(gate.may_send(true, false, 0));  // window asleep
    EXPECT_TRUE(gate.may_send(true, true, 0));

    gate.record(-102, 1000);
    EXPECT_FALSE(gate.may_send(true, true, 1199));
    EXPECT_TRUE(gate.may_send(true, true, 1200));
    // A success in between starts the count again.
    gate.record(1, 1200);
    std::uint64_t now = 2000;
    for (int i = 0; i < LightingGate::MaxFailures - 1; ++i) {
        gate.record(0, now);
        now += LightingGate::PauseMs;
        EXPECT_TRUE(gate.may_send(true, true, now)) << i;
    }
    gate.record(0, now);
    EXPECT_TRUE(gate.stopped());
    EXPECT_FALSE(gate.may_send(true, true, now + 100000));
    gate.reset();
    EXPECT_TRUE(gate.may_send(true, true, now));
}

// ---- Frames ----

LightingState lit(int mode, Rgb c = {200, 100, 0}) {
    LightingState s;
    s.mode = static_cast<std::uint8_t>(mode);
    s.brightness = 4;
    s.speed = 2;
    s.direction = 1;
    s.red = c.red;
    s.green = c.green;
    s.blue = c.blue;
    return s;
}

struct Frames {
    KeyboardAnimation anim;
    ReactiveBuffer reactive;
    LedFrame frame{8};
    void render(const LightingState& s, std::vector<Rgb> custom = {}, std::uint8_t level = 0,
                std::uint64_t now = 0) {
        render_keyboard_frame(s, anim, reactive, frame, custom, level, now);
    }
};

TEST(KeyboardFrames, StaticCustomSplitAndOffAreFixedFrames) {
    Frames f;
    f.render(lit(KbStatic));
    EXPECT_EQ(f.frame[5], (LedEntry{200, 100, 0, 255}));
    f.render(lit(KbCustom), {{1, 2, 3}, {4, 5, 6}});
    EXPECT_EQ(f.frame[1], (LedEntry{4, 5, 6, 255}));
    EXPECT_EQ(f.frame[2], (LedEntry{0, 0, 0, 255}));  // no colour for that LED: dark
    f.render(lit(KbSplit));
    EXPECT_EQ(f.frame[0], (LedEntry{200, 100, 0, 255}));
    EXPECT_EQ(f.frame[7], (LedEntry{55, 155, 255, 255}));
    f.render(lit(KbOff));
    for (const auto& e : f.frame.entries())
        EXPECT_EQ(e, LedEntry{});
    for (int mode : {KbStatic, KbCustom, KbSplit, KbGradient, KbOff})
        EXPECT_EQ(keyboard_frame_threshold(mode, 4), 0) << mode;
}

TEST(KeyboardFrames, WaveMovesOneWayAndTheOtherModeTheOther) {
    Frames right;
    Frames left;
    right.render(lit(KbWaveRight));
    left.render(lit(KbWaveLeft));
    // Same colours, mirrored across the keys.
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(right.frame[i], left.frame[7 - i]) << i;
    const LedEntry first = right.frame[0];
    right.render(lit(KbWaveRight));
    EXPECT_NE(right.frame[0], first);
    EXPECT_EQ(keyboard_frame_threshold(KbWaveRight, 0), 8);
    EXPECT_EQ(keyboard_frame_threshold(KbWaveRight, 4), 1);
    EXPECT_EQ(keyboard_frame_threshold(KbWaveRight, 99), 1);  // clamped
}

TEST(KeyboardFrames, AKeyPressLightsItsKeyAndFadesOut) {
    Frames f;
    f.reactive.resize(8);
    const std::vector<std::size_t> key = {3};
    reactive_press(f.reactive, key, 1);
    f.render(lit(KbReactiveKey));
    EXPECT_EQ(f.frame[3].brightness, 255 - ReactiveFade);
    EXPECT_EQ(f.frame[2].brightness, 0);
    for (int i = 0; i < 40; ++i)
        f.render(lit(KbReactiveKey));
    EXPECT_FALSE(f.reactive.lit());
    // Kind 2 splashes onto the neighbours.
    reactive_press(f.reactive, key, 2);
    EXPECT_GT(f.reactive.level[1], 0);
    EXPECT_GT(f.reactive.level[5], 0);
    EXPECT_EQ(f.reactive.level[0], 0);
    reactive_rotate(f.reactive);
    EXPECT_EQ(f.reactive.level[4], 255);
    reactive_clear(f.reactive);
    EXPECT_FALSE(f.reactive.lit());
}

TEST(KeyboardFrames, TheSameStateGivesTheSameFramesOnEveryRun) {
    for (int mode = 1; mode <= 26; ++mode) {
        Frames a;
        Frames b;
        for (int i = 0; i < 5; ++i) {
            a.render(lit(mode), {}, 0, 1000u * i);
            b.render(lit(mode), {}, 0, 1000u * i);
        }
        EXPECT_EQ(a.frame.entries(), b.frame.entries()) << "mode " << mode;
    }
}

TEST(KeyboardFrames, AudioLevelLightsItsShareOfTheKeys) {
    Frames f;
    f.render(lit(KbAudio), {}, 128);
    EXPECT_EQ(f.frame[3].brightness, 255);
    EXPECT_LT(f.frame[4].brightness, 255);
}

}  // namespace
}  // namespace velqa::model
