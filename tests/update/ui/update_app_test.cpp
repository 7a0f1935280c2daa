// The program: started hidden for the session's autostart, and the settings window taken as a
// screenshot.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>

#include "app/process_support.h"
#include "support/temp_dir.h"

namespace velqa::test {
namespace {

TEST(UpdateApp, HiddenStartStaysOutOfSightAndEndsOnTerminate) {
    TempDir home;
    QProcess p;
    p.setProcessEnvironment(private_env(home.path()));
    p.start(velqa_binary(), {QStringLiteral("--hidden")});
    ASSERT_TRUE(p.waitForStarted());
    QString err;
    QElapsedTimer clock;
    clock.start();
    // Offscreen there is no tray: the window is minimised rather than lost.
    while (!err.contains(QLatin1String("started minimised (no tray)")) &&
           !err.contains(QLatin1String("started hidden in the tray")) && clock.elapsed() < 60000 &&
           p.state() == QProcess::Running) {
        p.waitForReadyRead(1000);
        err += QString::fromUtf8(p.readAllStandardError());
    }
    EXPECT_TRUE(err.contains(QLatin1String("started minimised (no tray)"))) << err.toStdString();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
}

TEST(UpdateApp, ScreenshotOfTheSettingsWindow) {
    TempDir home;
    const auto file = home / "settings.png";
    QProcessEnvironment env = private_env(home.path());
    // No server: the window says so, quickly.
    env.insert("VELQA_UPDATE_URL", "https://127.0.0.1:9/");
    const RunResult r = run_velqa(
        {"--screenshot", QString::fromStdString(file.string()), "--tab", "settings"}, env);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exit_code, 0) << r.err.toStdString();
    const QImage shot(QString::fromStdString(file.string()));
    EXPECT_EQ(shot.size(), QSize(630, 500));

    const RunResult bad = run_velqa({"--screenshot", "x.png", "--tab", "nowhere"}, env);
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_TRUE(bad.err.contains(QLatin1String("settings")));
}

}  // namespace
}  // namespace velqa::test
