#include "ui/mouse_page.h"

#include <QComboBox>
#include <QStyle>

#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/window.h"

namespace velqa::ui {
namespace pui = platform::ui;

namespace {

QWidget* find(QWidget* page, const QString& name) {
    return pui::Window::find_sub_control_by_name(page, name);
}

void fill(QWidget* page, const char* combo_name, const char* id_format, int first, int count) {
    auto* combo = qobject_cast<QComboBox*>(find(page, QLatin1String(combo_name)));
    if (combo == nullptr)
        return;
    const QSignalBlocker quiet(combo);
    const int selected = combo->currentIndex();
    combo->clear();
    for (int i = first; i < first + count; ++i) {
        pui::add_combo_item(combo,
                            pui::LanguageTexts::instance().text(QString::asprintf(id_format, i)));
    }
    if (selected >= 0 && selected < combo->count())
        combo->setCurrentIndex(selected);
}

}  // namespace

void fill_mouse_page_combos(QWidget* page) {
    fill(page, "Dormancy_combo_timeSelect", "sleep_time_%d_text", 1, 6);
    fill(page, "Key_Delay_combo_timeSelect", "key_delay_%d_text", 0, 6);
    fill(page, "Anti_Shake_combo_timeSelect", "anti_shake_%d_text", 0, 4);
}

void show_active_dpi_stage(QWidget* page, int active) {
    for (int n = 0; n < kDpiStageCount; ++n) {
        const bool on = n == active;
        pui::set_selected(find(page, QStringLiteral("DPI_select_check_%1").arg(n)), on, false);
        if (QWidget* enable = find(page, QStringLiteral("DPI_enable_check_%1").arg(n)))
            enable->setEnabled(!on);
        // The skin lights up the whole row of the active stage, its slider's thumb and its edit's
        // border. Its rules are parsed once: a sheet of the control's own would be parsed again
        // at every change, with new images that pile up in Qt's pixmap cache.
        for (const QString& name : {QStringLiteral("dpi_row_%1"), QStringLiteral("DPI_slider_%1"),
                                    QStringLiteral("DPI_edit_%1")}) {
            QWidget* w = find(page, name.arg(n));
            if (w == nullptr || w->property("active").toBool() == on)
                continue;
            w->setProperty("active", on);
            w->style()->unpolish(w);
            w->style()->polish(w);
        }
    }
}

}  // namespace velqa::ui
