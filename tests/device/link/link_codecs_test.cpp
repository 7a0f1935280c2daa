#include <gtest/gtest.h>

#include <vector>

#include "device/link/codecs.h"

namespace velqa::link {
namespace {

const std::vector<uint8_t> kEffects = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16,
                                       0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C};

TEST(LinkDeviceInfo, DecodesTheInterpretedBytesAndKeepsTheRest) {
    DeviceInfoBlock b;
    for (size_t i = 0; i < b.bytes.size(); ++i)
        b.bytes[i] = static_cast<uint8_t>(0xC0 + i);
    b.bytes[5] = 8;
    b.bytes[6] = 64;
    b.bytes[7] = 1;
    b.bytes[9] = 0x95;
    b.bytes[10] = 0x33;
    const DeviceInfo info = decode_device_info(b);
    EXPECT_EQ(info.key_count, 8);
    EXPECT_EQ(info.macro_units, 64);
    EXPECT_EQ(info.link_flag, 1);
    EXPECT_EQ(info.sensor_id, SensorA);
    EXPECT_EQ(info.raw.bytes, b.bytes);
    EXPECT_EQ(encode_device_info(info, b).bytes, b.bytes);
}

TEST(LinkDeviceInfo, EncodeSensorLittleEndian) {
    DeviceInfo info;
    info.sensor_id = SensorB;
    const DeviceInfoBlock b = encode_device_info(info);
    EXPECT_EQ(b.bytes[9], 0x50);
    EXPECT_EQ(b.bytes[10], 0x39);
}

TEST(LinkPowerStatus, RoundTripAndPathMark) {
    const PowerStatus s{85, 1, 7, 0, 3, 2};
    PowerStatusBlock b = encode_power_status(s);
    EXPECT_EQ(b.bytes, (std::array<uint8_t, 6>{85, 1, 7, 0, 3, 2}));
    mark_power_path(b, true);
    EXPECT_EQ(decode_power_status(b).wireless, 1);
    mark_power_path(b, false);
    EXPECT_EQ(decode_power_status(b).wireless, 0);
    EXPECT_EQ(decode_power_status(b).battery_percent, 85);
    EXPECT_EQ(decode_power_status(b).phone_type, 2);
}

MouseSettingsValues sample_values() {
    MouseSettingsValues v;
    v.light_selection = 3;
    v.light = 200;
    v.speed = 1;
    v.fx = 1;
    v.multi_color = 1;
    v.red = 10;
    v.green = 20;
    v.blue = 30;
    v.report_select_24k = 4;
    v.report_select_usb = 3;
    v.active_stage = 2;
    v.silent_altitude = 1;
    for (size_t i = 0; i < DpiStageCount; ++i) {
        v.stages[i] =
            DpiStageValues{i % 2 == 0 ? 1 : 0,          1, static_cast<int>(400 * (i + 1)),
                           static_cast<int>(26000 - i), 1, 2,
                           static_cast<int>(i)};
    }
    v.deep_sleep_off = 1;
    v.dormancy_time = 4;
    v.key_delay = 3;
    v.motion_sync = 1;
    v.linear_calibration = 1;
    return v;
}

TEST(LinkMouseSettings, EncodeWritesEveryFieldAtItsByte) {
    MouseSettingsRecord last;
    last.bytes.fill(0xEE);
    const auto rec = encode_mouse_settings(sample_values(), last, kEffects).bytes;
    EXPECT_EQ(rec[0], 0);
    EXPECT_EQ(rec[1], 0x13);
    EXPECT_EQ(rec[2], 200);
    EXPECT_EQ(rec[3], 3);  // 4 - speed
    EXPECT_EQ(rec[4], 1);
    EXPECT_EQ(rec[5], 1);
    EXPECT_EQ(rec[6], 10);
    EXPECT_EQ(rec[7], 20);
    EXPECT_EQ(rec[8], 30);
    EXPECT_EQ(rec[9], 0);
    EXPECT_EQ(rec[10], 6);
    EXPECT_EQ(rec[11], 5);
    EXPECT_EQ(rec[12], 2);
    EXPECT_EQ(rec[13], 1);
    // Stage 1: bytes 23-31.
    EXPECT_EQ(rec[23], 0);
    EXPECT_EQ(rec[24], 1);
    EXPECT_EQ(rec[25], 800 & 0xFF);
    EXPECT_EQ(rec[26], 800 >> 8);
    EXPECT_EQ(rec[27], 25999 & 0xFF);
    EXPECT_EQ(rec[28], 25999 >> 8);
    EXPECT_EQ(rec[31], 1);
    EXPECT_EQ(rec[67], 5);  // stage 5 blue
    EXPECT_EQ(rec[68], 600 & 0xFF);
    EXPECT_EQ(rec[69], 600 >> 8);
    EXPECT_EQ(rec[70], 6);
    EXPECT_EQ(rec[71], 1);
    EXPECT_EQ(rec[72], 1);
    EXPECT_EQ(rec[73], 0xEE);  // kept as last read
}

TEST(LinkMouseSettings, RoundTripThroughDecode) {
    MouseSettingsRecord last;
    const auto v = sample_values();
    const auto rec = encode_mouse_settings(v, last, kEffects);
    const auto d = decode_mouse_settings(rec, kEffects);
    const auto back = values_from_decoded(d);
    EXPECT_EQ(back.light_selection, v.light_selection);
    EXPECT_EQ(back.light, v.light);
    EXPECT_EQ(back.speed, v.speed);
    EXPECT_EQ(back.fx, v.fx);
    EXPECT_EQ(back.multi_color, v.multi_color);
    EXPECT_EQ(back.blue, v.blue);
    EXPECT_EQ(back.report_select_24k, v.report_select_24k);
    EXPECT_EQ(back.report_select_usb, v.report_select_usb);
    EXPECT_EQ(back.active_stage, v.active_stage);
    EXPECT_EQ(back.silent_altitude, v.silent_altitude);
    for (size_t i = 0; i < DpiStageCount; ++i) {
        EXPECT_EQ(back.stages[i].active, v.stages[i].active);
        EXPECT_EQ(back.stages[i].xy, v.stages[i].xy);
        EXPECT_EQ(back.stages[i].dpi_x, v.stages[i].dpi_x);
        EXPECT_EQ(back.stages[i].dpi_y, v.stages[i].dpi_y);
        EXPECT_EQ(back.stages[i].red, v.stages[i].red);
        EXPECT_EQ(back.stages[i].blue, v.stages[i].blue);
    }
    EXPECT_EQ(back.deep_sleep_off, 1);
    EXPECT_EQ(back.dormancy_time, v.dormancy_time);
    EXPECT_EQ(back.key_delay, v.key_delay);
    EXPECT_EQ(back.motion_sync, v.motion_sync);
    EXPECT_EQ(back.linear_calibration, v.linear_calibration);
    EXPECT_EQ(encode_mouse_settings(back, rec, kEffects).bytes, rec.bytes);
}

TEST(LinkMouseSettings, EverySleepTimeAndKeyDelayRoundTrips) {
    MouseSettingsRecord last;
    auto v = sample_values();
    for (int t = 1; t <= 6; ++t) {
        v.dormancy_time = t;
        const auto rec = encode_mouse_settings(v, last, kEffects);
        EXPECT_EQ(rec.bytes[68] | (rec.bytes[69] << 8), SleepSeconds[t - 1]);
        EXPECT_EQ(decode_mouse_settings(rec, kEffects, 99).dormancy_time, t);
    }
    for (int k = 0; k <= 5; ++k) {
        v.key_delay = k;
        const auto rec = encode_mouse_settings(v, last, kEffects);
        EXPECT_EQ(rec.bytes[70], KeyDelayCodes[k]);
        EXPECT_EQ(decode_mouse_settings(rec, kEffects).key_delay, k);
    }
}

TEST(LinkMouseSettings, ValuesWithoutEncodingKeepTheByteLastRead) {
    MouseSettingsRecord last;
    last.bytes.fill(0x5A);
    auto v = sample_values();
    v.key_delay = 6;
    v.dormancy_time = 7;
    v.active_stage = 6;
    v.speed = 5;
    auto rec = encode_mouse_settings(v, last, kEffects).bytes;
    EXPECT_EQ(rec[70], 0x5A);
    EXPECT_EQ(rec[68], 0x5A);
    EXPECT_EQ(rec[69], 0x5A);
    EXPECT_EQ(rec[12], 0x5A);
    EXPECT_EQ(rec[3], 0x5A);
    EXPECT_EQ(rec[73], 0x5A);
    v.key_delay = -1;
    v.dormancy_time = 0;
    rec = encode_mouse_settings(v, last, kEffects).bytes;
    EXPECT_EQ(rec[70], 0x5A);
    EXPECT_EQ(rec[68], 0x5A);
}

TEST(LinkMouseSettings, DeepSleepOffWritesZeroSleepRegardlessOfDormancy) {
    MouseSettingsRecord last;
    last.bytes.fill(0x5A);
    auto v = sample_values();
    v.deep_sleep_off = 0;
    for (int t : {0, 3, 9}) {
        v.dormancy_time = t;
        const auto rec = encode_mouse_settings(v, last, kEffects).bytes;
        EXPECT_EQ(rec[68], 0);
        EXPECT_EQ(rec[69], 0);
    }
}

TEST(LinkMouseSettings, LightingSelectionEdges) {
    MouseSettingsRecord last;
    last.bytes.fill(0x5A);
    auto v = sample_values();
    v.light_selection = 11;
    EXPECT_EQ(encode_mouse_settings(v, last, kEffects).bytes[1], 0x1B);
    v.light_selection = 12;  // above 11: the code of index 0
    EXPECT_EQ(encode_mouse_settings(v, last, kEffects).bytes[1], 0x10);
    v.light_selection = 5;  // no list: no code, byte kept
    EXPECT_EQ(encode_mouse_settings(v, last, {}).bytes[1], 0x5A);
}

TEST(LinkMouseSettings, DecodeUnknownCodes) {
    MouseSettingsRecord rec;
    rec.bytes[1] = 0x42;   // not in the effect list: the code is the index
    rec.bytes[68] = 0x2D;  // 45: no known sleep time
    rec.bytes[69] = 0x01;
    rec.bytes[70] = 3;  // no key delay code
    rec.bytes[3] = 4;
    rec.bytes[10] = 2;
    rec.bytes[11] = 0;
    const auto d = decode_mouse_settings(rec, kEffects, 5);
    EXPECT_EQ(d.light_selection, 0x42);
    EXPECT_EQ(d.dormancy_time, 5);
    EXPECT_EQ(d.deep_sleep_on, 1);
    EXPECT_EQ(d.sleep_seconds, 0x12D);
    EXPECT_EQ(d.key_delay, 0);
    EXPECT_EQ(d.speed, 0);
    EXPECT_EQ(d.report_select_24k, 0);
    EXPECT_EQ(d.report_select_usb, -2);
}

TEST(LinkMouseSettings, DecodeSleepByLowByteOnly) {
    MouseSettingsRecord rec;
    for (int t = 1; t <= 6; ++t) {
        rec.bytes[68] = static_cast<uint8_t>(SleepSeconds[t - 1] & 0xFF);
        rec.bytes[69] = 0;  // high byte ignored
        EXPECT_EQ(decode_mouse_settings(rec, kEffects).dormancy_time, t);
    }
    rec.bytes[68] = 0;
    rec.bytes[69] = 0;
    const auto d = decode_mouse_settings(rec, kEffects, 2);
    EXPECT_EQ(d.deep_sleep_on, 0);
    EXPECT_EQ(d.dormancy_time, 2);
}

TEST(LinkMouseSettings, WideValuesAreTruncatedToTheirFields) {
    MouseSettingsRecord last;
    auto v = sample_values();
    v.light = 0x1FF;
    v.stages[0].dpi_x = 0x12345;
    const auto rec = encode_mouse_settings(v, last, kEffects).bytes;
    EXPECT_EQ(rec[2], 0xFF);
    EXPECT_EQ(rec[16], 0x45);
    EXPECT_EQ(rec[17], 0x23);
    EXPECT_EQ(rec[18], 26000 & 0xFF);  // stage 0 DPI Y untouched by the overflow
}

}  // namespace
}  // namespace velqa::link

namespace velqa::link {
namespace {

TEST(LinkMouseSettings, ByteZeroIsTheCallersSlotByteNeverTheSlotReadBack) {
    // The mouse reports the slot it is in through byte 0; writing the record back must not
    // turn that into the slot byte it sends.
    for (uint8_t active : {uint8_t{0}, uint8_t{2}, uint8_t{3}, uint8_t{0xFF}}) {
        MouseSettingsRecord read;
        read.bytes.fill(0x21);
        read.bytes[0] = active;
        const auto decoded = decode_mouse_settings(read, {});
        EXPECT_EQ(decoded.active_slot, active);
        const auto values = values_from_decoded(decoded);
        EXPECT_EQ(values.slot_byte, 0);
        EXPECT_EQ(encode_mouse_settings(values, read, {}).bytes[0], 0) << int{active};
        auto page = values;
        page.slot_byte = 1;  // a caller's own slot byte is written as given
        EXPECT_EQ(encode_mouse_settings(page, read, {}).bytes[0], 1);
    }
}

}  // namespace
}  // namespace velqa::link
