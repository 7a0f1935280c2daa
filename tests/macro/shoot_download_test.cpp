// The four shooting patterns written to the in-process simulated mouse, on both paths.
#include <gtest/gtest.h>

#include <fstream>

#include "device/link/report.h"
#include "in_process_sim.h"
#include "macro/shoot_data.h"
#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::macro {
namespace {

using sim::Link;

class ShootDownload : public ::testing::TestWithParam<Link> {
  protected:
    void SetUp() override {
        sim_ = std::make_unique<sim::InProcessSim>(dir_ / "sim");
        channel_ = std::make_unique<link::CommandChannel>(sim_->backend());
        ASSERT_TRUE(sim_->started());
        ASSERT_TRUE(sim_->open(*channel_, GetParam()));
        ASSERT_TRUE(
            test::eventually([&] { return sim_->nodes().connection_count(GetParam(), 1) > 0; }));
        ASSERT_TRUE(patterns_.restore_unreadable().ok());
    }
    std::uint64_t writes() { return sim_->firmware().command_count(link::code::WriteShootingData); }

    test::TempDir dir_;
    ShootPatterns patterns_{dir_.path(), test::source_dir() / "DefaultData"};
    std::unique_ptr<sim::InProcessSim> sim_;
    std::unique_ptr<link::CommandChannel> channel_;
};

INSTANTIATE_TEST_SUITE_P(BothPaths, ShootDownload, ::testing::Values(Link::Cable, Link::Receiver),
                         [](const auto& p) {
                             return p.param == Link::Cable ? "Cable" : "Receiver";
                         });

TEST_P(ShootDownload, FourFullPatternsLandInFiftyThreeReports) {
    const std::vector<std::uint8_t> image = patterns_.image();
    ASSERT_EQ(image.size(), 2920u);
    sim_->firmware().clear_requests();

    link::DeviceInfo info;
    ASSERT_EQ(download_shooting_patterns(*channel_, patterns_, &info), link::result::Success);
    EXPECT_GT(info.key_count, 0);
    const auto memory = sim_->firmware().shooting_memory();
    ASSERT_GE(memory.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin()));
    // 2920 bytes in 56-byte chunks, whatever the path's chunk size.
    EXPECT_EQ(writes(), 53u);
    std::size_t last_offset = 0;
    for (const link::Report& r : sim_->firmware().requests()) {
        if (r[3] != link::code::WriteShootingData)
            continue;
        EXPECT_LE(r[4], 56);
        last_offset = r[5] | r[6] << 8;
    }
    EXPECT_EQ(last_offset, 52u * 56);
    EXPECT_FALSE(sim_->firmware().config_open());
}

TEST_P(ShootDownload, UnreadablePatternsContributeNoEventsAndFailuresAreReported) {
    std::ofstream(patterns_.pattern_path(1)) << "{";
    ASSERT_EQ(download_shooting_patterns(*channel_, patterns_), link::result::Success);
    const auto memory = sim_->firmware().shooting_memory();
    EXPECT_EQ(memory[2] | memory[3] << 8, 16 + 24 + 3 * 720);
    const std::size_t gun1 = memory[18] | memory[19] << 8;
    EXPECT_EQ(memory[gun1], 0);

    sim_->firmware().inject_fault(sim::Fault::StatusFF, 3);
    EXPECT_EQ(download_shooting_patterns(*channel_, patterns_), link::result::StatusFF);
    sim_->firmware().clear_faults();
    EXPECT_FALSE(sim_->firmware().config_open());

    if (GetParam() == Link::Receiver) {
        // The mouse gone from the receiver: nothing is sent after the presence query.
        sim_->firmware().set_linked(false);
        const std::uint64_t before = writes();
        const std::uint64_t begins = sim_->firmware().command_count(link::code::BeginConfig);
        EXPECT_EQ(download_shooting_patterns(*channel_, patterns_), link::result::ReadFailed);
        EXPECT_EQ(writes(), before);
        EXPECT_EQ(sim_->firmware().command_count(link::code::BeginConfig), begins);
    }
    channel_->close_link();
    EXPECT_EQ(download_shooting_patterns(*channel_, patterns_), link::result::ReadFailed);
}

}  // namespace
}  // namespace velqa::macro
