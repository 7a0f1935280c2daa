// Language texts: a language file maps text ids to texts of one language. Controls whose text is
// a text id show the current language's text and are refreshed on every language change.
#pragma once

#include <QString>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

namespace velqa::platform::ui {

class LanguageTexts {
  public:
    // The process-wide texts every window resolves against.
    static LanguageTexts& instance();

    void set_language(const QString& name);
    QString language() const;

    // Loads a language file (resolved under the resource root). The file is XML:
    //   <Language><Text id="ok_text">OK</Text>...</Language>
    // On failure the current texts stay and false is returned.
    bool load_language(const QString& file);
    bool load_language_file(const std::filesystem::path& file);

    // The text of an id; the id itself when the current language lacks it (so a missing text is
    // visible instead of blank), with a debug line.
    QString text(const QString& id) const;
    bool has(const QString& id) const;

    // Parses a language file without installing it; false on a read or XML error.
    static bool parse(const std::filesystem::path& file, std::map<QString, QString>& out);
    // The same for a file's bytes, and through Qt's XML reader alone (which the first matches).
    static bool parse_text(const std::string& bytes, std::map<QString, QString>& out);
    static bool parse_xml(const std::string& bytes, std::map<QString, QString>& out);

  private:
    mutable std::mutex mutex_;
    QString language_;
    std::map<QString, QString> texts_;
};

}  // namespace velqa::platform::ui
