// The running program driven as a script would: `velqa --simulate --automation` on a private
// session bus, its simulated mouse hot-plugged with `velqa-sim ctl`, a DPI typed into stage 2
// through the scripting interface, writes the mouse refuses, and the end by a terminating
// signal.
#include <gtest/gtest.h>
#include <json/json.h>

#include <signal.h>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "device/link/link_lock.h"
#include "platform/folders.h"
#include "platform/json_read.h"
#include "platform/ui/qt_test_app.h"
#include "process_support.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace velqa::test {
namespace {

const QString kService = QStringLiteral("com.zarn.VelqaR260");
const QString kPath = QStringLiteral("/com/zarn/VelqaR260");
const QString kAutomation = QStringLiteral("com.zarn.VelqaR260.Automation");

class ScriptingBase : public ::testing::Test {
  protected:
    void SetUp() override {
        qt_app();
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            GTEST_SKIP() << "needs a session bus (run under dbus-run-session)";
        env_ = private_env(home_.path());
        env_.remove("VELQA_DEBUG");
    }
    // Starts the program; true once the scripting interface answers with the mouse's page
    // loaded on the cable (or, without `until_loaded`, once the program runs).
    bool launch(const QStringList& args, bool until_loaded = true) {
        velqa_.setProcessEnvironment(env_);
        velqa_.start(velqa_binary(), args);
        if (!velqa_.waitForStarted(10000))
            return false;
        const bool up =
            !until_loaded || wait_until([&] { return tile_link() == "cable" && loaded(); }, 30000);
        err_ += QString::fromUtf8(velqa_.readAllStandardError());
        return up;
    }
    void TearDown() override {
        if (velqa_.state() != QProcess::NotRunning) {
            velqa_.kill();
            velqa_.waitForFinished(5000);
        }
        QDBusConnection::disconnectFromBus("script");
    }

    QDBusMessage call(const QString& method, const QVariantList& args) {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "script");
        QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kAutomation, method);
        m.setArguments(args);
        return bus.call(m, QDBus::Block, 5000);
    }
    Json::Value state() {
        const QDBusMessage reply = call("State", {});
        if (reply.type() != QDBusMessage::ReplyMessage)
            return {};
        return platform::parse_json(reply.arguments().value(0).toString().toStdString());
    }
    // The first tile's link when it is shown, "hidden" when not, "" before the program answers.
    std::string tile_link() {
        const Json::Value tile = platform::element(platform::member(state(), "tiles"), 0);
        if (!tile.isObject())
            return {};
        return platform::to_bool(platform::member(tile, "visible"))
                   ? platform::to_text(platform::member(tile, "link"))
                   : "hidden";
    }
    bool loaded() {
        const Json::Value tile = platform::element(platform::member(state(), "tiles"), 0);
        return platform::to_bool(platform::member(tile, "loaded"));
    }
    bool banner() { return platform::to_bool(platform::member(state(), "no_device_link")); }
    void ctl(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral(VELQA_BIN_DIR "/velqa-sim"),
                QStringList{"ctl", "--dir", sim_dir_} + args);
        ASSERT_TRUE(p.waitForFinished(10000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }
    // The mouse's active record as velqactl reads it; null when it could not be read.
    Json::Value mouse_settings() {
        QProcess p;
        QProcessEnvironment env = env_;
        env.insert("VELQA_HID", "sim:" + sim_dir_);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VELQA_BIN_DIR "/velqactl"), {"settings"});
        if (!p.waitForFinished(10000) || p.exitCode() != 0)
            return {};
        return platform::parse_json(p.readAllStandardOutput().toStdString());
    }
    // Stage `n`'s DPI in the mouse's active record, -1 when it could not be read.
    int mouse_stage_dpi(int n) {
        const Json::Value settings = mouse_settings();
        const Json::Value& stage = platform::element(platform::member(settings, "stages"),
                                                     static_cast<Json::ArrayIndex>(n));
        return stage.isObject()
                   ? static_cast<int>(platform::to_int(platform::member(stage, "dpi_x")))
                   : -1;
    }
    int mouse_brightness() {
        const Json::Value settings = mouse_settings();
        const Json::Value& light = platform::member(settings, "lighting");
        return light.isObject()
                   ? static_cast<int>(platform::to_int(platform::member(light, "brightness")))
                   : -1;
    }
    // The device section of the profile the window follows: the selected entry of the list.
    Json::Value profile_section() {
        const auto folder = home_.path() / "data/ZARN_VELQA_R260/mouse";
        const Json::Value list = platform::read_json_file(folder / "ProfileList.ini");
        const Json::Value& entry = platform::element(platform::member(list, "profilelist"),
                                                     static_cast<Json::ArrayIndex>(platform::to_int(
                                                         platform::member(list, "profileselect"))));
        const std::string uuid = platform::to_text(platform::member(entry, "profileUUID"));
        if (uuid.empty())
            return {};
        const Json::Value doc = platform::read_json_file(folder / (uuid + ".Json"));
        return platform::element(platform::member(doc, "Device"), 0);
    }
    // Whether a stage set of the profile holds `dpi` at stage `n`: the one the sensor uses.
    bool profile_holds_stage_dpi(int n, int dpi) {
        const Json::Value section = profile_section();
        const Json::Value& sets = platform::member(section, "DPIStages");
        for (Json::ArrayIndex s = 0; s < sets.size(); ++s) {
            const Json::Value& dpis = platform::member(platform::element(sets, s), "StageDPIs");
            if (platform::to_int(platform::member(
                    platform::element(dpis, static_cast<Json::ArrayIndex>(n)), "StageDPIX")) == dpi)
                return true;
        }
        return false;
    }
    Json::Value query(const QString& control) {
        const QDBusMessage reply = call("Query", {control});
        return platform::parse_json(reply.arguments().value(0).toString().toStdString());
    }
    // The message window's text while it shows, "" when none shows.
    std::string notice() {
        const Json::Value text = query("MessageText");
        return platform::to_bool(platform::member(text, "visible"))
                   ? platform::to_text(platform::member(text, "text"))
                   : std::string();
    }
    // A change the mouse refuses: the window tells the user once, in the window's language.
    // The change is invoked without waiting, since the notice is modal; the user closes it.
    void expect_one_refusal_notice(const QString& type, const QString& control,
                                   const QString& value) {
        const QDBusMessage invoked = call("Invoke", {type, control, value});
        ASSERT_EQ(invoked.type(), QDBusMessage::ReplyMessage)
            << invoked.errorMessage().toStdString();
        ASSERT_TRUE(wait_until([&] { return !notice().empty(); }));
        const std::string text = notice();
        EXPECT_TRUE(text == shipped_text("lan_en.xml") || text == shipped_text("lan_cn.xml"))
            << text;
        ASSERT_TRUE(call("Invoke", {"click", "confirm_btn", ""}).arguments().value(0).toBool());
        // Anything else the refused change had queued shows before this query is answered.
        EXPECT_EQ(notice(), "");
    }
    static std::string shipped_text(const char* language) {
        std::ifstream in(std::filesystem::path(VELQA_SKIN_DIR) / language);
        std::stringstream all;
        all << in.rdbuf();
        static const QRegularExpression text(
            QStringLiteral("<Text id=\"device_write_failed_text\">([^<]*)</Text>"));
        return text.match(QString::fromStdString(all.str())).captured(1).toStdString();
    }

    TempDir home_;
    QProcessEnvironment env_;
    QProcess velqa_;
    QString err_;
    QString sim_dir_;
};

class Scripting : public ScriptingBase {
  protected:
    void SetUp() override {
        ScriptingBase::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(launch({"--simulate", "--automation"})) << err_.toStdString();
        static const QRegularExpression serving(QStringLiteral("serving .* in (\\S+)"));
        const auto m = serving.match(err_);
        ASSERT_TRUE(m.hasMatch()) << err_.toStdString();
        sim_dir_ = m.captured(1);
    }
};

TEST_F(Scripting, ADpiTypedIntoStageTwoReachesTheMouseAndTheProfile) {
    const QDBusMessage reply = call("Invoke", {"killfocus", "DPI_edit_2", "3200"});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_TRUE(reply.arguments().value(0).toBool());
    EXPECT_TRUE(wait_until([&] { return mouse_stage_dpi(2) == 3200; }));
    EXPECT_TRUE(profile_holds_stage_dpi(2, 3200));
}

TEST_F(Scripting, ARefusedDpiShowsWhatTheMouseHoldsAndARetryAppliesIt) {
    const int held = mouse_stage_dpi(0);
    ASSERT_GT(held, 0);
    ASSERT_NE(held, 1234);
    ctl({"fault", "status-ff", "3"});
    expect_one_refusal_notice("killfocus", "DPI_edit_0", "1234");
    ctl({"fault", "clear"});
    EXPECT_EQ(platform::to_text(platform::member(query("DPI_edit_0"), "text")),
              std::to_string(held));
    EXPECT_EQ(mouse_stage_dpi(0), held);
    EXPECT_TRUE(profile_holds_stage_dpi(0, 1234));

    // The same value again is the user's retry.
    ASSERT_TRUE(call("Invoke", {"killfocus", "DPI_edit_0", "1234"}).arguments().value(0).toBool());
    EXPECT_EQ(mouse_stage_dpi(0), 1234);
    // The field shows the value in the page's steps.
    EXPECT_EQ(platform::to_text(platform::member(query("DPI_edit_0"), "text")), "1250");
    EXPECT_EQ(notice(), "");
}

TEST_F(Scripting, ARefusedLightingChangeShowsTheMousesLightingUntilARetry) {
    const int held = mouse_brightness();
    ASSERT_GE(held, 0);
    const int wanted = held == 0 ? 1 : 0;
    const QString value = QString::number(wanted);
    ctl({"fault", "status-ff", "3"});
    expect_one_refusal_notice("valuechanged", "deng_light_slider", value);
    ctl({"fault", "clear"});
    EXPECT_EQ(platform::to_int(platform::member(query("deng_light_slider"), "value")), held);
    EXPECT_EQ(mouse_brightness(), held);
    EXPECT_EQ(platform::to_int(
                  platform::member(platform::member(profile_section(), "LightInfo"), "Light")),
              wanted);

    ASSERT_TRUE(
        call("Invoke", {"valuechanged", "deng_light_slider", value}).arguments().value(0).toBool());
    EXPECT_EQ(mouse_brightness(), wanted);
    EXPECT_EQ(platform::to_int(platform::member(query("deng_light_slider"), "value")), wanted);
}

TEST_F(Scripting, HotPlugMovesShowsAndHidesThePage) {
    ctl({"unplug", "cable"});
    ASSERT_TRUE(wait_until([&] { return tile_link() == "receiver"; }));
    ctl({"unplug", "receiver"});
    ASSERT_TRUE(wait_until([&] { return tile_link() == "hidden"; }));
    EXPECT_TRUE(banner());
    ctl({"plug", "receiver"});
    ASSERT_TRUE(wait_until([&] { return tile_link() == "receiver"; }));
    ctl({"plug", "cable"});
    ASSERT_TRUE(wait_until([&] { return tile_link() == "cable"; }));
    EXPECT_EQ(state()["tiles"].size(), 1u);
}

TEST_F(Scripting, ATerminatingSignalEndsTheProgramAndItsSimulator) {
    velqa_.terminate();
    ASSERT_TRUE(velqa_.waitForFinished(15000));
    EXPECT_EQ(velqa_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(velqa_.exitCode(), 0);
    // The simulator removed its nodes as it ended.
    EXPECT_TRUE(wait_until([&] { return !std::filesystem::exists(sim_dir_.toStdString()); }));
}

// The modal settings window once refused the close that quitting asks for, so the signal was
// ignored while it was open.
TEST_F(Scripting, AClickOpeningTheModalSettingsWindowIsAnsweredAtOnceAndASignalStillEnds) {
    // Answered while the window is open, as a person's click returns: the call does not wait
    // for the window to close.
    const QDBusMessage click = call("Invoke", {"click", "setbtn", ""});
    ASSERT_EQ(click.type(), QDBusMessage::ReplyMessage) << click.errorMessage().toStdString();
    EXPECT_TRUE(click.arguments().value(0).toBool());
    ASSERT_TRUE(wait_until([&] {
        const QDBusMessage reply = call("Query", {"Language_combox_info"});
        return reply.type() == QDBusMessage::ReplyMessage &&
               platform::to_bool(platform::member(
                   platform::parse_json(reply.arguments().value(0).toString().toStdString()),
                   "visible"));
    }));
    velqa_.terminate();
    ASSERT_TRUE(velqa_.waitForFinished(30000));
    EXPECT_EQ(velqa_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(velqa_.exitCode(), 0);
    EXPECT_TRUE(wait_until([&] { return !std::filesystem::exists(sim_dir_.toStdString()); }));
}

// The children of a process, from /proc.
std::vector<qint64> children_of(qint64 pid) {
    std::vector<qint64> out;
    for (const QString& task : QDir(QStringLiteral("/proc/%1/task").arg(pid))
                                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(QStringLiteral("/proc/%1/task/%2/children").arg(pid).arg(task));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& child : file.readAll().split(' ')) {
            if (!child.trimmed().isEmpty())
                out.push_back(child.trimmed().toLongLong());
        }
    }
    return out;
}

// Gone, or a zombie that nobody has reaped yet.
bool process_ended(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const auto close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) == "Z";
}

TEST_F(Scripting, TheSimulatorGoesWhenTheProgramIsKilled) {
    const std::vector<qint64> children = children_of(velqa_.processId());
    ASSERT_EQ(children.size(), 1u);
    velqa_.kill();
    ASSERT_TRUE(velqa_.waitForFinished(10000));
    EXPECT_TRUE(wait_until([&] { return process_ended(children[0]); }, 30000));
    // It ended in order: its nodes are gone.
    EXPECT_TRUE(
        wait_until([&] { return QDir(sim_dir_).entryList({"*.sock"}, QDir::System).isEmpty(); }));
}

// Another user on the machine: a FIFO and a held lock where the lock used to be (beside the
// simulator's nodes), and our fallback lock folder made first by them with the lock file held.
TEST_F(ScriptingBase, AnotherUsersLocksAndFifosNeitherFreezeTheWindowNorStopVelqactl) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user (setpriv)";
    const std::filesystem::path sim = home_ / "sim", tmp = home_ / "tmp";
    std::filesystem::create_directories(tmp);
    ASSERT_EQ(::chmod(home_.path().c_str(), 0755), 0);
    SimProcess simulator;
    ASSERT_TRUE(simulator.start(VELQA_BIN_DIR "/velqa-sim", sim, {"--link", "both"}));
    for (const auto& d : {sim, tmp})
        ASSERT_EQ(::chmod(d.c_str(), 01777), 0);
    const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    const auto theirs = tmp / ("velqa-" + std::to_string(::geteuid()));
    const std::string their_lock = link::link_lock_file(theirs, (sim / "cable-if1.sock").string());
    BackgroundCommand holder;
    ASSERT_TRUE(holder.start(nobody + "sh -c 'mkfifo " + (sim / "receiver-if1.sock.lock").string() +
                             " && mkdir -m 777 " + theirs.string() + " && flock -x " +
                             (sim / "cable-if1.sock.lock").string() + " flock -x " + their_lock +
                             " -c \"touch " + (tmp / "held").string() + "; exec sleep 600\"'"));
    ASSERT_TRUE(wait_for_file(tmp / "held"));

    env_.remove("XDG_RUNTIME_DIR");
    env_.insert("TMPDIR", QString::fromStdString(tmp.string()));
    sim_dir_ = QString::fromStdString(sim.string());
    env_.insert("VELQA_HID", "sim:" + sim_dir_);
    ASSERT_TRUE(launch({"--automation"})) << err_.toStdString();
    const QDBusMessage reply = call("Invoke", {"killfocus", "DPI_edit_2", "3200"});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_TRUE(wait_until([&] { return mouse_stage_dpi(2) == 3200; }));
}

// Another program of ours keeps the device lock: the window gives up after a bounded wait,
// says so, and loads the page once the lock is free.
TEST_F(ScriptingBase, ABusyDeviceLockIsToldAndThePageLoadsOnceItIsFree) {
    const std::filesystem::path sim = home_ / "sim", run = home_ / "run";
    SimProcess simulator;
    ASSERT_TRUE(simulator.start(VELQA_BIN_DIR "/velqa-sim", sim, {"--link", "both"}));
    ASSERT_TRUE(platform::make_private_folder(run, nullptr));
    ASSERT_TRUE(platform::make_private_folder(run / "velqa", nullptr));
    link::LinkLock other;
    other.attach(0, link::link_lock_file(run / "velqa", (sim / "cable-if1.sock").string()));
    ASSERT_TRUE(other.lock(0));

    env_.insert("XDG_RUNTIME_DIR", QString::fromStdString(run.string()));
    env_.insert("VELQA_HID", QString::fromStdString("sim:" + sim.string()));
    ASSERT_TRUE(launch({"--automation"}, false));
    auto notice = [&] {
        const QDBusMessage reply = call("Query", {"MessageText"});
        const Json::Value text =
            platform::parse_json(reply.arguments().value(0).toString().toStdString());
        // In the language the program chose from the locale.
        const std::string shown = platform::to_text(platform::member(text, "text"));
        return platform::to_bool(platform::member(text, "visible")) &&
               (shown.starts_with("Another program") || shown.starts_with("另一个程序"));
    };
    ASSERT_TRUE(wait_until(notice, 30000)) << velqa_.readAllStandardError().toStdString();
    EXPECT_FALSE(loaded());
    other.unlock();
    EXPECT_TRUE(wait_until([&] { return loaded(); }, 30000));
    EXPECT_TRUE(call("Invoke", {"click", "confirm_btn", ""}).arguments().value(0).toBool());
}

}  // namespace
}  // namespace velqa::test
