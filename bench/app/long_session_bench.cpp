// A long session in one window: the main window offscreen over the in-process mouse (on the
// cable, answering after 1 ms), three profiles that differ in stage 2's DPI. In turn:
// - profile applies from the profile list (select, then apply, as the combo and the switcher
//   do), each until the mouse holds the profile;
// - DPI edits on the Performance page (stage 2's edit loses focus), each until the mouse holds
//   the new value;
// - language switches (English, Chinese);
// - the settings window opened and closed (its update check refused at once by a closed port).
// Default counts: 10,000 applies, 10,000 DPI edits, 1,000 language switches, 1,000 settings
// windows (more than an hour: the protocol's waits alone are about 190 ms per apply and 50 ms
// per DPI edit); `--counts=A,D,L,S` runs fewer.
//
// Counters, for each activity (apply_, dpi_, language_, settings_): rss_growth_kb,
// heap_growth_kb, fd_growth, thread_growth and timer_growth are the resident set, the heap in use
// (mallinfo2), open files, threads, and timers of the window's objects at the end less after its
// first 50. Without a prefix: their sums (goal: at most 1024 kB resident; no open file, thread or
// timer more); rss_end_kb, fds_end, threads_end and timers_end what the session ends with.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QLineEdit>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "device/link/codecs.h"
#include "device/model/ui/mouse_device.h"
#include "platform/json_read.h"
#include "platform/ui/controls.h"
#include "profile/profile_files.h"
#include "sim_readback.h"
#include "update/ui/set_wnd.h"
#include "window_rig.h"

namespace {

namespace fs = std::filesystem;
namespace pui = velqa::platform::ui;
using velqa::bench::WindowRig;

constexpr int Warmup = 50;
constexpr int Profiles = 3;

struct Counts {
    int applies = 10000;
    int dpi_edits = 10000;
    int languages = 1000;
    int settings = 1000;
};
Counts counts;

struct Resources {
    double rss_kb = 0;
    double heap_kb = 0;  // the heap in use (mallinfo2), which the allocator's caching does not blur
    int fds = 0;
    int threads = 0;
    int timers = 0;
};

int entries(const char* folder) {
    return static_cast<int>(QDir(QString::fromLatin1(folder))
                                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                                .size());
}

// Timers registered by the objects of every window and of the application.
int timers() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr)
        return 0;
    std::set<QObject*> seen;
    int count = 0;
    std::function<void(QObject*)> walk = [&](QObject* o) {
        if (!seen.insert(o).second)
            return;
        count += static_cast<int>(dispatcher->registeredTimers(o).size());
        for (QObject* child : o->children())
            walk(child);
    };
    walk(QCoreApplication::instance());
    for (QWidget* w : QApplication::topLevelWidgets())
        walk(w);
    return count;
}

Resources resources_now() {
    Resources r;
    long pages = 0;
    long resident = 0;
    if (std::ifstream statm("/proc/self/statm"); statm >> pages >> resident)
        r.rss_kb =
            static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1024.0;
    const struct mallinfo2 info = ::mallinfo2();
    r.heap_kb = static_cast<double>(info.uordblks + info.hblkhd) / 1024.0;
    r.fds = entries("/proc/self/fd");
    r.threads = entries("/proc/self/task");
    r.timers = timers();
    return r;
}

int stage2_dpi(int profile) {
    return 1000 * (profile + 1);
}

using velqa::bench::mouse_stage2;

// Three profiles that differ in stage 2's DPI, as the first load left the first.
void prepare_profiles(WindowRig& rig) {
    const fs::path folder = rig.user() / "mouse";
    velqa::profile::ProfileList list(folder, velqa::bench::default_data() / "mouse.Json");
    list.load();
    while (list.size() < Profiles)
        list.copy(0);
    for (int i = 0; i < Profiles; ++i) {
        Json::Value doc = velqa::platform::read_json_file(list.file_of(i));
        for (Json::Value& set : doc["Device"][0]["DPIStages"])
            set["StageDPIs"][2]["StageDPIX"] = stage2_dpi(i);
        if (!velqa::profile::write_json_checked(doc, list.file_of(i)))
            std::abort();
    }
    rig.profiles().reload_list();
}

// Runs `step(n)` `count` times with the event loop turning in between; the resources after the
// warm-up and at the end go into `prefix`_ counters, and their growth is added to `total`.
velqa::sim::InProcessSim* rig_sim = nullptr;

bool run_activity(benchmark::State& state, const char* prefix, int count,
                  const std::function<bool(int n)>& step, Resources& total) {
    Resources warm;
    for (int n = 0; n < count; ++n) {
        // The simulator keeps every request it handled (up to 100,000), in this process: that
        // log is the mouse's, not the program's.
        rig_sim->firmware().clear_requests();
        if (!step(n)) {
            state.SkipWithError((std::string(prefix) + ": a step failed").c_str());
            return false;
        }
        QCoreApplication::processEvents();
        if (n + 1 == std::min(Warmup, count))
            warm = resources_now();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    const Resources end = resources_now();
    const std::string p(prefix);
    state.counters[p + "_rss_growth_kb"] = end.rss_kb - warm.rss_kb;
    state.counters[p + "_heap_growth_kb"] = end.heap_kb - warm.heap_kb;
    state.counters[p + "_fd_growth"] = end.fds - warm.fds;
    state.counters[p + "_thread_growth"] = end.threads - warm.threads;
    state.counters[p + "_timer_growth"] = end.timers - warm.timers;
    state.counters[p + "_count"] = count;
    total.rss_kb += end.rss_kb - warm.rss_kb;
    total.heap_kb += end.heap_kb - warm.heap_kb;
    total.fds += end.fds - warm.fds;
    total.threads += end.threads - warm.threads;
    total.timers += end.timers - warm.timers;
    return true;
}

void BM_LongSession(benchmark::State& state) {
    WindowRig rig;
    rig_sim = &rig.sim();
    prepare_profiles(rig);
    // The update check goes to a port nobody listens on: refused at once, no network.
    rig.window().set_update_options("http://127.0.0.1:9", nullptr);
    auto* page =
        qobject_cast<velqa::model::CZentovaMouseDevice*>(rig.window().devices().selected_page());
    QWidget* dpi_edit = page != nullptr ? page->find(QStringLiteral("DPI_edit_2")) : nullptr;
    if (dpi_edit == nullptr) {
        state.SkipWithError("no mouse page");
        return;
    }
    for (auto _ : state) {
        Resources total;
        const bool ok =
            run_activity(
                state, "apply", counts.applies,
                [&](int n) {
                    const int index = n % Profiles;
                    rig.profiles().select_profile(index, false);
                    rig.profiles().apply_selected();
                    return mouse_stage2(rig.sim()) == stage2_dpi(index);
                },
                total) &&
            run_activity(
                state, "dpi", counts.dpi_edits,
                [&](int n) {
                    const int dpi = n % 2 == 0 ? 1050 : 1000;
                    pui::set_text(dpi_edit, QString::number(dpi));
                    rig.window().send_notify(dpi_edit, "killfocus");
                    return mouse_stage2(rig.sim()) == dpi;
                },
                total) &&
            run_activity(
                state, "language", counts.languages,
                [&](int n) { return rig.window().apply_language((n + 1) % 2); }, total) &&
            run_activity(
                state, "settings", counts.settings,
                [&](int) {
                    bool shown = false;
                    rig.window().open_settings(true, [&](velqa::update::CSetWnd& w) {
                        shown = true;
                        w.close_window(0);
                    });
                    return shown;
                },
                total);
        if (!ok)
            return;
        state.counters["rss_growth_kb"] = total.rss_kb;
        state.counters["heap_growth_kb"] = total.heap_kb;
        state.counters["fd_growth"] = total.fds;
        state.counters["thread_growth"] = total.threads;
        state.counters["timer_growth"] = total.timers;
        const Resources end = resources_now();
        state.counters["rss_end_kb"] = end.rss_kb;
        state.counters["fds_end"] = end.fds;
        state.counters["threads_end"] = end.threads;
        state.counters["timers_end"] = end.timers;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // --counts=A,D,L,S: applies, DPI edits, language switches, settings windows.
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--counts=", 9) == 0 &&
            std::sscanf(argv[i] + 9, "%d,%d,%d,%d", &counts.applies, &counts.dpi_edits,
                        &counts.languages, &counts.settings) != 4) {
            std::fprintf(stderr, "--counts=APPLIES,DPI_EDITS,LANGUAGES,SETTINGS\n");
            return 2;
        }
    }
    benchmark::RegisterBenchmark("BM_LongSession", BM_LongSession)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
