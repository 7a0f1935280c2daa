#include "app/battery_watch.h"

namespace velqa::app {

std::optional<BatteryStatus> battery_status(const std::uint8_t* status, std::size_t length) {
    if (status == nullptr || length < 4)
        return std::nullopt;
    if (status[0] > 100 || status[1] > 2)
        return std::nullopt;
    BatteryStatus s;
    s.percent = status[0];
    s.charging = status[1];
    s.wireless = status[3] != 0;
    return s;
}

TrayView tray_view(bool device, int link_mode, const std::optional<BatteryStatus>& battery) {
    TrayView view;
    if (!device)
        return view;
    view.device = true;
    view.battery = battery;
    if (link_mode == 1) {
        view.link = TrayLink::Cable;
    } else if (link_mode == 2) {
        view.link = TrayLink::Wireless;
    } else if (battery) {
        view.link = battery->wireless ? TrayLink::Wireless : TrayLink::Cable;
    }
    view.low_mark = battery && battery->charging == 0 && battery->percent <= BatteryLowPercent;
    return view;
}

std::string format_text(std::string_view format, std::string_view value) {
    std::string out;
    out.reserve(format.size() + value.size());
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '1') {
            out += value;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

std::string tray_tooltip(const TrayView& view, const TextLookup& text) {
    std::string tip = TrayProgramName;
    if (!view.device)
        return tip;
    if (view.battery) {
        const char* id = view.battery->charging == 1   ? "tray_battery_charging_text"
                         : view.battery->charging == 2 ? "tray_battery_charged_text"
                                                       : "tray_battery_text";
        tip += '\n';
        tip += format_text(text(id), std::to_string(view.battery->percent));
    }
    if (view.link != TrayLink::None) {
        tip += '\n';
        tip += format_text(text("tray_link_text"),
                           text(view.link == TrayLink::Cable ? "tray_link_cable_text"
                                                             : "tray_link_wireless_text"));
    }
    return tip;
}

NoticeText notice_text(const BatteryNotice& notice, const TextLookup& text) {
    const std::string percent = std::to_string(notice.percent);
    if (notice.critical()) {
        return {text("battery_critical_title_text"),
                format_text(text("battery_critical_body_text"), percent)};
    }
    return {text("battery_low_title_text"), format_text(text("battery_low_body_text"), percent)};
}

std::optional<BatteryNotice> LowBatteryRule::update(const BatteryStatus& status) {
    if (status.charging != 0) {
        low_fired_ = false;
        critical_fired_ = false;
        return std::nullopt;
    }
    if (status.percent >= BatteryLowPercent + BatteryRearmMargin)
        low_fired_ = false;
    if (status.percent >= BatteryCriticalPercent + BatteryRearmMargin)
        critical_fired_ = false;
    // The cable only ever re-arms: a mouse on its cable needs no reminder to plug it in.
    if (!status.wireless)
        return std::nullopt;
    if (status.percent <= BatteryCriticalPercent && !critical_fired_) {
        critical_fired_ = true;
        low_fired_ = true;
        return BatteryNotice{BatteryCriticalPercent, status.percent};
    }
    if (status.percent <= BatteryLowPercent && !low_fired_) {
        low_fired_ = true;
        return BatteryNotice{BatteryLowPercent, status.percent};
    }
    return std::nullopt;
}

}  // namespace velqa::app
