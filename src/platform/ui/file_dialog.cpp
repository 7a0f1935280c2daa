#include "platform/ui/file_dialog.h"

#include <QFileDialog>

namespace velqa::platform::ui {

FileDialog native_open_dialog() {
    return
        [](QWidget* parent, const QString& caption, const QString& start, const QString& filter) {
            return QFileDialog::getOpenFileName(parent, caption, start, filter);
        };
}

FileDialog native_save_dialog() {
    return
        [](QWidget* parent, const QString& caption, const QString& start, const QString& filter) {
            return QFileDialog::getSaveFileName(parent, caption, start, filter);
        };
}

}  // namespace velqa::platform::ui
