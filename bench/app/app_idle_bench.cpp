// Idle CPU of the whole program: `velqa --simulate --automation` running offscreen on a private
// session bus with its simulated mouse linked and nothing happening, over 10 s after start-up
// has settled: once with the window shown (the preview animating the mouse's breathing effect),
// once with the window minimised through the scripting interface.
//
// Counters: velqa_pct is the program's user and system time over the wall time, in percent of
// one core; sim_pct the same for the simulator process it started. Goal: velqa_pct at most 0.3.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <chrono>
#include <thread>
#include "program_env.h"

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

// A private session bus for the program and the benchmark.
class PrivateBus {
  public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
        if (daemon_.waitForStarted(5000) && daemon_.waitForReadyRead(5000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(QStringLiteral("bench"));
        daemon_.terminate();
        daemon_.waitForFinished(3000);
    }
    const QString& address() const { return address_; }
    bool invoke(const QString& type, const QString& control) {
        QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("bench"));
        QDBusMessage m = QDBusMessage::createMethodCall(
            QStringLiteral("com.zarn.VelqaR260"), QStringLiteral("/com/zarn/VelqaR260"),
            QStringLiteral("com.zarn.VelqaR260.Automation"), QStringLiteral("Invoke"));
        m.setArguments({type, control, QString()});
        const QDBusMessage reply = bus.call(m, QDBus::Block, 5000);
        return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
    }

  private:
    QProcess daemon_;
    QString address_;
};

void whole_program_idle(benchmark::State& state, bool minimised) {
    static int argc = 1;
    static char name[] = "velqa-bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    PrivateBus bus;
    if (bus.address().isEmpty()) {
        state.SkipWithError("no dbus-daemon");
        return;
    }
    QTemporaryDir home;
    QProcessEnvironment env = program_env(home.path());
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    env.remove("VELQA_DEBUG");
    QProcess velqa;
    velqa.setProcessEnvironment(env);
    velqa.start(QStringLiteral(VELQA_BIN_DIR "/velqa"), {"--simulate", "--automation"});
    if (!velqa.waitForStarted(10000)) {
        state.SkipWithError("velqa did not start");
        return;
    }
    std::this_thread::sleep_for(SettleTime);
    if (minimised && !bus.invoke(QStringLiteral("click"), QStringLiteral("minbtn"))) {
        state.SkipWithError("the window could not be minimised");
        return;
    }
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

void BM_WholeProgramIdleShown(benchmark::State& state) {
    whole_program_idle(state, false);
}
void BM_WholeProgramIdleMinimised(benchmark::State& state) {
    whole_program_idle(state, true);
}
BENCHMARK(BM_WholeProgramIdleShown)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_WholeProgramIdleMinimised)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
