// Time from exec to the first painted main window, against a minimal Qt Widgets program that
// shows one window with one label, run alternately in the same process so that both see the same
// machine. Both say "first paint" on stderr once their window's first frame is out (velqa with
// VELQA_DEBUG=1); the time to that line is what counts, not the time to exit (velqa --screenshot
// waits for the page to show the mouse's values). Reports the medians, their ratio (the goal: at
// most 2.0), and the resident memory once start-up has settled, without and with the simulated
// mouse.
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

// Milliseconds from start to the program's "first paint" line, for a run that then exits with
// 0; -1 on failure. `err` gets its stderr.
double run_once(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                QString* err = nullptr) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setReadChannel(QProcess::StandardError);
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    QByteArray out;
    double painted = -1;
    while (painted < 0 && p.waitForReadyRead(60000)) {
        out += p.readAllStandardError();
        if (out.contains("first paint"))
            painted = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }
    if (!p.waitForFinished(60000) || p.exitCode() != 0 || painted < 0)
        return -1;
    out += p.readAllStandardError();
    if (err != nullptr)
        *err = QString::fromUtf8(out);
    return painted;
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
