// Single instance and program messages over a private session bus (run under dbus-run-session).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <vector>

#include "platform/ipc/program_channel.h"
#include "platform/ui/qt_test_app.h"
#include "support/temp_dir.h"

namespace velqa::test {
namespace {

using platform::ipc::ProgramChannel;
using Role = ProgramChannel::Role;

struct Got {
    QString name;
    qlonglong w, l;
};

class ProgramChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt_app();
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            GTEST_SKIP() << "needs a session bus (registered under dbus-run-session)";
        }
    }
    // A unique name per test keeps tests independent of each other and of a running program.
    QString service() const {
        return QString("com.zarn.VelqaR260.Test%1")
            .arg(::testing::UnitTest::GetInstance()->random_seed() +
                 static_cast<int>(QCoreApplication::applicationPid()));
    }
};

TEST_F(ProgramChannelTest, FirstOwnsTheNameSecondDefersAndIsHeard) {
    ProgramChannel first("first", service());
    ProgramChannel second("second", service());
    std::vector<Got> got;
    first.set_receiver([&](const QString& n, qlonglong w, qlonglong l) {
        got.push_back({n, w, l});
    });
    ASSERT_EQ(first.claim(), Role::Primary);
    ASSERT_EQ(second.claim(), Role::Secondary);
    EXPECT_TRUE(second.post_to_primary("ZARN VELQA R260 SOFTWARE", 0, 1));
    ASSERT_TRUE(wait_until([&] { return !got.empty(); }));
    EXPECT_EQ(got[0].name, "ZARN VELQA R260 SOFTWARE");
    EXPECT_EQ(got[0].w, 0);
    EXPECT_EQ(got[0].l, 1);
}

TEST_F(ProgramChannelTest, NameIsFreeAgainWhenThePrimaryEnds) {
    {
        ProgramChannel first("first", service());
        ASSERT_EQ(first.claim(), Role::Primary);
    }
    ProgramChannel again("again", service());
    EXPECT_EQ(again.claim(), Role::Primary);
}

TEST_F(ProgramChannelTest, BroadcastReachesThePrimary) {
    ProgramChannel first("first", service());
    ProgramChannel other("other", service());
    std::vector<Got> got;
    first.set_receiver([&](const QString& n, qlonglong w, qlonglong l) {
        got.push_back({n, w, l});
    });
    ASSERT_EQ(first.claim(), Role::Primary);
    EXPECT_TRUE(other.broadcast("{4695579F-999A-41d4-9FAF-EFFCE93EBF17}", 1, 0));
    ASSERT_TRUE(wait_until([&] { return !got.empty(); }));
    EXPECT_EQ(got[0].name, "{4695579F-999A-41d4-9FAF-EFFCE93EBF17}");
    EXPECT_EQ(got[0].w, 1);
}

TEST_F(ProgramChannelTest, PostWithoutAPrimaryFails) {
    ProgramChannel lonely("lonely", service());
    EXPECT_FALSE(lonely.post_to_primary("ZARN VELQA R260 SOFTWARE", 0, 1, 2000));
}

// Listens for the "Data" signal on a connection of its own, as the factory tool would.
class DataListener : public QObject {
    Q_OBJECT

  public:
    explicit DataListener(const QString& connection) : connection_(connection) {
        QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection_);
        bus.connect(QString(), platform::ipc::kObjectPath, platform::ipc::kInterface, "Data", this,
                    SLOT(on_data(uint, QByteArray)));
        // A round trip after the subscription: the bus has seen it before anything is sent.
        bus.call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "GetId"));
    }
    ~DataListener() override { QDBusConnection::disconnectFromBus(connection_); }
    std::vector<std::pair<uint, QByteArray>> got;

  public slots:
    void on_data(uint kind, const QByteArray& data) { got.emplace_back(kind, data); }

  private:
    QString connection_;
};

TEST_F(ProgramChannelTest, DataBlocksArriveWholeAndRepliesAreBroadcast) {
    ProgramChannel first("first", service());
    std::vector<std::pair<quint32, QByteArray>> got;
    first.set_data_receiver(
        [&](quint32 kind, const QByteArray& data) { got.emplace_back(kind, data); });
    ASSERT_EQ(first.claim(), Role::Primary);

    // A block with zero bytes inside and one far larger than any receive buffer: both arrive
    // unchanged, the receiver decides what fits.
    QByteArray block("\x01\x00\x02\xff", 4);
    const QByteArray big(64 * 1024, '\x5a');
    QDBusConnection caller = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "caller");
    const std::vector<std::pair<uint, QByteArray>> blocks = {{2, block}, {1, big}};
    for (const auto& [kind, data] : blocks) {
        QDBusMessage call = QDBusMessage::createMethodCall(service(), platform::ipc::kObjectPath,
                                                           platform::ipc::kInterface, "CopyData");
        call << kind << data;
        EXPECT_EQ(caller.call(call, QDBus::BlockWithGui, 5000).type(), QDBusMessage::ReplyMessage);
    }
    QDBusConnection::disconnectFromBus("caller");
    ASSERT_TRUE(wait_until([&] { return got.size() == 2; }));
    EXPECT_EQ(got[0].first, 2u);
    EXPECT_EQ(got[0].second, block);
    EXPECT_EQ(got[1].first, 1u);
    EXPECT_EQ(got[1].second, big);

    DataListener tool("tool");
    const QByteArray reply(1024, '\x07');
    EXPECT_TRUE(first.broadcast_data(5, reply));
    ASSERT_TRUE(wait_until([&] { return !tool.got.empty(); }));
    EXPECT_EQ(tool.got[0].first, 5u);
    EXPECT_EQ(tool.got[0].second, reply);
}

TEST(ProgramChannelAlone, WithoutASessionBusTheProgramRunsAlone) {
    qt_app();
    ScopedEnv no_bus("DBUS_SESSION_BUS_ADDRESS", "");
    ScopedEnv no_runtime("XDG_RUNTIME_DIR", "");
    ProgramChannel channel("nobus", "com.zarn.VelqaR260.Alone");
    EXPECT_EQ(channel.claim(), Role::Alone);
    EXPECT_FALSE(channel.post_to_primary("x", 0, 0));
    EXPECT_FALSE(channel.broadcast("x", 0, 0));
    EXPECT_FALSE(channel.broadcast_data(5, QByteArray(4, 'x')));
}

}  // namespace
}  // namespace velqa::test

#include "program_channel_test.moc"
