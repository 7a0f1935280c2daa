// The file choosers of the editors' import and export buttons, as a value the editors hold so
// that tests can answer them without a dialog on screen.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace velqa::platform::ui {

// Returns the chosen path, or an empty string when cancelled.
using FileDialog = std::function<QString(QWidget* parent, const QString& caption,
                                         const QString& start, const QString& filter)>;

// The desktop's own open and save dialogs.
FileDialog native_open_dialog();
FileDialog native_save_dialog();

}  // namespace velqa::platform::ui
