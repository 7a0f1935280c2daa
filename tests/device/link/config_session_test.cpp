// ConfigSession against the in-process simulated mouse: how a sequence's result is decided, and
// that another program's exchanges stay out of a begin ... end sequence.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <future>
#include <mutex>
#include <vector>

#include "device/link/codecs.h"
#include "device/link/command_channel.h"
#include "device/link/config_session.h"
#include "device/link/sequences.h"
#include "in_process_sim.h"
#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::link {
namespace {

using sim::Fault;
using sim::InProcessSim;
using sim::Link;
using Presence = ConfigSession::Presence;
using Step = ConfigSession::Step;

std::vector<uint8_t> codes(const sim::Firmware& fw) {
    std::vector<uint8_t> out;
    for (const auto& r : fw.requests())
        out.push_back(r[3]);
    return out;
}

TEST(ConfigSessionResult, TheFirstFailureDecidesAndAGoneMouseGetsNoEnd) {
    test::TempDir dir;
    InProcessSim sim(dir.path());
    sim::Firmware& fw = sim.firmware();
    CommandChannel ch(sim.backend());
    ASSERT_TRUE(sim.open(ch, Link::Receiver));
    const std::vector<uint8_t> record(74, 0x11);
    auto write = [&] { return ch.write_settings(record, 74, 0); };

    // A refused begin: nothing written, and no end for a configuration that never began.
    fw.clear_requests();
    fw.inject_fault(Fault::StatusFF, 1);
    {
        ConfigSession session(ch, Presence::BeforeEachStep);
        bool ran = false;
        EXPECT_EQ(session.run([&] { return ran = true, 1; }), result::StatusFF);
        EXPECT_EQ(session.failed_step(), Step::Begin);
        EXPECT_FALSE(ran);
    }
    EXPECT_EQ(codes(fw), (std::vector<uint8_t>{0xAA, 0xAA, 0x01}));

    // A refused end fails a sequence whose body succeeded.
    {
        ConfigSession session(ch, Presence::Never);
        EXPECT_EQ(session.run([&] {
            const int res = write();
            fw.inject_fault(Fault::StatusFE, 1);
            return res;
        }),
                  result::StatusFE);
        EXPECT_EQ(session.failed_step(), Step::End);
    }

    // The mouse leaves the receiver during the body: the end could not reach it, 0.
    fw.clear_requests();
    {
        ConfigSession session(ch, Presence::BeforeEachStep);
        EXPECT_EQ(session.run([&] {
            fw.set_linked(false);
            return write();
        }),
                  result::ReadFailed);
        EXPECT_EQ(session.failed_step(), Step::Presence);
    }
    const auto sent = codes(fw);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), code::EndConfig), 0);
    EXPECT_EQ(sent.back(), code::ReceiverPresence);
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

TEST(ConfigSessionAcrossPrograms, NoExchangeOfAnotherProgramFallsBetweenBeginAndEnd) {
    // Two channels with their own connections and lock file descriptors, as the window and
    // velqactl have: only the per-user lock file keeps them apart.
    test::TempDir dir;
    InProcessSim sim(dir.path());
    CommandChannel window(sim.backend()), script(sim.backend());
    ASSERT_TRUE(sim.open(window, Link::Receiver));
    ASSERT_TRUE(sim.open(script, Link::Receiver));
    ASSERT_TRUE(
        test::eventually([&] { return sim.nodes().connection_count(Link::Receiver, 1) >= 2; }));
    // Far longer than the test: one party may win the lock many times in a row.
    window.set_lock_wait(std::chrono::minutes(2));
    script.set_lock_wait(std::chrono::minutes(2));
    sim.firmware().clear_requests();

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
            ConfigSession session(ch, Presence::BeforeEachStep);
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
    auto writer = std::async(std::launch::async, [&] {
        return party(window, window_intent, script_intent,
                     [&] { return window.write_settings(record, 74, 96); });
    });
    uint8_t info[34];
    const int script_failures =
        party(script, script_intent, window_intent, [&] { return script.read_device_info(info); });
    EXPECT_EQ(writer.get(), 0);
    EXPECT_EQ(script_failures, 0);

    // Every sequence is begin, presence, one party's data, presence, end, with nothing of the
    // other party (its presence queries, data, lone reads or begin) in between.
    const auto sent = codes(sim.firmware());
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
    EXPECT_FALSE(sim.firmware().config_open());
}

}  // namespace
}  // namespace velqa::link
