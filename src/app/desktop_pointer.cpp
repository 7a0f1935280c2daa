#include "app/desktop_pointer.h"

#include <QSignalBlocker>
#include <QWidget>
#include <algorithm>

#include "app/pointer_profile.h"
#include "device/model/ui/mouse_device.h"
#include "platform/debug_output.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/window.h"
#include "profile/ui/device_profile_ui.h"
#include "ui/msg_wnd.h"

namespace velqa::app {
namespace {

namespace desk = platform::desktop;
using desk::PointerSetting;
using desk::PointerValues;
using Row = model::CZentovaMouseDevice::PointerRow;

// One record per desktop: a user who logs in to GNOME one day and Plasma the next gets each
// one's own values back.
QString store_key(const desk::PointerSettings& backend, const char* what) {
    QString name = QString::fromStdString(backend.desktop_name());
    name.replace(QLatin1Char(' '), QLatin1Char('_'));
    return QStringLiteral("DesktopPointer/") + QLatin1String(what) + name;
}

// The text naming a row's setting.
const char* label_id(PointerSetting which) {
    switch (which) {
        case PointerSetting::Speed:
            return "pointer_speed_label_text";
        case PointerSetting::WheelLines:
            return "scroll_speed_label_text";
        case PointerSetting::DoubleClick:
            return "double_click_label_text";
        case PointerSetting::Precision:
            return "pointer_precision_text";
        case PointerSetting::ScrollPage:
            return "scrolls_page_text";
    }
    return "";
}

}  // namespace

DesktopPointer::DesktopPointer(std::shared_ptr<desk::PointerSettings> backend,
                               platform::SettingsStore store, platform::ui::Window* owner)
    : owner_(owner), backend_(std::move(backend)), store_(std::move(store)) {
    if (!backend_)
        return;
    const auto own = store_.read_text(store_key(*backend_, "own_"));
    const auto ours = store_.read_text(store_key(*backend_, "ours_"));
    if (ours) {
        ledger_ = desk::PointerLedger(own.value_or(QString()).toStdString(), ours->toStdString());
    } else if (const auto kept = store_.read_text(store_key(*backend_, "original_"))) {
        // Kept by a version that wrote every setting: what differs from it now is ours.
        ledger_ = desk::PointerLedger::from_originals(desk::decode_values(kept->toStdString()),
                                                      backend_->read());
        keep_ledger();
    }
}

bool DesktopPointer::changeable(PointerSetting which) const {
    return backend_ && backend_->supports(which) && backend_->refusal(which).empty();
}

void DesktopPointer::keep_ledger() {
    if (!store_.write_text(store_key(*backend_, "own_"),
                           QString::fromStdString(ledger_.own_text())) ||
        !store_.write_text(store_key(*backend_, "ours_"),
                           QString::fromStdString(ledger_.ours_text())))
        platform::debug_printf("pointer settings: cannot keep the desktop's own values");
}

void DesktopPointer::write(const PointerValues& values) {
    if (values.empty())
        return;
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

void DesktopPointer::apply(const PointerValues& target, std::span<const PointerSetting> which) {
    if (!backend_)
        return;
    std::vector<PointerSetting> allowed;
    std::copy_if(which.begin(), which.end(), std::back_inserter(allowed),
                 [this](PointerSetting w) { return changeable(w); });
    if (allowed.empty())
        return;
    // The ledger is kept before the write: a crash in between leaves it knowing the user's
    // values.
    const PointerValues plan = ledger_.plan(target, allowed, backend_->read());
    keep_ledger();
    write(plan);
}

void DesktopPointer::bind(model::CZentovaMouseDevice& page) {
    pages_.emplace_back(&page);
    model::CZentovaMouseDevice* p = &page;
    connect(p, &model::CZentovaMouseDevice::pointer_setting_changed, this, [this, p](int which) {
        const auto setting = static_cast<PointerSetting>(which);
        apply(profile_pointer_values(p->profile().system_settings(),
                                     p->profile().pointer_fields_set()),
              std::span(&setting, 1));
        show_rows(*p);
    });
    connect(p, &model::CZentovaMouseDevice::pointer_rows_loaded, this,
            [this, p] { show_rows(*p); });
    // After the page took the profile (the device manager connected it first).
    if (auto* profiles = p->findChild<profile::CDeviceProfileUI*>()) {
        connect(profiles, &profile::CDeviceProfileUI::profile_applied, this,
                [this, p] { apply_profile(*p); });
    }
    show_rows(page);
}

void DesktopPointer::apply_profile(model::CZentovaMouseDevice& page) {
    apply(profile_pointer_values(page.profile().system_settings(),
                                 page.profile().pointer_fields_set()),
          desk::kPointerSettings);
    show_rows(page);
}

void DesktopPointer::restore(model::CZentovaMouseDevice& page) {
    if (backend_) {
        const PointerValues plan = ledger_.plan_restore(backend_->read());
        keep_ledger();
        write(plan);
    }
    show_rows(page);
}

void DesktopPointer::retranslate() {
    pages_.erase(std::remove_if(pages_.begin(), pages_.end(),
                                [](const QPointer<model::CZentovaMouseDevice>& p) { return !p; }),
                 pages_.end());
    for (const auto& page : pages_)
        show_rows(*page);
}

void DesktopPointer::show_rows(model::CZentovaMouseDevice& page) {
    const auto& texts = platform::ui::LanguageTexts::instance();
    const QString desktop = backend_ ? QString::fromStdString(backend_->desktop_name()) : QString();
    const PointerValues now = backend_ ? backend_->read() : PointerValues();
    const std::uint8_t set = page.profile().pointer_fields_set();
    for (const Row& r : model::CZentovaMouseDevice::PointerRows) {
        QWidget* control = page.findChild<QWidget*>(QLatin1String(r.control));
        QWidget* box = page.findChild<QWidget*>(QLatin1String(r.desktop_check));
        QWidget* row = page.findChild<QWidget*>(QLatin1String(r.row));
        const bool is_set = (set & platform::desktop::pointer_field_bit(r.which)) != 0;
        QString why;  // why the row cannot be changed
        if (!backend_) {
            why = texts.text(QStringLiteral("pointer_no_desktop_tip"));
        } else if (!backend_->supports(r.which)) {
            why = texts.text(QStringLiteral("pointer_unsupported_tip")).arg(desktop);
        } else if (const std::string refused = backend_->refusal(r.which); !refused.empty()) {
            why = texts.text(QStringLiteral("pointer_locked_tip"))
                      .arg(desktop, QString::fromStdString(refused));
        }
        const bool on = why.isEmpty();
        // Every box reads the same; the name says whose row it is.
        if (box != nullptr)
            box->setAccessibleName(texts.text(QStringLiteral("pointer_use_desktop_name"))
                                       .arg(texts.text(QLatin1String(label_id(r.which)))));
        // The whole row, so that its label dims with the control.
        for (QWidget* w : {row, control, box}) {
            if (w == nullptr)
                continue;
            w->setEnabled(on);
            w->setToolTip(why);
        }
        if (!on)
            continue;
        const QString tip = texts
                                .text(is_set ? QStringLiteral("pointer_profile_value_tip")
                                             : QStringLiteral("pointer_desktop_value_tip"))
                                .arg(desktop);
        if (control != nullptr)
            control->setToolTip(tip);
        if (box != nullptr)
            box->setToolTip(tip);
        // A row left to the desktop shows the desktop's value, not the profile's unused one.
        if (!is_set && control != nullptr && now.has(r.which)) {
            const QSignalBlocker quiet(control);
            if (r.slider)
                platform::ui::set_value(control, control_value(now, r.which));
            else
                platform::ui::set_selected(control, control_value(now, r.which) != 0, false);
        }
    }
}

}  // namespace velqa::app
