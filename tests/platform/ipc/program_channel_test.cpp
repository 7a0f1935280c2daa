// Single instance and program messages over a private session bus (run under dbus-run-session).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
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

TEST(ProgramChannelAlone, WithoutASessionBusTheProgramRunsAlone) {
    qt_app();
    ScopedEnv no_bus("DBUS_SESSION_BUS_ADDRESS", "");
    ScopedEnv no_runtime("XDG_RUNTIME_DIR", "");
    ProgramChannel channel("nobus", "com.zarn.VelqaR260.Alone");
    EXPECT_EQ(channel.claim(), Role::Alone);
    EXPECT_FALSE(channel.post_to_primary("x", 0, 0));
    EXPECT_FALSE(channel.broadcast("x", 0, 0));
}

}  // namespace
}  // namespace velqa::test
