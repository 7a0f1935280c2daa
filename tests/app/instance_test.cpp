// A second start defers to the running program, which comes forward; what other programs send
// it is bounded (run under dbus-run-session).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>

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

// Resident memory of a process in kB (0 when unknown): statm's second field, in pages.
long resident_kb(qint64 pid) {
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (::sysconf(_SC_PAGESIZE) / 1024) : 0;
}

class RunningProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        qt_app();
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            GTEST_SKIP() << "needs a session bus (registered under dbus-run-session)";
        QProcessEnvironment env = private_env(home_.path());
        // Under AddressSanitizer freed blocks are held back (256 MB by default), which the memory
        // bound below would count.
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":quarantine_size_mb=16");
        first_.setProcessEnvironment(env);
        first_.start(velqa_binary(), {});
        ASSERT_TRUE(first_.waitForStarted());
        ASSERT_TRUE(wait_until([] { return name_owned(); }, 30000));
    }
    void TearDown() override {
        if (first_.state() == QProcess::NotRunning)
            return;
        ::kill(static_cast<pid_t>(first_.processId()), SIGCONT);
        first_.terminate();
        if (!first_.waitForFinished(15000))
            first_.kill(), first_.waitForFinished();
    }
    static QDBusMessage call(const QString& method, const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createMethodCall("com.zarn.VelqaR260", "/com/zarn/VelqaR260",
                                                        "com.zarn.VelqaR260.Messages", method);
        m.setArguments(args);
        return QDBusConnection::sessionBus().call(m, QDBus::Block, 30000);
    }

    TempDir home_;
    QProcess first_;
};

// Names and blocks past their limits are refused with an error and nothing is kept; a 64 MB
// block (which once stopped every later reply) leaves the program answering.
TEST_F(RunningProgram, OversizedCallsAreRefusedAndLaterCallsAnswered) {
    const long before = resident_kb(first_.processId());
    ASSERT_GT(before, 0);
    // A large call to a method we do not have is answered by QtDBus, not by us.
    EXPECT_EQ(call("Unknown", {QByteArray(64 * 1024 * 1024, '\x5a')}).type(),
              QDBusMessage::ErrorMessage);
    const QString big_name(8 * 1024 * 1024, QLatin1Char('n'));
    for (int i = 0; i < 40; ++i) {
        const QDBusMessage reply =
            call("Post", {big_name + QString::number(i), qlonglong(0), qlonglong(0)});
        ASSERT_EQ(reply.type(), QDBusMessage::ErrorMessage) << i;
        EXPECT_EQ(reply.errorName().toStdString(), "com.zarn.VelqaR260.Error.Refused");
    }
    for (const qsizetype size : {qsizetype(64) * 1024 * 1024, qsizetype(2001)}) {
        const QDBusMessage reply = call("CopyData", {1u, QByteArray(size, '\x5a')});
        EXPECT_EQ(reply.errorName().toStdString(), "com.zarn.VelqaR260.Error.Refused") << size;
    }
    // Each refused name was dropped: 40 names of 8 MB once grew the program by 380 MB, and
    // keeping them costs at least 320 MB. The transfers alone leave less than half of that, also
    // under a sanitizer's shadow memory.
    EXPECT_LT(resident_kb(first_.processId()) - before, 256 * 1024);

    EXPECT_EQ(call("CopyData", {1u, QByteArray(2000, '\x01')}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(call("Post", {QStringLiteral("not ours"), qlonglong(0), qlonglong(0)}).type(),
              QDBusMessage::ReplyMessage);
    // A second start still reaches the first.
    const RunResult second = run_velqa({}, private_env(home_.path()), 30000);
    ASSERT_TRUE(second.finished);
    EXPECT_EQ(second.exit_code, 0) << second.err.toStdString();
}

TEST_F(RunningProgram, ASecondStartThatGetsNoAnswerSaysSoAndFails) {
    // The first holds the name but cannot answer.
    ASSERT_EQ(::kill(static_cast<pid_t>(first_.processId()), SIGSTOP), 0);
    const RunResult second = run_velqa({}, private_env(home_.path()), 60000);
    ::kill(static_cast<pid_t>(first_.processId()), SIGCONT);
    ASSERT_TRUE(second.finished);
    EXPECT_NE(second.exit_code, 0);
    EXPECT_TRUE(second.err.contains("does not answer")) << second.err.toStdString();
    EXPECT_FALSE(second.err.contains("windowinit"));
}

}  // namespace
}  // namespace velqa::test
