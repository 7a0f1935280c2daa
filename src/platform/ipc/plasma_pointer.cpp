#include "platform/ipc/plasma_pointer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <charconv>
#include <string>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/desktop/plasma_config.h"

namespace velqa::platform::ipc {
namespace {

namespace desk = desktop;
using desk::PointerSetting;
using desk::PointerValues;

// Plasma on X11: its mouse module applies these at login.
constexpr char kInputGroup[] = "Mouse";
constexpr char kAccel[] = "XLbInptPointerAcceleration";
constexpr char kFlat[] = "XLbInptAccelProfileFlat";
// Plasma on Wayland: KWin reads these per device.
constexpr char kDeviceAccel[] = "PointerAcceleration";
constexpr char kDeviceProfile[] = "PointerAccelerationProfile";
constexpr char kProfileFlat[] = "1";      // libinput's flat profile
constexpr char kProfileAdaptive[] = "2";  // libinput's adaptive profile, a mouse's default
// Every KDE program.
constexpr char kGlobalsGroup[] = "KDE";
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

// The shortest text that reads back as the same number, so a value given back is the one read.
std::string number_text(double v) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

QDBusMessage property_call(const QString& path, const char* member) {
    return QDBusMessage::createMethodCall(QLatin1String(kKWin), path, QLatin1String(kProperties),
                                          QLatin1String(member));
}

QString device_path(const QString& sys_name) {
    return QLatin1String(kDevicesPath) + QLatin1Char('/') + sys_name;
}

// One of our mouse's pointers as KWin drives it.
struct KWinPointer {
    QString sys_name;
    std::string group;  // its group in kcminputrc
};

}  // namespace

class PlasmaPointerSettings final : public QObject, public desk::PointerSettings {
    Q_OBJECT

  public:
    PlasmaPointerSettings(std::filesystem::path config_home, PlasmaPointerSetup setup)
        : input_file_(config_home / "kcminputrc"),
          globals_file_(config_home / "kdeglobals"),
          setup_(std::move(setup)) {
        if (!setup_.wayland)
            return;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        // A mouse plugged in later gets the values applied before.
        bus.connect(QLatin1String(kKWin), QLatin1String(kDevicesPath),
                    QLatin1String(kManagerInterface), QStringLiteral("deviceAdded"), this,
                    SLOT(device_added(QString)));
        bus.connect(QLatin1String(kKWin), QLatin1String(kDevicesPath),
                    QLatin1String(kManagerInterface), QStringLiteral("deviceRemoved"), this,
                    SLOT(device_removed(QString)));
        list_devices();
    }
    PlasmaPointerSettings(const PlasmaPointerSettings&) = delete;
    PlasmaPointerSettings& operator=(const PlasmaPointerSettings&) = delete;

    std::string desktop_name() const override { return "KDE Plasma"; }

    // Plasma scrolls by lines only.
    bool supports(PointerSetting which) const override {
        return which != PointerSetting::ScrollPage;
    }

    std::string refusal(PointerSetting which) const override {
        switch (which) {
            case PointerSetting::DoubleClick:
                return locked("kdeglobals", kGlobalsGroup, kDoubleClick);
            case PointerSetting::WheelLines:
                return locked("kdeglobals", kGlobalsGroup, kWheelLines);
            case PointerSetting::Speed:
            case PointerSetting::Precision: {
                const char* key = which == PointerSetting::Speed
                                      ? (setup_.wayland ? kDeviceAccel : kAccel)
                                      : (setup_.wayland ? kDeviceProfile : kFlat);
                if (!setup_.wayland)
                    return locked("kcminputrc", kInputGroup, key);
                for (const KWinPointer& p : pointers_) {
                    if (auto why = locked("kcminputrc", p.group, key); !why.empty())
                        return why;
                }
                return {};
            }
            case PointerSetting::ScrollPage:
                break;
        }
        return {};
    }

    PointerValues read() override {
        const std::string input = read_text(input_file_);
        const std::string globals = read_text(globals_file_);
        PointerValues v;
        if (!setup_.wayland) {
            v.speed = to_double(desk::ini_value(input, kInputGroup, kAccel)).value_or(0.0);
            v.precision = desk::ini_value(input, kInputGroup, kFlat).value_or("false") != "true";
        } else if (!pointers_.empty()) {
            const std::string& group = pointers_.front().group;
            v.speed = to_double(desk::ini_value(input, group, kDeviceAccel)).value_or(0.0);
            v.precision =
                desk::ini_value(input, group, kDeviceProfile).value_or(kProfileAdaptive) !=
                kProfileFlat;
        } else {
            // KWin has not named the mouse's pointers yet: what we last applied, or the device's
            // defaults.
            v.speed = pending_.speed.value_or(0.0);
            v.precision = pending_.precision.value_or(true);
        }
        v.double_click_ms = to_int(desk::ini_value(globals, kGlobalsGroup, kDoubleClick))
                                .value_or(kDefaultDoubleClick);
        v.wheel_lines = to_int(desk::ini_value(globals, kGlobalsGroup, kWheelLines))
                            .value_or(kDefaultWheelLines);
        return v;
    }

    std::string apply(const PointerValues& values) override {
        std::string failed;
        auto fail = [&failed](const std::string& why) {
            failed += (failed.empty() ? "" : "; ") + why;
        };
        if (values.speed || values.precision) {
            if (setup_.wayland) {
                if (values.speed)
                    pending_.speed = values.speed;
                if (values.precision)
                    pending_.precision = values.precision;
                for (const KWinPointer& p : pointers_) {
                    if (auto why = write_device(p, values); !why.empty())
                        fail(why);
                }
                // KWin may have started after us: ask again; the answers write the values.
                if (pointers_.empty() && !listing_)
                    list_devices();
            } else {
                std::vector<desk::IniEntry> input;
                if (values.speed)
                    input.push_back({kAccel, number_text(*values.speed)});
                if (values.precision)
                    input.push_back({kFlat, *values.precision ? "false" : "true"});
                std::string error;
                if (!desk::set_ini_values(input_file_, kInputGroup, input, &error))
                    fail("kcminputrc: " + error);
            }
        }
        std::vector<desk::IniEntry> globals;
        if (values.double_click_ms)
            globals.push_back({kDoubleClick, std::to_string(*values.double_click_ms)});
        if (values.wheel_lines)
            globals.push_back({kWheelLines, std::to_string(*values.wheel_lines)});
        if (!globals.empty()) {
            std::string error;
            if (!desk::set_ini_values(globals_file_, kGlobalsGroup, globals, &error))
                fail("kdeglobals: " + error);
            // Running KDE programs read the mouse settings again.
            QDBusMessage changed = QDBusMessage::createSignal(
                QStringLiteral("/KGlobalSettings"), QStringLiteral("org.kde.KGlobalSettings"),
                QStringLiteral("notifyChange"));
            changed << 3 << 0;  // SettingsChanged, SETTINGS_MOUSE
            QDBusConnection::sessionBus().send(changed);
        }
        return failed;
    }

  private slots:
    void device_added(const QString& sys_name) { query_device(sys_name); }
    void device_removed(const QString& sys_name) {
        std::erase_if(pointers_, [&](const KWinPointer& p) { return p.sys_name == sys_name; });
    }

  private:
    // Why KDE would ignore a change of `key` in `group`: a "[$i]" in a system file or in the
    // user's own. Empty when it may be changed.
    std::string locked(const char* file, const std::string& group, const char* key) const {
        std::vector<std::filesystem::path> files;
        for (const auto& folder : setup_.system_folders)
            files.push_back(folder / file);
        files.push_back(file == std::string("kdeglobals") ? globals_file_ : input_file_);
        for (const auto& path : files) {
            std::string why;
            if (desk::with_ini_value(read_text(path), group, key, {}, &why))
                continue;
            // A nested group as KDE writes it.
            for (std::size_t at = 0; (at = why.find('\x1d', at)) != std::string::npos; at += 2)
                why.replace(at, 1, "][");
            return path.string() + ": " + why + ".";
        }
        return {};
    }

    // The pointer's own group, and KWin told at once.
    std::string write_device(const KWinPointer& p, const PointerValues& values) {
        std::vector<desk::IniEntry> entries;
        if (values.speed)
            entries.push_back({kDeviceAccel, number_text(*values.speed)});
        if (values.precision)
            entries.push_back(
                {kDeviceProfile, *values.precision ? kProfileAdaptive : kProfileFlat});
        std::string error;
        std::string failed;
        if (!entries.empty() && !desk::set_ini_values(input_file_, p.group, entries, &error))
            failed = "kcminputrc: " + error;
        const QString path = device_path(p.sys_name);
        if (values.speed)
            set(path, "pointerAcceleration", QVariant(*values.speed));
        if (values.precision)
            set(path, "pointerAccelerationProfileFlat", QVariant(!*values.precision));
        return failed;
    }

    void list_devices() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        QDBusMessage list = property_call(QLatin1String(kDevicesPath), "Get");
        list << QLatin1String(kManagerInterface) << QStringLiteral("devicesSysNames");
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(list, kBusTimeoutMs), this);
        listing_ = true;
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* w) {
                    w->deleteLater();
                    listing_ = false;
                    const QDBusPendingReply<QDBusVariant> reply = *w;
                    if (reply.isError()) {
                        debug_printf("pointer settings: KWin's input devices: %s",
                                     qPrintable(reply.error().message()));
                        return;
                    }
                    for (const QString& name : reply.value().variant().toStringList())
                        query_device(name);
                });
    }

    void query_device(const QString& sys_name) {
        // A name is one path element; anything else is not a device of KWin's.
        if (sys_name.isEmpty() || sys_name.contains(QLatin1Char('/')))
            return;
        QDBusMessage get = property_call(device_path(sys_name), "GetAll");
        get << QLatin1String(kDeviceInterface);
        QDBusConnection bus = QDBusConnection::sessionBus();
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(get, kBusTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, sys_name](QDBusPendingCallWatcher* w) {
                    w->deleteLater();
                    const QDBusPendingReply<QVariantMap> reply = *w;
                    if (!reply.isError())
                        found_device(sys_name, reply.value());
                });
    }

    void found_device(const QString& sys_name, const QVariantMap& properties) {
        if (!properties.value(QStringLiteral("pointer")).toBool())
            return;
        const uint vendor = properties.value(QStringLiteral("vendor")).toUInt();
        const uint product = properties.value(QStringLiteral("product")).toUInt();
        const QString name = properties.value(QStringLiteral("name")).toString();
        bool ours = false;
        for (const auto& ids : setup_.mice)
            ours = ours || (ids.vendor == vendor && ids.product == product);
        if (!ours || name.isEmpty())
            return;
        // KWin's own group: "Libinput", then vendor, product and name.
        const std::string vendor_text = std::to_string(vendor);
        const std::string product_text = std::to_string(product);
        const std::string name_text = name.toStdString();
        KWinPointer p{sys_name,
                      desk::kde_group_name({"Libinput", vendor_text, product_text, name_text})};
        device_removed(sys_name);
        pointers_.push_back(p);
        if (pending_.speed || pending_.precision) {
            if (const std::string why = write_device(p, pending_); !why.empty())
                debug_printf("pointer settings: %s", why.c_str());
        }
    }

    static void set(const QString& path, const char* property, const QVariant& value) {
        QDBusMessage call = property_call(path, "Set");
        call << QLatin1String(kDeviceInterface) << QLatin1String(property)
             << QVariant::fromValue(QDBusVariant(value));
        QDBusConnection::sessionBus().asyncCall(call, kBusTimeoutMs);
    }

    std::filesystem::path input_file_;
    std::filesystem::path globals_file_;
    PlasmaPointerSetup setup_;
    std::vector<KWinPointer> pointers_;
    // Speed and acceleration applied while running, for pointers KWin names later.
    PointerValues pending_;
    bool listing_ = false;  // KWin's device list is being asked for
};

std::unique_ptr<desktop::PointerSettings> make_plasma_pointer_settings(
    std::filesystem::path config_home, PlasmaPointerSetup setup) {
    return std::make_unique<PlasmaPointerSettings>(std::move(config_home), std::move(setup));
}

}  // namespace velqa::platform::ipc

#include "plasma_pointer.moc"
