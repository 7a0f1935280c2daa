// The one value the program keeps outside its data files: the chosen language, stored as
// "LANGUAGE" under the key "SOFTWARE/ZARN VELQA R260 SOFTWARE" of a per-user settings file
// (ZARN_VELQA_R260/velqa.conf in platform::config_home()).
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace velqa::platform {

class SettingsStore {
  public:
    // The per-user file (none without a config folder: reads find nothing, writes fail);
    // `file` overrides it (tests).
    SettingsStore();
    explicit SettingsStore(QString file);

    // True when the key has been created (by a previous write).
    bool key_exists() const;
    // The stored "LANGUAGE" value; empty when the key or the value is missing or not a number.
    std::optional<std::uint32_t> read_language() const;
    // Stores "LANGUAGE", creating the key on first use. False when the file cannot be written.
    bool write_language(std::uint32_t id);
    // The language id the session's locale asks for, used while nothing is stored; 0 (the
    // default): the locale gives none.
    void set_locale_language(std::uint32_t id) { locale_language_ = id; }
    std::uint32_t locale_language() const { return locale_language_; }
    // A text value of the program's own, under `name`; empty when missing. The write is false
    // when the file cannot be written.
    std::optional<QString> read_text(const QString& name) const;
    bool write_text(const QString& name, const QString& value);

    const QString& file() const { return file_; }

  private:
    QString file_;
    std::uint32_t locale_language_ = 0;
};

}  // namespace velqa::platform
