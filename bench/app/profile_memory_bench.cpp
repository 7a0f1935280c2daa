// Memory over many applied profiles: the main window offscreen over the in-process mouse (on the
// cable, answering after 1 ms) and three profiles that differ as a user's do (stage 2 at 1000,
// 2000 and 3000 DPI in its own colour, the active stage, the lighting colour; the third runs a
// macro on button 5), applied in turn inside the event loop, as the window applies them.
//
// BM_ListApplies (about 4 minutes): the profile list's choice (select, then apply), the road of
// the window's profile combo and of the profile switcher, 1,000 times, 10 ms of event loop
// between applies.
// BM_FocusSwitches (about 10 minutes): the focus moved between three applications bound to the
// three profiles through a fake watcher, 1,000 times, while another program (velqactl) sets a DPI
// on the mouse every second; other_runs and other_failures count its runs.
//
// Counters: rss_50_kb, rss_mid_kb and rss_end_kb are the resident set after the 50th, the 500th
// and the last apply; rss_growth_b the growth per apply after the 50th in bytes; heap_50_kb,
// heap_mid_kb, heap_end_kb and heap_growth_b the same for the live heap (mallinfo2: bytes in use).
// Goal: no growth after the first 50: within the noise of about 100 bytes per apply either way
// (RSS moves in 4 kB pages; the heap with the allocator's bins), and no trend from the 500th on.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "app/main_wnd.h"
#include "app/profile_switcher.h"
#include "device/link/codecs.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "macro/macro_files.h"
#include "platform/folders.h"
#include "platform/json_read.h"
#include "platform/ui/settings_store.h"
#include "profile/app_bindings.h"
#include "profile/profile_files.h"
#include "profile/profile_list.h"
#include "profile/ui/device_profile_ui.h"
#include "sim_readback.h"
#include "support/fake_focus_watcher.h"
#include "window_bench.h"

namespace {

using velqa::app::CMainWnd;
using velqa::sim::InProcessSim;
using velqa::sim::Link;
namespace fs = std::filesystem;

constexpr int Warmup = 50;
constexpr int Profiles = 3;
const char* const Apps[Profiles] = {"app-a", "app-b", "app-c"};

struct Memory {
    double rss = 0;   // bytes resident
    double heap = 0;  // bytes of the heap in use
};

Memory memory_now() {
    Memory m;
    long pages = 0;
    long resident = 0;
    if (std::ifstream statm("/proc/self/statm"); statm >> pages >> resident)
        m.rss = static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
    const struct mallinfo2 info = ::mallinfo2();
    m.heap = static_cast<double>(info.uordblks + info.hblkhd);
    return m;
}

int stage2_dpi(int profile) {
    return 1000 * (profile + 1);
}

using velqa::bench::mouse_stage2;

// The window over the simulated mouse with three profiles ready, in a private folder laid out as
// the program's ($XDG_DATA_HOME, $XDG_RUNTIME_DIR), so that velqactl can share it.
class Rig {
  public:
    Rig() {
        velqa::bench::window_bench_app();
        char tmpl[] = "/tmp/velqa-bench-XXXXXX";
        dir_ = ::mkdtemp(tmpl);
        fs::create_directories(dir_ / "run");
        ::chmod((dir_ / "run").c_str(), 0700);
        sim_ = std::make_unique<InProcessSim>(dir_ / "sim", velqa::sim::FirmwareOptions{}, 1);
        // velqactl's link lock files lie in its runtime folder: ours must be the same ones.
        sim_->backend()->set_lock_folder(velqa::platform::runtime_folder((dir_ / "run").string()));
        sim_->unplug(Link::Receiver);
        wnd_ = std::make_unique<CMainWnd>(data(), user(),
                                          velqa::platform::SettingsStore(QString::fromStdString(
                                              (dir_ / "config/velqa.conf").string())),
                                          nullptr, sim_->backend());
        auto watcher = std::make_unique<velqa::test::FakeFocusWatcher>();
        focus_ = watcher.get();
        wnd_->set_focus_watcher(std::move(watcher));
        bool settled = false;
        QObject::connect(wnd_.get(), &CMainWnd::settled, [&] { settled = true; });
        wnd_->create(QStringLiteral("ZARN_VELQA_R260"), QSize(800, 572));
        if (!velqa::bench::run_until([&] { return settled && focus_->started(); }))
            std::abort();
        prepare_profiles();
    }
    ~Rig() {
        wnd_.reset();
        sim_.reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    static fs::path data() { return fs::path(VELQA_SOURCE_DIR) / "DefaultData"; }
    fs::path user() const { return dir_ / "data" / "ZARN_VELQA_R260"; }
    InProcessSim& sim() { return *sim_; }
    CMainWnd& window() { return *wnd_; }
    velqa::test::FakeFocusWatcher& focus() { return *focus_; }
    velqa::profile::CDeviceProfileUI& profiles() {
        auto* control = wnd_->devices().selected_profile_control();
        if (control == nullptr)
            std::abort();
        return *control;
    }

    // velqactl run as the user would, on this window's mouse and folders.
    QProcessEnvironment velqactl_env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELQA_HID", QString::fromStdString("sim:" + (dir_ / "sim").string()));
        env.insert("XDG_DATA_HOME", QString::fromStdString((dir_ / "data").string()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString((dir_ / "run").string()));
        env.insert("HOME", QString::fromStdString(dir_.string()));
        return env;
    }

  private:
    // After the first load, which mirrors the mouse into the selected profile: three profiles
    // that differ in stage 2's DPI, the third with a macro on button 5, bound to three
    // applications.
    void prepare_profiles() {
        const fs::path folder = user() / "mouse";
        velqa::profile::ProfileList list(folder, data() / "mouse.Json");
        list.load();
        while (list.size() < Profiles)
            list.copy(0);
        velqa::macro::MacroLibrary macros(folder);
        macros.load();
        const std::vector<velqa::macro::MacroEvent> events = {
            {true, 0x04, velqa::macro::TypeKey, 10}, {false, 0x04, velqa::macro::TypeKey, 10}};
        if (!macros.create().ok() || !macros.save_events(0, events).ok())
            std::abort();
        // Class 0x70 (a macro), macro 0, once: class x 65536 + first x 256 + second.
        constexpr int MacroKeyCode = 0x70 * 65536 + 0 * 256 + 1;
        velqa::profile::AppBindings bindings(folder);
        bindings.load();
        for (int i = 0; i < Profiles; ++i) {
            Json::Value doc = velqa::platform::read_json_file(list.file_of(i));
            // As a user's profiles differ: the DPI, the active stage and the colours.
            for (Json::Value& set : doc["Device"][0]["DPIStages"]) {
                set["StageDPIs"][2]["StageDPIX"] = stage2_dpi(i);
                set["StageDPIs"][2]["StageColorG"] = 100 * i;
                set["StageActive"] = i;
            }
            doc["Device"][0]["LightInfo"]["Blue"] = 100 * i;
            if (i == Profiles - 1)
                doc["Device"][0]["KeyList"][4]["Assignment"] = MacroKeyCode;
            if (!velqa::profile::write_json_checked(doc, list.file_of(i)) ||
                !bindings.bind(list.entries()[static_cast<std::size_t>(i)].uuid, Apps[i]).ok())
                std::abort();
        }
        // The page and the combo read the list again.
        profiles().reload_list();
    }

    fs::path dir_;
    std::unique_ptr<InProcessSim> sim_;
    std::unique_ptr<CMainWnd> wnd_;
    velqa::test::FakeFocusWatcher* focus_ = nullptr;
};

// Runs `step(n)` for n = 0 .. count-1 inside the event loop, each once the one before has called
// its `done`; samples memory after the warm-up and at the end. False when a step failed.
struct Samples {
    Memory warm;
    Memory mid;
    Memory end;
    bool ok = true;
};

using Step = std::function<void(int n, std::function<void(bool ok)> done)>;

Samples run_in_event_loop(int count, int gap_ms, const Step& step) {
    Samples s;
    QEventLoop loop;
    int n = 0;
    std::function<void()> next;
    std::function<void(bool)> done = [&](bool ok) {
        if (!ok) {
            s.ok = false;
            loop.quit();
            return;
        }
        ++n;
        if (n == Warmup)
            s.warm = memory_now();
        if (n == count / 2)
            s.mid = memory_now();
        if (n == count) {
            loop.quit();
            return;
        }
        QTimer::singleShot(gap_ms, &loop, [&] { next(); });
    };
    next = [&] { step(n, done); };
    QTimer::singleShot(0, &loop, [&] { next(); });
    loop.exec();
    // Deleted later, from the last turn, before the end is measured.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    s.end = memory_now();
    return s;
}

void report(benchmark::State& state, const Samples& s, int count) {
    const double after = count - Warmup;
    state.counters["rss_50_kb"] = s.warm.rss / 1024;
    state.counters["rss_mid_kb"] = s.mid.rss / 1024;
    state.counters["rss_end_kb"] = s.end.rss / 1024;
    state.counters["rss_growth_b"] = (s.end.rss - s.warm.rss) / after;
    state.counters["heap_50_kb"] = s.warm.heap / 1024;
    state.counters["heap_mid_kb"] = s.mid.heap / 1024;
    state.counters["heap_end_kb"] = s.end.heap / 1024;
    state.counters["heap_growth_b"] = (s.end.heap - s.warm.heap) / after;
}

void BM_ListApplies(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Rig rig;
    for (auto _ : state) {
        const Samples s = run_in_event_loop(count, 10, [&](int n, auto done) {
            const int index = n % Profiles;
            rig.sim().firmware().clear_requests();
            velqa::profile::CDeviceProfileUI& profiles = rig.profiles();
            profiles.select_profile(index, false);
            profiles.apply_selected();
            done(mouse_stage2(rig.sim()) == stage2_dpi(index));
        });
        if (!s.ok) {
            state.SkipWithError("the mouse does not hold the chosen profile");
            break;
        }
        report(state, s, count);
    }
}
BENCHMARK(BM_ListApplies)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_FocusSwitches(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Rig rig;
    velqa::app::ProfileSwitcher* switcher = rig.window().profile_switcher();
    if (switcher == nullptr) {
        state.SkipWithError("no profile switcher");
        return;
    }
    std::string error;
    if (!switcher->set_auto_switch(true, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    // Another program sets a DPI on the mouse (and in the selected profile) every second.
    QProcess other;
    other.setProcessEnvironment(rig.velqactl_env());
    const QString velqactl = QStringLiteral(VELQA_BIN_DIR "/velqactl");
    QTimer others;
    int other_runs = 0;
    int other_failures = 0;
    QObject::connect(&other, &QProcess::finished, [&](int code, QProcess::ExitStatus status) {
        other_failures += code != 0 || status != QProcess::NormalExit;
    });
    QObject::connect(&others, &QTimer::timeout, [&] {
        if (other.state() != QProcess::NotRunning)
            return;
        ++other_runs;
        other.start(velqactl, {"set", "dpi", "0", QString::number(400 + 100 * (other_runs % 8))});
    });
    others.start(1000);
    for (auto _ : state) {
        // The mouse may hold another program's write by the time the switch has settled: the
        // switch itself is what is checked.
        std::function<void(bool)> pending;
        int expected = 0;
        auto conn = QObject::connect(switcher, &velqa::app::ProfileSwitcher::focus_settled, [&] {
            if (pending)
                std::exchange(pending, {})(switcher->switches() == expected);
        });
        const Samples s = run_in_event_loop(count, 10, [&](int n, auto done) {
            // Profile 0 is the selected one at the start.
            const int index = (n + 1) % Profiles;
            expected = switcher->switches() + 1;
            pending = done;
            rig.sim().firmware().clear_requests();
            rig.focus().focus(Apps[index]);
        });
        QObject::disconnect(conn);
        if (!s.ok) {
            state.SkipWithError("a focus change did not switch the profile");
            break;
        }
        report(state, s, count);
        state.counters["switches"] = switcher->switches();
        state.counters["other_runs"] = other_runs;
        state.counters["other_failures"] = other_failures;
    }
    others.stop();
    other.waitForFinished(10000);
}
BENCHMARK(BM_FocusSwitches)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
