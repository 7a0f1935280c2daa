// What music lighting costs while a music effect is selected: the companion (velqa-audio)
// reading a private PulseAudio server's output while beeps play there (and while nothing
// plays), and sending its blocks
// over a private session bus to a receiver that takes them as the program does (the D-Bus call,
// then the level from the rise since the last block). Measured over 10 s after 3 s to settle.
//
// Counters: companion_pct is the companion's CPU time over the wall time, in percent of one
// core; receiver_pct the same for this process, which only receives (its D-Bus thread and event
// loop); blocks_per_s the blocks that arrived. With no music effect there is no companion, so
// nothing to measure.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <span>

#include "device/model/audio_reactive.h"
#include "program_env.h"
#include "support/private_pulse.h"

namespace {

constexpr int SettleMs = 3000;
constexpr int MeasureMs = 10000;

// Takes the blocks as the program's channel does.
class Receiver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.zarn.VelqaR260.Messages")

  public:
    long blocks = 0;

  public slots:
    Q_SCRIPTABLE void CopyData(uint kind, const QByteArray& data) {
        if (kind != 1 || data.size() > 2000)
            return;
        ++blocks;
        reactive_.take_block(std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                       static_cast<std::size_t>(data.size())));
    }

  private:
    velqa::model::AudioReactive reactive_;
};

void run_for(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void companion(benchmark::State& state, bool music) {
    static int argc = 1;
    static char name[] = "velqa-bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    QTemporaryDir home;
    velqa::test::PrivatePulse pulse(home.path().toStdString() + "/pulse");
    if (!pulse.started()) {
        state.SkipWithError(pulse.why_not().c_str());
        return;
    }
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
    if (!bus.waitForStarted(5000) || !bus.waitForReadyRead(5000)) {
        state.SkipWithError("no dbus-daemon");
        return;
    }
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    const QString service = QStringLiteral("com.zarn.VelqaR260.Bench");
    Receiver receiver;
    {
        QDBusConnection connection = QDBusConnection::connectToBus(address, "bench");
        connection.registerObject(QStringLiteral("/com/zarn/VelqaR260"), &receiver,
                                  QDBusConnection::ExportScriptableSlots);
        connection.registerService(service);
    }
    const auto wav = std::filesystem::path(home.path().toStdString()) / "beeps.wav";
    velqa::test::write_tone_wav(wav, 440.0, 200, 200, (SettleMs + MeasureMs) * 2);
    velqa::test::Child player = music ? pulse.play(wav) : velqa::test::Child();

    QProcess companion;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    env.insert("PULSE_SERVER", QString::fromStdString(pulse.server()));
    companion.setProcessEnvironment(env);
    companion.start(QStringLiteral(VELQA_BIN_DIR "/velqa-audio"), {"--service", service});
    if (!companion.waitForStarted(5000)) {
        state.SkipWithError("velqa-audio did not start");
        return;
    }
    run_for(SettleMs);
    const qint64 self = QCoreApplication::applicationPid();
    for (auto _ : state) {
        const double before = cpu_seconds(companion.processId());
        const double self_before = cpu_seconds(self);
        const long blocks_before = receiver.blocks;
        const auto wall_before = std::chrono::steady_clock::now();
        run_for(MeasureMs);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before).count();
        state.counters["companion_pct"] =
            (cpu_seconds(companion.processId()) - before) / wall * 100;
        state.counters["receiver_pct"] = (cpu_seconds(self) - self_before) / wall * 100;
        state.counters["blocks_per_s"] =
            static_cast<double>(receiver.blocks - blocks_before) / wall;
    }
    companion.terminate();
    companion.waitForFinished(3000);
    QDBusConnection::disconnectFromBus("bench");
    bus.terminate();
    bus.waitForFinished(3000);
}
void BM_MusicLightingCompanionWithMusic(benchmark::State& state) {
    companion(state, true);
}
void BM_MusicLightingCompanionInSilence(benchmark::State& state) {
    companion(state, false);
}
BENCHMARK(BM_MusicLightingCompanionWithMusic)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(BM_MusicLightingCompanionInSilence)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

#include "audio_companion_bench.moc"
