// CommandChannel, the command set and the sequences against the in-process simulated mouse.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <numeric>
#include <thread>

#include "device/link/codecs.h"
#include "device/link/command_channel.h"
#include "device/link/config_session.h"
#include "device/link/sequences.h"
#include "in_process_sim.h"
#include "platform/debug_output.h"
#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::link {
namespace {

using sim::Fault;
using sim::InProcessSim;
using sim::Link;

using velqa::test::eventually;

std::vector<uint8_t> pattern(size_t n, uint8_t seed = 1) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

class SimChannel : public ::testing::TestWithParam<Link> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.started());
        ASSERT_TRUE(sim_.open(channel_, GetParam()));
        // Reports sent before the server has taken the connection on would be lost.
        ASSERT_TRUE(eventually([&] { return sim_.nodes().connection_count(GetParam(), 1) > 0; }));
    }
    bool receiver() const { return GetParam() == Link::Receiver; }
    sim::Firmware& fw() { return sim_.firmware(); }
    // Requests of one command code since the log was cleared.
    std::vector<Report> sent(uint8_t c) {
        std::vector<Report> out;
        for (const auto& r : fw().requests())
            if (r[3] == c)
                out.push_back(r);
        return out;
    }

    test::TempDir dir_;
    InProcessSim sim_{dir_.path()};
    CommandChannel channel_{sim_.backend()};
};

INSTANTIATE_TEST_SUITE_P(BothPaths, SimChannel, ::testing::Values(Link::Cable, Link::Receiver),
                         [](const auto& param_info) {
                             return param_info.param == Link::Cable ? "Cable" : "Receiver";
                         });

// ---- Channel state ----

TEST(LinkChannelState, FreshChannel) {
    CommandChannel ch;
    EXPECT_EQ(ch.block_size(), 512);
    EXPECT_EQ(ch.chunk_size(), 24);
    EXPECT_FALSE(ch.receiver_path());
    EXPECT_EQ(ch.link_open(), 0);
    EXPECT_FALSE(ch.is_busy());
    EXPECT_TRUE(ch.receiver_present());  // wired path: no I/O
}

TEST(LinkChannelState, PathAndBlockSize) {
    CommandChannel ch;
    ch.set_path(2);
    EXPECT_TRUE(ch.receiver_path());
    EXPECT_EQ(ch.chunk_size(), 24);
    for (int mode : {0, 1, 3}) {
        ch.set_path(mode);
        EXPECT_FALSE(ch.receiver_path());
        EXPECT_EQ(ch.chunk_size(), 56);
    }
    EXPECT_EQ(ch.set_block_size(300), 1);
    EXPECT_EQ(ch.set_block_size(513), 0);
    EXPECT_EQ(ch.block_size(), 300);
    EXPECT_EQ(ch.set_block_size(512), 1);
    EXPECT_EQ(ch.block_size(), 512);
}

TEST(LinkChannelState, ClosedLinkReturnsZeroWithoutIo) {
    test::TempDir dir;
    InProcessSim sim(dir.path());
    CommandChannel ch(sim.backend());
    ASSERT_TRUE(sim.open(ch, Link::Cable));
    ch.set_link_open(0);
    const Report req = make_request(code::BeginConfig);
    Report reply{};
    size_t n = 99;
    EXPECT_EQ(ch.exchange(req.data(), req.size(), reply.data(), reply.size(), &n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(ch.begin_config(), 0);
    uint8_t buf[34];
    EXPECT_EQ(ch.read_device_info(buf), 0);
    MouseSettingsRead read;
    EXPECT_EQ(read_mouse_settings(ch, read), 0);
    ConfigSession session(ch, ConfigSession::Presence::BeforeEachStep);
    EXPECT_EQ(session.run([] { return 1; }), 0);
    EXPECT_EQ(session.failed_step(), ConfigSession::Step::Link);
    EXPECT_TRUE(sim.firmware().requests().empty());
}

// ---- Exchange ----

TEST_P(SimChannel, ShortRequestIsSentZeroPadded) {
    Report full = make_request(code::ReadSettings, 1, 0);
    Report reply{};
    size_t n = 0;
    // Only the first 9 bytes are given; the sum check already covers the padded report.
    EXPECT_EQ(channel_.exchange(full.data(), 9, reply.data(), reply.size(), &n), 1);
    EXPECT_EQ(n, 64u);
    ASSERT_EQ(fw().requests().size(), 1u);
    const Report got = fw().requests()[0];
    EXPECT_EQ(got, full);
    EXPECT_EQ(reply[7], 0);  // the sum check was right
}

TEST_P(SimChannel, DebugDumpOfRequestAndReply) {
    platform::DebugCapture capture;
    EXPECT_EQ(channel_.begin_config(), 1);
    const auto lines = capture.lines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], "命令");
    EXPECT_EQ(lines[1].substr(0, 23), "04 01 00 01   00 00 00 ");
    EXPECT_EQ(lines[1].size(), 32 * 3 - 1 + 2 * 3 + 4);  // gaps of 3 and 2 spaces
    EXPECT_EQ(lines[3], "返回");
    EXPECT_EQ(lines[4].substr(0, 12), "04 01 00 01 ");
}

TEST_P(SimChannel, NonMatchingRepliesAreNeverTakenForTheReply) {
    // A stale report of another command is queued before the exchange, then the mouse answers
    // with a wrong echo: neither is the reply, so the exchange fails and hands back nothing.
    Report stale = make_request(0x33);
    ASSERT_TRUE(sim_.nodes().send_input(GetParam(), 1, stale));
    fw().inject_fault(Fault::WrongEcho, 1);
    Report reply{};
    size_t n = 9;
    const Report req = make_request(code::ReadSettings, 1, 0);
    auto link = channel_.hold_link();
    std::lock_guard lock(channel_.command_lock());
    EXPECT_EQ(channel_.exchange(req.data(), req.size(), reply.data(), reply.size(), &n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(reply, Report{});
    EXPECT_EQ(channel_.last_failure(), HidFailure::TimedOut);
}

TEST_P(SimChannel, StaleReplyIsSkippedForTheMatchingOne) {
    ASSERT_TRUE(sim_.nodes().send_input(GetParam(), 1, make_request(0x33)));
    uint8_t slot = 0xEE;
    EXPECT_EQ(channel_.read_settings({&slot, 1}, 1, 0), 1);
    EXPECT_EQ(slot, 0);
}

TEST(LinkExchange, ReceiverAnsweringForTheMouseGives101AfterOneRead) {
    test::TempDir dir;
    InProcessSim sim(dir.path());
    CommandChannel ch(sim.backend());
    ASSERT_TRUE(sim.open(ch, Link::Receiver));
    sim.firmware().set_linked(false);
    EXPECT_EQ(ch.begin_config(), -101);
    EXPECT_FALSE(ch.receiver_present());
    // The mouse answers again once linked; nothing was left queued by the failed exchange.
    sim.firmware().set_linked(true);
    EXPECT_TRUE(ch.receiver_present());
    EXPECT_EQ(ch.begin_config(), 1);
}

TEST(LinkExchange, UnlinkedWiredPathIsUnaffected) {
    test::TempDir dir;
    InProcessSim sim(dir.path());
    CommandChannel ch(sim.backend());
    ASSERT_TRUE(sim.open(ch, Link::Cable));
    sim.firmware().set_linked(false);
    EXPECT_EQ(ch.begin_config(), 1);
}

TEST(LinkReplyVerdict, MatchingOtherAndReceiverAnswers) {
    const Report req = make_request(code::ReadSettings, 1, 0);
    Report reply = make_request(code::ReadSettings);
    EXPECT_EQ(classify_reply(req, reply, false, false), ReplyVerdict::Matches);
    reply[3] = 0x33;
    EXPECT_EQ(classify_reply(req, reply, false, false), ReplyVerdict::Other);
    reply[3] = 0xAA;
    EXPECT_EQ(classify_reply(req, reply, false, false), ReplyVerdict::Other);  // cable: no meaning
    EXPECT_EQ(classify_reply(req, reply, true, false), ReplyVerdict::ReceiverAnswered);
    // The presence query's own reply carries 0xAA and matches.
    const Report presence = make_request(code::ReceiverPresence);
    EXPECT_EQ(classify_reply(presence, reply, true, false), ReplyVerdict::Matches);
}

TEST(LinkReplyVerdict, CrcCheckedOnTheReceiverPathOnly) {
    const Report req = make_request(code::StreamLighting, 3, 0);
    Report reply = make_request(code::StreamLighting);
    put_check(reply, report_crc_check(reply));
    EXPECT_EQ(classify_reply(req, reply, true, true), ReplyVerdict::Matches);
    for (size_t byte : {1u, 2u}) {
        Report bad = reply;
        bad[byte] ^= 0x80;
        EXPECT_EQ(classify_reply(req, bad, true, true), ReplyVerdict::ReceiverAnswered) << byte;
        EXPECT_EQ(classify_reply(req, bad, false, true), ReplyVerdict::Matches) << byte;
        EXPECT_EQ(classify_reply(req, bad, true, false), ReplyVerdict::Matches) << byte;
    }
}

// ---- Faults mapped to result codes ----

TEST_P(SimChannel, StatusFaultsInEveryJudgingCommand) {
    const auto data = pattern(512);
    uint8_t buf[512];
    channel_.set_block_size(24);
    const std::vector<std::pair<const char*, std::function<int()>>> commands = {
        {"begin", [&] { return channel_.begin_config(); }},
        {"end", [&] { return channel_.end_config(); }},
        {"info",
         [&] {
             return channel_.read_device_info({buf, 34});
         }},
        {"read settings", [&] { return channel_.read_settings(buf, 74, 0); }},
        {"write settings", [&] { return channel_.write_settings(data, 74, 96); }},
        {"key table", [&] { return channel_.read_key_table(buf); }},
        {"key bank", [&] { return channel_.read_key_table_bank(buf, 0); }},
        {"write key table", [&] { return channel_.write_key_table(data, 0); }},
        {"write key table 2", [&] { return channel_.write_key_table_2(data, 0); }},
        {"thirds", [&] { return channel_.read_key_table_thirds(buf); }},
        {"read indexed", [&] { return channel_.read_indexed(buf, 30, 1, 512); }},
        {"write indexed", [&] { return channel_.write_indexed(data, 30, 1, 512); }},
        {"macro", [&] { return channel_.write_macro_data(data, 100); }},
        {"shooting", [&] { return channel_.write_shooting_data(data, 100); }},
        {"lighting on", [&] { return channel_.lighting_control_on(); }},
        {"stream", [&] { return channel_.stream_lighting(data, 40); }},
    };
    for (const auto& [name, run] : commands) {
        fw().inject_fault(Fault::StatusFF, 1);
        EXPECT_EQ(run(), -102) << name;
        fw().inject_fault(Fault::StatusFE, 1);
        EXPECT_EQ(run(), -103) << name;
        EXPECT_EQ(run(), 1) << name;
    }
}

TEST_P(SimChannel, TheReportKeepsNoKeyTableOrMacroBytesButEveryOtherExchange) {
    std::vector<uint8_t> typed(1024);
    for (size_t i = 0; i < typed.size(); ++i)
        typed[i] = static_cast<uint8_t>(i % 2 == 0 ? 0xa7 : 0x3c);  // a recognisable secret
    // Only what this test kept counts: the lines are the process's.
    platform::debug_output("report test starts");
    auto kept_secret = [] {
        bool ours = false, kept = false;
        for (const std::string& line : platform::recent_debug_lines()) {
            ours = ours || line == "report test starts";
            kept = kept || (ours && line.find("a7 3c a7 3c") != std::string::npos);
        }
        return kept;
    };
    ASSERT_EQ(channel_.write_macro_data(typed, 100), 1);
    // The firmware refuses these as key codes; the exchange is logged all the same.
    channel_.write_key_table(typed, 0);
    EXPECT_FALSE(kept_secret());
    // The debug output itself still shows every byte, and other exchanges keep theirs.
    platform::DebugCapture printed;
    ASSERT_EQ(channel_.write_shooting_data(typed, 100), 1);
    ASSERT_EQ(channel_.write_macro_data(typed, 100), 1);
    if (GetParam() == Link::Cable) {
        EXPECT_TRUE(printed.contains("a7 3c a7 3c"));
        EXPECT_TRUE(kept_secret());  // the shooting data's
    }
}

TEST_P(SimChannel, ReadMemoryDoesNotJudgeStatus) {
    uint8_t buf[6] = {};
    fw().inject_fault(Fault::StatusFF, 1);
    EXPECT_EQ(channel_.read_memory(buf, 6, 0), 1);
    EXPECT_EQ(buf[0], 85);
}

TEST_P(SimChannel, DroppedReplyGivesZero) {
    fw().inject_fault(Fault::Drop, 1);
    EXPECT_EQ(channel_.begin_config(), 0);
    EXPECT_EQ(channel_.begin_config(), 1);
}

TEST_P(SimChannel, WrongEchoAloneGivesZero) {
    fw().inject_fault(Fault::WrongEcho, 1);
    EXPECT_EQ(channel_.begin_config(), 0);  // the second read times out
}

TEST_P(SimChannel, SlowReplyWithinAndBeyondTheTimeOut) {
    fw().inject_fault(Fault::Slow, 1, 50);
    EXPECT_EQ(channel_.begin_config(), 1);
    // Later than both reads' time-outs: the exchange gives up with 0.
    fw().inject_fault(Fault::Slow, 1, receiver() ? 1200 : 2200);
    EXPECT_EQ(channel_.begin_config(), 0);
}

TEST_P(SimChannel, WrongSumCheckIsRejectedByTheMouse) {
    Report req = make_request(code::BeginConfig);
    req[1] ^= 0xFF;
    Report reply{};
    size_t n = 0;
    EXPECT_EQ(channel_.exchange(req.data(), req.size(), reply.data(), reply.size(), &n), 1);
    EXPECT_EQ(judge_status(reply), -102);
}

// ---- Chunking ----

TEST_P(SimChannel, DeviceInfoChunks) {
    DeviceInfoBlock block;
    ASSERT_EQ(channel_.read_device_info(block.bytes), 1);
    const auto reqs = sent(code::ReadDeviceInfo);
    if (receiver()) {
        ASSERT_EQ(reqs.size(), 2u);
        EXPECT_EQ(reqs[0][4], 24);
        EXPECT_EQ(reqs[1][4], 10);
        EXPECT_EQ(reqs[1][5], 24);
    } else {
        ASSERT_EQ(reqs.size(), 1u);
        EXPECT_EQ(reqs[0][4], 34);
    }
    const DeviceInfo info = decode_device_info(block);
    EXPECT_EQ(info.key_count, 8);
    EXPECT_EQ(info.sensor_id, SensorA);
}

TEST_P(SimChannel, SettingsRecordChunksAndOffsets) {
    const auto data = pattern(74);
    ASSERT_EQ(channel_.begin_config(), 1);
    ASSERT_EQ(channel_.write_settings(data, 74, 2 * 96), 1);
    ASSERT_EQ(channel_.end_config(), 1);
    const auto reqs = sent(code::WriteSettings);
    const std::vector<std::pair<int, int>> expect =
        receiver() ? std::vector<std::pair<int, int>>{{24, 192}, {24, 216}, {24, 240}, {2, 264}}
                   : std::vector<std::pair<int, int>>{{56, 192}, {18, 248}};
    ASSERT_EQ(reqs.size(), expect.size());
    for (size_t i = 0; i < reqs.size(); ++i) {
        EXPECT_EQ(reqs[i][4], expect[i].first) << i;
        EXPECT_EQ(reqs[i][5] | (reqs[i][6] << 8), expect[i].second) << i;
    }
    const auto mem = fw().settings_memory();
    EXPECT_EQ(std::vector<uint8_t>(mem.begin() + 192, mem.begin() + 266), data);
    std::vector<uint8_t> back(74);
    ASSERT_EQ(channel_.read_settings(back, 74, 192), 1);
    EXPECT_EQ(back, data);
}

TEST_P(SimChannel, ShootingUses56ByteChunksOnBothPaths) {
    const auto image = pattern(2920, 3);
    ASSERT_EQ(write_shooting_sequence(channel_, image), 1);
    const auto reqs = sent(code::WriteShootingData);
    ASSERT_EQ(reqs.size(), 53u);
    EXPECT_EQ(reqs[0][4], 56);
    EXPECT_EQ(reqs[52][4], 2920 - 52 * 56);
    EXPECT_EQ(reqs[52][5] | (reqs[52][6] << 8), 52 * 56);
    const auto mem = fw().shooting_memory();
    EXPECT_EQ(std::vector<uint8_t>(mem.begin(), mem.begin() + 2920), image);
}

TEST_P(SimChannel, EmptyKeyTableTransfersNothing) {
    ASSERT_EQ(channel_.set_block_size(0), 1);
    uint8_t buf[1];
    EXPECT_EQ(channel_.read_key_table({buf, 0}), 1);
    EXPECT_EQ(channel_.write_key_table({}, 0), 1);
    EXPECT_TRUE(fw().requests().empty());
}

TEST_P(SimChannel, NonZeroBankFailsBeforeAnyIo) {
    uint8_t buf[512];
    EXPECT_EQ(channel_.read_key_table_bank(buf, 1), -201);
    EXPECT_EQ(channel_.write_key_table(buf, 2), -201);
    EXPECT_EQ(channel_.write_key_table_2(buf, -1), -201);
    EXPECT_TRUE(fw().requests().empty());
}

TEST_P(SimChannel, ShortBuffersAreRefusedBeforeAnyIo) {
    uint8_t buf[10];
    // Not -201: that is the bank's own code.
    EXPECT_EQ(channel_.read_device_info(buf), -202);
    EXPECT_EQ(channel_.read_settings(buf, 74, 0), -202);
    EXPECT_EQ(channel_.read_key_table(buf), -202);  // block size 512
    EXPECT_EQ(channel_.read_memory(buf, 30, 0), -202);
    EXPECT_EQ(channel_.read_indexed(buf, 10, 200, 512), -202);  // past 16-bit offsets
    EXPECT_TRUE(fw().requests().empty());
}

TEST_P(SimChannel, FirstFailureStopsTheTransferKeepingDataReceived) {
    // Key table of 8 keys read with a block size of 48: two reports wired, the mouse's table
    // ends at 24 bytes so the wired read fails on its only report; on the receiver the first
    // report arrives and the second is out of range.
    ASSERT_EQ(channel_.set_block_size(48), 1);
    std::vector<uint8_t> buf(48, 0xEE);
    EXPECT_EQ(channel_.read_key_table(buf), -103);
    const auto table = fw().key_table();
    if (receiver()) {
        EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 24), table);
        EXPECT_EQ(sent(code::ReadKeyTable).size(), 2u);
    } else {
        EXPECT_EQ(sent(code::ReadKeyTable).size(), 1u);
    }
    EXPECT_EQ(buf[47], 0xEE);
}

TEST_P(SimChannel, ReadIndexedOffsetIsIndexTimesStride) {
    const auto data = pattern(30);
    ASSERT_EQ(channel_.write_indexed(data, 30, 3, 512), 1);
    std::vector<uint8_t> back(30);
    ASSERT_EQ(channel_.read_indexed(back, 30, 3, 512), 1);
    EXPECT_EQ(back, data);
    EXPECT_EQ(sent(code::WriteIndexed)[0][5] | (sent(code::WriteIndexed)[0][6] << 8), 1536);
}

// ---- Lighting stream ----

TEST_P(SimChannel, LightingStreamReachesTheMouse) {
    const auto frame = pattern(60, 9);
    ASSERT_EQ(channel_.stream_lighting(frame, 60), 1);
    const auto mem = fw().lighting_memory();
    EXPECT_EQ(std::vector<uint8_t>(mem.begin(), mem.begin() + 60), frame);
    if (receiver()) {
        const auto r = sent(code::StreamLighting)[0];
        EXPECT_EQ(r[1] | (r[2] << 8), report_crc_check(r));
    }
}

TEST_P(SimChannel, LightingStreamDropsChunksWhileAnotherExchangeRuns) {
    const auto frame = pattern(60, 9);
    std::unique_lock io(channel_.io_lock());  // holds the other exchange inside its write
    auto other = std::async(std::launch::async, [&] { return channel_.begin_config(); });
    ASSERT_TRUE(eventually([&] { return channel_.is_busy(); }));
    platform::DebugCapture capture;
    EXPECT_EQ(channel_.stream_lighting(frame, 60), 1);
    const uint64_t chunks = receiver() ? 3 : 2;
    EXPECT_EQ(channel_.dropped_lighting_chunks(), chunks);
    EXPECT_TRUE(capture.contains("放弃灯光数据"));
    io.unlock();
    EXPECT_EQ(other.get(), 1);
    EXPECT_TRUE(sent(code::StreamLighting).empty());
    EXPECT_FALSE(channel_.is_busy());
}

// ---- Presence and sequences ----

TEST_P(SimChannel, PresenceQuery) {
    EXPECT_TRUE(channel_.receiver_present());
    fw().set_linked(false);
    EXPECT_EQ(channel_.receiver_present(), !receiver());
    EXPECT_EQ(sent(code::ReceiverPresence).size(), receiver() ? 2u : 0u);
}

TEST_P(SimChannel, WriteSequencePresenceBeforeEachStep) {
    MouseSettingsRecord rec;
    rec.bytes = std::array<uint8_t, 74>{};
    rec.bytes[1] = 7;
    ASSERT_EQ(write_settings_sequence(channel_, rec, 1), 1);
    std::vector<uint8_t> order;
    for (const auto& r : fw().requests())
        order.push_back(r[3]);
    const std::vector<uint8_t> expected =
        receiver()
            ? std::vector<uint8_t>{0xAA, 0xAA, 0x01, 0xAA, 0x06, 0x06, 0x06, 0x06, 0xAA, 0x02}
            : std::vector<uint8_t>{0x01, 0x06, 0x06, 0x02};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(fw().settings_memory()[96 + 1], 7);
    EXPECT_FALSE(fw().config_open());
}

TEST_P(SimChannel, UnlinkedReceiverWritesNothing) {
    fw().set_linked(false);
    MouseSettingsRecord rec;
    const int res = write_settings_sequence(channel_, rec, 0);
    if (receiver()) {
        EXPECT_EQ(res, 0);
        EXPECT_TRUE(sent(code::WriteSettings).empty());
        EXPECT_TRUE(sent(code::BeginConfig).empty());
    } else {
        EXPECT_EQ(res, 1);
    }
}

TEST_P(SimChannel, FailedDataStepStillEndsTheConfiguration) {
    MouseSettingsRecord rec;
    // Write past the mouse's settings memory: 0xFE on the data step.
    ConfigSession session(channel_, ConfigSession::Presence::BeforeEachStep);
    const int res = session.run([&] { return channel_.write_settings(rec.bytes, 74, 480); });
    EXPECT_EQ(res, -103);
    EXPECT_EQ(sent(code::EndConfig).size(), 1u);
    EXPECT_FALSE(fw().config_open());
}

TEST_P(SimChannel, LoadSessionAsksForTheMouseOnceAndEndsAfterAFailedRead) {
    ConfigSession session(channel_, ConfigSession::Presence::AtStart);
    std::vector<uint8_t> table(24), bank(24);
    const int res = session.run([&] {
        EXPECT_EQ(channel_.set_block_size(24), 1);
        const int read = channel_.read_key_table(table);
        return read != 1 ? read : channel_.read_key_table_bank(bank, 1);
    });
    EXPECT_EQ(res, -201);
    EXPECT_EQ(session.failed_step(), ConfigSession::Step::Body);
    EXPECT_EQ(table, fw().key_table());
    std::vector<uint8_t> order;
    for (const auto& r : fw().requests())
        order.push_back(r[3]);
    std::vector<uint8_t> expected = {code::BeginConfig, code::ReadKeyTable, code::EndConfig};
    if (receiver())
        expected.insert(expected.begin(), code::ReceiverPresence);
    EXPECT_EQ(order, expected);
    EXPECT_FALSE(fw().config_open());
}

TEST_P(SimChannel, ReadSettingsOfTheActiveSlot) {
    ASSERT_TRUE(fw().set_slot(2));
    MouseSettingsRead read;
    ASSERT_EQ(read_mouse_settings(channel_, read), 1);
    EXPECT_EQ(read.active_slot, 2);
    const auto mem = fw().settings_memory();
    EXPECT_TRUE(std::equal(read.record.bytes.begin(), read.record.bytes.end(), mem.begin() + 192));
    fw().inject_fault(Fault::StatusFF, 1);
    EXPECT_EQ(read_mouse_settings(channel_, read), -102);
}

TEST_P(SimChannel, SettingsRoundTripThroughTheMouse) {
    MouseSettingsRead read;
    ASSERT_EQ(read_mouse_settings(channel_, read), 1);
    const std::vector<uint8_t> effects = {0x01, 0x02, 0x03};
    auto values = values_from_decoded(decode_mouse_settings(read.record, effects));
    values.stages[3].dpi_x = 25000;
    values.key_delay = 9;  // no encoding: the mouse keeps its byte
    const auto rec = encode_mouse_settings(values, read.record, effects);
    ASSERT_EQ(write_settings_sequence(channel_, rec, read.active_slot), 1);
    MouseSettingsRead again;
    ASSERT_EQ(read_mouse_settings(channel_, again), 1);
    EXPECT_EQ(again.record.bytes, rec.bytes);
    EXPECT_EQ(decode_mouse_settings(again.record, effects).stages[3].dpi_x, 25000);
    EXPECT_EQ(again.record.bytes[70], read.record.bytes[70]);
    EXPECT_EQ(again.record.bytes[73], 0x5A);
}

TEST_P(SimChannel, PowerStatusMarksThePath) {
    fw().set_battery(40, 1);
    PowerStatusBlock block;
    ASSERT_EQ(poll_power_status(channel_, block), 1);
    const auto p = decode_power_status(block);
    EXPECT_EQ(p.battery_percent, 40);
    EXPECT_EQ(p.charging, 1);
    EXPECT_EQ(p.wireless, receiver() ? 1 : 0);
}

// ---- Notifications ----

TEST(LinkNotifications, MouseEventsArriveOnTheConsumerCollection) {
    test::TempDir dir;
    InProcessSim sim(dir.path());
    for (Link l : {Link::Cable, Link::Receiver}) {
        HidDevice scanner(sim.backend());
        ASSERT_TRUE(scanner.scan());
        std::string path;
        const std::string node = l == Link::Cable ? "cable-if1" : "receiver-if1";
        while (auto p = scanner.next_path()) {
            if (p->find(node) != std::string::npos && HidDevice::collection_of(*p) == 3)
                path = *p;
        }
        ASSERT_FALSE(path.empty());
        HidDevice dev(sim.backend());
        ASSERT_TRUE(dev.open(path, true, true, true, false));
        ASSERT_TRUE(eventually([&] { return sim.nodes().connection_count(l, 1) > 0; }));
        auto next_event = [&]() -> int {
            uint8_t buf[64] = {};
            size_t n = 0;
            if (!dev.read(buf, sizeof buf, &n, 5000) || n < 3 || buf[0] != 3)
                return -1;
            return buf[1] | (buf[2] << 8);
        };
        sim.firmware().set_slot(0);
        EXPECT_EQ(next_event(), 0x1000);
        const int stage = (sim.firmware().active_stage() + 1) % 6;
        sim.firmware().press_dpi();
        EXPECT_EQ(next_event(), 0x1100 | stage << 4);
        sim.firmware().set_slot(1);
        EXPECT_EQ(next_event(), 0x1001);
        sim.firmware().change_setting(2, 3);
        EXPECT_EQ(next_event(), 0x401);
    }
}

// ---- Hot-plug ----

TEST_P(SimChannel, UnplugDuringAChunkedTransferEndsIt) {
    const auto image = pattern(4000);
    ASSERT_EQ(channel_.begin_config(), 1);
    auto run = std::async(std::launch::async, [&] {
        return channel_.write_shooting_data(image, static_cast<uint16_t>(image.size()));
    });
    ASSERT_TRUE(eventually([&] { return fw().command_count(code::WriteShootingData) >= 3; }));
    ASSERT_TRUE(sim_.nodes().unplug(GetParam()));
    const int res = run.get();
    EXPECT_TRUE(res == 0 || res == -1) << res;
    EXPECT_LT(fw().command_count(code::WriteShootingData), 72u);
}

}  // namespace
}  // namespace velqa::link
