// Sleep and resume from the login manager. The test runs twice: once with the system bus pointed
// at a private bus (VELQA_TEST_SYSTEM_BUS=1), where a fake login manager emits PrepareForSleep,
// and once with the system bus pointed at nothing.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <vector>

#include "platform/ipc/sleep_monitor.h"
#include "platform/ui/qt_test_app.h"
#include "support/waiting.h"

namespace velqa::test {
namespace {

using platform::ipc::SleepMonitor;

bool private_system_bus() {
    return qEnvironmentVariableIntValue("VELQA_TEST_SYSTEM_BUS") == 1;
}

TEST(SleepMonitor, PrepareForSleepBecomesSleepingAndWaking) {
    qt_app();
    if (!private_system_bus())
        GTEST_SKIP() << "needs the private system bus of its CTest entry";
    // The fake login manager owns its name before the monitor subscribes, so the monitor knows
    // whose signals to take.
    QDBusConnection login = QDBusConnection::connectToBus(QDBusConnection::SystemBus, "login1");
    ASSERT_TRUE(login.isConnected());
    ASSERT_TRUE(login.registerService(platform::ipc::kLoginService));
    QDBusConnection impostor = QDBusConnection::connectToBus(QDBusConnection::SystemBus, "other");

    SleepMonitor monitor;
    ASSERT_TRUE(monitor.listening());
    std::vector<bool> got;
    QObject::connect(&monitor, &SleepMonitor::sleeping,
                     [&](bool asleep) { got.push_back(asleep); });
    // A round trip on the monitor's connection: the subscription is in place on the bus.
    QDBusConnection::systemBus().interface()->isServiceRegistered(platform::ipc::kLoginService);

    auto emit_from = [](QDBusConnection& bus, bool asleep) {
        QDBusMessage signal = QDBusMessage::createSignal(
            platform::ipc::kLoginPath, platform::ipc::kLoginInterface, "PrepareForSleep");
        signal << asleep;
        EXPECT_TRUE(bus.send(signal));
    };
    // Another program's signal of the same name does not put us to sleep. Its round trip puts
    // it on the bus ahead of the login manager's.
    emit_from(impostor, true);
    impostor.interface()->isServiceRegistered(platform::ipc::kLoginService);
    emit_from(login, true);
    emit_from(login, false);
    ASSERT_TRUE(wait_until([&] { return got.size() >= 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(got, (std::vector<bool>{true, false}));
    QDBusConnection::disconnectFromBus("login1");
    QDBusConnection::disconnectFromBus("other");
}

TEST(SleepMonitor, WithoutASystemBusStaysAwakeAndSaysSoOnce) {
    qt_app();
    if (private_system_bus())
        GTEST_SKIP() << "runs in the CTest entry without a system bus";
    DebugLines lines;
    SleepMonitor monitor;
    EXPECT_FALSE(monitor.listening());
    bool signalled = false;
    QObject::connect(&monitor, &SleepMonitor::sleeping, [&](bool) { signalled = true; });
    QCoreApplication::processEvents();
    EXPECT_FALSE(signalled);
    EXPECT_EQ(lines.count("no system bus: sleep and resume are not seen, the program stays awake"),
              1u);
}

}  // namespace
}  // namespace velqa::test
