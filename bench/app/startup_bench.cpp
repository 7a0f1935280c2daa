// Time from exec to the first painted main window, against a minimal Qt Widgets program that
// shows one window with one label, run alternately in the same process so that both see the same
// machine. Both say "first paint" on stderr once their window's first frame is out (velqa with
// VELQA_DEBUG=1); the time to that line is what counts, not the time to exit (velqa --screenshot
// waits for the page to show the mouse's values). Reports the medians, their ratio (the goal: at
// most 2.0), and the resident memory once start-up has settled, without and with the simulated
// mouse. cpu_ratio is the ratio of the CPU time both had used by their first paint, which a
// machine busy with other jobs does not inflate as it does the wall time.
// Run: app_startup_bench.
#include <benchmark/benchmark.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <vector>

#include "first_paint.h"
#include "program_env.h"

namespace {

using velqa::bench::first_paint_ms;
using velqa::bench::median;

constexpr int kRuns = 9;

void StartupAgainstAMinimalQtWindow(benchmark::State& state, bool simulate) {
    QTemporaryDir home;
    QProcessEnvironment env = program_env(home.path());
    env.insert("VELQA_DEBUG", "1");
    const QString shot = home.path() + "/s.png";
    QStringList args{"--screenshot", shot};
    if (simulate)
        args.prepend("--simulate");
    static const QRegularExpression rss(QStringLiteral("settled: rss (\\d+) kB"));
    for (auto _ : state) {
        std::vector<double> velqa, baseline, velqa_cpu, baseline_cpu;
        double rss_kb = 0;
        for (int i = 0; i < kRuns; ++i) {
            double b_cpu = 0;
            double v_cpu = 0;
            const double b = first_paint_ms(QStringLiteral(VELQA_BIN_DIR "/velqa_minimal_window"),
                                            {shot}, env, nullptr, nullptr, &b_cpu);
            QString err;
            const double v = first_paint_ms(QStringLiteral(VELQA_BIN_DIR "/velqa"), args, env, &err,
                                            nullptr, &v_cpu);
            if (b < 0 || v < 0) {
                state.SkipWithError("a program did not start and save its window");
                return;
            }
            baseline.push_back(b);
            velqa.push_back(v);
            baseline_cpu.push_back(b_cpu);
            velqa_cpu.push_back(v_cpu);
            const auto m = rss.match(err);
            if (m.hasMatch())
                rss_kb = m.captured(1).toDouble();
        }
        const double mv = median(velqa);
        const double mb = median(baseline);
        state.counters["velqa_ms"] = mv;
        state.counters["baseline_ms"] = mb;
        state.counters["ratio"] = mb > 0 ? mv / mb : 0;
        state.counters["cpu_ratio"] =
            median(baseline_cpu) > 0 ? median(velqa_cpu) / median(baseline_cpu) : 0;
        state.counters["rss_MB"] = rss_kb / 1024.0;
    }
}
BENCHMARK_CAPTURE(StartupAgainstAMinimalQtWindow, no_device, false)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StartupAgainstAMinimalQtWindow, simulated_mouse, true)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
