// The main window's side of the about pane and window: the facts they show, the diagnostic
// report's facts, the tab and the tray's about item.
#include "app/main_wnd.h"
#include "device/model/ui/usb_device.h"
#include "platform/debug_output.h"
#include "platform/number_text.h"
#include "platform/ui/deferred_control.h"
#include "platform/ui/desktop.h"
#include "ui/about_wnd.h"
#include "ui/device_option.h"

namespace velqa::app {
namespace pui = platform::ui;

void CMainWnd::set_diagnostics(platform::SessionFacts session,
                               std::vector<std::filesystem::path> udev_rule_folders) {
    session_ = std::move(session);
    udev_rule_folders_ = std::move(udev_rule_folders);
}

std::vector<platform::LinkedDeviceFacts> CMainWnd::linked_devices() const {
    std::vector<platform::LinkedDeviceFacts> devices;
    for (int i = 0; i < devices_->tile_count(); ++i) {
        const ui::CDeviceOptionUI* tile = devices_->tile(i);
        auto* page =
            tile != nullptr ? qobject_cast<model::CZentovaUSBDevice*>(tile->page()) : nullptr;
        if (page == nullptr || !tile->linked())
            continue;
        link::CommandChannel& channel = page->channel();
        const bool wired = channel.wired().is_open();
        const bool receiver = channel.receiver().is_open();
        if (!wired && !receiver)
            continue;
        platform::LinkedDeviceFacts d;
        // The model's name as its device file gives it; the page knows only its kind.
        const auto& models = devices_->catalog().models();
        const auto row = static_cast<std::size_t>(page->kind_row());
        d.name =
            page->kind_row() >= 0 && row < models.size() ? models[row].name : page->device_name();
        const bool via_receiver = page->use_receiver() || !wired;
        d.link = via_receiver ? "2.4G" : "cable";
        // The HID version of each open link is its firmware's version.
        if (wired)
            d.firmware.push_back(
                platform::firmware_version_text(channel.wired().attributes().version_number));
        if (receiver)
            d.firmware.push_back("receiver " + platform::firmware_version_text(
                                                   channel.receiver().attributes().version_number));
        const link::HidAttributes& ids =
            via_receiver ? channel.receiver().attributes() : channel.wired().attributes();
        d.vendor_id = ids.vendor_id;
        d.product_id = ids.product_id;
        devices.push_back(std::move(d));
    }
    return devices;
}

platform::DiagnosticFacts CMainWnd::diagnostic_facts() const {
    platform::DiagnosticFacts f;
    f.program_version = platform::program_version();
    f.distribution = platform::distribution_name();
    f.session = session_;
    // Without HOME the user database still knows the folder the report must not show.
    if (f.session.home.empty())
        f.session.home = platform::current_home_folder();
    f.devices = linked_devices();
    const auto& hid = devices_->hid();
    f.hid_backend = hid != nullptr ? hid->name() : "none";
    if (hid != nullptr) {
        const link::DeviceCatalog& catalog = devices_->catalog();
        for (const platform::hid::NodeInfo& node : hid->enumerate()) {
            const bool supported = std::any_of(
                catalog.models().begin(), catalog.models().end(), [&node](const auto& model) {
                    return std::any_of(
                        model.links.begin(), model.links.end(), [&node](const link::DeviceLink& l) {
                            return l.vendor_id == node.vendor_id && l.product_id == node.product_id;
                        });
                });
            if (!supported)
                continue;
            platform::HidNodeFacts facts = platform::describe_node_access(node.node);
            facts.vendor_id = node.vendor_id;
            facts.product_id = node.product_id;
            facts.interface_number = node.interface_number;
            facts.product = node.product;
            f.nodes.push_back(std::move(facts));
        }
    }
    f.udev_rule_folders = udev_rule_folders_;
    f.udev_rules_found = platform::installed_udev_rules(udev_rule_folders_);
    f.data_folder = user_data_;
    f.debug_lines = platform::recent_debug_lines();
    f.user_name = platform::current_user_name();
    f.host_name = platform::current_host_name();
    return f;
}

ui::AboutSource CMainWnd::about_source() {
    ui::AboutSource source;
    source.devices = [this] { return linked_devices(); };
    source.facts = [this] { return diagnostic_facts(); };
    source.data_folder = user_data_;
    source.project_page = platform::project_web_page();
    return source;
}

ui::AboutPanel* CMainWnd::about_pane(bool build) const {
    QWidget* slot = find_control(QStringLiteral("about_panel"));
    if (auto* deferred = qobject_cast<pui::DeferredControl*>(slot))
        slot = build ? deferred->control() : deferred->built();
    return qobject_cast<ui::AboutPanel*>(slot);
}

void CMainWnd::show_about_pane(bool on) {
    // The pane, or the place it is built in when first shown.
    QWidget* slot = find_control(QStringLiteral("about_panel"));
    if (slot == nullptr)
        return;
    if (on) {
        if (ui::AboutPanel* pane = about_pane(true))
            pane->refresh();
        // Above the device pages and the "no device" banner that share its place.
        slot->raise();
    }
    slot->setVisible(on);
}

void CMainWnd::refresh_about() {
    if (ui::AboutPanel* pane = about_pane(false))
        pane->refresh();
    if (auto* wnd = qobject_cast<ui::CAboutWnd*>(aux_windows_[kAboutWindow].data())) {
        if (wnd->panel() != nullptr)
            wnd->panel()->refresh();
    }
}

void CMainWnd::open_about() {
    if (pui::Window* open = aux_windows_[kAboutWindow]; open != nullptr) {
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }
    auto* wnd = new ui::CAboutWnd(this, about_source());
    if (!wnd->create(QStringLiteral("about"), {}, true)) {
        platform::debug_output("about: the layout cannot be built");
        delete wnd;
        return;
    }
    connect(wnd, &pui::Window::closed, wnd, &QObject::deleteLater);
    wnd->set_dpi(dpi());
    wnd->center_window();
    set_aux_window(kAboutWindow, wnd);
    wnd->show();
    wnd->raise();
    wnd->activateWindow();
}

}  // namespace velqa::app
