// The notification-area icon. Without a tray on the desktop it is simply absent and the
// program runs on. Activity is posted to the owner window as kMsgTrayIcon with lParam
// kMouseLButtonUp (activation) or kMouseRButtonUp (context request).
#pragma once

#include <QString>

class QSystemTrayIcon;

namespace velqa::platform::ui {

class Window;

class TrayIcon {
  public:
    TrayIcon() = default;
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // False when the desktop has no tray (nothing is shown then).
    bool create(Window* owner, const QString& icon_file, const QString& tip);
    void remove();
    bool visible() const { return icon_ != nullptr; }

  private:
    QSystemTrayIcon* icon_ = nullptr;
};

}  // namespace velqa::platform::ui
