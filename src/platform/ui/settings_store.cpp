#include "platform/ui/settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace velqa::platform {
namespace {

constexpr char kKey[] = "SOFTWARE/ZARN VELQA R260 SOFTWARE";
constexpr char kValue[] = "SOFTWARE/ZARN VELQA R260 SOFTWARE/LANGUAGE";

QString default_file() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + "/.config";
    return base + "/ZARN_VELQA_R260/velqa.conf";
}

}  // namespace

SettingsStore::SettingsStore() : file_(default_file()) {}
SettingsStore::SettingsStore(QString file) : file_(std::move(file)) {}

bool SettingsStore::key_exists() const {
    if (!QFileInfo::exists(file_))
        return false;
    QSettings settings(file_, QSettings::IniFormat);
    settings.beginGroup(kKey);
    return !settings.childKeys().isEmpty();
}

std::optional<std::uint32_t> SettingsStore::read_language() const {
    if (!QFileInfo::exists(file_))
        return std::nullopt;
    QSettings settings(file_, QSettings::IniFormat);
    const QVariant v = settings.value(kValue);
    bool ok = false;
    const qulonglong n = v.toULongLong(&ok);
    if (!v.isValid() || !ok || n > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<std::uint32_t>(n);
}

bool SettingsStore::write_language(std::uint32_t id) {
    QDir().mkpath(QFileInfo(file_).absolutePath());
    QSettings settings(file_, QSettings::IniFormat);
    settings.setValue(kValue, static_cast<qulonglong>(id));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

std::optional<QString> SettingsStore::read_text(const QString& name) const {
    if (!QFileInfo::exists(file_))
        return std::nullopt;
    QSettings settings(file_, QSettings::IniFormat);
    const QVariant v = settings.value(name);
    if (!v.isValid())
        return std::nullopt;
    return v.toString();
}

bool SettingsStore::write_text(const QString& name, const QString& value) {
    QDir().mkpath(QFileInfo(file_).absolutePath());
    QSettings settings(file_, QSettings::IniFormat);
    settings.setValue(name, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace velqa::platform
