// Time from exec to the first painted main window (velqa --screenshot), against a minimal Qt
// Widgets program that shows one window with one label, run alternately in the same process so
// that both see the same machine. Reports the medians, their ratio (the goal: at most 2.0), and
// the resident memory once start-up has settled, without and with the simulated mouse.
// Run: app_startup_bench.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#include "program_env.h"

namespace {

constexpr int kRuns = 9;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Milliseconds from start to exit of one run; -1 on failure. `err` gets its stderr.
double run_once(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                QString* err = nullptr) {
    QProcess p;
    p.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return -1;
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (err != nullptr)
        *err = QString::fromUtf8(p.readAllStandardError());
    return ms;
}

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
        std::vector<double> velqa, baseline;
        double rss_kb = 0;
        for (int i = 0; i < kRuns; ++i) {
            const double b =
                run_once(QStringLiteral(VELQA_BIN_DIR "/velqa_minimal_window"), {shot}, env);
            QString err;
            const double v = run_once(QStringLiteral(VELQA_BIN_DIR "/velqa"), args, env, &err);
            if (b < 0 || v < 0) {
                state.SkipWithError("a program did not start and save its window");
                return;
            }
            baseline.push_back(b);
            velqa.push_back(v);
            const auto m = rss.match(err);
            if (m.hasMatch())
                rss_kb = m.captured(1).toDouble();
        }
        const double mv = median(velqa);
        const double mb = median(baseline);
        state.counters["velqa_ms"] = mv;
        state.counters["baseline_ms"] = mb;
        state.counters["ratio"] = mb > 0 ? mv / mb : 0;
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
