#include "platform/ui/color_palette.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "platform/ui/controls.h"
#include "platform/ui/window.h"

namespace velqa::platform::ui {

ColorPalette::ColorPalette(QWidget* parent) : QWidget(parent), color_(Qt::red) {
    setMinimumSize(60, 40);
    setCursor(Qt::CrossCursor);
}

QColor ColorPalette::color_at(QPoint pos) const {
    const int w = std::max(1, width() - 1), h = std::max(1, height() - 1);
    const int x = std::clamp(pos.x(), 0, w), y = std::clamp(pos.y(), 0, h);
    const int hue = std::min(359, x * 360 / (w + 1));
    const int saturation = 255 - y * 255 / h;
    return QColor::fromHsv(hue, saturation, 255).toRgb();
}

void ColorPalette::set_select_color(QColor color) {
    color_ = color.toRgb();
    const int w = std::max(1, width() - 1), h = std::max(1, height() - 1);
    const int hue = std::max(0, color.hsvHue());
    marker_ = QPoint(hue * (w + 1) / 360, (255 - color.hsvSaturation()) * h / 255);
    update();
}

void ColorPalette::pick(QPoint pos) {
    color_ = color_at(pos);
    marker_ = QPoint(std::clamp(pos.x(), 0, width() - 1), std::clamp(pos.y(), 0, height() - 1));
    update();
    if (Window* window = window_of(this)) {
        window->send_notify(this, "colorchanged", static_cast<WParam>(color_.rgb() & 0xFFFFFF));
    }
}

void ColorPalette::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient hues(0, 0, width(), 0);
    for (int i = 0; i <= 6; ++i)
        hues.setColorAt(i / 6.0, QColor::fromHsv((i * 60) % 360, 255, 255));
    p.fillRect(rect(), hues);
    QLinearGradient white(0, 0, 0, height());
    white.setColorAt(0, QColor(255, 255, 255, 0));
    white.setColorAt(1, QColor(255, 255, 255, 255));
    p.fillRect(rect(), white);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2));
    p.drawEllipse(marker_, 6, 6);
    p.setPen(QPen(Qt::white, 1.5));
    p.drawEllipse(marker_, 6, 6);
}

void ColorPalette::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pick(event->position().toPoint());
}

void ColorPalette::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        pick(event->position().toPoint());
}

}  // namespace velqa::platform::ui
