// Time from process start to the first painted main window (velqa --screenshot), and the
// resident memory once start-up has settled. Run: app_startup_bench (median of 10 runs).
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "program_env.h"

namespace {

void StartupToFirstPaintedWindow(benchmark::State& state) {
    QTemporaryDir home;
    QProcessEnvironment env = program_env(home.path());
    env.insert("VELQA_DEBUG", "1");
    double rss_kb = 0;
    for (auto _ : state) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VELQA_BIN_DIR "/velqa"), {"--screenshot", home.path() + "/s.png"});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            state.SkipWithError("velqa --screenshot failed");
            break;
        }
        static const QRegularExpression rss(QStringLiteral("settled: rss (\\d+) kB"));
        const auto m = rss.match(QString::fromUtf8(p.readAllStandardError()));
        if (m.hasMatch())
            rss_kb = m.captured(1).toDouble();
    }
    state.counters["rss_MB"] = rss_kb / 1024.0;
}
BENCHMARK(StartupToFirstPaintedWindow)
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
