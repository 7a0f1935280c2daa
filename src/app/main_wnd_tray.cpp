// The main window's tray: the selected mouse's battery and link in the tooltip, the low-battery
// mark on the icon, and the desktop notice when a wireless mouse runs low.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>
#include <algorithm>

#include "app/main_wnd.h"
#include "app/main_wnd_tray.h"
#include "app/profile_switcher.h"
#include "device/model/ui/mouse_device.h"
#include "platform/ui/language.h"
#include "profile/ui/device_profile_ui.h"
#include "ui/mp_device_power.h"
#include "update/ui/set_wnd.h"

namespace velqa::app {

namespace {

std::string language_text(std::string_view id) {
    return platform::ui::LanguageTexts::instance()
        .text(QString::fromUtf8(id.data(), static_cast<qsizetype>(id.size())))
        .toStdString();
}

std::optional<BatteryStatus> page_battery(const model::CZentovaUSBDevice& page) {
    const ui::CMpDevicePowerUI* power = page.power_control();
    if (power == nullptr || !power->last_status())
        return std::nullopt;
    const auto& status = *power->last_status();
    return battery_status(status.data(), status.size());
}

}  // namespace

void CMainWnd::TrayBatteryDelete::operator()(TrayBattery* battery) const {
    delete battery;
}

TrayBattery& CMainWnd::tray_battery() {
    if (!battery_) {
        battery_.reset(new TrayBattery);
        // A new selection, a tile shown or hidden, or a page moved to its other link.
        connect(this, &CMainWnd::tiles_changed, this, &CMainWnd::refresh_tray);
    }
    return *battery_;
}

void CMainWnd::set_focus_watcher(std::unique_ptr<platform::desktop::FocusWatcher> watcher) {
    if (switcher_ == nullptr) {
        // Our own window taking the focus changes nothing: the user came to edit.
        std::vector<std::string> own{"velqa", QCoreApplication::applicationName().toStdString()};
        if (const QString desktop = QGuiApplication::desktopFileName(); !desktop.isEmpty())
            own.push_back(desktop.toStdString());
        switcher_ =
            std::make_unique<ProfileSwitcher>(*devices_, *recorder_, user_data_, std::move(own));
        connect(switcher_.get(), &ProfileSwitcher::reason_changed, this, &CMainWnd::refresh_tray);
        // An open settings window's switch box follows whether the focus can be followed.
        connect(switcher_.get(), &ProfileSwitcher::reason_changed, this, [this] {
            auto* settings = qobject_cast<update::CSetWnd*>(
                aux_windows_[static_cast<std::size_t>(kSettingsWindow)].data());
            if (settings != nullptr)
                settings->set_auto_switch_unavailable(switcher_->unavailable_reason());
        });
    }
    switcher_->set_watcher(std::move(watcher));
    if (devices_->first_pass_done())
        switcher_->start();
}

void CMainWnd::set_notifier(std::unique_ptr<platform::Notifier> notifier) {
    tray_battery().notifier = std::move(notifier);
}

void CMainWnd::refresh_tray() {
    tray_battery();
    const model::CZentovaUSBDevice* page = devices_->selected_page();
    const TrayView view = page == nullptr ? tray_view(false, 0, std::nullopt)
                                          : tray_view(true, page->link_mode(), page_battery(*page));
    QString tip = QString::fromStdString(tray_tooltip(view, language_text));
    // The page's line too: this runs on every change of the language as well.
    if (switcher_ != nullptr)
        switcher_->refresh_labels();
    // Switching the user relies on that cannot follow the focus now (a window manager
    // restarting, a KWin script that does not run).
    if (switcher_ != nullptr) {
        if (const std::string problem = switcher_->following_problem(); !problem.empty())
            tip += QLatin1Char('\n') + QString::fromStdString(problem);
    }
    // The selected device's profile, when the focused application chose it.
    if (switcher_ != nullptr && page != nullptr) {
        if (const auto* profiles = page->findChild<profile::CDeviceProfileUI*>();
            profiles != nullptr && profiles->list() != nullptr) {
            const QString why =
                ProfileSwitcher::reason_text(switcher_->reason(profiles->list()->folder()));
            if (!why.isEmpty())
                tip += QLatin1Char('\n') + why;
        }
    }
    tray_.set_tool_tip(tip);
    tray_.set_low_battery(view.low_mark);
}

void CMainWnd::on_power_status() {
    TrayBattery& battery = tray_battery();
    // The message does not say which page polled: every mouse's last status is looked at, and
    // the rule leaves a status it has already seen as it is.
    const auto& mice = devices_->mouse_pages();
    std::erase_if(battery.rules, [&mice](const auto& rule) {
        return std::find(mice.begin(), mice.end(), rule.first) == mice.end();
    });
    for (model::CZentovaMouseDevice* page : mice) {
        const auto status = page_battery(*page);
        if (!status)
            continue;
        const auto notice = battery.rules[page].update(*status);
        if (!notice)
            continue;
        if (!battery.notifier)
            battery.notifier = platform::make_desktop_notifier("ZARN VELQA R260");
        const NoticeText text = notice_text(*notice, language_text);
        platform::DesktopNotice desktop;
        desktop.summary = text.summary;
        desktop.body = text.body;
        desktop.urgency = notice->critical() ? platform::DesktopNotice::Urgency::Critical
                                             : platform::DesktopNotice::Urgency::Normal;
        // The 5% notice takes the place of the 15% one rather than stacking under it.
        desktop.tag = "battery:" + page->device_name();
        battery.notifier->notify(desktop);
    }
    refresh_tray();
}

}  // namespace velqa::app
