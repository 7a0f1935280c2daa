#include "platform/ipc/plasma_pointer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>
#include <QStringList>
#include <string>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/desktop/plasma_config.h"

namespace velqa::platform::ipc {
namespace {

namespace desk = desktop;
using desk::PointerSetting;
using desk::PointerValues;

constexpr char kInputGroup[] = "Mouse";
constexpr char kGlobalsGroup[] = "KDE";
constexpr char kAccel[] = "XLbInptPointerAcceleration";
constexpr char kFlat[] = "XLbInptAccelProfileFlat";
constexpr char kDoubleClick[] = "DoubleClickInterval";
constexpr char kWheelLines[] = "WheelScrollLines";
// Plasma's values when its files say nothing.
constexpr int kDefaultDoubleClick = 400;
constexpr int kDefaultWheelLines = 3;

constexpr char kKWin[] = "org.kde.KWin";
constexpr char kDevicesPath[] = "/org/kde/KWin/InputDevice";
constexpr char kManagerInterface[] = "org.kde.KWin.InputDeviceManager";
constexpr char kDeviceInterface[] = "org.kde.KWin.InputDevice";
constexpr char kProperties[] = "org.freedesktop.DBus.Properties";
constexpr int kBusTimeoutMs = 2000;

std::string read_text(const std::filesystem::path& file) {
    std::string text;
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        read_whole_file(file, text);
    return text;
}

std::optional<double> to_double(const std::optional<std::string>& s) {
    if (!s)
        return std::nullopt;
    bool ok = false;
    const double v = QString::fromStdString(*s).toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

std::optional<int> to_int(const std::optional<std::string>& s) {
    if (!s)
        return std::nullopt;
    bool ok = false;
    const int v = QString::fromStdString(*s).toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

QDBusMessage property_call(const QString& path, const char* member) {
    return QDBusMessage::createMethodCall(QLatin1String(kKWin), path, QLatin1String(kProperties),
                                          QLatin1String(member));
}

class PlasmaPointerSettings final : public desk::PointerSettings {
  public:
    explicit PlasmaPointerSettings(std::filesystem::path config_home)
        : input_file_(config_home / "kcminputrc"), globals_file_(config_home / "kdeglobals") {}
    ~PlasmaPointerSettings() override { delete context_; }
    PlasmaPointerSettings(const PlasmaPointerSettings&) = delete;
    PlasmaPointerSettings& operator=(const PlasmaPointerSettings&) = delete;

    std::string desktop_name() const override { return "KDE Plasma"; }

    // Plasma scrolls by lines only.
    bool supports(PointerSetting which) const override {
        return which != PointerSetting::ScrollPage;
    }

    PointerValues read() override {
        const std::string input = read_text(input_file_);
        const std::string globals = read_text(globals_file_);
        PointerValues v;
        v.speed = to_double(desk::ini_value(input, kInputGroup, kAccel)).value_or(0.0);
        v.precision = desk::ini_value(input, kInputGroup, kFlat).value_or("false") != "true";
        v.double_click_ms = to_int(desk::ini_value(globals, kGlobalsGroup, kDoubleClick))
                                .value_or(kDefaultDoubleClick);
        v.wheel_lines = to_int(desk::ini_value(globals, kGlobalsGroup, kWheelLines))
                            .value_or(kDefaultWheelLines);
        return v;
    }

    std::string apply(const PointerValues& values) override {
        std::string failed;
        std::string error;
        std::vector<desk::IniEntry> input;
        if (values.speed)
            input.push_back({kAccel, QString::number(*values.speed).toStdString()});
        if (values.precision)
            input.push_back({kFlat, *values.precision ? "false" : "true"});
        if (!input.empty()) {
            if (!desk::set_ini_values(input_file_, kInputGroup, input, &error))
                failed = "kcminputrc: " + error;
            tell_kwin(values);
        }
        std::vector<desk::IniEntry> globals;
        if (values.double_click_ms)
            globals.push_back({kDoubleClick, std::to_string(*values.double_click_ms)});
        if (values.wheel_lines)
            globals.push_back({kWheelLines, std::to_string(*values.wheel_lines)});
        if (!globals.empty()) {
            if (!desk::set_ini_values(globals_file_, kGlobalsGroup, globals, &error))
                failed += (failed.empty() ? "" : "; ") + std::string("kdeglobals: ") + error;
            // Running KDE programs read the mouse settings again.
            QDBusMessage changed = QDBusMessage::createSignal(
                QStringLiteral("/KGlobalSettings"), QStringLiteral("org.kde.KGlobalSettings"),
                QStringLiteral("notifyChange"));
            changed << 3 << 0;  // SettingsChanged, SETTINGS_MOUSE
            QDBusConnection::sessionBus().send(changed);
        }
        return failed;
    }

  private:
    // KWin applies the files only to devices plugged later: the pointers it drives now are told
    // one by one, each answer awaited in the event loop.
    void tell_kwin(const PointerValues& values) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        QDBusMessage list = property_call(QLatin1String(kDevicesPath), "Get");
        list << QLatin1String(kManagerInterface) << QStringLiteral("devicesSysNames");
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(list, kBusTimeoutMs), context_);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context_,
                         [this, values](QDBusPendingCallWatcher* w) {
                             w->deleteLater();
                             const QDBusPendingReply<QDBusVariant> reply = *w;
                             if (reply.isError()) {
                                 debug_printf("pointer settings: KWin's input devices: %s",
                                              qPrintable(reply.error().message()));
                                 return;
                             }
                             for (const QString& name : reply.value().variant().toStringList())
                                 tell_device(name, values);
                         });
    }

    void tell_device(const QString& sys_name, const PointerValues& values) {
        // A name is one path element; anything else is not a device of KWin's.
        if (sys_name.isEmpty() || sys_name.contains(QLatin1Char('/')))
            return;
        const QString path = QLatin1String(kDevicesPath) + QLatin1Char('/') + sys_name;
        QDBusMessage get = property_call(path, "Get");
        get << QLatin1String(kDeviceInterface) << QStringLiteral("pointer");
        QDBusConnection bus = QDBusConnection::sessionBus();
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(get, kBusTimeoutMs), context_);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context_,
                         [path, values](QDBusPendingCallWatcher* w) {
                             w->deleteLater();
                             const QDBusPendingReply<QDBusVariant> reply = *w;
                             if (reply.isError() || !reply.value().variant().toBool())
                                 return;
                             if (values.speed)
                                 set(path, "pointerAcceleration", QVariant(*values.speed));
                             if (values.precision)
                                 set(path, "pointerAccelerationProfileFlat",
                                     QVariant(!*values.precision));
                         });
    }

    static void set(const QString& path, const char* property, const QVariant& value) {
        QDBusMessage call = property_call(path, "Set");
        call << QLatin1String(kDeviceInterface) << QLatin1String(property)
             << QVariant::fromValue(QDBusVariant(value));
        QDBusConnection::sessionBus().asyncCall(call, kBusTimeoutMs);
    }

    std::filesystem::path input_file_;
    std::filesystem::path globals_file_;
    // Parent of the pending calls: they end with the backend.
    QObject* context_ = new QObject;
};

}  // namespace

std::unique_ptr<desktop::PointerSettings> make_plasma_pointer_settings(
    std::filesystem::path config_home) {
    return std::make_unique<PlasmaPointerSettings>(std::move(config_home));
}

}  // namespace velqa::platform::ipc
