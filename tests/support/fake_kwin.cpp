#include "support/fake_kwin.h"

namespace velqa::test {

namespace {
constexpr char kConnection[] = "velqa_fake_kwin";
constexpr char kPath[] = "/org/kde/KWin/InputDevice";
constexpr auto kExport = QDBusConnection::ExportAllProperties;
}  // namespace

FakeKWin::FakeKWin()
    : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QLatin1String(kConnection))) {
    started_ = bus_.isConnected() && bus_.registerService(QStringLiteral("org.kde.KWin")) &&
               bus_.registerObject(QLatin1String(kPath), &manager_, kExport);
}

FakeKWin::~FakeKWin() {
    if (bus_.isConnected()) {
        bus_.unregisterObject(QLatin1String(kPath), QDBusConnection::UnregisterTree);
        bus_.unregisterService(QStringLiteral("org.kde.KWin"));
    }
    QDBusConnection::disconnectFromBus(QLatin1String(kConnection));
}

FakeKWinDevice& FakeKWin::add_device(const QString& sys_name, bool is_pointer) {
    devices_.push_back(std::make_unique<FakeKWinDevice>(is_pointer));
    manager_.names_ << sys_name;
    bus_.registerObject(QLatin1String(kPath) + QLatin1Char('/') + sys_name, devices_.back().get(),
                        kExport);
    return *devices_.back();
}

}  // namespace velqa::test
