// The KWin focus watcher against the real KWin: kwin_wayland on its virtual backend, on the
// private session bus the test runs on, with windows of its Xwayland (foot, the Wayland client
// the other tests use, stops on a division by zero under KWin's virtual backend). Our script
// loads and reports the focus; after another client loaded and unloaded scripts and our window
// restarted (KWin 5 then hands our new script the id of another's), it still does. kwin_x11 on a
// private Xvfb for the X11 watcher. A stand-in KWin plays a script that never calls back, which
// KWin cannot be made to do.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/ipc/kwin_focus.h"
#include "platform/ui/qt_test_app.h"
#include "support/child_process.h"
#include "support/fake_kwin.h"
#include "support/temp_dir.h"
#include "support/waiting.h"
// Last: Xlib's macros (None, Bool) would break names in the headers above.
#include "support/x11_session.h"

namespace velqa::test {
namespace {

namespace fs = std::filesystem;
using platform::desktop::FocusedApp;
constexpr int kStartMs = 60000;  // KWin renders with llvmpipe: seconds on a busy machine
constexpr char kSocket[] = "velqa-kwin-test";

bool on_bus(const char* name) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface()->isServiceRegistered(QLatin1String(name)).value();
}

// kwin_wayland, or a copy of it without its file capability when that capability stops it
// starting here (a root that may not hold cap_sys_resource, as in a container). Empty when
// neither runs; `note` says when the copy is used.
std::string kwin_wayland(const fs::path& dir, std::string& note) {
    const std::string installed = find_program("kwin_wayland");
    if (installed.empty())
        return {};
    if (run_program({installed, "--version"}) == 0)
        return installed;
    const fs::path copy = dir / "kwin_wayland";
    std::error_code ec;
    // A copy does not carry the extended attribute that holds the capability.
    fs::copy_file(installed, copy, ec);
    if (ec || run_program({copy.string(), "--version"}) != 0)
        return {};
    note = installed +
           " cannot be started here (its file capability cap_sys_resource is refused), so the "
           "test runs a copy without it";
    return copy.string();
}

// Our script's names that KWin has loaded.
QStringList loaded_names() {
    QStringList names;
    for (int i = 0; i < platform::ipc::kFocusScriptNames; ++i) {
        const QString name = i == 0 ? QLatin1String(platform::ipc::kFocusScriptName)
                                    : QStringLiteral("%1_%2")
                                          .arg(QLatin1String(platform::ipc::kFocusScriptName))
                                          .arg(i + 1);
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
            QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("isScriptLoaded"));
        call << name;
        const QDBusReply<bool> loaded = QDBusConnection::sessionBus().call(call);
        if (loaded.isValid() && loaded.value())
            names << name;
    }
    return names;
}

struct Followed {
    std::vector<std::string> apps;
    std::vector<std::string> status;
    bool following() const { return !status.empty() && status.back().empty(); }
};

std::unique_ptr<platform::desktop::FocusWatcher> start_watcher(const fs::path& folder,
                                                               Followed& seen) {
    fs::create_directories(folder);
    auto watcher = platform::ipc::make_kwin_focus_watcher(folder);
    EXPECT_EQ(watcher->start([&](const FocusedApp& app) { seen.apps.push_back(app.app_id); },
                             [&](const std::string& reason) { seen.status.push_back(reason); }),
              "");
    return watcher;
}

TEST(KWinFocus, FollowsRealKWinAlsoWhenItHandsUsAnotherScriptsId) {
    qt_app();
    if (!on_bus("org.freedesktop.DBus"))
        GTEST_SKIP() << "no session bus (CTest runs this under dbus-run-session)";
    if (!on_path("Xwayland"))
        GTEST_SKIP() << "Xwayland is not installed (scripts/setup installs xwayland)";
    TempDir dir;
    std::string note;
    const std::string kwin = kwin_wayland(dir.path(), note);
    if (kwin.empty())
        GTEST_SKIP() << "kwin_wayland is not installed or does not start here (scripts/setup "
                        "installs kwin-wayland)";
    if (!note.empty())
        std::cout << note << "\n";
    const fs::path runtime = dir / "run";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    const std::vector<std::string> session{"XDG_RUNTIME_DIR=" + runtime.string(),
                                           "HOME=" + dir.path().string(),
                                           "XDG_CONFIG_HOME=" + (dir / "config").string(),
                                           "XDG_DATA_HOME=" + (dir / "data").string(),
                                           "XDG_CACHE_HOME=" + (dir / "cache").string(),
                                           "QT_QPA_PLATFORM",
                                           "DISPLAY",
                                           "WAYLAND_DISPLAY=" + std::string(kSocket)};
    // KWin starts the command it is given once Xwayland is up, with DISPLAY set.
    const fs::path display_file = dir / "display";
    Child compositor =
        spawn({kwin, "--virtual", "--xwayland", "--no-lockscreen", "--no-global-shortcuts",
               "--no-kactivities", "--socket", kSocket, "--width", "1024", "--height", "768",
               "sh -c 'echo $DISPLAY > " + display_file.string() + "'"},
              session, (dir / "kwin.log").string());
    ASSERT_TRUE(wait_until([] { return on_bus("org.kde.KWin"); }, kStartMs))
        << "KWin did not come on the bus (see " << (dir / "kwin.log").string() << ")";
    std::string display;
    ASSERT_TRUE(wait_until(
        [&] {
            std::getline(std::ifstream(display_file), display);
            return !display.empty();
        },
        kStartMs))
        << "KWin's Xwayland did not start (see " << (dir / "kwin.log").string() << ")";
    X11Client client(display.c_str());
    ASSERT_NE(client.display(), nullptr);
    std::vector<Window> windows;
    auto open_window = [&](const char* app) {
        windows.push_back(client.window(app, app));
        XMapWindow(client.display(), windows.back());
        XSync(client.display(), False);
    };

    // Our script loads, says it runs, and reports each window that becomes active.
    Followed first;
    auto watcher = start_watcher(dir / "first", first);
    ASSERT_TRUE(wait_until([&] { return first.following(); }, kStartMs)) << "no handshake";
    open_window("cs2");
    ASSERT_TRUE(
        wait_until([&] { return !first.apps.empty() && first.apps.back() == "cs2"; }, kStartMs));

    // Another client loads two scripts and unloads one: ours is first in KWin's list, the
    // other's second.
    std::ofstream(dir / "other.js") << "// another program's script\n";
    QDBusConnection other =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
    auto scripting = [&](const char* member, const QVariantList& args) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
            QStringLiteral("org.kde.kwin.Scripting"), QLatin1String(member));
        call.setArguments(args);
        return other.call(call);
    };
    const QString other_js = QString::fromStdString((dir / "other.js").string());
    ASSERT_EQ(scripting("loadScript", {other_js, QStringLiteral("other_b")}).type(),
              QDBusMessage::ReplyMessage);
    ASSERT_EQ(scripting("loadScript", {other_js, QStringLiteral("other_c")}).type(),
              QDBusMessage::ReplyMessage);
    ASSERT_EQ(scripting("unloadScript", {QStringLiteral("other_c")}).type(),
              QDBusMessage::ReplyMessage);

    // Our window restarts: its script is unloaded, and the new one is numbered by the list's
    // length, which is the other script's id.
    watcher->stop();
    ASSERT_TRUE(wait_until([] { return loaded_names().isEmpty(); }));
    DebugLines debug;
    Followed second;
    watcher = start_watcher(dir / "second", second);
    ASSERT_TRUE(wait_until([&] { return second.following(); }, kStartMs))
        << "the script run was not ours";
    EXPECT_EQ(debug.count_containing("is another script's; loading again"), 1u)
        << "KWin gave our script the other's id, and it was loaded again under another name";
    open_window("dota2");
    ASSERT_TRUE(wait_until([&] { return !second.apps.empty() && second.apps.back() == "dota2"; },
                           kStartMs));

    // Another program calling our object is not KWin.
    QDBusMessage forged = QDBusMessage::createMethodCall(
        QDBusConnection::sessionBus().baseService(), QLatin1String(platform::ipc::kFocusPath),
        QLatin1String(platform::ipc::kFocusInterface), QStringLiteral("focusChanged"));
    forged << QStringLiteral("intruder");
    ASSERT_TRUE(other.send(forged));
    client.activate(windows.front());
    ASSERT_TRUE(wait_until([&] { return second.apps.back() == "cs2"; }, kStartMs));
    EXPECT_EQ(std::count(second.apps.begin(), second.apps.end(), "intruder"), 0);

    // Stopping unloads every script of ours and removes the file.
    watcher->stop();
    EXPECT_TRUE(wait_until([] { return loaded_names().isEmpty(); }));
    EXPECT_FALSE(fs::exists(dir / "second" / "kwin-focus.js"));
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
}

// A KWin that runs something else under our script's id every time: each name is tried, then
// the watcher says the focus cannot be followed.
TEST(KWinFocus, SaysSoWhenItsScriptNeverCallsBack) {
    qt_app();
    auto kwin = std::make_unique<FakeKWin>();
    if (!kwin->started())
        GTEST_SKIP() << "no session bus, or a KWin owns the name (CTest runs this under "
                        "dbus-run-session)";
    TempDir dir;
    auto watcher =
        platform::ipc::make_kwin_focus_watcher(dir.path(), std::chrono::milliseconds(100));
    std::vector<std::string> status;
    ASSERT_EQ(watcher->start([](const FocusedApp&) {},
                             [&](const std::string& reason) { status.push_back(reason); }),
              "");
    ASSERT_TRUE(wait_until([&] { return !status.empty(); }));
    EXPECT_NE(status.back(), "");
    int runs = 0;
    for (const QString& call : kwin->scripting_calls())
        runs += call.startsWith(QLatin1String("run "));
    EXPECT_EQ(runs, platform::ipc::kFocusScriptNames);
    watcher->stop();
}

// kwin_x11 on an Xvfb of the test's own: the X11 watcher follows the windows it activates.
TEST(KWinFocus, X11WatcherFollowsKWinOnX11) {
    if (!on_path("kwin_x11"))
        GTEST_SKIP() << "kwin_x11 is not installed (scripts/setup installs kwin-x11)";
    PrivateXServer server;
    if (server.display().empty())
        GTEST_SKIP() << "Xvfb did not start (scripts/setup installs xvfb)";
    TempDir dir;
    X11Client client(server.display().c_str());
    ASSERT_NE(client.display(), nullptr);
    Child wm = spawn({"kwin_x11", "--replace"},
                     {"DISPLAY=" + server.display(), "HOME=" + dir.path().string(),
                      "XDG_CONFIG_HOME=" + (dir / "config").string(), "QT_QPA_PLATFORM=xcb"},
                     (dir / "kwin_x11.log").string());
    ASSERT_TRUE(
        eventually([&] { return client.has_property(client.root(), "_NET_SUPPORTING_WM_CHECK"); },
                   std::chrono::milliseconds(kStartMs)))
        << "kwin_x11 did not start (see " << (dir / "kwin_x11.log").string() << ")";

    auto watcher = platform::desktop::make_x11_focus_watcher(server.display());
    Mailbox<FocusedApp> seen;
    ASSERT_EQ(watcher->start([&](const FocusedApp& app) { seen.push(app); }), "");
    const Window shooter = client.window("cs2", "cs2");
    const Window browser = client.window("navigator", "firefox");
    XMapWindow(client.display(), shooter);
    XMapWindow(client.display(), browser);
    XSync(client.display(), False);
    auto last_is = [&](const std::string& app) {
        return seen.wait([&](const std::vector<FocusedApp>& items) {
            return !items.empty() && items.back().app_id == app;
        });
    };
    client.activate(shooter);
    EXPECT_TRUE(last_is("cs2"));
    client.activate(browser);
    EXPECT_TRUE(last_is("firefox"));
    client.activate(shooter);
    EXPECT_TRUE(last_is("cs2"));
    watcher->stop();
}

}  // namespace
}  // namespace velqa::test
