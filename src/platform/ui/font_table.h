// The shared font table of the windows: numbered fonts with one face name for all entries,
// rebuilt on every language change. Controls pick an entry by their "fontId" property.
#pragma once

#include <QFont>
#include <QString>
#include <map>
#include <mutex>

namespace velqa::platform::ui {

struct FontSpec {
    int size = 13;  // pixels at 96 DPI
    bool bold = false;
    bool underline = false;
};

class FontTable {
  public:
    static constexpr int kDefault = -1;

    static FontTable& instance();

    // Drops every entry (the default stays at 13 px).
    void remove_all_fonts();
    void add_font(int id, const FontSpec& font);
    void set_face(const QString& face);
    QString face() const;

    // The font of an entry scaled by dpi/96; the default entry when the id is unknown. The face
    // is followed by fallbacks, so a missing face or a missing glyph still renders.
    QFont font(int id, int dpi) const;
    bool has(int id) const;
    FontSpec font(int id) const;

  private:
    mutable std::mutex mutex_;
    QString face_ = QStringLiteral("MiSans Normal");
    std::map<int, FontSpec> fonts_;
};

}  // namespace velqa::platform::ui
