// Pop-up menus built from XML menu files under the resource root:
//   <Menu><MenuElement name="about_menu" textId="about_menu_text" userData="..."/>
//         <Separator/>...</Menu>
// A MenuElement that holds MenuElements (or Separators) is a submenu titled by its textId.
// A chosen item is posted to the owner window as kMsgMenuCommand with wParam = MenuCommand*;
// the handler takes ownership with take_menu_command (unhandled records are freed by the
// framework).
#pragma once

#include <QPoint>
#include <QString>
#include <memory>

#include "platform/ui/window_message.h"

class QMenu;

namespace velqa::platform::ui {

class Window;

struct MenuCommand {
    QString name;
    QString user_data;
    QString text;
    bool checked = false;
};

std::unique_ptr<MenuCommand> take_menu_command(WParam wparam);

// Builds the menu of a menu file, or nullptr when it cannot be read. Item texts are text ids.
QMenu* build_menu(const QString& menu_file, Window* owner);

// Builds and shows the menu at a global position; returns the menu (deleted when it closes), or
// nullptr.
QMenu* popup_menu(const QString& menu_file, Window* owner, QPoint global_pos);

}  // namespace velqa::platform::ui
