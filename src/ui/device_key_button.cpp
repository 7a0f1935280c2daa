#include "ui/device_key_button.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>

#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/layout_builder.h"
#include "platform/ui/window.h"

namespace velqa::ui {

namespace {

// Repaints over the kept background before one repaints the layers beneath again, so whatever
// changed beneath in the same pass as a colour shows within a few frames.
constexpr int RepaintsPerBackground = 32;

}  // namespace

CDeviceKeyButtonUI::CDeviceKeyButtonUI(QWidget* parent) : QFrame(parent) {
    setProperty(platform::ui::kClassProperty, QStringLiteral("DeviceKeyButton"));
    // A key hot spot is a button to the keyboard and to assistive technology; its name is its
    // tool tip. The layout names it after building it.
    connect(this, &QObject::objectNameChanged, this, [this](const QString& name) {
        const bool key = name.startsWith(QLatin1String("key_"));
        setProperty("userControl", key);
        setFocusPolicy(key ? Qt::TabFocus : Qt::NoFocus);
    });
}

void CDeviceKeyButtonUI::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (focusPolicy() != Qt::NoFocus && event->modifiers() == Qt::NoModifier &&
        (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        if (platform::ui::Window* window = platform::ui::window_of(this))
            window->send_notify(this, "click");
        return;
    }
    // The arrows pick the next or previous key hot spot of the picture, as in an option group.
    const int step = key == Qt::Key_Right || key == Qt::Key_Down ? 1
                     : key == Qt::Key_Left || key == Qt::Key_Up  ? -1
                                                                 : 0;
    if (step != 0 && focusPolicy() != Qt::NoFocus && parentWidget() != nullptr) {
        QList<CDeviceKeyButtonUI*> keys;
        for (auto* k : parentWidget()->findChildren<CDeviceKeyButtonUI*>(
                 QString(), Qt::FindDirectChildrenOnly)) {
            if (k->focusPolicy() != Qt::NoFocus && k->isVisible() && k->isEnabled())
                keys.append(k);
        }
        const qsizetype at = keys.indexOf(this);
        if (at >= 0 && keys.size() > 1) {
            CDeviceKeyButtonUI* next = keys[(at + step + keys.size()) % keys.size()];
            next->setFocus(Qt::TabFocusReason);
            if (platform::ui::Window* window = platform::ui::window_of(next))
                window->send_notify(next, "click");
            return;
        }
    }
    QFrame::keyPressEvent(event);
}

void CDeviceKeyButtonUI::set_led_color(std::uint32_t argb) {
    if (has_led_ && argb == led_)
        return;
    led_ = argb;
    has_led_ = true;
    // Readable like any control's background colour, without a new style sheet.
    setProperty(platform::ui::kBkColorProperty, argb);
    // Opaque for this repaint only: any other repaint paints the layers beneath as usual and
    // keeps them again.
    if (!background_.isNull() && repaints_over_background_ < RepaintsPerBackground)
        setAttribute(Qt::WA_OpaquePaintEvent, true);
    update();
}

bool CDeviceKeyButtonUI::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::StyleChange:
        case QEvent::ParentChange:
        case QEvent::ScreenChangeInternal:
            background_ = QImage();
            setAttribute(Qt::WA_OpaquePaintEvent, false);
            break;
        default:
            break;
    }
    return QFrame::event(event);
}

void CDeviceKeyButtonUI::keep_background(const QPainter& painter) {
    // Only a raster backing store (or an image being rendered to) can be read back.
    const QPaintEngine* engine = painter.paintEngine();
    const QPaintDevice* device = engine != nullptr ? engine->paintDevice() : nullptr;
    if (device == nullptr || device->devType() != QInternal::Image)
        return;
    const auto* image = static_cast<const QImage*>(device);
    // Device pixels: the backing store's, whatever the scale.
    const QRect at = painter.deviceTransform().mapRect(QRectF(rect())).toAlignedRect();
    if (!image->rect().contains(at))
        return;
    background_ = image->copy(at);
    background_.setDevicePixelRatio(1.0);
    repaints_over_background_ = 0;
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
    if (testAttribute(Qt::WA_OpaquePaintEvent)) {
        setAttribute(Qt::WA_OpaquePaintEvent, false);
        // Back onto the device pixels it was read from.
        const QTransform to_device = painter.deviceTransform();
        const QRect at = to_device.mapRect(QRectF(rect())).toAlignedRect();
        painter.drawImage(to_device.inverted().mapRect(QRectF(at)), background_);
        ++repaints_over_background_;
    } else {
        keep_background(painter);
    }
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
