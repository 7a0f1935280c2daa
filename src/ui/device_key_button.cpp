#include "ui/device_key_button.h"

#include <QMouseEvent>
#include <QPainter>

#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/layout_builder.h"
#include "platform/ui/window.h"

namespace velqa::ui {

CDeviceKeyButtonUI::CDeviceKeyButtonUI(QWidget* parent) : QFrame(parent) {
    setProperty(platform::ui::kClassProperty, QStringLiteral("DeviceKeyButton"));
}

void CDeviceKeyButtonUI::set_led_color(std::uint32_t argb) {
    if (has_led_ && argb == led_)
        return;
    led_ = argb;
    has_led_ = true;
    // Readable like any control's background colour, without a new style sheet.
    setProperty(platform::ui::kBkColorProperty, argb);
    update();
}

void CDeviceKeyButtonUI::set_current(bool on) {
    if (on == current_)
        return;
    current_ = on;
    update();
}

void CDeviceKeyButtonUI::mouseReleaseEvent(QMouseEvent* event) {
    // Only the key hot spots are choices; the light zones just show the preview.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        objectName().startsWith(QLatin1String("key_"))) {
        if (platform::ui::Window* window = platform::ui::window_of(this))
            window->send_notify(this, "click");
        return;
    }
    QFrame::mouseReleaseEvent(event);
}

void CDeviceKeyButtonUI::paintEvent(QPaintEvent* event) {
    // A key hot spot is drawn by the style sheet; a lit zone draws itself, which keeps the
    // style sheet out of the preview's many repaints.
    if (!has_led_) {
        QFrame::paintEvent(event);
        if (current_) {
            QPainter outline(this);
            outline.setRenderHint(QPainter::Antialiasing);
            outline.setPen(QPen(QColor(0x27, 0xe1, 0xff), 1.5));
            outline.setBrush(QColor(0x27, 0xe1, 0xff, 50));
            const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
            const qreal radius = std::min({r.width(), r.height(), 12.0}) / 2.0;
            outline.drawRoundedRect(r, radius, radius);
        }
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = QColor::fromRgba(led_);
    // The zone's base, then the light at its brightness over it.
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // Round zones by default; a layout may ask for keycaps ("ledRadius").
    const QVariant asked = property("ledRadius");
    const qreal radius = asked.isValid() ? asked.toReal() : std::min(r.width(), r.height()) / 2.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2a, 0x30, 0x3a));
    painter.drawRoundedRect(r, radius, radius);
    painter.setBrush(colour);
    painter.drawRoundedRect(r, radius, radius);
    if (current_) {
        painter.setPen(QPen(QColor(0x27, 0xe1, 0xff), 2.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(r.adjusted(1, 1, -1, -1), radius, radius);
    }
}

void register_device_key_button() {
    platform::ui::ControlFactory::instance().regist_control(QStringLiteral("CDeviceKeyButtonUI"),
                                                            [] { return new CDeviceKeyButtonUI; });
}

}  // namespace velqa::ui
