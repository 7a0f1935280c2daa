// The mouse core's sequences against the in-process simulated mouse, on both paths.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "device/link/codecs.h"
#include "device/link/sequences.h"
#include "device/model/mouse_core.h"
#include "in_process_sim.h"
#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/folder_lock.h"
#include "profile/profile_files.h"
#include "support/shipped_sensors.h"
#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::model {
namespace {

using link::code::BeginConfig;
using link::code::EndConfig;
using link::code::WriteSettings;
using sim::Fault;
using sim::InProcessSim;
using sim::Link;

constexpr uint8_t PresenceQuery = 0xAA;

using velqa::test::eventually;

class MouseCoreSim : public ::testing::TestWithParam<Link> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.started());
        ASSERT_TRUE(sim_.open(channel_, GetParam()));
        ASSERT_TRUE(eventually([&] { return sim_.nodes().connection_count(GetParam(), 1) > 0; }));
        profile_.set_device_index(0);
        profile_.set_default_path(test::source_dir() / "DefaultData" / "mouse.Json");
        profile_.set_profile_path(profile_file());
        profile_.load_section(profile_file());
        core_.set_effect_list(effect_codes(
            profile::read_json(test::source_dir() / "DefaultData" / "default_light.json"), 0));
    }
    std::filesystem::path profile_file() const { return dir_ / "profile.Json"; }
    sim::Firmware& fw() { return sim_.firmware(); }
    size_t sent(uint8_t c) {
        size_t n = 0;
        for (const auto& r : fw().requests())
            n += r[3] == c;
        return n;
    }
    // Load and first read, as the page's first reload does.
    void reload() {
        ASSERT_EQ(core_.load_from_device(channel_, 0).result, 1);
        ASSERT_EQ(core_.read_settings(channel_), 1);
    }
    Json::Value stage_in_file(int stage) {
        return profile::read_json(profile_file())["Device"][0]["DPIStages"][0]["StageDPIs"][stage];
    }
    uint16_t slot0_dpi(int stage) {
        const auto mem = fw().settings_memory();
        const size_t at = 14 + size_t(stage) * 9 + 2;
        return static_cast<uint16_t>(mem[at] | mem[at + 1] << 8);
    }

    test::TempDir dir_;
    InProcessSim sim_{dir_.path()};
    link::CommandChannel channel_{sim_.backend()};
    profile::CMouseProfiledata profile_;
    MouseCore core_{profile_, test::shipped_sensors()};
};

INSTANTIATE_TEST_SUITE_P(BothPaths, MouseCoreSim, ::testing::Values(Link::Cable, Link::Receiver),
                         [](const auto& param_info) {
                             return param_info.param == Link::Cable ? "Cable" : "Receiver";
                         });

TEST_P(MouseCoreSim, LoadTellsThePageWhatToShow) {
    const LoadOutcome out = core_.load_from_device(channel_, 0);
    ASSERT_EQ(out.result, 1);
    EXPECT_EQ(out.link_message, MsgDeviceLinked);
    EXPECT_EQ(out.sensor_id, link::SensorA);
    EXPECT_EQ(out.range, (DpiRange{50, 26000}));
    EXPECT_FALSE(out.sensor_picture);
    EXPECT_EQ(core_.info().key_count, 8);
    EXPECT_EQ(core_.key_tables()[512], 0x10);  // the bank's first entry: a mouse button
    EXPECT_FALSE(fw().config_open());
    EXPECT_EQ(core_.load_from_device(channel_, 1).result, -201);
    EXPECT_FALSE(fw().config_open());  // ended after the failed bank read
}

// A DPI typed into stage 2: clamped, saved in the profile file, written to slot 0.
TEST_P(MouseCoreSim, RoadOfOneChange) {
    reload();
    fw().clear_requests();
    const ApplyResult r = core_.apply(channel_, mouse::StageDpi{2, 27000});
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.write_code, 1);
    EXPECT_EQ(r.stored, 26000);
    EXPECT_EQ(r.clamped_from, 27000);
    EXPECT_EQ(stage_in_file(2)["StageDPIX"].asInt(), 26000);
    EXPECT_EQ(slot0_dpi(2), 26000);
    EXPECT_EQ(slot0_dpi(1), 800);
    const bool receiver = GetParam() == Link::Receiver;
    EXPECT_EQ(sent(WriteSettings), receiver ? 4u : 2u);
    EXPECT_EQ(sent(PresenceQuery), receiver ? 4u : 0u);
    EXPECT_EQ(sent(BeginConfig), 1u);
    EXPECT_EQ(sent(EndConfig), 1u);
    EXPECT_EQ(fw().requests().size(), receiver ? 10u : 4u);
}

// Each change is held once and reports what it kept; one naming nothing the mouse has changes
// nothing; a pointer setting is saved without a write; a failed save is the result's, though the
// mouse still takes the record.
TEST_P(MouseCoreSim, EveryChangeTakesTheOneWayIn) {
    reload();
    const std::string before = profile::read_text_file(profile_file());
    fw().clear_requests();
    ApplyResult r = core_.apply(channel_, mouse::StageDpi{6, 800});
    EXPECT_EQ(r.failed, ApplyResult::Step::Refused);
    r = core_.apply(channel_, mouse::StageDpi{1, 800, true});
    EXPECT_TRUE(r.ok() && r.unchanged);
    EXPECT_EQ(profile::read_text_file(profile_file()), before);
    EXPECT_TRUE(fw().requests().empty());

    r = core_.apply(channel_, mouse::Polling{PollingField::Usb, 9});
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.stored, 5);
    EXPECT_EQ(r.clamped_from, 9);
    r = core_.apply(channel_, mouse::Option{MouseOption::SleepTime, 0});
    EXPECT_EQ(r.stored, 1);
    ASSERT_EQ(core_.read_settings(channel_, Mirror::No), 1);
    EXPECT_EQ(core_.state().settings.report_select_usb, 5);
    EXPECT_EQ(core_.state().settings.dormancy_time, 1);

    fw().clear_requests();
    r = core_.apply(channel_, mouse::Pointer{platform::desktop::PointerSetting::DoubleClick, 50});
    EXPECT_TRUE(r.ok());
    EXPECT_FALSE(r.written);
    EXPECT_EQ(r.stored, 200);
    EXPECT_TRUE(fw().requests().empty());
    profile::CMouseProfiledata saved;
    saved.set_device_index(0);
    saved.load_section(profile_file());
    EXPECT_EQ(saved.read_system_settings().double_click_time, 200);

    profile_.set_profile_path(dir_.path());  // a folder: the save fails
    r = core_.apply(channel_, mouse::StageDpi{0, 1600});
    EXPECT_EQ(r.failed, ApplyResult::Step::Save);
    EXPECT_FALSE(r.save_error.empty());
    EXPECT_EQ(r.write_code, 1);
    EXPECT_EQ(slot0_dpi(0), 1600);
}

// The save runs beside the write; in a listed folder it takes the folder's lock, which a caller
// already holding it must not wait for (the save would give up after the lock's wait).
TEST_P(MouseCoreSim, SaveBesideTheWriteUnderTheCallersFolderLock) {
    reload();
    ASSERT_TRUE(platform::write_file_atomically(dir_ / "ProfileList.ini", "{}"));
    {
        platform::FolderLock held(dir_.path());
        ASSERT_TRUE(held.ok());
        ASSERT_TRUE(core_.apply(channel_, mouse::StageDpi{2, 1200}).ok());
        EXPECT_EQ(stage_in_file(2)["StageDPIX"].asInt(), 1200);
    }
    ASSERT_TRUE(core_.apply(channel_, mouse::StageDpi{2, 1300}).ok());
    EXPECT_EQ(stage_in_file(2)["StageDPIX"].asInt(), 1300);
    EXPECT_EQ(slot0_dpi(2), 1300);
}

TEST_P(MouseCoreSim, DpiButtonMovesTheActiveStage) {
    reload();
    const int before = core_.state().settings.active_stage;
    fw().press_dpi();
    ASSERT_EQ(core_.read_settings(channel_), 1);
    EXPECT_EQ(core_.state().settings.active_stage, fw().active_stage());
    EXPECT_EQ(core_.state().settings.active_stage, (before + 1) % 6);
    EXPECT_EQ(core_.previous_state().settings.active_stage, before);
    EXPECT_EQ(profile_.active_stage(), fw().active_stage());
}

TEST_P(MouseCoreSim, UnplugDuringAWriteNeitherHangsNorDamagesTheProfile) {
    reload();
    fw().inject_fault(Fault::Slow, 20, 200);
    auto write = std::async(std::launch::async, [&] {
        return core_.apply(channel_, mouse::StageDpi{2, 5000});
    });
    ASSERT_TRUE(eventually([&] { return fw().command_count(BeginConfig) >= 1; }));
    ASSERT_TRUE(sim_.nodes().unplug(GetParam()));
    ASSERT_EQ(write.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    const ApplyResult r = write.get();
    EXPECT_EQ(r.failed, ApplyResult::Step::Write);
    EXPECT_NE(r.write_code, 1);
    const Json::Value stage = stage_in_file(2);
    EXPECT_EQ(stage["StageDPIX"].asInt(), 5000);
    EXPECT_EQ(stage_in_file(0)["StageDPIX"].asInt(), 400);
}

TEST_P(MouseCoreSim, UnknownLightingCodeSurvivesAWrite) {
    ASSERT_TRUE(fw().change_setting(1, 0x42));
    reload();
    EXPECT_FALSE(core_.state().light_code_known);
    ASSERT_TRUE(core_.apply(channel_, mouse::StageDpi{0, 1200}).ok());
    EXPECT_EQ(fw().settings_memory()[1], 0x42);
    EXPECT_EQ(slot0_dpi(0), 1200);
}

TEST_P(MouseCoreSim, NothingReadLeavesStateAndProfileAlone) {
    reload();
    const std::string file = profile::read_text_file(profile_file());
    const link::MouseSettingsRecord record = core_.last_record();
    // Link closed: nothing is sent, nothing is decoded.
    link::CommandChannel closed;
    EXPECT_EQ(core_.read_settings(closed), 0);
    // A failing read.
    fw().inject_fault(Fault::StatusFF, 1);
    EXPECT_EQ(core_.read_settings(channel_), 0);
    EXPECT_EQ(profile::read_text_file(profile_file()), file);
    EXPECT_EQ(core_.last_record().bytes, record.bytes);
    EXPECT_EQ(core_.state().settings.stages[0].dpi_x, 400);
}

TEST_P(MouseCoreSim, NothingIsWrittenBeforeTheRecordWasRead) {
    const auto before = fw().settings_memory();
    platform::DebugCapture capture;
    EXPECT_EQ(core_.write_settings(channel_, 0, 0), 0);
    EXPECT_TRUE(capture.contains("nothing read from the mouse yet"));
    EXPECT_EQ(sent(0x06), 0u);
    EXPECT_EQ(fw().settings_memory(), before);
    reload();
    EXPECT_EQ(core_.write_settings(channel_, 0, 0), 1);
}

TEST_P(MouseCoreSim, WriteReportsTheFirstFailure) {
    reload();
    platform::DebugCapture capture;
    fw().inject_fault(Fault::StatusFF, 1);
    EXPECT_EQ(core_.write_settings(channel_, 0, 0), -102);
    EXPECT_TRUE(capture.contains("-102"));
    link::CommandChannel closed;
    EXPECT_EQ(core_.write_settings(closed, 0, 0), 0);
    EXPECT_EQ(core_.write_settings(channel_, 300, 0), -202);
    EXPECT_EQ(core_.write_settings(channel_, 0, 0), 1);
}

TEST_P(MouseCoreSim, PowerPoll) {
    fw().set_battery(40, 1);
    PowerUpdate update;
    EXPECT_EQ(poll_power(channel_, true, true, update), 0);
    EXPECT_EQ(poll_power(channel_, false, false, update), 0);
    EXPECT_EQ(fw().command_count(link::code::ReadMemory), 0u);
    ASSERT_EQ(poll_power(channel_, true, false, update), 1);
    EXPECT_EQ(update.block.bytes[0], 40);
    EXPECT_EQ(update.block.bytes[1], 1);
    EXPECT_EQ(update.block.bytes[3], GetParam() == Link::Receiver ? 1 : 0);
    EXPECT_EQ(receiver_link_ok(channel_), GetParam() == Link::Receiver);
}

TEST_P(MouseCoreSim, AnotherProgramNeverFallsIntoTheLoadSequence) {
    // Its own connection and lock file descriptor, as velqactl has: it reads the settings over
    // and over while the window loads.
    link::CommandChannel other(sim_.backend());
    ASSERT_TRUE(sim_.open(other, GetParam()));
    fw().clear_requests();
    // One read per round, started together with the round's load: it either goes first or
    // waits for the whole load.
    std::atomic<bool> running{true};
    std::atomic<int> asked{0}, read{0};
    auto reader = std::async(std::launch::async, [&] {
        while (running.load()) {
            if (read.load() == asked.load()) {
                std::this_thread::yield();
                continue;
            }
            link::MouseSettingsRead settings;
            EXPECT_EQ(link::read_mouse_settings(other, settings), 1);
            ++read;
        }
    });
    for (int round = 1; round <= 8; ++round) {
        asked = round;
        EXPECT_EQ(core_.load_from_device(channel_, 0).result, 1);
        EXPECT_TRUE(eventually([&] { return read.load() == round; }));
    }
    running = false;
    reader.get();
    bool open = false;
    int inside = 0;
    for (const auto& r : fw().requests()) {
        if (r[3] == BeginConfig)
            open = true;
        else if (r[3] == EndConfig)
            open = false;
        else if (open && r[3] == link::code::ReadSettings)
            ++inside;
    }
    EXPECT_EQ(inside, 0) << "another program's reads fell between begin and end";
}

TEST(MouseCoreSensor, WiderRangeAndPictureFor3950) {
    test::TempDir dir;
    sim::FirmwareOptions options;
    options.sensor = link::SensorB;
    InProcessSim sim(dir.path(), options);
    link::CommandChannel channel(sim.backend());
    ASSERT_TRUE(sim.open(channel, Link::Cable));
    ASSERT_TRUE(eventually([&] { return sim.nodes().connection_count(Link::Cable, 1) > 0; }));
    profile::CMouseProfiledata profile;
    MouseCore core(profile, test::shipped_sensors());
    const LoadOutcome out = core.load_from_device(channel, 0);
    ASSERT_EQ(out.result, 1);
    EXPECT_EQ(out.range, (DpiRange{50, 30000}));
    EXPECT_TRUE(out.sensor_picture);
    EXPECT_EQ(out.sensor_id, link::SensorB);
}

TEST(MouseCoreSensor, AKeyTableAboveTheBlockLimitEndsTheLoad) {
    test::TempDir dir;
    InProcessSim sim(dir.path(), sim::FirmwareOptions{link::SensorB, 171, 8, 50});
    link::CommandChannel channel(sim.backend());
    ASSERT_TRUE(sim.open(channel, Link::Cable));
    ASSERT_TRUE(eventually([&] { return sim.nodes().connection_count(Link::Cable, 1) > 0; }));
    profile::CMouseProfiledata profile;
    MouseCore core(profile, test::shipped_sensors());
    EXPECT_EQ(core.load_from_device(channel, 0).result, 0);  // 3 x 171 = 513
    EXPECT_EQ(channel.block_size(), 512);
    EXPECT_FALSE(sim.firmware().config_open());
}

// The mouse's key table comes into the profile, except where a macro is involved: the mouse holds
// the macro's place in its image, the profile the macro itself, so copying would point the key
// at another macro.
TEST(MergeDeviceKeys, TheMouseCodesReplaceTheProfilesButMacrosStay) {
    profile::CMouseProfiledata data;
    data.set_device_index(0);
    Json::Value section(Json::objectValue);
    for (int i = 0; i < 4; ++i)
        section["KeyList"][i]["Assignment"] = 0x010100 + i;
    section["KeyList"][2]["Assignment"] = 0x700500;  // macro 5
    section["KeyList"][3]["DefaultAssignment"] = 0x010800;
    data.set_section(section);
    const std::uint8_t table[] = {0x01, 0x02, 0x00, 0x01, 0x01, 0x00,
                                  0x70, 0x00, 0x00, 0x71, 0x01, 0x03};
    data.set_key_slot_table(table, sizeof table);
    EXPECT_TRUE(merge_device_keys(data, 4));
    const auto keys = data.read_key_list();
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].current, (profile::KeyCode{0x01, 0x02, 0x00}));
    EXPECT_EQ(keys[1].current, (profile::KeyCode{0x01, 0x01, 0x00}));
    EXPECT_EQ(keys[2].current, (profile::KeyCode{0x70, 0x05, 0x00}));  // the profile's macro
    EXPECT_EQ(keys[3].current, (profile::KeyCode{0x01, 0x01, 0x03}));  // kept: a macro code came
    EXPECT_EQ(keys[3].default_code, (profile::KeyCode{0x01, 0x08, 0x00}));
    EXPECT_FALSE(merge_device_keys(data, 4)) << "nothing new the second time";
}

}  // namespace
}  // namespace velqa::model
