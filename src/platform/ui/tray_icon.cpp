#include "platform/ui/tray_icon.h"

#include <QIcon>
#include <QSystemTrayIcon>

#include "platform/ui/resources.h"
#include "platform/ui/window.h"

namespace velqa::platform::ui {

TrayIcon::~TrayIcon() {
    remove();
}

bool TrayIcon::create(Window* owner, const QString& icon_file, const QString& tip) {
    remove();
    if (owner == nullptr || !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    const QString path = QString::fromStdString(Resources::instance().resolve(icon_file).string());
    icon_ = new QSystemTrayIcon(QIcon(path), owner);
    icon_->setToolTip(tip);
    QObject::connect(icon_, &QSystemTrayIcon::activated, owner,
                     [owner](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger) {
                             owner->post_message(kMsgTrayIcon, 0, kMouseLButtonUp);
                         } else if (reason == QSystemTrayIcon::Context) {
                             owner->post_message(kMsgTrayIcon, 0, kMouseRButtonUp);
                         }
                     });
    icon_->show();
    return true;
}

void TrayIcon::remove() {
    if (icon_ == nullptr)
        return;
    icon_->hide();
    delete icon_;
    icon_ = nullptr;
}

}  // namespace velqa::platform::ui
