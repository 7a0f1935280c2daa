// Reply matching against a scripted device (late replies, replies for other offsets, cut
// replies), why an operation failed, and the link lock shared by every program of ours.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "device/link/codecs.h"
#include "device/link/command_channel.h"
#include "device/link/config_session.h"
#include "device/link/link_lock.h"
#include "device/link/sequences.h"
#include "in_process_sim.h"
#include "platform/debug_output.h"
#include "support/scripted_hid.h"
#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::link {
namespace {

using Bytes = test::ScriptedHid::Bytes;
using sim::Fault;
using sim::InProcessSim;
using sim::Link;
using velqa::test::eventually;

// The reply the scripted mouse gives to a request: its header echoed, status 0, and payload
// bytes that tell where they came from (offset + position).
Bytes answer(const Bytes& request, uint8_t status = 0) {
    Bytes reply(ReportSize, 0);
    std::copy_n(request.begin(), std::min<size_t>(8, request.size()), reply.begin());
    reply[byte_pos::Status] = status;
    const unsigned offset = request[5] | (request[6] << 8);
    for (size_t i = PayloadOffset; i < ReportSize; ++i)
        reply[i] = static_cast<uint8_t>(offset + i - PayloadOffset);
    return reply;
}

// A stale reply to a read of the same command at `offset` with `length`.
Bytes stale(const Bytes& request, unsigned offset, uint8_t length) {
    Bytes other = request;
    other[4] = length;
    other[5] = static_cast<uint8_t>(offset);
    other[6] = static_cast<uint8_t>(offset >> 8);
    Bytes reply = answer(other);
    std::fill(reply.begin() + PayloadOffset, reply.end(), 0xEE);
    return reply;
}

class ScriptedLink : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(channel_.open_wired(hid_->path(4)));
        EXPECT_EQ(channel_.link_open(), 1);
        EXPECT_FALSE(channel_.receiver_path());
    }
    test::TempDir dir_;
    std::shared_ptr<test::ScriptedHid> hid_ = std::make_shared<test::ScriptedHid>(
        (dir_ / "mouse").string(), 0x1234, 0x5678, 1,
        std::vector<uint8_t>(sim::SimNodes::report_descriptor(1).begin(),
                             sim::SimNodes::report_descriptor(1).end()));
    CommandChannel channel_{hid_};
};

// ---- A late reply is never taken for the reply ----

TEST_F(ScriptedLink, LateRepliesOfOtherOffsetsOrLengthsAreSkipped) {
    // Before each reply comes one for the earlier chunk, as after an exchange that gave up,
    // and one of the right offset but another length.
    hid_->set_script([](const Bytes& req) {
        const unsigned offset = req[5] | (req[6] << 8);
        return std::vector<Bytes>{stale(req, offset >= 56 ? offset - 56 : 200, 56),
                                  stale(req, offset, static_cast<uint8_t>(req[4] + 1)),
                                  answer(req)};
    });
    std::vector<uint8_t> record(74, 0);
    ASSERT_EQ(channel_.read_settings(record, 74, 96), 1);
    for (size_t i = 0; i < record.size(); ++i)
        EXPECT_EQ(record[i], static_cast<uint8_t>(96 + i)) << i;
    uint8_t memory[6] = {};
    ASSERT_EQ(channel_.read_memory(memory, 6, 0x10), 1);
    EXPECT_EQ(memory[0], 0x10);
}

TEST_F(ScriptedLink, OnlyStrayRepliesGiveZeroAndLeaveTheBufferAlone) {
    hid_->set_script([](const Bytes& req) {
        return std::vector<Bytes>{stale(req, 300, 56), stale(req, 0, 18)};
    });
    std::vector<uint8_t> record(74, 0x11);
    EXPECT_EQ(channel_.read_settings(record, 74, 0), 0);
    EXPECT_EQ(record, std::vector<uint8_t>(74, 0x11));
    EXPECT_EQ(channel_.last_failure(), HidFailure::TimedOut);
    // A plain exchange matches on the code alone; an echo of another command is no reply.
    hid_->set_script([](const Bytes& req) {
        Bytes wrong = answer(req);
        wrong[byte_pos::Code] ^= 0x40;
        return std::vector<Bytes>{wrong};
    });
    const Report req = make_request(0x33, 1, 2);
    Report reply{};
    size_t n = 7;
    EXPECT_EQ(channel_.exchange(req.data(), req.size(), reply.data(), reply.size(), &n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(reply, Report{});
}

TEST_F(ScriptedLink, InputQueuedBeforeTheRequestIsDiscarded) {
    // Exactly the reply this request would match, but it was there before the request.
    const Report req = make_request(code::ReadSettings, 1, 0);
    Bytes early = answer(Bytes(req.begin(), req.end()));
    early[PayloadOffset] = 0xEE;
    ASSERT_TRUE(hid_->send(early));
    ASSERT_TRUE(hid_->send(early));
    hid_->set_script([](const Bytes& r) { return std::vector<Bytes>{answer(r)}; });
    platform::DebugCapture capture;
    uint8_t slot = 0x55;
    ASSERT_EQ(channel_.read_settings({&slot, 1}, 1, 0), 1);
    EXPECT_EQ(slot, 0);
    EXPECT_TRUE(capture.contains("2 stale report(s) discarded"));
}

TEST_F(ScriptedLink, ACutReplyIsAFailure) {
    hid_->set_script([](const Bytes& req) {
        Bytes cut = answer(req);
        cut.resize(20);
        return std::vector<Bytes>{cut};
    });
    std::vector<uint8_t> record(74, 0x11);
    EXPECT_EQ(channel_.read_settings(record, 74, 0), 0);
    EXPECT_EQ(channel_.last_failure(), HidFailure::IoError);
    EXPECT_EQ(record, std::vector<uint8_t>(74, 0x11));
    EXPECT_EQ(channel_.begin_config(), 0);
}

TEST(LinkLateReply, DelayedSettingsReplyNeverMixesTheNextRecord) {
    // The example: a settings read whose reply comes after the exchange gave up; the late
    // reply (offset 0) must not fill the next read's second chunk (offset 56).
    for (Link l : {Link::Cable, Link::Receiver}) {
        test::TempDir dir;
        InProcessSim sim(dir.path());
        CommandChannel ch(sim.backend());
        ASSERT_TRUE(sim.open(ch, l));
        std::vector<uint8_t> written(74);
        for (size_t i = 0; i < written.size(); ++i)
            written[i] = static_cast<uint8_t>(i * 3 + 1);
        ASSERT_EQ(ch.begin_config(), 1);
        ASSERT_EQ(ch.write_settings(written, 74, 0), 1);
        ASSERT_EQ(ch.end_config(), 1);
        const int give_up_ms = 2 * (l == Link::Cable ? CommandChannel::WiredTimeoutMs
                                                     : CommandChannel::ReceiverReadTimeoutMs);
        sim.firmware().inject_fault(Fault::Slow, 1, give_up_ms + 60);
        std::vector<uint8_t> record(74, 0);
        EXPECT_EQ(ch.read_settings(record, 74, 0), 0);
        for (int round = 0; round < 3; ++round) {
            std::fill(record.begin(), record.end(), 0);
            ASSERT_EQ(ch.read_settings(record, 74, 0), 1);
            EXPECT_EQ(record, written) << round;
        }
    }
}

// ---- Why an operation failed ----

TEST_F(ScriptedLink, ReasonsOfFailedTransfers) {
    uint8_t buffer[64] = {};
    size_t n = 0;
    EXPECT_EQ(channel_.wired().read(buffer, sizeof buffer, &n, 10), 0);
    EXPECT_EQ(channel_.wired().last_failure(), HidFailure::TimedOut);
    EXPECT_FALSE(channel_.wired().unplugged());
    EXPECT_EQ(channel_.begin_config(), 0);  // the script answers nothing
    EXPECT_EQ(channel_.last_failure(), HidFailure::TimedOut);

    // A read waiting without limit ends as cancelled when the link closes.
    auto pending =
        std::async(std::launch::async, [&] { return channel_.wired().read(buffer, 64, &n, -1); });
    while (!channel_.wired().read_in_progress())
        std::this_thread::yield();
    channel_.close_link();
    EXPECT_EQ(pending.get(), 0);
    EXPECT_EQ(channel_.wired().last_failure(), HidFailure::Cancelled);
    EXPECT_EQ(channel_.link_open(), 0);
    EXPECT_EQ(channel_.begin_config(), 0);
    EXPECT_EQ(channel_.last_failure(), HidFailure::NotOpen);

    // The device goes away: reads as unplugged until the next open.
    ASSERT_TRUE(channel_.open_wired(hid_->path(4)));
    hid_->hang_up();
    EXPECT_EQ(channel_.begin_config(), -1);
    EXPECT_EQ(channel_.last_failure(), HidFailure::HungUp);
    EXPECT_TRUE(channel_.wired().unplugged());
    EXPECT_EQ(channel_.wired().read(buffer, 64, &n, 1000), 0);
    EXPECT_EQ(channel_.wired().last_failure(), HidFailure::HungUp);
    ASSERT_TRUE(channel_.open_wired(hid_->path(4)));
    EXPECT_FALSE(channel_.wired().unplugged());
    EXPECT_EQ(channel_.wired().last_failure(), HidFailure::None);
}

TEST_F(ScriptedLink, ReasonsOfFailedOpens) {
    channel_.close_link();
    hid_->fail_opens_with(EACCES);
    EXPECT_FALSE(channel_.open_receiver(hid_->path(4)));
    EXPECT_EQ(channel_.receiver().last_failure(), HidFailure::PermissionDenied);
    EXPECT_NE(channel_.receiver().last_failure_detail().find("Permission denied"),
              std::string::npos);
    EXPECT_EQ(channel_.link_open(), 0) << "a failed open leaves the link closed";
    hid_->fail_opens_with(EIO);
    EXPECT_FALSE(channel_.open_wired(hid_->path(4)));
    EXPECT_EQ(channel_.wired().last_failure(), HidFailure::IoError);
    hid_->fail_opens_with(0);
    EXPECT_FALSE(channel_.open_wired((dir_ / "gone").string() + "#vid_1234&pid_5678&mi_01&col04"));
    EXPECT_EQ(channel_.wired().last_failure(), HidFailure::NoSuchNode);
    HidDevice without_backend;
    EXPECT_FALSE(without_backend.scan());
    EXPECT_FALSE(without_backend.open(hid_->path(4), true, true, true, false));
    EXPECT_EQ(without_backend.last_failure(), HidFailure::NoSuchNode);
    for (auto f : {HidFailure::None, HidFailure::TimedOut, HidFailure::Cancelled,
                   HidFailure::HungUp, HidFailure::PermissionDenied, HidFailure::NoSuchNode,
                   HidFailure::IoError, HidFailure::NotOpen}) {
        EXPECT_GT(std::string(hid_failure_text(f)).size(), 3u);
    }
    EXPECT_STREQ(hid_failure_text(HidFailure::HungUp), "the device was unplugged");
}

TEST(LinkFailureReasons, SimulatorUnplugReadsAsUnplugged) {
    test::TempDir dir;
    InProcessSim sim(dir.path());
    CommandChannel ch(sim.backend());
    ASSERT_TRUE(sim.open(ch, Link::Receiver));
    EXPECT_TRUE(ch.receiver_present());
    ASSERT_TRUE(sim.nodes().unplug(Link::Receiver));
    EXPECT_FALSE(ch.receiver_present());
    EXPECT_EQ(ch.last_failure(), HidFailure::HungUp);
    EXPECT_TRUE(ch.receiver().unplugged());
}

// ---- Receiver check values and presence, as the device sends them ----

TEST_F(ScriptedLink, DamagedCrcOnTheReceiverGives101) {
    ASSERT_TRUE(channel_.open_receiver(hid_->path(4)));
    for (int which : {0, 1, 2}) {
        hid_->set_script([which](const Bytes& req) {
            Report bad{};
            std::copy_n(answer(req).begin(), ReportSize, bad.begin());
            put_check(bad, report_crc_check(bad));
            if (which != 1)
                bad[1] ^= 0x01;
            if (which != 0)
                bad[2] ^= 0x01;
            return std::vector<Bytes>{Bytes(bad.begin(), bad.end())};
        });
        const uint8_t frame[3] = {1, 2, 3};
        EXPECT_EQ(channel_.stream_lighting(frame, 3), -101) << which;
    }
    hid_->set_script([](const Bytes& req) {
        Report good{};
        std::copy_n(answer(req).begin(), ReportSize, good.begin());
        put_check(good, report_crc_check(good));
        return std::vector<Bytes>{Bytes(good.begin(), good.end())};
    });
    const uint8_t frame[3] = {1, 2, 3};
    EXPECT_EQ(channel_.stream_lighting(frame, 3), 1);
}

TEST_F(ScriptedLink, PresenceWithAFailureStatusMeansAbsent) {
    ASSERT_TRUE(channel_.open_receiver(hid_->path(4)));
    for (uint8_t status : {StatusUnknown, StatusOutOfRange, uint8_t{0}}) {
        hid_->set_script([status](const Bytes& req) {
            Bytes reply = answer(req, status);
            reply[PayloadOffset] = 0xFF;
            return std::vector<Bytes>{reply};
        });
        EXPECT_EQ(channel_.receiver_present(), status == 0) << int{status};
    }
}

// ---- Two programs, one mouse ----

TEST(LinkLockFile, OneFilePerNodeInThePrivateFolderHoweverTheNodeIsNamed) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "sim");
    std::filesystem::create_directory_symlink(dir / "sim", dir / "alias");
    const std::string file = link_lock_file(dir / "locks", (dir / "sim/cable-if1.sock").string());
    EXPECT_EQ(std::filesystem::path(file).parent_path(), dir / "locks");
    EXPECT_EQ(link_lock_file(dir / "locks", (dir / "alias/cable-if1.sock").string()), file);
    EXPECT_EQ(link_lock_file(dir / "locks", (dir / "sim/./cable-if1.sock").string()), file);
    EXPECT_NE(link_lock_file(dir / "locks", (dir / "sim/receiver-if1.sock").string()), file);
    EXPECT_NE(link_lock_file(dir / "locks", "/dev/hidraw3"),
              link_lock_file(dir / "locks", "/dev/hidraw4"));
    EXPECT_EQ(link_lock_file({}, "/dev/hidraw3"), "");
}

TEST(LinkLockFile, HeldByOneOpenerKeepsEveryOtherOutForABoundedWait) {
    // Two locks on the same node stand for two programs: flock excludes open files, not
    // processes.
    test::TempDir dir;
    const std::string file = link_lock_file(dir.path(), (dir / "node").string());
    LinkLock window, ctl;
    window.attach(0, file);
    ctl.attach(1, file);
    ASSERT_TRUE(window.lock(0));
    ASSERT_TRUE(window.lock(0));  // nested
    EXPECT_FALSE(ctl.try_lock(1));
    window.unlock();
    EXPECT_FALSE(ctl.try_lock(1)) << "still held once";
    window.unlock();
    ASSERT_TRUE(ctl.try_lock(1));
    auto blocked = std::async(std::launch::async, [&] {
        const bool got = window.lock(0);
        if (got)
            window.unlock();
        return got;
    });
    EXPECT_EQ(blocked.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    ctl.unlock();
    EXPECT_TRUE(blocked.get());

    // A holder that never lets go: the waiter gives up with nothing held, and takes the lock
    // once it is free again.
    ASSERT_TRUE(ctl.lock(1));
    window.set_wait(std::chrono::milliseconds(30));
    EXPECT_FALSE(window.lock(0));
    EXPECT_FALSE(window.lock(0));
    ctl.unlock();
    ASSERT_TRUE(window.lock(0));
    EXPECT_FALSE(ctl.try_lock(1));
    window.unlock();
}

TEST(LinkLockFile, AnythingButARegularFileOfOursIsRefusedWithoutBlocking) {
    test::TempDir dir;
    const std::string fifo = (dir / "fifo.lock").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string target = (dir / "precious").string();
    { std::ofstream(target) << "keep"; }
    const std::string link = (dir / "link.lock").string();
    std::filesystem::create_symlink(target, link);
    for (const std::string& file : {fifo, link}) {
        // No file lock: both "programs" get in, and this process's threads are still ordered.
        LinkLock a, b;
        a.attach(0, file);  // returns: a FIFO's open would otherwise wait for a writer
        b.attach(0, file);
        ASSERT_TRUE(a.lock(0)) << file;
        EXPECT_TRUE(b.try_lock(0)) << file;
        b.unlock();
        a.unlock();
    }
    std::ifstream in(target);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "keep");
}

// Two channels on the mouse's receiver, each with its own connection (getting a copy of every
// reply) and its own lock file descriptor, as the window and velqactl have: only the per-user
// lock file keeps them apart.
class TwoPrograms : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.open(writer_, Link::Receiver));
        ASSERT_TRUE(sim_.open(reader_, Link::Receiver));
        ASSERT_TRUE(
            eventually([&] { return sim_.nodes().connection_count(Link::Receiver, 1) >= 2; }));
    }

    test::TempDir dir_;
    InProcessSim sim_{dir_.path()};
    CommandChannel writer_{sim_.backend()}, reader_{sim_.backend()};
};

TEST_F(TwoPrograms, RecordsNeverMix) {
    // One writes records, the other reads them back meanwhile.
    auto record_of = [](int n) {
        MouseSettingsRecord r;
        for (size_t i = 0; i < r.bytes.size(); ++i)
            r.bytes[i] = static_cast<uint8_t>(n * 16 + i % 16);
        r.bytes[0] = 0;
        return r;
    };
    ASSERT_EQ(write_settings_sequence(writer_, record_of(1), 0), 1);
    constexpr int Rounds = 12;
    auto writes = std::async(std::launch::async, [&] {
        int ok = 0;
        for (int n = 2; n < 2 + Rounds; ++n)
            ok += write_settings_sequence(writer_, record_of(n), 0) == 1;
        return ok;
    });
    int reads = 0;
    for (int i = 0; i < Rounds; ++i) {
        MouseSettingsRead read;
        ASSERT_EQ(read_mouse_settings(reader_, read), 1) << i;
        const int n = read.record.bytes[5] / 16;
        EXPECT_EQ(read.record.bytes, record_of(n).bytes) << "a mixed record in round " << i;
        ++reads;
    }
    EXPECT_EQ(writes.get(), Rounds);
    EXPECT_EQ(reads, Rounds);
    EXPECT_FALSE(sim_.firmware().config_open());
}

// What a party of the concurrent test is about to do, announced to the other.
class Intent {
  public:
    void set_trying(bool trying) {
        {
            std::lock_guard lock(mutex_);
            trying_ = trying;
        }
        changed_.notify_all();
    }
    void set_done() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
    }
    // True once the party waits for the link or is about to (or has finished).
    bool wait_trying() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, test::GenerousDeadline, [&] { return trying_ || done_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool trying_ = false;
    bool done_ = false;
};

TEST_F(TwoPrograms, NoExchangeOfTheOtherFallsBetweenBeginAndEnd) {
    CommandChannel& window = writer_;
    CommandChannel& script = reader_;
    // Far longer than the test: one party may win the lock many times in a row.
    window.set_lock_wait(std::chrono::minutes(2));
    script.set_lock_wait(std::chrono::minutes(2));
    sim_.firmware().clear_requests();

    constexpr int Rounds = 6;
    const std::vector<uint8_t> record(74, 0x5A);
    Intent window_intent, script_intent;
    // Each round: a session whose body, once it has exchanged, waits until the other party is
    // after the link, so that every sequence meets a competing exchange; then a lone read.
    auto party = [&](CommandChannel& ch, Intent& mine, Intent& other,
                     const std::function<int()>& body) {
        int failures = 0;
        for (int round = 0; round < Rounds; ++round) {
            mine.set_trying(true);
            ConfigSession session(ch, ConfigSession::Presence::BeforeEachStep);
            failures += session.run([&] {
                const int res = body();
                return other.wait_trying() ? res : -999;
            }) != result::Success;
            mine.set_trying(false);
            mine.set_trying(true);
            PowerStatusBlock block;
            failures += poll_power_status(ch, block) != result::Success;
            mine.set_trying(false);
        }
        mine.set_done();
        return failures;
    };
    auto window_rounds = std::async(std::launch::async, [&] {
        return party(window, window_intent, script_intent,
                     [&] { return window.write_settings(record, 74, 96); });
    });
    uint8_t info[34];
    const int script_failures =
        party(script, script_intent, window_intent, [&] { return script.read_device_info(info); });
    EXPECT_EQ(window_rounds.get(), 0);
    EXPECT_EQ(script_failures, 0);

    // Every sequence is begin, presence, one party's data, presence, end, with nothing of the
    // other party (its presence queries, data, lone reads or begin) in between.
    std::vector<uint8_t> sent;
    for (const auto& r : sim_.firmware().requests())
        sent.push_back(r[3]);
    int sessions = 0;
    for (size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] != code::BeginConfig)
            continue;
        ++sessions;
        size_t end = i + 1;
        while (end < sent.size() && sent[end] != code::EndConfig)
            ++end;
        ASSERT_LT(end, sent.size()) << "a sequence without its end";
        const std::vector<uint8_t> inside(sent.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                          sent.begin() + static_cast<std::ptrdiff_t>(end));
        ASSERT_GE(inside.size(), 3u) << "sequence " << sessions;
        const uint8_t data = inside[1];
        EXPECT_TRUE(data == code::WriteSettings || data == code::ReadDeviceInfo);
        std::vector<uint8_t> expected = {code::ReceiverPresence};
        expected.insert(expected.end(), inside.size() - 2, data);
        expected.push_back(code::ReceiverPresence);
        EXPECT_EQ(inside, expected) << "sequence " << sessions;
        i = end;
    }
    EXPECT_EQ(sessions, 2 * Rounds);
    EXPECT_FALSE(sim_.firmware().config_open());
}

}  // namespace
}  // namespace velqa::link
