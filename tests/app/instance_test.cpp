// A second start defers to the running program, which comes forward (run under
// dbus-run-session).
#include <gtest/gtest.h>
#include <QElapsedTimer>

#include "platform/ui/qt_test_app.h"
#include "process_support.h"
#include "support/temp_dir.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace velqa::test {
namespace {

bool name_owned() {
    auto* names = QDBusConnection::sessionBus().interface();
    return names != nullptr && names->isServiceRegistered("com.zarn.VelqaR260").value();
}

TEST(SingleInstance, SecondStartExitsAndTheFirstComesForward) {
    qt_app();
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        GTEST_SKIP() << "needs a session bus (registered under dbus-run-session)";
    }
    TempDir home;
    QProcess first;
    first.setProcessEnvironment(private_env(home.path()));
    first.start(velqa_binary(), {});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(wait_until([] { return name_owned(); }, 30000));

    QString first_err;
    QObject::connect(&first, &QProcess::readyReadStandardError,
                     [&] { first_err += QString::fromUtf8(first.readAllStandardError()); });
    const RunResult second = run_velqa({}, private_env(home.path()), 30000);
    ASSERT_TRUE(second.finished);
    EXPECT_EQ(second.exit_code, 0);
    // The second start never built a window.
    EXPECT_FALSE(second.err.contains("windowinit"));
    // The first got the identity message with lParam 1 and brought its window forward.
    ASSERT_TRUE(wait_until([&] { return first_err.contains("软件标示 49152，0d1d"); }, 30000))
        << first_err.toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate();
    EXPECT_TRUE(first.waitForFinished(10000));
}

}  // namespace
}  // namespace velqa::test
