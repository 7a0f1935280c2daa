// ConfigSession against the in-process simulated mouse: how a sequence's result is decided.
// That another program's exchanges stay out of a sequence: link_exchange_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "device/link/command_channel.h"
#include "device/link/config_session.h"
#include "in_process_sim.h"
#include "support/temp_dir.h"

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

}  // namespace
}  // namespace velqa::link
