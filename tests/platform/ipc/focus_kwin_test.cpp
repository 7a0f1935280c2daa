// The KWin focus watcher against a stand-in KWin on a private session bus: the script it loads
// calls back with each activated window's class; stop unloads it. Calls from others are ignored,
// and a KWin that restarts gets the script again.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>

#include "platform/ipc/kwin_focus.h"
#include "platform/ui/qt_test_app.h"
#include "support/fake_kwin.h"
#include "support/temp_dir.h"

namespace velqa::test {
namespace {

using platform::desktop::FocusedApp;

TEST(KWinFocus, LoadsTheScriptFollowsItsCallsAndUnloadsItOnStop) {
    qt_app();
    auto kwin = std::make_unique<FakeKWin>();
    if (!kwin->started())
        GTEST_SKIP() << "no session bus (run under dbus-run-session)";
    TempDir dir;
    const QString plugin = QLatin1String(platform::ipc::kFocusScriptName);
    auto watcher = platform::ipc::make_kwin_focus_watcher(dir.path());
    EXPECT_EQ(watcher->unavailable_reason(), "");
    std::vector<std::string> seen;
    ASSERT_EQ(watcher->start([&](const FocusedApp& app) { seen.push_back(app.app_id); }), "");

    // A leftover script of ours is unloaded first; the new one is loaded and run.
    ASSERT_TRUE(wait_until([&] { return kwin->scripting_calls().size() == 3; }));
    EXPECT_EQ(kwin->scripting_calls(),
              QStringList({"unload " + plugin, "load " + plugin, QStringLiteral("run 0")}));
    const QString script = kwin->script(plugin);
    EXPECT_TRUE(script.contains(QLatin1String("workspace.windowActivated.connect(report)")));
    EXPECT_TRUE(script.contains(QLatin1String("workspace.clientActivated.connect(report)")));
    EXPECT_TRUE(script.contains(QLatin1String("callDBus(service, path, iface, \"focusChanged\",")));

    ASSERT_TRUE(kwin->activate(plugin, QStringLiteral("org.kde.konsole")));
    ASSERT_TRUE(wait_until([&] { return seen.size() == 1; }));
    EXPECT_EQ(seen.back(), "org.kde.konsole");

    // Another program calling our object is not KWin.
    QDBusMessage forged = QDBusMessage::createMethodCall(
        QDBusConnection::sessionBus().baseService(), QLatin1String(platform::ipc::kFocusPath),
        QLatin1String(platform::ipc::kFocusInterface), QStringLiteral("focusChanged"));
    forged << QStringLiteral("intruder");
    QDBusConnection other =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
    ASSERT_TRUE(other.send(forged));
    ASSERT_TRUE(kwin->activate(plugin, QStringLiteral("cs2")));
    ASSERT_TRUE(wait_until([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen.back(), "cs2");
    ASSERT_TRUE(kwin->activate(plugin, QString()));
    ASSERT_TRUE(wait_until([&] { return seen.size() == 3; }));
    EXPECT_EQ(seen.back(), "") << "no active window";

    // KWin restarts without our script: it is loaded again, and the new KWin is believed.
    kwin.reset();
    kwin = std::make_unique<FakeKWin>();
    ASSERT_TRUE(kwin->started());
    ASSERT_TRUE(wait_until([&] { return kwin->scripting_calls().size() == 3; }));
    ASSERT_TRUE(kwin->activate(plugin, QStringLiteral("steam")));
    ASSERT_TRUE(wait_until([&] { return seen.size() == 4; }));
    EXPECT_EQ(seen.back(), "steam");

    watcher->stop();
    ASSERT_TRUE(wait_until([&] { return kwin->scripting_calls().size() == 4; }));
    EXPECT_EQ(kwin->scripting_calls().back(), "unload " + plugin);
    EXPECT_TRUE(kwin->script(plugin).isEmpty());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "kwin-focus.js"));
    EXPECT_EQ(seen.size(), 4u);
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
}

}  // namespace
}  // namespace velqa::test
