#include "platform/ui/tray_icon.h"

#include <QPainter>
#include <QSystemTrayIcon>
#include <algorithm>

#include "platform/ui/resources.h"
#include "platform/ui/window.h"

namespace velqa::platform::ui {

namespace {

// Sizes the tray asks for; each gets its own mark so it stays legible when scaled down.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64};

}  // namespace

QPixmap draw_low_battery_mark(const QPixmap& logo) {
    QPixmap out = logo.isNull() ? QPixmap(32, 32) : logo;
    if (logo.isNull())
        out.fill(Qt::transparent);
    const qreal w = out.width() / out.devicePixelRatio();
    const qreal h = out.height() / out.devicePixelRatio();
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    // A battery body with a short red charge level, outlined in white so that it shows on dark
    // and light panels alike.
    const QRectF body(w * 0.42, h * 0.62, w * 0.50, h * 0.32);
    const qreal line = std::max(1.0, w / 16.0);
    p.setPen(QPen(Qt::white, line));
    p.setBrush(QColor(40, 40, 40));
    p.drawRoundedRect(body, line, line);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(
        QRectF(body.right(), body.center().y() - body.height() / 4, line * 1.2, body.height() / 2));
    p.setBrush(QColor(230, 30, 30));
    const qreal inset = line * 1.5;
    p.drawRect(QRectF(body.left() + inset, body.top() + inset, (body.width() - 2 * inset) * 0.4,
                      body.height() - 2 * inset));
    return out;
}

TrayIcon::~TrayIcon() {
    remove();
}

bool TrayIcon::create(Window* owner, const QString& icon_file, const QString& tip) {
    remove();
    const QString path = QString::fromStdString(Resources::instance().resolve(icon_file).string());
    logo_ = QIcon(path);
    marked_ = QIcon();
    for (int size : kIconSizes)
        marked_.addPixmap(draw_low_battery_mark(logo_.pixmap(size, size)));
    tip_ = tip;
    if (owner == nullptr || !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    icon_ = new QSystemTrayIcon(current_icon(), owner);
    icon_->setToolTip(tip_);
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

void TrayIcon::set_tool_tip(const QString& tip) {
    if (tip == tip_)
        return;
    tip_ = tip;
    if (icon_ != nullptr)
        icon_->setToolTip(tip_);
}

void TrayIcon::set_low_battery(bool on) {
    if (on == low_battery_)
        return;
    low_battery_ = on;
    if (icon_ != nullptr)
        icon_->setIcon(current_icon());
}

QIcon TrayIcon::current_icon() const {
    return low_battery_ ? marked_ : logo_;
}

}  // namespace velqa::platform::ui
