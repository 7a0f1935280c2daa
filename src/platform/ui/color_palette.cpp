#include "platform/ui/color_palette.h"

#include <QKeyEvent>
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
    setFocusPolicy(Qt::StrongFocus);
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
    if (hasFocus()) {
        // The ring the theme gives every focused control.
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(QColor(0xff, 0xd2, 0x3f), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void ColorPalette::keyPressEvent(QKeyEvent* event) {
    // The arrows walk the palette: a twenty-fourth of the hues across, a tenth of the saturation
    // down; Shift takes a step five times as long.
    const int dx = std::max(1, width() / 24), dy = std::max(1, height() / 10);
    const int times = (event->modifiers() & Qt::ShiftModifier) ? 5 : 1;
    QPoint step;
    switch (event->key()) {
        case Qt::Key_Left:
            step = {-dx, 0};
            break;
        case Qt::Key_Right:
            step = {dx, 0};
            break;
        case Qt::Key_Up:
            step = {0, -dy};
            break;
        case Qt::Key_Down:
            step = {0, dy};
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    pick(marker_ + step * times);
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
