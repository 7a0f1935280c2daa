#include "support/fake_kwin.h"

#include <QDBusMessage>
#include <QFile>
#include <QRegularExpression>

namespace velqa::test {

namespace {
constexpr char kConnection[] = "velqa_fake_kwin";
constexpr char kPath[] = "/org/kde/KWin/InputDevice";
constexpr auto kExport = QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSignals;
constexpr char kScripting[] = "/Scripting";
}  // namespace

FakeKWin::FakeKWin()
    : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QLatin1String(kConnection))) {
    scripting_.on_load = [this](const QString& path, const QString& plugin) {
        return load(path, plugin);
    };
    scripting_.on_unload = [this](const QString& plugin) { return unload(plugin); };
    started_ = bus_.isConnected() && bus_.registerService(QStringLiteral("org.kde.KWin")) &&
               bus_.registerObject(QLatin1String(kPath), &manager_, kExport) &&
               bus_.registerObject(QLatin1String(kScripting), &scripting_,
                                   QDBusConnection::ExportAllSlots);
}

FakeKWin::~FakeKWin() {
    if (bus_.isConnected()) {
        bus_.unregisterObject(QLatin1String(kPath), QDBusConnection::UnregisterTree);
        bus_.unregisterObject(QLatin1String(kScripting), QDBusConnection::UnregisterTree);
        bus_.unregisterService(QStringLiteral("org.kde.KWin"));
    }
    QDBusConnection::disconnectFromBus(QLatin1String(kConnection));
}

FakeKWinDevice& FakeKWin::add_device(const QString& sys_name, bool is_pointer, const QString& name,
                                     uint vendor, uint product) {
    devices_.push_back(std::make_unique<FakeKWinDevice>(is_pointer, name, vendor, product));
    manager_.names_ << sys_name;
    bus_.registerObject(QLatin1String(kPath) + QLatin1Char('/') + sys_name, devices_.back().get(),
                        kExport);
    return *devices_.back();
}

FakeKWinDevice& FakeKWin::plug(const QString& sys_name, bool is_pointer, const QString& name,
                               uint vendor, uint product) {
    FakeKWinDevice& device = add_device(sys_name, is_pointer, name, vendor, product);
    emit manager_.deviceAdded(sys_name);
    return device;
}

// As KWin 6: the script is read at load, refused under a name already loaded, and put at
// /Scripting/Script<id>.
int FakeKWin::load(const QString& path, const QString& plugin) {
    calls_ << QStringLiteral("load ") + plugin;
    QFile file(path);
    if (scripts_.count(plugin) != 0 || !file.open(QIODevice::ReadOnly))
        return -1;
    LoadedScript& script = scripts_[plugin];
    script.id = next_id_++;
    script.text = QString::fromUtf8(file.readAll());
    script.object = std::make_unique<FakeKWinScript>([this, plugin] {
        auto found = scripts_.find(plugin);
        calls_ << QStringLiteral("run %1").arg(found->second.id);
        found->second.running = true;
    });
    bus_.registerObject(QStringLiteral("%1/Script%2").arg(QLatin1String(kScripting)).arg(script.id),
                        script.object.get(), QDBusConnection::ExportAllSlots);
    return script.id;
}

bool FakeKWin::unload(const QString& plugin) {
    calls_ << QStringLiteral("unload ") + plugin;
    auto found = scripts_.find(plugin);
    if (found == scripts_.end())
        return false;
    bus_.unregisterObject(
        QStringLiteral("%1/Script%2").arg(QLatin1String(kScripting)).arg(found->second.id));
    scripts_.erase(found);
    return true;
}

QString FakeKWin::script(const QString& plugin) const {
    auto found = scripts_.find(plugin);
    return found != scripts_.end() ? found->second.text : QString();
}

bool FakeKWin::activate(const QString& plugin, const QString& resource_class) {
    auto found = scripts_.find(plugin);
    if (found == scripts_.end() || !found->second.running)
        return false;
    auto variable = [&](const char* name) {
        const QRegularExpression pattern(
            QStringLiteral("var %1 = \"([^\"]*)\";").arg(QLatin1String(name)));
        return pattern.match(found->second.text).captured(1);
    };
    // callDBus does not wait for an answer.
    QDBusMessage call = QDBusMessage::createMethodCall(
        variable("service"), variable("path"), variable("iface"), QStringLiteral("focusChanged"));
    call << resource_class;
    return bus_.send(call);
}

}  // namespace velqa::test
