#include "platform/ui/font_table.h"

#include <QStringList>
#include <algorithm>

namespace velqa::platform::ui {

FontTable& FontTable::instance() {
    static FontTable table;
    return table;
}

void FontTable::remove_all_fonts() {
    std::lock_guard lock(mutex_);
    fonts_.clear();
}

void FontTable::add_font(int id, const FontSpec& font) {
    std::lock_guard lock(mutex_);
    fonts_[id] = font;
}

void FontTable::set_face(const QString& face) {
    std::lock_guard lock(mutex_);
    face_ = face;
}

QString FontTable::face() const {
    std::lock_guard lock(mutex_);
    return face_;
}

bool FontTable::has(int id) const {
    std::lock_guard lock(mutex_);
    return fonts_.count(id) != 0;
}

FontSpec FontTable::font(int id) const {
    std::lock_guard lock(mutex_);
    if (auto it = fonts_.find(id); it != fonts_.end())
        return it->second;
    if (auto it = fonts_.find(kDefault); it != fonts_.end())
        return it->second;
    return FontSpec{};
}

QFont FontTable::font(int id, int dpi) const {
    FontSpec s = font(id);
    QFont f;
    // MiSans is not shipped on Linux: the fallbacks keep Latin text in a clean sans face and
    // Chinese text in the CJK fallback font instead of empty boxes.
    f.setFamilies(QStringList{face(), QStringLiteral("MiSans"), QStringLiteral("Noto Sans"),
                              QStringLiteral("DejaVu Sans"),
                              QStringLiteral("Droid Sans Fallback")});
    f.setPixelSize(std::max(1, s.size * (dpi > 0 ? dpi : 96) / 96));
    f.setBold(s.bold);
    f.setUnderline(s.underline);
    f.setItalic(false);
    return f;
}

}  // namespace velqa::platform::ui
