#include "platform/ui/settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <filesystem>

#include "platform/folders.h"

namespace velqa::platform {
namespace {

constexpr char kKey[] = "SOFTWARE/ZARN VELQA R260 SOFTWARE";
constexpr char kValue[] = "SOFTWARE/ZARN VELQA R260 SOFTWARE/LANGUAGE";

// Never QDir::homePath(): without HOME it is "/", and the file would land beside other users'.
QString default_file() {
    const std::filesystem::path base = config_home();
    if (base.empty())
        return {};
    return QString::fromStdString((base / "ZARN_VELQA_R260" / "velqa.conf").string());
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
    if (file_.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(file_).absolutePath());
    QSettings settings(file_, QSettings::IniFormat);
    // Every start applies the stored language: rewriting the same value would save and sync the
    // file to disk before the first frame, for nothing.
    bool stored = false;
    if (settings.status() == QSettings::NoError &&
        settings.value(kValue).toULongLong(&stored) == id && stored)
        return true;
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
    if (file_.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(file_).absolutePath());
    QSettings settings(file_, QSettings::IniFormat);
    settings.setValue(name, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace velqa::platform
