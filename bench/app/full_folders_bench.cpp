// The window's cost with a user's full folders against empty ones: N profiles of each kind and
// N macros of 250 steps (the most a macro holds), N = 1, 10 and 50 (the most the list holds).
//
// BM_StartupFullAgainstEmpty: `velqa --simulate --screenshot` with 50 of each against empty
// folders, alternately, 7 times each. full_ms and empty_ms are the medians to the first frame,
// ratio their ratio (goal: at most 1.05); exit_ratio the same to the screenshot (the page shows
// the mouse's values and its profile list), cpu_ratio that of the CPU time used by the first
// frame, full_rss_MB the resident memory once settled.
//
// BM_FullFolders/N: the window offscreen over the in-process mouse, started 5 times with N of
// each and 5 times with empty folders. macros_tab_extra_ms is the median first show of the
// Macros tab (its editor built, the list read, the first macro's steps shown, the window painted)
// with N macros less that with none (goal at 50: at most 30); combo_popup_ms the profile list's
// popup shown and painted with N profiles (goal: at most 30); select_macro_ms a macro of 250
// steps selected and painted, median of 10 (goal: at most 30). Each figure is also given in CPU
// time of the window's thread (_cpu_ms), which other jobs on the machine do not inflate.
//
// BM_SelectMacroOfSteps/S: selecting a macro of S steps (1, 10, 50, 250), median of 10.
// --fill=DIR fills DIR as the full case does, and does nothing else.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstring>
#include <functional>
#include <vector>

#include "first_paint.h"
#include "macro/ui/macro_control.h"
#include "program_env.h"
#include "window_rig.h"

namespace {

namespace fs = std::filesystem;
using velqa::bench::median;
using velqa::bench::WindowRig;

constexpr int kStartRuns = 7;
constexpr int kWindowRuns = 5;
constexpr int kSelects = 10;

double thread_cpu_ms() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Wall and CPU milliseconds of `f`.
struct Cost {
    double wall = 0;
    double cpu = 0;
};

Cost cost_of(const std::function<void()>& f) {
    QElapsedTimer clock;
    clock.start();
    const double cpu = thread_cpu_ms();
    f();
    return {static_cast<double>(clock.nsecsElapsed()) / 1e6, thread_cpu_ms() - cpu};
}

struct Costs {
    std::vector<double> wall;
    std::vector<double> cpu;
    void add(Cost c) {
        wall.push_back(c.wall);
        cpu.push_back(c.cpu);
    }
};

// A filled folder, made once per shape and copied into each window's private folder.
class FilledFolder {
  public:
    FilledFolder(int profiles, int macros, int steps) {
        velqa::bench::fill_folders(fs::path(dir_.path().toStdString()), profiles, macros, steps);
    }
    void copy_to(const fs::path& user) const {
        fs::create_directories(user);
        fs::copy(dir_.path().toStdString(), user, fs::copy_options::recursive);
    }
    fs::path path() const { return dir_.path().toStdString(); }

  private:
    QTemporaryDir dir_;
};

velqa::macro::CMacroControlUI* macro_editor(WindowRig& rig) {
    return rig.window().findChild<velqa::macro::CMacroControlUI*>();
}

Cost show_macros_tab(WindowRig& rig) {
    return cost_of([&] {
        rig.window().show_tab(QStringLiteral("macro_Op_tab"));
        velqa::bench::settle_and_paint(rig.window());
    });
}

Cost open_profile_popup(WindowRig& rig) {
    QComboBox* combo = rig.profile_combo();
    if (combo == nullptr)
        return {};
    const Cost c = cost_of([&] {
        combo->showPopup();
        QCoreApplication::processEvents();
        combo->view()->window()->repaint();
    });
    combo->hidePopup();
    QCoreApplication::processEvents();
    return c;
}

Costs select_macros(WindowRig& rig, int macros) {
    Costs costs;
    velqa::macro::CMacroControlUI* editor = macro_editor(rig);
    if (editor == nullptr)
        return costs;
    for (int i = 0; i < kSelects; ++i) {
        // Another macro each time where there are several.
        const int index = macros > 1 ? (i + 1) % macros : 0;
        costs.add(cost_of([&] {
            editor->select_macro(index);
            velqa::bench::settle_and_paint(rig.window());
        }));
    }
    return costs;
}

void BM_StartupFullAgainstEmpty(benchmark::State& state) {
    QTemporaryDir empty_home;
    QTemporaryDir full_home;
    QProcessEnvironment empty_env = program_env(empty_home.path());
    QProcessEnvironment full_env = program_env(full_home.path());
    empty_env.insert("VELQA_DEBUG", "1");
    full_env.insert("VELQA_DEBUG", "1");
    velqa::bench::fill_folders(
        fs::path(full_home.path().toStdString()) / "data" / "ZARN_VELQA_R260", 50, 50, 250);
    static const QRegularExpression rss(QStringLiteral("settled: rss (\\d+) kB"));
    const QString velqa = QStringLiteral(VELQA_BIN_DIR "/velqa");
    for (auto _ : state) {
        std::vector<double> empty, full, empty_exit, full_exit, empty_cpu, full_cpu;
        double rss_kb = 0;
        for (int i = 0; i < kStartRuns; ++i) {
            double e_exit = 0;
            double f_exit = 0;
            double e_cpu = 0;
            double f_cpu = 0;
            QString err;
            const double e = velqa::bench::first_paint_ms(
                velqa, {"--simulate", "--screenshot", empty_home.path() + "/s.png"}, empty_env,
                nullptr, &e_exit, &e_cpu);
            const double f = velqa::bench::first_paint_ms(
                velqa, {"--simulate", "--screenshot", full_home.path() + "/s.png"}, full_env, &err,
                &f_exit, &f_cpu);
            if (e < 0 || f < 0) {
                state.SkipWithError("velqa did not start and save its window");
                return;
            }
            empty.push_back(e);
            full.push_back(f);
            empty_exit.push_back(e_exit);
            full_exit.push_back(f_exit);
            empty_cpu.push_back(e_cpu);
            full_cpu.push_back(f_cpu);
            if (const auto m = rss.match(err); m.hasMatch())
                rss_kb = m.captured(1).toDouble();
        }
        state.counters["empty_ms"] = median(empty);
        state.counters["full_ms"] = median(full);
        state.counters["ratio"] = median(full) / median(empty);
        state.counters["exit_ratio"] = median(full_exit) / median(empty_exit);
        state.counters["cpu_ratio"] = median(full_cpu) / median(empty_cpu);
        state.counters["full_rss_MB"] = rss_kb / 1024.0;
    }
}
BENCHMARK(BM_StartupFullAgainstEmpty)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_FullFolders(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const FilledFolder filled(n, n, static_cast<int>(velqa::macro::MaxEvents));
    for (auto _ : state) {
        Costs empty_tab, full_tab, popup, selects;
        for (int run = 0; run < kWindowRuns; ++run) {
            {
                WindowRig rig;
                empty_tab.add(show_macros_tab(rig));
            }
            WindowRig rig([&](const fs::path& user) { filled.copy_to(user); });
            if (rig.profiles().profile_count() != n) {
                state.SkipWithError("the window does not list the profiles");
                return;
            }
            popup.add(open_profile_popup(rig));
            full_tab.add(show_macros_tab(rig));
            auto* editor = macro_editor(rig);
            if (editor == nullptr || editor->library().size() != n) {
                state.SkipWithError("the macro editor does not list the macros");
                return;
            }
            const Costs s = select_macros(rig, n);
            selects.wall.insert(selects.wall.end(), s.wall.begin(), s.wall.end());
            selects.cpu.insert(selects.cpu.end(), s.cpu.begin(), s.cpu.end());
        }
        state.counters["macros_tab_empty_ms"] = median(empty_tab.wall);
        state.counters["macros_tab_full_ms"] = median(full_tab.wall);
        state.counters["macros_tab_extra_ms"] = median(full_tab.wall) - median(empty_tab.wall);
        state.counters["macros_tab_extra_cpu_ms"] = median(full_tab.cpu) - median(empty_tab.cpu);
        state.counters["combo_popup_ms"] = median(popup.wall);
        state.counters["combo_popup_cpu_ms"] = median(popup.cpu);
        state.counters["select_macro_ms"] = median(selects.wall);
        state.counters["select_macro_cpu_ms"] = median(selects.cpu);
    }
}
BENCHMARK(BM_FullFolders)
    ->Arg(1)
    ->Arg(10)
    ->Arg(50)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

void BM_SelectMacroOfSteps(benchmark::State& state) {
    const int steps = static_cast<int>(state.range(0));
    const FilledFolder filled(1, 2, steps);
    for (auto _ : state) {
        WindowRig rig([&](const fs::path& user) { filled.copy_to(user); });
        show_macros_tab(rig);
        const Costs s = select_macros(rig, 2);
        state.counters["select_macro_ms"] = median(s.wall);
        state.counters["select_macro_cpu_ms"] = median(s.cpu);
    }
}
BENCHMARK(BM_SelectMacroOfSteps)
    ->Arg(1)
    ->Arg(10)
    ->Arg(50)
    ->Arg(250)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    // --fill=DIR: only fills DIR (a data folder, …/ZARN_VELQA_R260) as the full case does, to
    // look at it by hand (VELQA_TRACE=1 velqa with XDG_DATA_HOME set to DIR's parent).
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--fill=", 7) == 0) {
            velqa::bench::fill_folders(argv[i] + 7, 50, 50,
                                       static_cast<int>(velqa::macro::MaxEvents));
            return 0;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
