#include "app/desktop_pointer.h"

#include <QSignalBlocker>
#include <QWidget>
#include <algorithm>

#include "device/model/ui/mouse_device.h"
#include "platform/debug_output.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/window.h"
#include "profile/settings_limits.h"
#include "profile/ui/device_profile_ui.h"
#include "ui/msg_wnd.h"

namespace velqa::app {
namespace {

namespace desk = platform::desktop;
using desk::PointerSetting;
using desk::PointerValues;

// One set per desktop: a user who logs in to GNOME one day and Plasma the next gets each one's
// own values back.
QString originals_key(const desk::PointerSettings& backend) {
    QString name = QString::fromStdString(backend.desktop_name());
    name.replace(QLatin1Char(' '), QLatin1Char('_'));
    return QStringLiteral("DesktopPointer/original_") + name;
}

struct SettingControls {
    PointerSetting which;
    const char* control;
    const char* row;  // the slider's row with its label; empty for a check box
    const char* type;
};
constexpr SettingControls kControls[] = {
    {PointerSetting::Speed, "pointer_speed_slider", "pointer_speed_row", "valuechanged"},
    {PointerSetting::WheelLines, "scroll_speed_slider", "scroll_speed_row", "valuechanged"},
    {PointerSetting::DoubleClick, "double_click_slider", "double_click_row", "valuechanged"},
    {PointerSetting::Precision, "pointer_precision_check", "", "selectchanged"},
    {PointerSetting::ScrollPage, "scrolls_page_check", "", "selectchanged"},
};

static_assert(profile::PointerSpeedRange.min == desk::kSpeedSliderMin &&
                  profile::PointerSpeedRange.max == desk::kSpeedSliderMax,
              "the speed slider maps its whole range onto the desktop's");

// The profile's value of `which` in desktop units, held in the System tab's range: a profile
// edited by hand since it was imported must not give the desktop a 1 ms double click. A 0 where
// the range starts above it is a missing or mistyped member: nothing to apply.
PointerValues profile_value(const profile::MouseSystemSettings& sys, PointerSetting which) {
    profile::MouseSystemSettings held = sys;
    profile::hold_in_range(held);
    PointerValues v;
    switch (which) {
        case PointerSetting::Speed:
            if (sys.pointer_speed > 0)
                v.speed = desk::speed_from_slider(held.pointer_speed);
            break;
        case PointerSetting::WheelLines:
            if (sys.wheel_scroll_lines > 0)
                v.wheel_lines = held.wheel_scroll_lines;
            break;
        case PointerSetting::DoubleClick:
            if (sys.double_click_time > 0)
                v.double_click_ms = held.double_click_time;
            break;
        case PointerSetting::Precision:
            v.precision = held.pointer_precision != 0;
            break;
        case PointerSetting::ScrollPage:
            v.scroll_page = held.scroll_page != 0;
            break;
    }
    return v;
}

PointerValues merge(PointerValues a, const PointerValues& b) {
    if (b.speed)
        a.speed = b.speed;
    if (b.wheel_lines)
        a.wheel_lines = b.wheel_lines;
    if (b.double_click_ms)
        a.double_click_ms = b.double_click_ms;
    if (b.precision)
        a.precision = b.precision;
    if (b.scroll_page)
        a.scroll_page = b.scroll_page;
    return a;
}

// The value the page's control shows for a desktop value.
int control_value(const PointerValues& v, PointerSetting which) {
    switch (which) {
        case PointerSetting::Speed:
            return desk::slider_from_speed(*v.speed);
        case PointerSetting::WheelLines:
            return *v.wheel_lines;
        case PointerSetting::DoubleClick:
            return *v.double_click_ms;
        case PointerSetting::Precision:
            return *v.precision ? 1 : 0;
        case PointerSetting::ScrollPage:
            return *v.scroll_page ? 1 : 0;
    }
    return 0;
}

}  // namespace

DesktopPointer::DesktopPointer(std::shared_ptr<desk::PointerSettings> backend,
                               platform::SettingsStore store, platform::ui::Window* owner)
    : owner_(owner), backend_(std::move(backend)), store_(std::move(store)) {
    if (backend_)
        at_start_ = backend_->read();
}

bool DesktopPointer::supports(PointerSetting which) const {
    return backend_ && backend_->supports(which);
}

PointerValues DesktopPointer::originals() const {
    if (!backend_)
        return {};
    if (const auto kept = store_.read_text(originals_key(*backend_)))
        return desk::decode_values(kept->toStdString());
    return at_start_;
}

void DesktopPointer::apply(const PointerValues& values) {
    if (!backend_ || values.empty())
        return;
    // The desktop's own values are kept before the first change we make, once for good.
    const QString key = originals_key(*backend_);
    if (!store_.read_text(key) && !at_start_.empty()) {
        if (!store_.write_text(key, QString::fromStdString(desk::encode_values(at_start_))))
            platform::debug_printf("pointer settings: cannot keep the desktop's values");
    }
    const std::string failed = backend_->apply(values);
    if (failed.empty())
        return;
    platform::debug_printf("pointer settings: %s", failed.c_str());
    // The profile keeps the value; the user learns that the desktop did not take it.
    if (owner_) {
        const QString text = platform::ui::LanguageTexts::instance()
                                 .text(QStringLiteral("pointer_apply_failed_text"))
                                 .arg(QString::fromStdString(failed));
        ui::show_message(owner_, QString(), text, owner_->dpi(), 0, 0);
    }
}

void DesktopPointer::bind(model::CZentovaMouseDevice& page) {
    pages_.emplace_back(&page);
    show_support(page);
    model::CZentovaMouseDevice* p = &page;
    connect(p, &model::CZentovaMouseDevice::pointer_setting_changed, this, [this, p](int which) {
        apply(profile_value(p->profile().system_settings(), static_cast<PointerSetting>(which)));
    });
    // After the page took the profile (the device manager connected it first).
    if (auto* profiles = p->findChild<profile::CDeviceProfileUI*>()) {
        connect(profiles, &profile::CDeviceProfileUI::profile_applied, this,
                [this, p] { apply_profile(*p); });
    }
}

void DesktopPointer::apply_profile(model::CZentovaMouseDevice& page) {
    PointerValues all;
    for (const SettingControls& c : kControls)
        all = merge(all, profile_value(page.profile().system_settings(), c.which));
    apply(all);
}

void DesktopPointer::restore(model::CZentovaMouseDevice& page) {
    const PointerValues kept = originals();
    // The page shows them through its own dispatch, so the profile keeps them too ...
    for (const SettingControls& c : kControls) {
        if (!supports(c.which) || !kept.has(c.which))
            continue;
        QWidget* control = page.findChild<QWidget*>(QLatin1String(c.control));
        if (control == nullptr)
            continue;
        const int value = control_value(kept, c.which);
        {
            const QSignalBlocker quiet(control);
            if (c.row[0] != '\0')
                platform::ui::set_value(control, value);
            else
                platform::ui::set_selected(control, value != 0, false);
        }
        platform::ui::Notification msg{c.type, control, static_cast<platform::ui::WParam>(value),
                                       0};
        page.notify(msg);
    }
    // ... and the desktop gets them exactly, not as the page's steps round them.
    apply(kept);
}

void DesktopPointer::retranslate() {
    pages_.erase(std::remove_if(pages_.begin(), pages_.end(),
                                [](const QPointer<model::CZentovaMouseDevice>& p) { return !p; }),
                 pages_.end());
    for (const auto& page : pages_)
        show_support(*page);
}

void DesktopPointer::show_support(model::CZentovaMouseDevice& page) {
    const auto& texts = platform::ui::LanguageTexts::instance();
    QString why;
    if (!backend_) {
        why = texts.text(QStringLiteral("pointer_no_desktop_tip"));
    } else {
        why = texts.text(QStringLiteral("pointer_unsupported_tip"))
                  .arg(QString::fromStdString(backend_->desktop_name()));
    }
    for (const SettingControls& c : kControls) {
        const bool on = supports(c.which);
        const QString tip = on ? QString() : why;
        if (QWidget* control = page.findChild<QWidget*>(QLatin1String(c.control))) {
            control->setEnabled(on);
            control->setToolTip(tip);
        }
        if (c.row[0] == '\0')
            continue;
        // The whole row, so that its label dims with the slider.
        if (QWidget* row = page.findChild<QWidget*>(QLatin1String(c.row))) {
            row->setEnabled(on);
            row->setToolTip(tip);
        }
    }
}

}  // namespace velqa::app
