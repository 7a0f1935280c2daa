// The device pages and their tiles, kept in step with the interfaces the scan thread claims and
// loses, and the worker threads behind them.
#include "app/device_manager.h"

#include <json/json.h>

#include <QByteArray>
#include <QLayout>
#include <QStackedWidget>
#include <chrono>
#include <span>
#include <thread>
#include <type_traits>

#include "app/access_offer.h"
#include "app/audio_companion.h"
#include "app/device_scan.h"
#include "app/light_sync.h"
#include "app/messages.h"
#include "app/scan_bridge.h"
#include "device/model/mouse_core.h"
#include "device/model/mouse_settings.h"
#include "device/model/ui/keyboard_device.h"
#include "device/model/ui/mouse_device.h"
#include "platform/debug_output.h"
#include "platform/ipc/data_block.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/window.h"
#include "profile/profile_list.h"
#include "profile/ui/device_profile_ui.h"
#include "profile/ui/light_control.h"
#include "ui/device_option.h"
#include "ui/mp_device_power.h"

namespace velqa::app {
namespace pui = platform::ui;

namespace {

constexpr int kReceiverQueries = 26;
constexpr auto kReceiverQueryPause = std::chrono::milliseconds(50);
constexpr int kPollStartMs = 50;
constexpr int kPowerAfterSwitchMs = 2000;

bool is_mouse(int type) {
    return type == link::TypeMouse || type == link::TypeMouseReceiver;
}
bool is_keyboard(int type) {
    return type == link::TypeKeyboard || type == link::TypeKeyboardReceiver;
}
bool is_receiver(int type) {
    return type == link::TypeMouseReceiver || type == link::TypeKeyboardReceiver;
}
// The cable's type of a device type (the type pages and kinds are keyed by).
int wired_type(int type) {
    if (type == link::TypeMouseReceiver)
        return link::TypeMouse;
    if (type == link::TypeKeyboardReceiver)
        return link::TypeKeyboard;
    return type;
}

QString text_of(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

// ---- Workers ----

DeviceManager::DeviceManager(DeviceManagerHost& host, std::filesystem::path default_data,
                             std::filesystem::path user_data,
                             std::shared_ptr<platform::hid::HidBackend> hid,
                             std::shared_ptr<const link::DeviceCatalog> catalog)
    : host_(host),
      window_(host.device_window()),
      default_data_(std::move(default_data)),
      user_data_(std::move(user_data)),
      hid_(std::move(hid)),
      catalog_(catalog ? std::move(catalog)
                       : std::make_shared<const link::DeviceCatalog>(
                             link::load_device_data(default_data_).catalog)),
      kinds_(make_device_kind_table(*catalog_)),
      slots_(catalog_->interfaces()) {}

DeviceManager::~DeviceManager() {
    // The workers use the slot list: they end before it goes. The window lets a blocked scan
    // pass go before this runs.
    stop_workers();
}

void DeviceManager::on_access_denied() {
    if (scan_bridge_ != nullptr) {
        denied_ = scan_bridge_->denied();
        for (const std::string& path : denied_)
            platform::debug_printf("mouse found but this user may not open it: %s\n", path.c_str());
    }
    update_denied_notice();
}

void DeviceManager::set_access_helper(platform::AccessHelper helper) {
    access_offer_ = std::make_unique<AccessOffer>(window_, std::move(helper), [this] {
        if (scan_thread_ != nullptr)
            scan_thread_->rescan();
    });
    update_denied_notice();
}

bool DeviceManager::allow_access() {
    return access_offer_ != nullptr && access_offer_->start();
}

bool DeviceManager::start() {
    create_initial_pages();
    if (hid_ == nullptr)
        return false;
    if (scan_thread_ != nullptr)
        return true;
    scan_bridge_ = std::make_unique<ScanBridge>(window_);
    scan_thread_ =
        std::make_unique<DeviceScanThread>(hid_, slots_, catalog_->interfaces(), *scan_bridge_);
    scan_thread_->start();
    light_sync_ = std::make_unique<LightSyncThread>();
    if (const auto stored = read_sync_choice(sync_choice_file()))
        light_sync_->set_choice(*stored);
    for (const auto& target : sync_targets_)
        light_sync_->add_target(target);
    // Pages are widgets: the thread's colours reach them on the window thread. A queued call
    // to this object is dropped if the manager goes first (it stops the thread before that).
    light_sync_->set_on_step([this] {
        if (sync_colours_posted_.exchange(true))
            return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                sync_colours_posted_ = false;
                deliver_sync_colours();
            },
            Qt::QueuedConnection);
    });
    light_sync_->start();
    return true;
}

std::uint64_t DeviceManager::scan_passes() const {
    return scan_thread_ ? scan_thread_->passes() : 0;
}

void DeviceManager::stop_workers() {
    if (workers_stopped_)
        return;
    workers_stopped_ = true;
    window_.hide();
    // Every stop event first, so that all workers wind down together; then one bounded wait
    // each, in slot order (the scan thread is slot 0, light sync slot 8).
    if (scan_thread_)
        scan_thread_->request_stop();
    if (light_sync_)
        light_sync_->request_stop();
    auto report = [](platform::StopOutcome outcome) {
        if (outcome == platform::StopOutcome::TimedOut) {
            platform::debug_output("所有对象处于非激发状态，超时\n");
        } else {
            platform::debug_output("所有对象处于激发状态\n");
        }
    };
    if (scan_thread_)
        report(scan_thread_->stop());
    if (light_sync_)
        report(light_sync_->stop());
    for (model::CZentovaUSBDevice* page : pages_)
        page->stop_threads();
    if (audio_)
        audio_->set_wanted(false);
}

// ---- Pages and tiles ----

ui::CDeviceOptionUI* DeviceManager::tile(int index) const {
    if (index < 0 || index >= static_cast<int>(tiles_.size()))
        return nullptr;
    return tiles_[static_cast<std::size_t>(index)];
}

int DeviceManager::tile_index_of_page(const QWidget* page) const {
    for (std::size_t i = 0; i < tiles_.size(); ++i) {
        if (tiles_[i] != nullptr && tiles_[i]->page() == page)
            return static_cast<int>(i);
    }
    return -1;
}

int DeviceManager::tile_index_of_kind_row(int kind_row) const {
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (pages_[i]->kind_row() == kind_row)
            return tile_index_of_page(pages_[i]);
    }
    return -1;
}

model::CZentovaUSBDevice* DeviceManager::page_for_identity(
    const link::DeviceIdentity& identity) const {
    for (model::CZentovaUSBDevice* page : pages_) {
        if (same_identity(page->wired_identity(), identity))
            return page;
    }
    return nullptr;
}

void DeviceManager::for_each_page(
    const std::function<void(model::CZentovaUSBDevice&)>& action) const {
    for (model::CZentovaUSBDevice* page : pages_)
        action(*page);
}

profile::CDeviceProfileUI* DeviceManager::selected_profile_control() const {
    model::CZentovaUSBDevice* page = selected_page();
    return page != nullptr ? page->findChild<profile::CDeviceProfileUI*>() : nullptr;
}

model::CZentovaUSBDevice* DeviceManager::selected_page() const {
    for (const auto& t : tiles_) {
        if (t != nullptr && t->linked() && t->selected())
            return qobject_cast<model::CZentovaUSBDevice*>(t->page());
    }
    return nullptr;
}

bool DeviceManager::page_exists(std::size_t slot) const {
    const link::DeviceIdentity wired = wired_identity(slots_, slot);
    for (const auto& t : tiles_) {
        if (t == nullptr)
            continue;
        if (auto* page = qobject_cast<model::CZentovaUSBDevice*>(t->page());
            page != nullptr && same_identity(page->wired_identity(), wired)) {
            return true;
        }
    }
    return false;
}

bool DeviceManager::partner_linked(std::size_t slot) const {
    return app::partner_linked(slots_, slot);
}

bool DeviceManager::create_initial_pages() {
    bool created = false;
    const DeviceKindTable& kinds = kinds_;
    const link::SupportedDeviceTable& table = catalog_->interfaces();
    for (std::size_t k = 0; k < 2 && k < kinds.size(); ++k) {
        const DeviceKindRow& kind = kinds[k];
        std::optional<std::size_t> slot;
        for (std::size_t i = 0; i < table.size(); ++i) {
            const link::SupportedDeviceRow& row = table[i];
            if (row.vendor_id == kind.vendor_id && row.product_id == kind.product_id &&
                row.device_type == kind.device_type &&
                row.device_sub_type == kind.device_sub_type &&
                link::equals_ignoring_case(row.product_string, kind.product_string)) {
                slot = i;
                break;
            }
        }
        if (!slot)
            break;
        if (!page_exists(*slot) && create_device_page(*slot, 0))
            created = true;
    }
    return created;
}

bool DeviceManager::create_device_page(std::size_t slot, int sub_type) {
    if (slot >= slots_.size())
        return false;
    const link::DeviceIdentity wired = wired_identity(slots_, slot);
    const int type = wired_type(wired.device_type);
    const DeviceKindTable& kinds = kinds_;
    const auto kind_index =
        find_kind_row(kinds, wired.vendor_id, wired.product_id, static_cast<std::uint8_t>(type),
                      static_cast<std::uint8_t>(sub_type), wired.product_string);
    if (!kind_index)
        return false;
    const DeviceKindRow& kind = kinds[*kind_index];
    // The mouse and the keyboard have page classes; other kinds are not shown.
    if (!is_mouse(type) && !is_keyboard(type)) {
        platform::debug_printf("no page for device kind %s\n", kind.kind_name.c_str());
        return false;
    }
    auto* power_switch = window_.find_control_as<QStackedWidget>(text_of(kind.power_container));
    auto* pages = window_.find_control_as<QStackedWidget>(QStringLiteral("device_switch"));
    QWidget* strip = window_.find_control(QStringLiteral("device_select_layout"));
    if (power_switch == nullptr || pages == nullptr || strip == nullptr ||
        strip->layout() == nullptr)
        return false;

    auto* power = new ui::CMpDevicePowerUI;
    // The widget picks its link logo by the page's type.
    power->set_device(static_cast<std::uint32_t>(type), static_cast<std::uint32_t>(sub_type));
    const int power_index = power_switch->addWidget(power);
    power_widgets_.emplace_back(power);

    model::CZentovaUSBDevice* page = nullptr;
    // What both page classes take the same way.
    auto set_up = [&](auto* p) {
        using Page = std::remove_pointer_t<decltype(p)>;
        p->set_data_folders(default_data_, user_data_);
        p->set_main_window(&window_);
        p->set_device_name(kind.kind_name);
        p->set_device_type(type, sub_type);
        p->set_device_index(kind.model_index);
        p->set_kind_row(static_cast<int>(*kind_index));
        p->set_power_control(power);
        p->set_wired_identity(wired);
        p->set_page_layout(text_of(kind.page_layout));
        p->set_software_lighting(lighting_control_);
        p->bind_page_controls();
        // A wireless device reports its battery; the page polls it while linked.
        p->set_power_capable(true);
        p->switch_function_page(tab_code_);
        // The kind's profile list: the page follows its selected profile, and every profile the
        // user applies.
        if (auto* profiles = p->template findChild<profile::CDeviceProfileUI*>()) {
            const auto folder = user_data_ / kind.kind_name;
            const auto factory_file = default_data_ / (kind.kind_name + ".Json");
            profiles->set_kind(folder, factory_file, type, model::sensor_table(*catalog_));
            connect(profiles, &profile::CDeviceProfileUI::profile_applied, p,
                    [p](const QString& file) { p->apply_profile_file(file.toStdString()); });
            connect(profiles, &profile::CDeviceProfileUI::list_changed, this,
                    [this, profiles] { refill_profile_lists(profiles); });
            profiles->load();
            p->set_profile_file(profile::selected_profile_path(folder, factory_file));
        }
        // The lighting editor's changes go to the device through its page.
        if (profile::CLightControlUI* light = p->light_editor()) {
            connect(light, &profile::CLightControlUI::light_changed, p, &Page::change_lighting);
            connect(light, &profile::CLightControlUI::audio_light_changed, p,
                    &Page::change_audio_lighting);
            if (auto* mouse = qobject_cast<model::CZentovaMouseDevice*>(p)) {
                connect(light, &profile::CLightControlUI::custom_effect_selected, mouse,
                        &model::CZentovaMouseDevice::apply_custom_effect);
                // While the page syncs, its lighting editor chooses what every synced device
                // shows.
                connect(light, &profile::CLightControlUI::light_changed, this,
                        [this, mouse](const profile::LightInfo& info) {
                            if (mouse->light_sync())
                                choose_sync_effect(sync_choice_for_mouse(
                                    info.mode, info.speed,
                                    std::uint32_t(info.red) << 16 | std::uint32_t(info.green) << 8 |
                                        info.blue,
                                    info.multi_colour != 0));
                        });
            }
        }
        // A music effect chosen or left: the companion follows.
        connect(p, &Page::lighting_shown, this, &DeviceManager::update_audio_companion);
        connect(p, &Page::refreshed, this, [this, p] {
            if (loaded_pages_.insert(p).second)
                host_.page_loaded();
        });
        page = p;
    };
    if (is_keyboard(type)) {
        auto* keyboard = new model::CZentovaKeyboardDevice(hid_);
        set_up(keyboard);
        keyboard_pages_.push_back(keyboard);
    } else {
        auto* mouse = new model::CZentovaMouseDevice(hid_);
        mouse->set_sensors(model::sensor_table(catalog_->models()[*kind_index]));
        set_up(mouse);
        host_.mouse_page_added(*mouse);
        mouse_pages_.push_back(mouse);
    }
    const int page_index = pages->addWidget(page);
    window_.attach_controls(page);
    window_.attach_controls(power);
    pages_.push_back(page);
    show_audio_availability();

    auto* t = new ui::CDeviceOptionUI;
    strip->layout()->addWidget(t);
    t->set_sync(false);
    t->set_header(text_of(kind.header));
    t->set_binding(QStringLiteral("device_switch"), page_index);
    t->set_power(text_of(kind.power_container), power_index);
    t->set_device_type(type, sub_type);
    t->set_kind_name(text_of(kind.kind_name));
    t->set_page(page);
    if (const auto images = tile_images(type, sub_type)) {
        t->set_images(text_of(images->normal), text_of(images->selected),
                      text_of(images->synchro_normal), text_of(images->synchro_selected));
        t->set_name_text_id(text_of(images->name_text_id));
    }
    window_.attach_controls(t);
    t->set_linked(false);
    tiles_.emplace_back(t);
    page->set_tile(t);

    auto target = std::make_shared<LightSyncTarget>();
    sync_targets_.push_back(target);
    if (light_sync_)
        light_sync_->add_target(target);
    return true;
}

void DeviceManager::linked_tiles(int& first, int& count) const {
    first = -1;
    count = 0;
    for (std::size_t i = 0; i < tiles_.size(); ++i) {
        if (tiles_[i] != nullptr && tiles_[i]->linked()) {
            if (first < 0)
                first = static_cast<int>(i);
            ++count;
        }
    }
}

int DeviceManager::visible_tiles() const {
    int first = -1;
    int count = 0;
    linked_tiles(first, count);
    return count;
}

void DeviceManager::update_tile_link_text(int index) {
    ui::CDeviceOptionUI* t = tile(index);
    if (t == nullptr)
        return;
    auto* page = qobject_cast<model::CZentovaUSBDevice*>(t->page());
    QString id;
    if (page != nullptr && page->linked())
        id = page->link_mode() == 2 ? QStringLiteral("tile_link_receiver_text")
                                    : QStringLiteral("tile_link_cable_text");
    t->set_link_text_id(id);
}

void DeviceManager::select_tile(int index, bool visible, bool select) {
    ui::CDeviceOptionUI* t = tile(index);
    if (t == nullptr)
        return;
    t->set_linked(visible);
    update_tile_link_text(index);
    if (select) {
        // Another device shown ends the recording of the one before.
        host_.showing_page(t->page());
        pui::select_page(window_.find_control(t->bound_container()), t->page_index());
        QWidget* power = window_.find_control(t->power_container());
        if (t->power_index() < 0) {
            if (power != nullptr)
                power->hide();
        } else {
            if (power != nullptr)
                power->show();
            pui::select_page(power, t->power_index());
        }
        for (const auto& other : tiles_) {
            if (other != nullptr && other != t)
                other->set_selected(false);
        }
        t->set_selected(true);
    }
    int visible_count = 0;
    int sync_count = 0;
    for (const auto& other : tiles_) {
        if (other != nullptr && other->linked()) {
            ++visible_count;
            if (other->sync_on())
                ++sync_count;
        }
    }
    QWidget* banner = window_.find_control(QStringLiteral("No_device_Link"));
    if (visible_count == 0) {
        if (banner != nullptr)
            banner->show();
        pui::select_page(window_.find_control(QStringLiteral("device_power_switch")), 0);
        pui::select_page(window_.find_control(QStringLiteral("device_switch")), 0);
    } else if (banner != nullptr) {
        banner->hide();
    }
    for_each_page([visible_count](model::CZentovaUSBDevice& page) {
        page.set_multiple_devices(visible_count > 1);
    });
    // Light sync needs a second device: the box shows only then.
    for (const auto& other : tiles_) {
        if (other != nullptr && other->sync_box() != nullptr)
            other->sync_box()->setVisible(visible_count > 1);
    }
    if (sync_count <= 1) {
        for (const auto& other : tiles_) {
            if (other != nullptr)
                other->set_sync(false);
        }
    }
    update_denied_notice();
    sync_light_targets();
    update_audio_companion();
    host_.tiles_updated();
}

void DeviceManager::drop_tile(int index) {
    ui::CDeviceOptionUI* t = tile(index);
    if (t == nullptr)
        return;
    int other = -1;
    if (t->linked() && t->selected()) {
        // The shown device goes: the auxiliary windows close, its recording ends and the
        // capture with it.
        host_.shown_page_lost();
        for (std::size_t i = 0; i < tiles_.size(); ++i) {
            if (static_cast<int>(i) != index && tiles_[i] != nullptr && tiles_[i]->linked()) {
                other = static_cast<int>(i);
                break;
            }
        }
    }
    select_tile(index, false, false);
    if (other >= 0)
        select_tile(other, true, true);
}

void DeviceManager::select_neighbour_tile(int step) {
    const int n = static_cast<int>(tiles_.size());
    int current = -1;
    for (int i = 0; i < n; ++i) {
        if (tiles_[static_cast<std::size_t>(i)] != nullptr &&
            tiles_[static_cast<std::size_t>(i)]->linked() &&
            tiles_[static_cast<std::size_t>(i)]->selected()) {
            current = i;
        }
    }
    if (current < 0)
        return;
    for (int k = 1; k < n; ++k) {
        const int i = ((current + step * k) % n + n) % n;
        if (ui::CDeviceOptionUI* t = tile(i); t != nullptr && t->linked()) {
            select_tile(i, true, true);
            return;
        }
    }
}

void DeviceManager::deliver_sync_colours() {
    for (std::size_t i = 0; i < pages_.size() && i < sync_targets_.size(); ++i) {
        if (sync_targets_[i]->pushes.load() != 0)
            pages_[i]->set_sync_colour(sync_targets_[i]->colour.load());
    }
}

void DeviceManager::refill_profile_lists(const profile::CDeviceProfileUI* changed) {
    if (changed == nullptr || changed->list() == nullptr)
        return;
    for (model::CZentovaUSBDevice* page : pages_) {
        auto* profiles = page->findChild<profile::CDeviceProfileUI*>();
        if (profiles != nullptr && profiles != changed && profiles->list() != nullptr &&
            profiles->list()->folder() == changed->list()->folder()) {
            profiles->reload_list();
        }
    }
}

void DeviceManager::sync_light_targets() {
    for (std::size_t i = 0; i < pages_.size() && i < sync_targets_.size(); ++i) {
        sync_targets_[i]->linked = pages_[i]->linked();
        sync_targets_[i]->sync = pages_[i]->light_sync();
    }
    if (light_sync_)
        light_sync_->changed();
}

// ---- Arrival, loss and the link switch ----

void DeviceManager::on_device_arrived(std::size_t slot) {
    if (slot >= slots_.size())
        return;
    const DeviceSlot s = slots_.slot(slot);
    const int type = s.row.device_type;
    const std::size_t command = command_slot(slots_, slot).value_or(slot);
    const bool exists = page_exists(slot);
    if (is_keyboard(type)) {
        if (!exists)
            create_device_page(command, 0);
        // The keyboard arrives on either link as the mouse does.
        mouse_arrival(slot);
        platform::debug_output("添加一个键盘设备");
    } else if (is_mouse(type)) {
        if (!exists)
            create_device_page(command, 0);
        mouse_arrival(slot);
        platform::debug_output("添加一个鼠标设备");
    } else if (type == link::TypeMousePad || type == link::TypeHeadset) {
        if (!exists)
            create_device_page(command, 0);
        platform::debug_output("添加一个鼠标垫设备");
    }
    // The window comes forward for a device plugged in later; during the first pass it waits
    // for the pass to end.
    if (first_pass_done_) {
        host_.device_came();
    } else {
        update_no_device_banner();
    }
}

void DeviceManager::mouse_arrival(std::size_t slot) {
    const DeviceSlot s = slots_.slot(slot);
    const int type = s.row.device_type;
    const link::DeviceIdentity wired = wired_identity(slots_, slot);
    if (s.row.device_sub_type == link::SubTypeNotification) {
        if (model::CZentovaUSBDevice* page = page_for_identity(wired))
            page->open_notification(s.path, type);
        return;
    }
    if (!partner_linked(slot)) {
        model::CZentovaUSBDevice* page = page_for_identity(wired);
        if (page == nullptr || page->linked())
            return;
        bool opened = false;
        {
            std::lock_guard<std::mutex> lock(page->link_mutex());
            opened = page->open_command_link(s.path, is_receiver(type));
        }
        if (!opened) {
            platform::debug_printf("mouse: cannot open %s\n", s.path.c_str());
            return;
        }
        page->set_linked(true);
        page->set_link_mode(is_receiver(type) ? 2 : 1);
        page->set_wired_identity(wired);
        const int index = tile_index_of_page(page);
        if (index < 0)
            return;
        // A receiver-linked tile waits until the mouse behind the receiver answers.
        if (!is_receiver(type)) {
            int first = -1;
            int count = 0;
            linked_tiles(first, count);
            select_tile(index, true, count == 0);
        }
        sync_light_targets();
        page->start_tile_timer(model::TimerReload, kPollStartMs);
        return;
    }
    // The cable was plugged into a device that is linked through its receiver.
    if (type == link::TypeMouse || type == link::TypeKeyboard)
        switch_link(slot);
}

void DeviceManager::switch_link(std::size_t slot) {
    const DeviceSlot s = slots_.slot(slot);
    model::CZentovaUSBDevice* page = page_for_identity(wired_identity(slots_, slot));
    const auto partner = mutual_partner(slots_, slot);
    if (page == nullptr && partner)
        page = page_for_identity(wired_identity(slots_, *partner));
    if (page == nullptr)
        return;
    const bool to_receiver = !page->use_receiver();
    std::string path = s.path;
    if (!page->use_receiver())
        path = partner ? slots_.slot(*partner).path : std::string();
    bool opened = false;
    {
        std::lock_guard<std::mutex> lock(page->link_mutex());
        page->close_command_links();
        opened = !path.empty() && page->open_command_link(path, to_receiver);
    }
    const int index = tile_index_of_page(page);
    if (!opened) {
        // Not linked on either link: the tile goes until an interface comes back.
        platform::debug_printf("mouse: cannot switch to %s\n", path.c_str());
        sync_light_targets();
        drop_tile(index);
        return;
    }
    page->set_linked(true);
    if (to_receiver) {
        page->set_link_mode(2);
        if (page->receiver_query()) {
            int failures = 0;
            while (!model::receiver_link_ok(page->channel())) {
                std::this_thread::sleep_for(kReceiverQueryPause);
                if (++failures >= kReceiverQueries)
                    break;
                platform::debug_output("获取2.4G模式失败");
            }
            platform::debug_output("获取2");
            page->reload_all();
        }
        if (index >= 0) {
            if (page->linked())
                page->start_tile_timer(model::TimerPowerAfterSwitch, kPowerAfterSwitchMs);
            page->after_link_switch();
            host_.link_switched();
        }
    } else {
        page->set_link_mode(1);
        if (index >= 0) {
            page->start_tile_timer(model::TimerReload, kPollStartMs);
            window_.post_message(kMsgTileLink, static_cast<pui::WParam>(page->kind_row()), 1);
            host_.link_switched();
        }
        if (page->receiver_query())
            page->reload_all();
    }
    update_tile_link_text(index);
    sync_light_targets();
    host_.tiles_updated();
}

void DeviceManager::on_device_lost(std::size_t slot) {
    if (slot >= slots_.size())
        return;
    const DeviceSlot s = slots_.slot(slot);
    const int type = s.row.device_type;
    if (is_keyboard(type)) {
        platform::debug_output("删除一个键盘设备");
    } else if (type == link::TypeMousePad || type == link::TypeHeadset) {
        platform::debug_output("删除一个鼠标垫设备");
    }
    if (!is_mouse(type) && !is_keyboard(type))
        return;
    if (is_mouse(type))
        platform::debug_output("删除一个鼠标设备");
    const link::DeviceIdentity wired = wired_identity(slots_, slot);
    if (s.row.device_sub_type == link::SubTypeNotification) {
        if (model::CZentovaUSBDevice* page = page_for_identity(wired))
            page->close_notification(type);
        return;
    }
    if (is_mouse(type))
        platform::debug_output("鼠标设备丢失");
    if (!partner_linked(slot)) {
        model::CZentovaUSBDevice* page = page_for_identity(wired);
        if (page == nullptr)
            return;
        {
            std::lock_guard<std::mutex> lock(page->link_mutex());
            page->close_command_links();
        }
        sync_light_targets();
        drop_tile(tile_index_of_page(page));
        return;
    }
    // The cable was pulled while the receiver still holds the device.
    if (type == link::TypeMouse || type == link::TypeKeyboard)
        switch_link(slot);
}

void DeviceManager::on_tile_link(int kind_row, bool present) {
    const int index = tile_index_of_kind_row(kind_row);
    ui::CDeviceOptionUI* t = tile(index);
    if (t == nullptr)
        return;
    if (!present) {
        drop_tile(index);
        platform::debug_output("2.4gcesvdfherhue 1");
        return;
    }
    if (!t->linked()) {
        int first = -1;
        int count = 0;
        linked_tiles(first, count);
        select_tile(index, true, count == 0);
    }
}

void DeviceManager::update_denied_notice() {
    QWidget* notice = window_.find_control(QStringLiteral("no_device_denied"));
    if (notice == nullptr)
        return;
    // Only while nothing is shown: a mouse that works needs no such notice.
    const bool denied = !denied_.empty() && visible_tiles() == 0 && first_pass_done_;
    notice->setVisible(denied);
    // The advice fits the install: the package's helper beside us means its rule is in place
    // (re-plug, or "Allow access" with pkexec); a build tree has only the commands to copy it.
    const platform::AccessHelper none;
    const platform::AccessHelper& helper =
        access_offer_ != nullptr ? access_offer_->helper() : none;
    auto show_id = [](QWidget* label, const QString& id) {
        if (label != nullptr && pui::text_id(label) != id)
            pui::set_text_id(label, id);
    };
    show_id(notice, helper.helper.empty()   ? QStringLiteral("no_device_denied_text")
                    : helper.runner.empty() ? QStringLiteral("no_device_denied_no_pkexec_text")
                                            : QStringLiteral("no_device_denied_installed_text"));
    // The heading says what the line below says; the plug-in hint would contradict it.
    show_id(window_.find_control(QStringLiteral("no_device_title")),
            denied ? QStringLiteral("no_device_denied_title_text")
                   : QStringLiteral("no_device_title_text"));
    if (QWidget* hint = window_.find_control(QStringLiteral("no_device_hint")))
        hint->setVisible(!denied);
    if (access_offer_ != nullptr)
        access_offer_->update(denied);
}

void DeviceManager::update_no_device_banner() {
    // The window may show before the first scan pass has looked for devices: "no device" is
    // said only once it has.
    if (QWidget* banner = window_.find_control(QStringLiteral("No_device_Link")))
        banner->setVisible(visible_tiles() == 0 && first_pass_done_);
    update_denied_notice();
}

bool DeviceManager::linked_mice_loaded() const {
    for (model::CZentovaMouseDevice* page : mouse_pages_) {
        if (page->linked() && loaded_pages_.count(page) == 0)
            return false;
        // The battery is read with the load; a picture without it would show "--".
        const ui::CMpDevicePowerUI* power = page->power_control();
        if (page->linked() && page->power_capable() && power != nullptr && !power->last_status())
            return false;
    }
    return true;
}

void DeviceManager::on_tile_notify(QWidget* sender, const QString& name, bool selected) {
    for (std::size_t i = 0; i < tiles_.size(); ++i) {
        ui::CDeviceOptionUI* t = tiles_[i];
        if (t == nullptr || !t->isAncestorOf(sender))
            continue;
        if (name.compare(QLatin1String("device_select"), Qt::CaseInsensitive) == 0) {
            if (selected)
                select_tile(static_cast<int>(i), true, true);
        } else if (auto* page = qobject_cast<model::CZentovaUSBDevice*>(t->page())) {
            // The light-sync box: a page syncs only while another device is shown too.
            page->set_light_sync(selected && page->multiple_devices());
            t->update_picture();
            sync_light_targets();
        }
        return;
    }
}

// ---- What every page learns ----

void DeviceManager::switch_function_page(int tab_code) {
    tab_code_ = tab_code;
    for (model::CZentovaMouseDevice* page : mouse_pages_)
        page->switch_function_page(tab_code);
}

void DeviceManager::set_window_shown(bool shown) {
    for_each_page([shown](model::CZentovaUSBDevice& page) { page.set_page_visible(shown); });
}

void DeviceManager::set_window_active(bool active) {
    for_each_page([active](model::CZentovaUSBDevice& page) { page.set_window_active(active); });
}

void DeviceManager::set_hovered(bool hovered) {
    for_each_page([hovered](model::CZentovaUSBDevice& page) { page.set_hovered(hovered); });
}

void DeviceManager::set_language(int index) {
    for_each_page([index](model::CZentovaUSBDevice& page) { page.set_language(index); });
    show_audio_availability();
}

std::filesystem::path DeviceManager::sync_choice_file() const {
    return user_data_ / "LightSync.json";
}

void DeviceManager::choose_sync_effect(const SyncChoice& choice) {
    if (light_sync_)
        light_sync_->set_choice(choice);
    // Kept for the next start; a file that cannot be written leaves the effect in force now.
    if (!user_data_.empty())
        write_sync_choice(sync_choice_file(), choice);
}

void DeviceManager::on_game_event(GameEvent event, long long argument, std::uint32_t rgb) {
    const GameFlash flash = game_flash(event, argument, rgb);
    for_each_page([&flash](model::CZentovaUSBDevice& page) {
        if (page.linked())
            page.flash_colour(flash.colour, flash.flashes, GameFlash::FlashMs);
    });
}

void DeviceManager::set_lighting_control(bool on) {
    lighting_control_ = on;
    for_each_page([on](model::CZentovaUSBDevice& page) { page.set_software_lighting(on); });
}

void DeviceManager::set_asleep(bool asleep) {
    if (asleep == asleep_)
        return;
    asleep_ = asleep;
    update_audio_companion();
    if (asleep) {
        for_each_page([](model::CZentovaUSBDevice& page) { page.set_software_lighting(false); });
        return;
    }
    for_each_page(
        [this](model::CZentovaUSBDevice& page) { page.set_software_lighting(lighting_control_); });
    // Devices that came or went during the sleep: their slots say where they are now.
    const std::set<std::size_t> deferred = std::move(deferred_slots_);
    deferred_slots_.clear();
    for (std::size_t slot : deferred) {
        if (slots_.slot(slot).linked) {
            on_device_arrived(slot);
        } else {
            on_device_lost(slot);
        }
    }
}

// ---- Other programs ----

void DeviceManager::receive_data_block(unsigned kind, const QByteArray& block) {
    if (block.isEmpty() || asleep_)
        return;
    auto* buffer = kind == 1 ? &audio_levels_ : kind == 2 ? &keyboard_block_ : nullptr;
    if (buffer == nullptr)
        return;
    // A short block clears the rest of the buffer: it never mixes with the one before.
    if (!platform::ipc::copy_data_block(std::as_bytes(std::span(block.constData(), block.size())),
                                        std::as_writable_bytes(std::span(*buffer)))) {
        platform::debug_printf("data block %u of %lld bytes refused (buffer %zu)\n", kind,
                               static_cast<long long>(block.size()), buffer->size());
        return;
    }
    if (kind == 1) {
        show_audio_level(audio_reactive_.take_block(audio_levels_));
    } else if (!keyboard_pages_.empty()) {
        keyboard_pages_.front()->take_data_block(keyboard_block_);
    }
}

void DeviceManager::show_audio_level(std::uint8_t level) {
    for (model::CZentovaUSBDevice* page : pages_)
        page->show_audio_level(level);
}

void DeviceManager::set_audio_companion(std::unique_ptr<AudioCompanion> companion) {
    audio_ = std::move(companion);
    if (audio_ == nullptr)
        return;
    connect(audio_.get(), &AudioCompanion::availability_changed, this,
            &DeviceManager::show_audio_availability);
    // No more levels: the keys go dark rather than freeze at the last one.
    connect(audio_.get(), &AudioCompanion::stopped, this, [this] {
        audio_reactive_.reset();
        show_audio_level(0);
    });
    update_audio_companion();
    show_audio_availability();
}

void DeviceManager::update_audio_companion() {
    // Once the workers have stopped the program is ending: nothing starts again.
    if (audio_ == nullptr || workers_stopped_)
        return;
    bool wanted = false;
    for (std::size_t i = 0; i < pages_.size() && !asleep_; ++i) {
        const ui::CDeviceOptionUI* t = tile(static_cast<int>(i));
        if (t != nullptr && t->linked() && pages_[i]->audio_effect_selected())
            wanted = true;
    }
    if (wanted == audio_->wanted())
        return;
    audio_->set_wanted(wanted);
    if (!wanted) {
        audio_reactive_.reset();
        show_audio_level(0);
    }
}

void DeviceManager::show_audio_availability() {
    if (audio_ == nullptr)
        return;
    const QString id = audio_->unavailable_text_id();
    const QString text = id.isEmpty() ? QString()
                                      : platform::ui::LanguageTexts::instance()
                                            .text(QStringLiteral("light_audio_unavailable_text"))
                                            .arg(platform::ui::LanguageTexts::instance().text(id));
    for (model::CZentovaUSBDevice* page : pages_) {
        if (profile::CLightControlUI* editor = page->light_editor())
            editor->set_audio_unavailable(text, audio_->detail());
    }
}

QByteArray DeviceManager::tool_query_block() const {
    // Four program integers (program, version, kinds block format, spare), the number of kinds,
    // then vendor ID, product ID and type of each kind; 32-bit little-endian, 1024 bytes.
    QByteArray block(1024, '\0');
    int offset = 0;
    auto put = [&block, &offset](std::uint32_t v) {
        if (offset + 4 > block.size())
            return;
        for (int i = 0; i < 4; ++i)
            block[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        offset += 4;
    };
    const DeviceKindTable& kinds = kinds_;
    put(0x0260);
    put(1);
    put(1);
    put(0);
    put(static_cast<std::uint32_t>(kinds.size()));
    for (const DeviceKindRow& row : kinds) {
        put(row.vendor_id);
        put(row.product_id);
        put(row.device_type);
    }
    return block;
}

// ---- What a script may look at ----

std::string DeviceManager::automation_state() const {
    Json::Value root(Json::objectValue);
    root["window_visible"] = window_.isVisible();
    const QWidget* banner = window_.find_control(QStringLiteral("No_device_Link"));
    root["no_device_link"] = banner != nullptr && !banner->isHidden();
    Json::Value tiles(Json::arrayValue);
    for (const auto& t : tiles_) {
        if (t == nullptr)
            continue;
        Json::Value tile(Json::objectValue);
        tile["kind"] = t->kind_name().toStdString();
        tile["visible"] = t->linked();
        tile["selected"] = t->selected();
        const auto* page = qobject_cast<const model::CZentovaUSBDevice*>(t->page());
        std::string link = "none";
        if (page != nullptr && page->linked())
            link = page->link_mode() == 2 ? "receiver" : "cable";
        tile["link"] = link;
        tile["loaded"] = page != nullptr && page->linked() && page->device_loaded();
        tile["page"] = t->page_index();
        tiles.append(tile);
    }
    root["tiles"] = tiles;
    root["denied"] = static_cast<Json::UInt>(denied_.size());
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    return Json::writeString(writer, root);
}

}  // namespace velqa::app
