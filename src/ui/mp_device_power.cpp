#include "ui/mp_device_power.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <algorithm>
#include <cstring>

#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/window.h"

namespace velqa::ui {
namespace pui = platform::ui;

namespace {

constexpr const char* kPartNames[] = {"device_power_value",      "device_wuxian_logo",
                                      "device_wuxian_logo_text", "device_youxian_logo_text",
                                      "device_Power_progress",   "device_power_status",
                                      "device_powering_status",  "device_powering_status_text",
                                      "device_phone_type",       "device_power_Layout"};

constexpr std::size_t kMaxStatus = 64;

void set_visible(QWidget* control, bool on) {
    if (control != nullptr)
        control->setVisible(on);
}

// The status is polled every few seconds and rarely changes: a style sheet applied again costs
// a re-polish and a repaint of the control, so only a changed image is applied.
void show_image(QWidget* control, const QString& attribute) {
    if (pui::bk_image(control) != attribute)
        pui::set_bk_image(control, attribute);
}

void show_text(QWidget* control, const QString& text) {
    if (pui::text(control) != text || !pui::text_id(control).isEmpty())
        pui::set_text(control, text);
}

// The link logo's image for the receiver or the cable: the one the layout names, else ours.
QString link_image(const QWidget* logo, bool receiver) {
    const QString named = logo->property(receiver ? "receiverImage" : "cableImage").toString();
    if (!named.isEmpty())
        return named;
    return receiver ? QStringLiteral("file='power/WIFI_down.png'")
                    : QStringLiteral("file='power/WIFI_normal.png'");
}

}  // namespace

CMpDevicePowerUI::CMpDevicePowerUI(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (QWidget* root = pui::Window::build_layout(QString::fromLatin1(kLayout), this))
        layout->addWidget(root);
    setCursor(Qt::PointingHandCursor);
}

QWidget* CMpDevicePowerUI::part(Part which) {
    QPointer<QWidget>& p = parts_[which];
    if (p == nullptr)
        p = pui::Window::find_sub_control_by_name(this, QString::fromLatin1(kPartNames[which]));
    return p;
}

void CMpDevicePowerUI::set_device(std::uint32_t type, std::uint32_t value) {
    type_ = type;
    value_ = value;
    // Only the mouse pad has a phone to show.
    set_visible(part(kPhone), type_ == 3);
}

void CMpDevicePowerUI::show_layout(bool on) {
    set_visible(part(kLayoutPart), on);
}

void CMpDevicePowerUI::show_status(const std::uint8_t* status, std::size_t length) {
    std::uint8_t s[kMaxStatus] = {};
    if (status != nullptr)
        std::memcpy(s, status, std::min(length, kMaxStatus));
    last_status_.emplace();
    std::memcpy(last_status_->data(), s, last_status_->size());

    for (Part p : {kValue, kWirelessLogo, kWirelessText, kCableText, kProgress, kBattery, kCharging,
                   kChargingText, kPhone}) {
        if (part(p) == nullptr)
            return;
    }
    QWidget* value = part(kValue);
    QWidget* progress = part(kProgress);
    QWidget* battery = part(kBattery);
    QWidget* charging = part(kCharging);
    QWidget* charging_text = part(kChargingText);

    pui::set_value(progress, s[0]);
    show_text(value, QStringLiteral("%1%2").arg(s[0]).arg(QLatin1Char('%')));

    const bool keyboard_or_mouse = type_ == 1 || type_ == 2;
    // The charging icon is worked out first and applied once: the link and the charging state
    // both pick one.
    QString charging_image;
    if (s[3] != 0) {
        if (keyboard_or_mouse) {
            show_image(part(kWirelessLogo), link_image(part(kWirelessLogo), true));
            charging_image = QStringLiteral("file='power/powering.png'");
        }
        set_visible(part(kWirelessText), true);
        set_visible(part(kCableText), false);
    } else {
        if (keyboard_or_mouse)
            show_image(part(kWirelessLogo), link_image(part(kWirelessLogo), false));
        set_visible(part(kWirelessText), false);
        set_visible(part(kCableText), true);
    }

    switch (s[1]) {
        case 0:
        case 2:
            set_visible(charging_text, false);
            set_visible(value, true);
            set_visible(progress, false);
            show_image(battery, QStringLiteral("file='power/power.png'"));
            charging_image = s[1] == 0 ? QStringLiteral("file='power/light.png'")
                                       : QStringLiteral("file='power/power.png'");
            break;
        case 1:
            set_visible(charging_text, true);
            set_visible(value, false);
            set_visible(progress, false);
            show_image(battery, QStringLiteral("file='power/powering.png'"));
            charging_image = QStringLiteral("file='power/powering.png'");
            break;
        default:
            break;
    }
    if (!charging_image.isEmpty())
        show_image(charging, charging_image);

    if (type_ == 3) {
        static constexpr const char* kPhones[] = {"Phone_type_no_device", "Phone_type_iphone",
                                                  "Phone_type_samsung", "Phone_type_other"};
        const QString id = QLatin1String(kPhones[s[5] <= 3 ? s[5] : 0]);
        const QString image = QStringLiteral("file='power/%1.png'").arg(id);
        if (pui::bk_image(part(kPhone)) != image) {
            pui::set_tool_tip_id(part(kPhone), id);
            pui::set_bk_image(part(kPhone), image);
        }
    }
}

void CMpDevicePowerUI::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    if (pui::Window* window = pui::window_of(this))
        window->send_notify(this, "selectchanged");
}

void register_power_widget() {
    pui::ControlFactory::instance().regist_control(QStringLiteral("CMpDevicePowerUI"),
                                                   [] { return new CMpDevicePowerUI; });
}

}  // namespace velqa::ui
