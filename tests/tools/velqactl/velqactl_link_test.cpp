// velqactl and velqa-sim as separate processes: a delayed reply never yields a record that
// differs from the simulator's memory, two velqactl processes on one mouse never mix, and the
// device lock is this user's alone and never waited on without end.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "device/link/link_lock.h"
#include "platform/folders.h"
#include "platform/json_read.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

std::string run(const std::string& command, int* exit_code = nullptr) {
    auto r = velqa::test::run_command(command);
    if (exit_code)
        *exit_code = r.exit_code;
    return std::move(r.out);
}

Json::Value parse(const std::string& text) {
    return velqa::platform::parse_json(text);
}

std::string without_spaces(std::string s) {
    std::erase(s, ' ');
    return s;
}

class VelqactlOnSim : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_process_.start(sim_, dir_.path(), {"--link", "both"}))
            << "simulator did not start";
    }
    std::string ctl_line(const std::string& args) const {
        return "VELQA_HID=sim:" + dir_.path().string() + " " + ctl_ + " " + args;
    }
    std::string sim_ctl(const std::string& args) const {
        return run(std::string(sim_) + " ctl --dir " + dir_.path().string() + " " + args);
    }
    // The record of the active slot as the simulator holds it.
    std::string memory_record() const {
        const Json::Value dump = parse(sim_ctl("dump"));
        return without_spaces(dump["slots"][dump["active_slot"].asInt()].asString());
    }

    velqa::test::TempDir dir_;
    const char* sim_ = VELQA_SIM_BIN;
    const char* ctl_ = VELQACTL_BIN;
    velqa::test::SimProcess sim_process_;  // after dir_: stopped before the folder goes
};

TEST_F(VelqactlOnSim, DelayedReplyNeverYieldsAnotherRecord) {
    const std::string memory = memory_record();
    ASSERT_EQ(memory.size(), 148u);
    for (const char* l : {"cable", "receiver"}) {
        // Late enough that the first read gives up and its reply lands in the next one.
        const int delay = std::string(l) == "cable" ? 2100 : 1100;
        sim_ctl("fault slow 1 " + std::to_string(delay));
        for (int round = 0; round < 3; ++round) {
            int code = -1;
            const std::string out = run(ctl_line(std::string("settings --link ") + l), &code);
            if (code != 0)
                continue;  // a failure is honest; a wrong record is not
            EXPECT_EQ(parse(out)["record"].asString(), memory) << l << " round " << round;
        }
    }
}

TEST_F(VelqactlOnSim, TwoProgramsHammeringOneMouseNeverMixRecords) {
    const std::string memory = memory_record();
    const std::string out_a = (dir_ / "a.txt").string(), out_b = (dir_ / "b.txt").string();
    auto loop = [&](const std::string& file, const char* link) {
        return "(for i in 1 2 3 4 5 6 7 8; do " + ctl_line(std::string("settings --link ") + link) +
               " || echo FAILED; done) > " + file + " 2>&1";
    };
    int code = -1;
    run("(" + loop(out_a, "receiver") + ") & (" + loop(out_b, "receiver") + ") & wait", &code);
    ASSERT_EQ(code, 0);
    for (const auto& file : {out_a, out_b}) {
        const std::string text = run("cat " + file);
        EXPECT_EQ(text.find("FAILED"), std::string::npos) << text;
        size_t records = 0;
        for (size_t at = text.find("\"record\""); at != std::string::npos;
             at = text.find("\"record\"", at + 1)) {
            const size_t start = text.find('"', text.find(':', at)) + 1;
            EXPECT_EQ(text.substr(start, text.find('"', start) - start), memory);
            ++records;
        }
        EXPECT_EQ(records, 8u) << text;
    }
}

// ---- The device lock ----

std::string read_file(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class DeviceLock : public VelqactlOnSim {
  protected:
    std::filesystem::path runtime() const { return dir_ / "run"; }
    std::filesystem::path lock_folder() const { return runtime() / "velqa"; }
    std::string lock_of(const std::filesystem::path& folder, const char* node) const {
        return velqa::link::link_lock_file(folder, (dir_ / node).string());
    }
    // velqactl with its own data folder and the given environment in front.
    std::string set_dpi(const std::string& env, int dpi) const {
        return env + " XDG_DATA_HOME=" + (dir_ / "data").string() +
               " VELQA_HID=sim:" + dir_.path().string() + " timeout 60 " + ctl_ + " set dpi 1 " +
               std::to_string(dpi) + " --link cable";
    }
    int stage_one_dpi() const {
        const Json::Value dump = parse(sim_ctl("dump"));
        const std::string rec = without_spaces(dump["slots"][0].asString());
        const int at = 2 * (14 + 9 + 2);
        return std::stoi(rec.substr(static_cast<size_t>(at) + 2, 2) + rec.substr(at, 2), nullptr,
                         16);
    }
};

TEST_F(DeviceLock, AnotherUsersLocksAndFifosNeverStopUs) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user (setpriv)";
    // Everyone may write in the simulator's folder and in the temporary folder, as in /tmp.
    const auto tmp = dir_ / "tmp";
    std::filesystem::create_directories(tmp);
    ASSERT_EQ(::chmod(dir_.path().c_str(), 01777), 0);
    ASSERT_EQ(::chmod(tmp.c_str(), 01777), 0);
    const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    // Where the lock used to be, beside the nodes: a file held by the other user and a FIFO.
    // Our fallback folder, made first by them, with the lock file held in it.
    const auto theirs = tmp / ("velqa-" + std::to_string(::geteuid()));
    velqa::test::BackgroundCommand holder;
    ASSERT_TRUE(holder.start(
        nobody + "sh -c 'mkfifo " + (dir_ / "receiver-if1.sock.lock").string() +
        " && mkdir -m 777 " + theirs.string() + " && flock -x " +
        (dir_ / "cable-if1.sock.lock").string() + " flock -x " + lock_of(theirs, "cable-if1.sock") +
        " -c \"touch " + (dir_ / "held").string() + "; exec sleep 600\"'"));
    ASSERT_TRUE(velqa::test::wait_for_file(dir_ / "held"));
    // And a FIFO left at the new place in our own runtime folder.
    ASSERT_TRUE(velqa::platform::make_private_folder(runtime(), nullptr));
    ASSERT_TRUE(velqa::platform::make_private_folder(lock_folder(), nullptr));
    ASSERT_EQ(::mkfifo(lock_of(lock_folder(), "cable-if1.sock").c_str(), 0600), 0);

    int code = -1;
    run(set_dpi("XDG_RUNTIME_DIR=" + runtime().string(), 1600), &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(stage_one_dpi(), 1600);
    run(set_dpi("env -u XDG_RUNTIME_DIR TMPDIR=" + tmp.string(), 2400), &code);
    EXPECT_EQ(code, 0) << "the other user's folder is refused, not waited on";
    EXPECT_EQ(stage_one_dpi(), 2400);
}

TEST_F(DeviceLock, AHeldLockMakesUsWaitAndAStuckOneEndsInAClearError) {
    ASSERT_TRUE(velqa::platform::make_private_folder(runtime(), nullptr));
    ASSERT_TRUE(velqa::platform::make_private_folder(lock_folder(), nullptr));
    velqa::link::LinkLock window;  // another program of ours, in the middle of a sequence
    window.attach(0, lock_of(lock_folder(), "cable-if1.sock"));
    ASSERT_TRUE(window.lock(0));
    const int before = stage_one_dpi();

    // Waits while it is held, and goes on when it is let go.
    const auto err = dir_ / "err", done = dir_ / "done";
    run("(VELQA_DEBUG=1 " + set_dpi("XDG_RUNTIME_DIR=" + runtime().string(), 1800) + " 2>" +
        err.string() + " >/dev/null; echo $? >" + (dir_ / "rc").string() + "; touch " +
        done.string() + ") >/dev/null 2>&1 &");
    ASSERT_TRUE(velqa::test::wait_for_file(err));
    const auto waiting = [&] {
        return read_file(err).find("link lock: held by another program; waiting") !=
               std::string::npos;
    };
    ASSERT_TRUE(
        velqa::test::wait_for_process([&] { return waiting() || std::filesystem::exists(done); }));
    ASSERT_TRUE(waiting()) << read_file(err);
    EXPECT_EQ(stage_one_dpi(), before);
    window.unlock();
    ASSERT_TRUE(velqa::test::wait_for_file(done));
    EXPECT_EQ(read_file(dir_ / "rc"), "0\n") << read_file(err);
    EXPECT_EQ(stage_one_dpi(), 1800);

    // A holder that never lets go: a clear error and a failure exit, not a hang.
    ASSERT_TRUE(window.lock(0));
    int code = -1;
    const std::string out =
        run(set_dpi("XDG_RUNTIME_DIR=" + runtime().string(), 2000) + " 2>&1", &code);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("timed out waiting for the device lock"), std::string::npos) << out;
    EXPECT_EQ(stage_one_dpi(), 1800);
    window.unlock();
}

}  // namespace
