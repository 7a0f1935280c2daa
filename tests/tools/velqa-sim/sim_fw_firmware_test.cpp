#include <gtest/gtest.h>

#include <vector>

#include "device/link/report.h"
#include "firmware.h"
#include "sim_control.h"

namespace velqa::sim {
namespace {

using link::make_request;
using link::Report;

Report send(Firmware& fw, Link l, const Report& req) {
    auto out = fw.handle(l, req);
    EXPECT_TRUE(out.reply.has_value());
    return out.reply.value_or(Report{});
}

std::vector<uint8_t> bytes(uint8_t start, size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(start + i);
    return v;
}

TEST(SimFwReplies, EchoCodeStatusAndSumCheck) {
    Firmware fw;
    const Report r = send(fw, Link::Cable, make_request(0x05, 10, 0));
    EXPECT_EQ(r[0], 0x04);
    EXPECT_EQ(r[3], 0x05);
    EXPECT_EQ(r[4], 10);
    EXPECT_EQ(r[7], 0);
    EXPECT_EQ(r[1] | (r[2] << 8), link::report_sum_check(r));
    EXPECT_EQ(r[8], 0);     // active slot
    EXPECT_EQ(r[9], 0x01);  // lighting mode of slot 0
}

TEST(SimFwReplies, UnknownCommandAndWrongSumGiveFF) {
    Firmware fw;
    EXPECT_EQ(send(fw, Link::Cable, make_request(0x55))[7], 0xFF);
    Report bad = make_request(0x05, 1, 0);
    bad[1] ^= 1;
    const Report r = send(fw, Link::Cable, bad);
    EXPECT_EQ(r[3], 0x05);
    EXPECT_EQ(r[7], 0xFF);
}

TEST(SimFwReplies, OutOfRangeGivesFE) {
    Firmware fw;
    EXPECT_EQ(send(fw, Link::Cable, make_request(0x03, 10, 30))[7], 0xFE);  // 34-byte block
    EXPECT_EQ(send(fw, Link::Cable, make_request(0x05, 20, 500))[7], 0xFE);
    EXPECT_EQ(send(fw, Link::Receiver, make_request(0x05, 25, 0))[7], 0xFE);  // > 24 on receiver
    EXPECT_EQ(send(fw, Link::Cable, make_request(0x05, 56, 0))[7], 0);
}

TEST(SimFwReplies, NonVendorReportIsIgnored) {
    Firmware fw;
    Report r = make_request(0x01);
    r[0] = 0x03;
    EXPECT_FALSE(fw.handle(Link::Cable, r).reply.has_value());
}

TEST(SimFwMemory, WritesTakeEffectOnlyBetweenBeginAndEnd) {
    Firmware fw;
    const auto data = bytes(0x30, 20);
    EXPECT_EQ(send(fw, Link::Cable, make_request(0x06, 20, 96 + 1, data))[7], 0);
    EXPECT_EQ(fw.settings_memory()[97], 0x01);  // unchanged outside a configuration
    send(fw, Link::Cable, make_request(0x01));
    EXPECT_TRUE(fw.config_open());
    send(fw, Link::Cable, make_request(0x06, 20, 96 + 1, data));
    send(fw, Link::Cable, make_request(0x02));
    EXPECT_FALSE(fw.config_open());
    const auto mem = fw.settings_memory();
    EXPECT_EQ(std::vector<uint8_t>(mem.begin() + 97, mem.begin() + 117), data);
    const Report r = send(fw, Link::Cable, make_request(0x05, 20, 97));
    EXPECT_EQ(std::vector<uint8_t>(r.begin() + 8, r.begin() + 28), data);
}

TEST(SimFwMemory, InfoBlockKeysMacroUnitsSensor) {
    Firmware fw(FirmwareOptions{0x3950, 12, 40, 60});
    const Report r = send(fw, Link::Cable, make_request(0x03, 34, 0));
    EXPECT_EQ(r[8 + 5], 12);
    EXPECT_EQ(r[8 + 6], 40);
    EXPECT_EQ(r[8 + 7], 0);
    EXPECT_EQ(r[8 + 9], 0x50);
    EXPECT_EQ(r[8 + 10], 0x39);
    EXPECT_EQ(fw.key_table().size(), 36u);
    EXPECT_EQ(fw.macro_memory().size(), 40u * 128);
    const Report p = send(fw, Link::Cable, make_request(0x1A, 6, 0));
    EXPECT_EQ(p[8], 60);
}

TEST(SimFwMemory, FactoryStagesAreEnabledWithDistinctColours) {
    Firmware fw;
    const auto mem = fw.settings_memory();
    for (size_t s = 0; s < 6; ++s) {
        EXPECT_EQ(mem[14 + s * 9], 1) << s;
        EXPECT_NE(mem[16 + s * 9] | (mem[17 + s * 9] << 8), 0) << s;
    }
    EXPECT_EQ(mem[73], 0x5A);
}

TEST(SimFwReceiver, PayloadBytes8To31Only) {
    Firmware fw;
    const Report r = send(fw, Link::Receiver, make_request(0x1A, 24, 0));
    for (size_t i = 32; i < 64; ++i)
        EXPECT_EQ(r[i], 0) << i;
    EXPECT_EQ(r[8], 85);
}

TEST(SimFwReceiver, PresenceAndUnlinkedAnswers) {
    Firmware fw;
    EXPECT_EQ(send(fw, Link::Receiver, make_request(0xAA))[8], 0xFF);
    fw.set_linked(false);
    const Report p = send(fw, Link::Receiver, make_request(0xAA));
    EXPECT_EQ(p[3], 0xAA);
    EXPECT_EQ(p[8], 0x00);
    const Report r = send(fw, Link::Receiver, make_request(0x05, 1, 0));
    EXPECT_EQ(r[3], 0xAA);
    // The cable is not affected by the radio link.
    EXPECT_EQ(send(fw, Link::Cable, make_request(0x05, 1, 0))[3], 0x05);
}

TEST(SimFwReceiver, LightingStreamChecksAndSignsWithCrc) {
    Firmware fw;
    Report req = make_request(0x12, 3, 0, bytes(1, 3));
    // A sum check where the CRC belongs is a wrong check value.
    EXPECT_EQ(send(fw, Link::Receiver, req)[7], 0xFF);
    link::put_check(req, link::report_crc_check(req));
    const Report r = send(fw, Link::Receiver, req);
    EXPECT_EQ(r[7], 0);
    EXPECT_EQ(r[1] | (r[2] << 8), link::report_crc_check(r));
    EXPECT_EQ(fw.lighting_memory()[2], 3);
}

TEST(SimFwNotify, DpiPressSlotAndSettingChange) {
    Firmware fw;
    fw.set_plugged(Link::Cable, true);
    fw.set_plugged(Link::Receiver, true);
    std::vector<std::pair<Link, uint16_t>> seen;
    fw.set_notify_sink([&](Link l, std::span<const uint8_t> r) {
        ASSERT_EQ(r.size(), 3u);
        EXPECT_EQ(r[0], SimNodes::ConsumerReportId);
        seen.emplace_back(l, static_cast<uint16_t>(r[1] | (r[2] << 8)));
    });
    fw.press_dpi();  // factory stage 1 -> 2, slot 0
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].second, 0x1120);
    EXPECT_EQ(seen[1].first, Link::Receiver);
    seen.clear();
    EXPECT_TRUE(fw.set_slot(3));
    EXPECT_EQ(seen.at(0).second, 0x1003);
    EXPECT_FALSE(fw.set_slot(4));
    seen.clear();
    fw.set_linked(false);  // the receiver hears nothing from an unlinked mouse
    EXPECT_TRUE(fw.change_setting(2, 9));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_pair(Link::Cable, uint16_t{0x401}));
    EXPECT_EQ(fw.settings_memory()[3 * 96 + 2], 9);
}

TEST(SimFwNotify, DpiPressSkipsDisabledStagesAndWraps) {
    Firmware fw;
    send(fw, Link::Cable, make_request(0x01));
    // Disable stages 2-5, then press from stage 1: wraps to stage 0.
    for (uint16_t s = 2; s < 6; ++s) {
        const uint8_t off[] = {0};
        send(fw, Link::Cable, make_request(0x06, 1, static_cast<uint16_t>(14 + s * 9), off));
    }
    fw.press_dpi();
    EXPECT_EQ(fw.active_stage(), 0);
    fw.press_dpi();
    EXPECT_EQ(fw.active_stage(), 1);
}

TEST(SimFwFaults, EachFaultOnceThenNormal) {
    Firmware fw;
    const Report req = make_request(0x05, 1, 0);
    fw.inject_fault(Fault::StatusFF, 1);
    EXPECT_EQ(send(fw, Link::Cable, req)[7], 0xFF);
    EXPECT_EQ(send(fw, Link::Cable, req)[7], 0x00);
    fw.inject_fault(Fault::StatusFE, 2);
    EXPECT_EQ(send(fw, Link::Cable, req)[7], 0xFE);
    EXPECT_EQ(send(fw, Link::Cable, req)[7], 0xFE);
    EXPECT_EQ(send(fw, Link::Cable, req)[7], 0x00);
    fw.inject_fault(Fault::WrongEcho, 1);
    EXPECT_NE(send(fw, Link::Cable, req)[3], 0x05);
    fw.inject_fault(Fault::Drop, 1);
    EXPECT_FALSE(fw.handle(Link::Cable, req).reply.has_value());
    fw.inject_fault(Fault::Slow, 1, 250);
    EXPECT_EQ(fw.handle(Link::Cable, req).delay_ms, 250);
    EXPECT_EQ(fw.handle(Link::Cable, req).delay_ms, 0);
}

TEST(SimFwFaults, PresenceQueryIsAnsweredByTheReceiverDespiteFaults) {
    Firmware fw;
    fw.inject_fault(Fault::StatusFF, 1);
    EXPECT_EQ(send(fw, Link::Receiver, make_request(0xAA))[7], 0);
    EXPECT_EQ(send(fw, Link::Receiver, make_request(0x05, 1, 0))[7], 0xFF);
}

TEST(SimFwDump, MembersAndCounts) {
    Firmware fw;
    fw.set_plugged(Link::Cable, true);
    send(fw, Link::Cable, make_request(0x05, 1, 0));
    send(fw, Link::Cable, make_request(0x05, 1, 0));
    send(fw, Link::Cable, make_request(0x1A, 6, 0));
    const Json::Value d = fw.dump();
    for (const char* m : {"link", "linked", "active_slot", "slots", "key_table", "key_bank",
                          "macro_data", "shooting_data", "power", "command_counts"}) {
        EXPECT_TRUE(d.isMember(m)) << m;
    }
    EXPECT_EQ(d["link"].asString(), "cable");
    EXPECT_EQ(d["slots"].size(), Firmware::Slots);
    EXPECT_EQ(d["slots"][0].asString().size(), 148u);
    EXPECT_EQ(d["power"].asString(), "550000000000");
    EXPECT_EQ(d["command_counts"]["0x05"].asUInt64(), 2u);
    EXPECT_EQ(d["command_counts"]["0x1a"].asUInt64(), 1u);
}

TEST(SimFwControl, NumbersAreDecimalOrHex) {
    Firmware fw;
    // A leading zero is still decimal: "010" is byte 10, not byte 8.
    EXPECT_EQ(run_control(fw, nullptr, {"change", "010", "07"}).exit_code, 0);
    EXPECT_EQ(fw.settings_memory()[10], 7);
    EXPECT_EQ(run_control(fw, nullptr, {"change", "09", "0x2A"}).exit_code, 0);
    EXPECT_EQ(fw.settings_memory()[9], 0x2A);
    EXPECT_EQ(run_control(fw, nullptr, {"battery", "08"}).exit_code, 0);
    EXPECT_EQ(fw.dump()["power"].asString().substr(0, 2), "08");
    EXPECT_EQ(run_control(fw, nullptr, {"change", "0x", "1"}).exit_code, 2);
    EXPECT_EQ(run_control(fw, nullptr, {"change", "0x4A", "1"}).exit_code, 2);  // 74
    for (const char* bad : {" 5", "+5", "5 ", "-0", "0x-1"})
        EXPECT_EQ(run_control(fw, nullptr, {"battery", bad}).exit_code, 2) << bad;
}

TEST(SimFwControl, CommandsAndUsageErrors) {
    Firmware fw;
    EXPECT_EQ(run_control(fw, nullptr, {"battery", "42", "1"}).exit_code, 0);
    EXPECT_EQ(fw.dump()["power"].asString().substr(0, 4), "2a01");
    EXPECT_EQ(run_control(fw, nullptr, {"battery", "101"}).exit_code, 2);
    EXPECT_EQ(run_control(fw, nullptr, {"link", "off"}).exit_code, 0);
    EXPECT_FALSE(fw.linked());
    EXPECT_EQ(run_control(fw, nullptr, {"set-slot", "2"}).exit_code, 0);
    EXPECT_EQ(fw.settings_memory()[0], 2);
    EXPECT_EQ(run_control(fw, nullptr, {"set-slot", "9"}).exit_code, 2);
    EXPECT_EQ(run_control(fw, nullptr, {"fault", "bogus"}).exit_code, 2);
    EXPECT_EQ(run_control(fw, nullptr, {"fault", "slow"}).exit_code, 2);
    EXPECT_EQ(run_control(fw, nullptr, {"fault", "slow", "30", "2"}).exit_code, 0);
    EXPECT_EQ(run_control(fw, nullptr, {"fault", "status-ff", "x"}).exit_code, 2);
    EXPECT_EQ(run_control(fw, nullptr, {"change", "0", "1"}).exit_code, 2);
    EXPECT_EQ(run_control(fw, nullptr, {}).exit_code, 2);
    EXPECT_EQ(run_control(fw, nullptr, {"frobnicate"}).exit_code, 2);
    const auto dump = run_control(fw, nullptr, {"dump"});
    EXPECT_EQ(dump.exit_code, 0);
    EXPECT_NE(dump.output.find("\"command_counts\""), std::string::npos);
}

}  // namespace
}  // namespace velqa::sim
