// The macro image and the key table written to the in-process simulated mouse, on both paths.
#include <gtest/gtest.h>

#include "device/link/report.h"
#include "in_process_sim.h"
#include "macro/button_download.h"
#include "macro/key_assignment.h"
#include "macro/macro_files.h"
#include "macro/macro_image.h"
#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::macro {
namespace {

using sim::Link;

std::vector<MacroEvent> events(std::size_t n) {
    std::vector<MacroEvent> v;
    for (std::size_t i = 0; i < n; ++i)
        v.push_back({i % 2 == 0, 0x04, TypeKey, static_cast<std::uint16_t>(i)});
    return v;
}

TEST(MacroImageLayout, OneMacroOfThreeEvents) {
    const std::vector<MacroEvent> three = {{true, 0x01, TypeMouseButton, 20},
                                           {false, 0x01, TypeMouseButton, 0},
                                           {false, 0x04, TypeKey, 0x1234}};
    const std::vector<std::uint8_t> expected = {
        0xAA, 0x55, 0x22, 0x00, 0x01, 0x00, 0, 0,    0, 0, 0, 0,    0, 0,    0,    0,    0x12,
        0x00, 0x03, 0x00, 0,    0,    0x14, 0, 0x81, 1, 0, 0, 0x01, 1, 0x34, 0x12, 0x0A, 0x04,
    };
    EXPECT_EQ(MacroImage::build({three}), expected);
    EXPECT_EQ(MacroImage::size_for({3}), 34u);
    // Offsets follow each record: 16 + 2 x 2 = 20, then 20 + 4 + 4 x 2 = 32.
    const auto two = MacroImage::build({events(2), events(1)});
    EXPECT_EQ(two.size(), 16u + 12 + 12);
    EXPECT_EQ(two[16], 20);
    EXPECT_EQ(two[18], 32);
    EXPECT_EQ(two[32], 1);
}

class MacroDownload : public ::testing::TestWithParam<Link> {
  protected:
    void open(sim::FirmwareOptions options = {}) {
        sim_ = std::make_unique<sim::InProcessSim>(dir_ / "sim", options);
        channel_ = std::make_unique<link::CommandChannel>(sim_->backend());
        ASSERT_TRUE(sim_->started());
        ASSERT_TRUE(sim_->open(*channel_, GetParam()));
        ASSERT_TRUE(
            test::eventually([&] { return sim_->nodes().connection_count(GetParam(), 1) > 0; }));
    }
    // Macros of the given sizes in the folder.
    void make_macros(const std::vector<std::size_t>& sizes) {
        for (std::size_t n : sizes) {
            const MacroResult r = lib_.create();
            ASSERT_TRUE(r.ok());
            ASSERT_TRUE(lib_.save_events(r.index, events(n)).ok());
        }
    }
    std::uint64_t writes() { return sim_->firmware().command_count(link::code::WriteMacroData); }

    test::TempDir dir_;
    MacroLibrary lib_{dir_.path()};
    std::unique_ptr<sim::InProcessSim> sim_;
    std::unique_ptr<link::CommandChannel> channel_;
};

INSTANTIATE_TEST_SUITE_P(BothPaths, MacroDownload, ::testing::Values(Link::Cable, Link::Receiver),
                         [](const auto& p) {
                             return p.param == Link::Cable ? "Cable" : "Receiver";
                         });

TEST_P(MacroDownload, ImageLandsInTheMouseMemoryInSlotOrder) {
    open();
    make_macros({3, 40, 7});
    const std::vector<int> used = {2, 0};
    ASSERT_EQ(download_macros(*channel_, dir_.path(), used), MacrosDone);
    const auto image = MacroImage::build({lib_.load_events(2), lib_.load_events(0)});
    const auto memory = sim_->firmware().macro_memory();
    ASSERT_GE(memory.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin()));
    EXPECT_FALSE(sim_->firmware().config_open());
}

TEST_P(MacroDownload, AnImageBeyondTheMemoryIsReportedAndNotWritten) {
    open({.macro_units = 1});
    make_macros({28, 12, 13});
    // 16 + 6 + 112 = 134 bytes in 128: (134 - 128) / 4 + 1.
    EXPECT_EQ(download_macros(*channel_, dir_.path(), {0}), 2);
    EXPECT_EQ(writes(), 0u);
    // Exactly full: 16 + 12 + 4 x (12 + 13) = 128.
    EXPECT_EQ(download_macros(*channel_, dir_.path(), {1, 2}), MacrosDone);
    EXPECT_GT(writes(), 0u);
}

TEST_P(MacroDownload, NothingToDoAndFailures) {
    open();
    EXPECT_EQ(download_macros(*channel_, dir_.path(), {0}), MacrosDone);  // no macro list
    make_macros({2});
    EXPECT_EQ(download_macros(*channel_, dir_.path(), {}), MacrosDone);
    EXPECT_EQ(writes(), 0u);
    // A failed write is not success: the macros are not on the mouse.
    sim_->firmware().inject_fault(sim::Fault::StatusFF, 3);
    EXPECT_EQ(download_macros(*channel_, dir_.path(), {0}), MacrosFailed);
    sim_->firmware().clear_faults();
    channel_->close_link();
    EXPECT_EQ(download_macros(*channel_, dir_.path(), {0}), MacrosDone);
}

// A button write sends the protocol's sequences and nothing more: without a macro in use no
// macro sequence (its information read wrote nothing and cost an exchange), with one a
// sequence of its own before the key table's.
TEST_P(MacroDownload, ButtonWriteSendsNoReadItDoesNotNeed) {
    open();
    make_macros({2});
    const KeyCode def{0x10, 0x01, 0};
    const auto last = sim_->firmware().key_table();
    auto codes = [&] {
        std::string sent;
        for (const auto& r : sim_->firmware().requests()) {
            if (r[3] != link::code::ReceiverPresence)
                sent += static_cast<char>(r[3]);
        }
        sim_->firmware().clear_requests();
        return sent;
    };
    using namespace link::code;
    const std::size_t chunk = channel_->chunk_size();
    auto reports = [&](std::uint8_t code, std::size_t bytes) {
        return std::string((bytes + chunk - 1) / chunk, static_cast<char>(code));
    };
    const std::size_t key_bytes = 3 * std::size_t{sim::FirmwareOptions{}.keys};
    auto expected = [&](bool macro) {
        std::string s;
        if (macro) {
            s = reports(ReadDeviceInfo, 34) + char(BeginConfig) +
                reports(WriteMacroData, MacroImage::size_for({2})) + char(EndConfig);
        }
        return s + reports(ReadDeviceInfo, 34) + char(BeginConfig) +
               reports(WriteKeyTable, key_bytes) + char(EndConfig);
    };
    codes();
    const std::vector<profile::KeyAssignment> plain = {{0, {0x10, 0x02, 0}, 0, def}};
    ButtonWrite w =
        write_buttons(*channel_, dir_.path(), last, 8, plain, AfterMacroFailure::SkipKeys);
    EXPECT_TRUE(w.ok());
    EXPECT_EQ(codes(), expected(false));
    const std::vector<profile::KeyAssignment> with_macro = {{0, {0x70, 0, 0}, 0, def}};
    w = write_buttons(*channel_, dir_.path(), last, 8, with_macro, AfterMacroFailure::SkipKeys);
    EXPECT_TRUE(w.ok());
    EXPECT_EQ(codes(), expected(true));
}

TEST_P(MacroDownload, KeyTableReadBackHoldsTheSlots) {
    open();
    make_macros({1, 2, 3});
    const KeyCode def{0x10, 0x01, 0};
    const std::vector<profile::KeyAssignment> keys = {
        {0, {0x10, 0x02, 0}, 0, def}, {1, {0x70, 2, 1}, 1, def}, {2, {0x71, 1, 4}, 2, def},
        {3, {0x70, 2, 0}, 3, def},    {4, {0x70, 8, 0}, 4, def},
    };
    const KeyPositions positions = {0, 1, 2, 3, 4};
    std::vector<int> used = collect_used_macros(keys, positions, 8, lib_.size());
    ASSERT_EQ(download_macros(*channel_, dir_.path(), used), MacrosDone);
    const auto last = sim_->firmware().key_table();
    std::vector<std::uint8_t> written;
    ASSERT_EQ(download_key_table(*channel_, last, keys, positions, lib_.size(), used, &written),
              link::result::Success);
    const auto table = sim_->firmware().key_table();
    EXPECT_EQ(table, written);
    ASSERT_EQ(table.size(), 24u);
    const std::vector<std::uint8_t> head = {0x10, 0x02, 0, 0x70, 0,    1, 0x71, 1,
                                            4,    0x70, 0, 0,    0x10, 1, 0};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), table.begin()));
    EXPECT_TRUE(std::equal(table.begin() + 15, table.end(), last.begin() + 15));
    // Slot 1 of the image is macro 1 (two events).
    const auto memory = sim_->firmware().macro_memory();
    EXPECT_EQ(memory[4], 2);
    const std::size_t slot1 = memory[18] | memory[19] << 8;
    EXPECT_EQ(memory[slot1], 2);
}

}  // namespace
}  // namespace velqa::macro
