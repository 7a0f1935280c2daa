// Idle CPU of the whole program: `velqa --simulate` running offscreen with its simulated mouse
// linked and nothing happening, over 10 s after start-up has settled.
//
// Counters: velqa_pct is the program's user and system time over the wall time, in percent of
// one core; sim_pct the same for the simulator process it started. Goal: velqa_pct at most 0.3.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

namespace {

constexpr auto SettleTime = std::chrono::seconds(4);
constexpr auto IdleTime = std::chrono::seconds(10);

// User plus system time of a process, in seconds (0 when it cannot be read).
double cpu_seconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    const double ticks = fields[11].toDouble() + fields[12].toDouble();
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The first child of a process.
qint64 child_of(qint64 pid) {
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (!children.open(QIODevice::ReadOnly))
        return 0;
    return children.readAll().trimmed().split(' ').front().toLongLong();
}

void BM_WholeProgramIdle(benchmark::State& state) {
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("XDG_DATA_HOME", home.path() + "/data");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // Not the session bus of whoever runs the benchmark: an instance there would take over.
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.path() + "/no-bus");
    QProcess velqa;
    velqa.setProcessEnvironment(env);
    velqa.start(QStringLiteral(VELQA_BIN_DIR "/velqa"), {"--simulate"});
    if (!velqa.waitForStarted(10000)) {
        state.SkipWithError("velqa did not start");
        return;
    }
    std::this_thread::sleep_for(SettleTime);
    const qint64 pid = velqa.processId();
    const qint64 sim = child_of(pid);
    for (auto _ : state) {
        const double before = cpu_seconds(pid);
        const double sim_before = cpu_seconds(sim);
        const auto wall_before = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(IdleTime);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before).count();
        state.counters["velqa_pct"] = (cpu_seconds(pid) - before) / wall * 100.0;
        state.counters["sim_pct"] = (cpu_seconds(sim) - sim_before) / wall * 100.0;
    }
    velqa.terminate();
    if (!velqa.waitForFinished(5000))
        velqa.kill();
}
BENCHMARK(BM_WholeProgramIdle)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
