// The notification-area icon. Without a tray on the desktop it is simply absent and the
// program runs on. Activity is posted to the owner window as kMsgTrayIcon with lParam
// kMouseLButtonUp (activation) or kMouseRButtonUp (context request).
#pragma once

#include <QIcon>
#include <QPixmap>
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

    // The tooltip and the low-battery mark are kept whether or not a tray is shown, so that
    // they are right once one appears and can be read back.
    void set_tool_tip(const QString& tip);
    const QString& tool_tip() const { return tip_; }
    void set_low_battery(bool on);
    bool low_battery() const { return low_battery_; }
    // The icon as shown now (the logo, with the mark while the battery is low).
    QIcon current_icon() const;

  private:
    QSystemTrayIcon* icon_ = nullptr;
    QIcon logo_;
    QIcon marked_;
    QString tip_;
    bool low_battery_ = false;
};

// `logo` with a red battery bar over its lower right corner.
QPixmap draw_low_battery_mark(const QPixmap& logo);

}  // namespace velqa::platform::ui
