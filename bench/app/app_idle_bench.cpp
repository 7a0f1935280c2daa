// Idle CPU of the whole program: `velqa --simulate --automation` running offscreen on a private
// session bus with its simulated mouse linked and nothing happening, over 10 s after start-up
// has settled: once with the window shown (the preview animating the mouse's colour cycling),
// once with the window minimised through the scripting interface, once with the window shown
// and the lighting made static (nothing to animate).
//
// Each case runs offscreen (as the tests do) and, as a user runs it, on an X server (a private
// Xvfb of 1280 x 1024 with a window manager, matchbox): the _x11 cases.
//
// Counters: velqa_pct is the CPU time of all of the program's threads over the wall time, in
// percent of one core; sim_pct the same for the simulator process it started, xserver_pct for
// the X server. Goal: velqa_pct at most 0.3 animating, at most 0.05 minimised or static.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <thread>
#include "program_env.h"
#include "support/x11_session.h"

namespace {

constexpr auto SettleTime = std::chrono::seconds(4);
constexpr auto IdleTime = std::chrono::seconds(10);

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
    bool invoke(const QString& type, const QString& control, const QString& value = {}) {
        QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("bench"));
        QDBusMessage m = QDBusMessage::createMethodCall(
            QStringLiteral("com.zarn.VelqaR260"), QStringLiteral("/com/zarn/VelqaR260"),
            QStringLiteral("com.zarn.VelqaR260.Automation"), QStringLiteral("Invoke"));
        m.setArguments({type, control, value});
        const QDBusMessage reply = bus.call(m, QDBus::Block, 5000);
        return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
    }

  private:
    QProcess daemon_;
    QString address_;
};

enum class Seen { Shown, Minimised, StaticLighting };

// A private X server with a window manager on it.
struct XSession {
    velqa::test::PrivateXServer server{"1280x1024x24"};
    std::unique_ptr<velqa::test::X11Client> client;
    velqa::test::Child wm;
    bool start() {
        if (server.display().empty())
            return false;
        client = std::make_unique<velqa::test::X11Client>(server.display().c_str());
        return client->display() != nullptr &&
               velqa::test::start_window_manager(server.display().c_str(), *client, wm);
    }
};

void whole_program_idle(benchmark::State& state, Seen seen, bool x11) {
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
    XSession x;
    if (x11) {
        if (!x.start()) {
            state.SkipWithError("no Xvfb with a window manager");
            return;
        }
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", QString::fromStdString(x.server.display()));
    }
    QProcess velqa;
    velqa.setProcessEnvironment(env);
    velqa.start(QStringLiteral(VELQA_BIN_DIR "/velqa"), {"--simulate", "--automation"});
    if (!velqa.waitForStarted(10000)) {
        state.SkipWithError("velqa did not start");
        return;
    }
    std::this_thread::sleep_for(SettleTime);
    if (seen == Seen::Minimised && !bus.invoke(QStringLiteral("click"), QStringLiteral("minbtn"))) {
        state.SkipWithError("the window could not be minimised");
        return;
    }
    // The fourth light mode is static: the preview has nothing to animate.
    if (seen == Seen::StaticLighting &&
        !bus.invoke(QStringLiteral("itemselect"), QStringLiteral("light_combo_modeSelect"),
                    QStringLiteral("3"))) {
        state.SkipWithError("the lighting could not be made static");
        return;
    }
    if (seen == Seen::StaticLighting)
        std::this_thread::sleep_for(std::chrono::seconds(1));  // the write to the mouse
    const qint64 pid = velqa.processId();
    const qint64 sim = child_of(pid);
    for (auto _ : state) {
        const double before = cpu_seconds(pid);
        const double sim_before = cpu_seconds(sim);
        const double x_before = x11 ? cpu_seconds(x.server.pid()) : 0;
        const auto wall_before = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(IdleTime);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before).count();
        state.counters["velqa_pct"] = (cpu_seconds(pid) - before) / wall * 100.0;
        state.counters["sim_pct"] = (cpu_seconds(sim) - sim_before) / wall * 100.0;
        if (x11)
            state.counters["xserver_pct"] = (cpu_seconds(x.server.pid()) - x_before) / wall * 100.0;
    }
    velqa.terminate();
    if (!velqa.waitForFinished(5000))
        velqa.kill();
}

void BM_WholeProgramIdleShown(benchmark::State& state) {
    whole_program_idle(state, Seen::Shown, false);
}
void BM_WholeProgramIdleMinimised(benchmark::State& state) {
    whole_program_idle(state, Seen::Minimised, false);
}
void BM_WholeProgramIdleStaticLighting(benchmark::State& state) {
    whole_program_idle(state, Seen::StaticLighting, false);
}
void BM_WholeProgramIdleShown_x11(benchmark::State& state) {
    whole_program_idle(state, Seen::Shown, true);
}
void BM_WholeProgramIdleMinimised_x11(benchmark::State& state) {
    whole_program_idle(state, Seen::Minimised, true);
}
void BM_WholeProgramIdleStaticLighting_x11(benchmark::State& state) {
    whole_program_idle(state, Seen::StaticLighting, true);
}
BENCHMARK(BM_WholeProgramIdleShown)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_WholeProgramIdleMinimised)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_WholeProgramIdleStaticLighting)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(BM_WholeProgramIdleShown_x11)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_WholeProgramIdleMinimised_x11)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_WholeProgramIdleStaticLighting_x11)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
