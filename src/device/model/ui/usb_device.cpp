#include "device/model/ui/usb_device.h"

#include <QHBoxLayout>
#include <QMetaObject>
#include <QTimer>
#include <system_error>

#include "device/model/mouse_core.h"
#include "device/model/mouse_settings.h"
#include "device/model/ui/mouse_device.h"
#include "platform/debug_output.h"
#include "platform/folders.h"
#include "platform/json_read.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/layout_builder.h"
#include "profile/profile_files.h"
#include "profile/ui/light_control.h"
#include "ui/device_key_button.h"
#include "ui/mp_device_power.h"
#include "ui/msg_wnd.h"

namespace velqa::model {

namespace pui = platform::ui;

CZentovaUSBDevice::CZentovaUSBDevice(std::shared_ptr<platform::hid::HidBackend> backend,
                                     QWidget* parent)
    : QWidget(parent),
      channel_(backend),
      notify_channel_(std::move(backend)),
      default_data_(platform::resources_folder() / "DefaultData") {
    channel_.set_lock_wait(WindowLockWait);
    notify_channel_.set_lock_wait(WindowLockWait);
    setProperty(pui::kClassProperty, QString::fromLatin1(kClassName));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

CZentovaUSBDevice::~CZentovaUSBDevice() {
    stop_all_tile_timers();
}

void CZentovaUSBDevice::set_key_count(int count) {
    keys_.assign(static_cast<std::size_t>(std::max(count, 0)), nullptr);
}

void CZentovaUSBDevice::set_light_count(int count) {
    const auto n = static_cast<std::size_t>(std::max(count, 0));
    lights_.assign(n, nullptr);
    frame_.resize(n);
}

void CZentovaUSBDevice::set_power_control(ui::CMpDevicePowerUI* power) {
    power_ = power;
    if (power != nullptr)
        power->show_layout(power_capable_);
}

ui::CMpDevicePowerUI* CZentovaUSBDevice::power_control() const {
    return qobject_cast<ui::CMpDevicePowerUI*>(power_.data());
}

void CZentovaUSBDevice::set_power_capable(bool on) {
    power_capable_ = on;
    if (auto* power = power_control())
        power->show_layout(on);
}

void CZentovaUSBDevice::set_software_lighting(bool on) {
    software_lighting_ = on;
    if (on && type_ == 1)
        channel_.lighting_control_on();
}

void CZentovaUSBDevice::set_data_folders(std::filesystem::path default_data,
                                         std::filesystem::path user_data) {
    default_data_ = std::move(default_data);
    user_data_ = std::move(user_data);
}

std::filesystem::path CZentovaUSBDevice::default_profile_file() const {
    return default_data_ / (name_ + ".Json");
}

std::filesystem::path CZentovaUSBDevice::user_data_folder() const {
    const auto base = user_data_.empty() ? platform::user_data_folder() : user_data_;
    auto folder = base / name_;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

QWidget* CZentovaUSBDevice::find(const QString& name) const {
    return pui::Window::find_sub_control_by_name(const_cast<CZentovaUSBDevice*>(this), name);
}

platform::IndexedName CZentovaUSBDevice::indexed_name(const QString& name) {
    return platform::split_indexed_name(name.toStdString()).value_or(platform::IndexedName{{}, -1});
}

void CZentovaUSBDevice::set_page_parts(profile::CBasicProfiledata& profile,
                                       std::unique_ptr<PreviewLoop> light, const char* debug_name) {
    profile_data_ = &profile;
    light_ = std::move(light);
    debug_name_ = debug_name;
}

void CZentovaUSBDevice::make_notifications(MouseNotifications::Kinds kinds) {
    notify_kinds_ = kinds;
    // The handler runs on a worker thread: it only posts to this page's thread. Posted calls
    // still pending when the page is destroyed are dropped with it.
    notifications_ = std::make_unique<MouseNotifications>(
        notify_channel_, channel_,
        [this](const NotificationEvent& event) {
            QMetaObject::invokeMethod(
                this, [this, event] { on_notification_event(event); }, Qt::QueuedConnection);
        },
        std::move(kinds));
}

void CZentovaUSBDevice::post_frame() {
    if (frame_posted_.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            frame_posted_ = false;
            show_led_frame();
        },
        Qt::QueuedConnection);
}

void CZentovaUSBDevice::stop_threads() {
    if (light_)
        light_->stop();
    if (notifications_) {
        notifications_->close_notification(notify_kinds_.wired_type);
        notifications_->close_notification(notify_kinds_.receiver_type);
    }
}

bool CZentovaUSBDevice::open_notification(const std::string& path, int type) {
    return notifications_ && notifications_->open_notification(path, type);
}

bool CZentovaUSBDevice::reopen_notification(const std::string& path, int type) {
    return notifications_ && notifications_->reopen_notification(path, type);
}

void CZentovaUSBDevice::close_notification(int type) {
    if (notifications_)
        notifications_->close_notification(type);
}

void CZentovaUSBDevice::on_notification_event(const NotificationEvent& event) {
    switch (event.action.kind) {
        case NotificationAction::Kind::ReloadSettings:
            start_tile_timer(TimerSettings, SettingsReloadDelayMs);
            return;
        case NotificationAction::Kind::Reactive:
            show_reactive(event);
            return;
        case NotificationAction::Kind::SetSlot:
            if (!apply_slot_change(event.action))
                return;
            if (showing_device_values_)
                show_device_values(false);
            else
                refresh_page();
            return;
        case NotificationAction::Kind::None:
            return;
    }
}

bool CZentovaUSBDevice::own_notification(const pui::Notification& msg) {
    if (msg.sender == nullptr || !isAncestorOf(msg.sender))
        return false;
    platform::debug_output("测试成功   、n");
    return true;
}

// ---- Profile ----

void CZentovaUSBDevice::set_profile_file(const std::filesystem::path& file) {
    attach_profile(file);
    profile_loaded_ = true;
}

void CZentovaUSBDevice::ensure_profile() {
    if (!profile_loaded_ && profile_data_ != nullptr)
        set_profile_file(user_data_folder() / (name_ + ".Json"));
}

void CZentovaUSBDevice::apply_profile_file(const std::filesystem::path& file) {
    set_profile_file(file);
    load_profile_into_page();
    refresh_page();
    apply_lighting_from_profile();
    // Not a reload from the device: that would copy its settings over the chosen profile.
    if (device_loaded()) {
        write_settings();
        write_profile_extras();
    }
}

std::filesystem::path CZentovaUSBDevice::profile_path() const {
    return profile_data_ != nullptr ? profile_data_->profile_path() : std::filesystem::path();
}

void CZentovaUSBDevice::change_audio_lighting(const profile::AudioLightInfo&) {
    platform::debug_printf("%s: no device core keeps the music lighting\n", debug_name_);
}

void CZentovaUSBDevice::restore_defaults() {
    ensure_profile();
    if (profile_data_ == nullptr)
        return;
    const Json::Value factory = profile::read_json(default_data_ / factory_profile_file());
    const Json::Value& section =
        platform::element(platform::member(factory, "Device"), static_cast<Json::ArrayIndex>(0));
    if (!section.isObject()) {
        platform::debug_printf("%s: no factory settings to restore\n", debug_name_);
        return;
    }
    const std::filesystem::path file = profile_data_->profile_path();
    if (!profile_data_->store_section(section, file))
        return;
    set_profile_file(file);
    load_profile_into_page();
    refresh_page();
    apply_lighting_from_profile();
    write_settings();
}

// ---- Device ----

void CZentovaUSBDevice::reload_all() {
    ensure_profile();
    const bool busy = link_busy(load_from_device());
    // The battery is shown with the rest of the page, not a poll period later.
    if (!busy && power_capable_ && channel_.link_open())
        poll_power_status();
    load_profile_into_page();
    read_device_settings(Mirror::IntoProfile);
    refresh_page();
    apply_lighting_from_profile();
    if (light_)
        light_->restart();
    after_reload(busy);
}

void CZentovaUSBDevice::reload_settings() {
    ensure_profile();
    if (showing_device_values_) {
        // The profile still holds values the device refused: they stay there for a retry.
        show_device_values(true);
        return;
    }
    const bool lighting = read_device_settings(Mirror::IntoProfile);
    refresh_page();
    if (lighting)
        apply_lighting_from_profile();
}

int CZentovaUSBDevice::write_settings() {
    const int result = write_device_settings();
    settings_written(result);
    return result;
}

void CZentovaUSBDevice::show_device_values(bool fresh_read) {
    // Earlier writes may have changed the device since the last read; when the read fails too,
    // the last record read. The profile is left alone for a retry.
    if (fresh_read)
        read_device_settings(Mirror::No);
    show_device_state();
    showing_device_values_ = true;
}

bool CZentovaUSBDevice::poll_power_status() {
    PowerUpdate update;
    if (poll_power(channel_, power_capable_, power_suppress_, update) != link::result::Success)
        return false;
    if (auto* power = power_control())
        power->show_status(update.block.bytes.data(), update.block.bytes.size());
    send_to_main(update.message, update.message_param);
    return true;
}

// ---- Page ----

void CZentovaUSBDevice::bind_page_controls() {
    if (page_ == nullptr && !default_page_layout().isEmpty()) {
        const QString file = page_layout_.isEmpty() ? default_page_layout() : page_layout_;
        page_ = pui::Window::build_layout(file, this, layout_callback());
        if (page_ != nullptr) {
            layout()->addWidget(page_);
            page_built();
        } else {
            platform::debug_printf("%s: layout %s could not be built\n", debug_name_,
                                   file.toUtf8().constData());
        }
    }
    std::fill(keys_.begin(), keys_.end(), nullptr);
    std::fill(lights_.begin(), lights_.end(), nullptr);
    if (name_.empty()) {
        keys_.clear();
        lights_.clear();
        frame_.resize(0);
        return;
    }
    QWidget* panel = find(QStringLiteral("SelectPanel"));
    if (panel == nullptr)
        return;
    for (QWidget* child : panel->findChildren<QWidget*>()) {
        const QString cls = child->property(pui::kClassProperty).toString();
        if (!cls.contains(QLatin1String("DeviceKeyButton")))
            continue;
        const auto [prefix, n] = indexed_name(child->objectName());
        const auto at = static_cast<std::size_t>(n);
        if (prefix == "key_") {
            if (at < keys_.size())
                keys_[at] = child;
        } else if (prefix == "light_") {
            if (at < lights_.size()) {
                lights_[at] = child;
                if (auto* zone = qobject_cast<ui::CDeviceKeyButtonUI*>(child))
                    zone->set_led_color(0xFFFFFFFFu);
                else
                    pui::set_bk_color(child, 0xFFFFFFFFu);
            }
        }
    }
}

void CZentovaUSBDevice::set_page_visible(bool on) {
    page_visible_ = on;
    if (light_)
        light_->set_hidden(!on);
}

profile::CLightControlUI* CZentovaUSBDevice::light_editor() const {
    return page_ != nullptr ? page_->findChild<profile::CLightControlUI*>() : nullptr;
}

void CZentovaUSBDevice::fill_light_editor(profile::CBasicProfiledata& shown) {
    profile::CLightControlUI* editor = light_editor();
    if (editor == nullptr)
        return;
    editor->set_light_type(light_editor_type());
    editor->set_light_sync(light_sync());
    if (!light_modes_filled_) {
        std::vector<QString> names;
        std::vector<bool> visible;
        light_mode_list(names, visible);
        editor->set_mode_list(names, visible, LightLevelMax, LightLevelMax);
        light_modes_filled_ = true;
    }
    editor->set_light_info(shown.light_info());
    editor->set_audio_light_info(shown.read_audio_light_info());
}

void CZentovaUSBDevice::apply_lighting_from_profile() {
    if (profile_data_ != nullptr)
        show_lighting(profile_data_->light_info());
}

void CZentovaUSBDevice::show_lighting(const profile::LightInfo& info) {
    set_lighting_values({info.mode, info.brightness, info.speed}, info.direction);
    shown_light_mode_ = info.mode;
    emit lighting_shown();
    if (!light_)
        return;
    // The preview computes one entry per light indicator of the page.
    if (light_->frame().size() != frame_.size())
        light_->set_led_count(frame_.size());
    light_->set_lighting(lighting_from_record(info));
}

void CZentovaUSBDevice::show_led_frame() {
    if (light_)
        frame_ = light_->frame();
    if (light_sync_ && sync_colour_) {
        for (std::size_t i = 0; i < frame_.size(); ++i)
            frame_.set(i, *sync_colour_);
    }
    if (flash_ && flash_on_) {
        for (std::size_t i = 0; i < frame_.size(); ++i)
            frame_.set(i, *flash_);
    } else if (flash_) {
        for (std::size_t i = 0; i < frame_.size(); ++i)
            frame_.set(i, 0);
    }
    if (!preview_enabled_)
        return;
    for (std::size_t i = 0; i < lights_.size() && i < frame_.size(); ++i) {
        QWidget* light = lights_[i];
        if (light == nullptr || !light->isVisible())
            continue;
        const LedEntry& e = frame_[i];
        const std::uint32_t argb = std::uint32_t(e.brightness) << 24 | std::uint32_t(e.red) << 16 |
                                   std::uint32_t(e.green) << 8 | e.blue;
        // Painted directly: a style sheet per frame would be parsed again for every zone.
        if (auto* zone = qobject_cast<ui::CDeviceKeyButtonUI*>(light))
            zone->set_led_color(argb);
        else
            pui::set_bk_color(light, argb);
    }
}

void CZentovaUSBDevice::set_led_entry(int index, std::uint32_t value) {
    if (index >= 0)
        frame_.set(static_cast<std::size_t>(index), value);
}

std::uint32_t CZentovaUSBDevice::led_entry(int index) const {
    return index < 0 ? 0 : frame_.get(static_cast<std::size_t>(index));
}

bool CZentovaUSBDevice::receiver_link_check() {
    return receiver_link_ok(channel_);
}

void CZentovaUSBDevice::switch_function_page(int page_type) {
    function_page_ = page_type;
    const FunctionTabs tabs = function_page_tabs(page_type, type_);
    pui::select_page(find(QStringLiteral("device_function_switch")), tabs.first);
    if (tabs.second)
        pui::select_page(find(QStringLiteral("device_key_function_switch")), *tabs.second);
}

void CZentovaUSBDevice::send_to_main(unsigned message, quintptr param, qintptr lparam) {
    if (main_window_)
        main_window_->post_message(message, param, lparam);
    emit window_message(message, param, lparam);
}

void CZentovaUSBDevice::report_write_failure(const char* text_id, const QString& detail) {
    platform::debug_printf("%s: %s failed\n", name_.c_str(),
                           detail.isEmpty() ? "a write to the device" : "a save of the profile");
    if (write_notice_pending_)
        return;
    write_notice_pending_ = true;
    // Shown after the action that failed, so that all its writes (and the channel's retries)
    // have ended first; dropped with the page.
    QMetaObject::invokeMethod(
        this,
        [this, id = QString::fromLatin1(text_id), detail] {
            QPointer<CZentovaUSBDevice> self(this);
            QWidget* owner = main_window_ ? static_cast<QWidget*>(main_window_.data()) : window();
            const int dpi = main_window_ ? main_window_->dpi() : 96;
            if (detail.isEmpty())
                ui::show_message(owner, QString(), id, dpi, 1, 0);
            else
                ui::show_message(owner, QString(),
                                 pui::LanguageTexts::instance().text(id) + QStringLiteral("\n(") +
                                     detail + QLatin1Char(')'),
                                 dpi, 0, 0);
            if (self)
                write_notice_pending_ = false;
        },
        Qt::QueuedConnection);
}

bool CZentovaUSBDevice::report_applied(const ApplyResult& result) {
    // The save is told first: a profile that lost the change matters more than a mouse that
    // did not take it, and one action shows one notice.
    if (result.failed == ApplyResult::Step::Save)
        report_write_failure(kSaveFailedText, QString::fromStdString(result.save_error));
    return !result.written || settings_written(result.write_code);
}

bool CZentovaUSBDevice::settings_written(int result) {
    if (result == link::result::Success) {
        if (showing_device_values_) {
            // The device took the profile's values, including the ones it refused before.
            refresh_page();
            apply_lighting_from_profile();
        }
        return true;
    }
    // Before the first read nothing was sent: the page ignores changes until then.
    if (!device_loaded())
        return false;
    show_device_values(true);
    report_write_failure();
    return false;
}

bool CZentovaUSBDevice::link_busy(int result) const {
    return result != link::result::Success &&
           channel_.last_failure() == link::HidFailure::LockTimedOut;
}

void CZentovaUSBDevice::after_reload(bool busy) {
    if (!busy) {
        told_link_busy_ = false;
        return;
    }
    // Meanwhile the page shows the profile. A timer of the page's own, as the window's timers
    // are held while the notice waits for the user.
    QTimer::singleShot(LinkRetryMs, this, [this] { on_tile_timer(TimerReload); });
    if (told_link_busy_)
        return;
    told_link_busy_ = true;
    ui::tell_user(this, "link_busy_text");
}

bool CZentovaUSBDevice::open_command_link(const std::string& path, bool receiver) {
    return receiver ? channel_.open_receiver(path) : channel_.open_wired(path);
}

void CZentovaUSBDevice::close_command_links() {
    linked_ = false;
    channel_.close_link();
}

void CZentovaUSBDevice::set_link_mode(int mode) {
    link_mode_ = mode;
    channel_.set_path(mode);
}

void CZentovaUSBDevice::after_link_switch() {
    // On the receiver the mouse may be asleep or out of range: the reload timer checks the
    // link first and shows or hides the tile by what it finds.
    start_tile_timer(TimerReload, PowerStartMs);
}

void CZentovaUSBDevice::set_multiple_devices(bool on) {
    multiple_devices_ = on;
    if (!on)
        set_light_sync(false);
}

void CZentovaUSBDevice::set_light_sync(bool on) {
    const bool was_showing = light_sync_ && sync_colour_;
    light_sync_ = on;
    if (on)
        return;
    sync_colour_.reset();
    if (was_showing)
        show_led_frame();
}

void CZentovaUSBDevice::set_sync_colour(std::uint32_t colour) {
    if (!light_sync_)
        return;
    sync_colour_ = colour;
    show_led_frame();
}

void CZentovaUSBDevice::flash_colour(std::uint32_t colour, int flashes, int on_ms) {
    if (flashes <= 0)
        return;
    if (flash_timer_ == nullptr) {
        flash_timer_ = new QTimer(this);
        connect(flash_timer_, &QTimer::timeout, this, [this] {
            if (--flash_steps_ <= 0) {
                flash_timer_->stop();
                flash_.reset();
                flash_on_ = false;
            } else {
                flash_on_ = !flash_on_;
            }
            show_led_frame();
        });
    }
    // A newer event replaces one still flashing.
    flash_ = colour;
    flash_on_ = true;
    flash_steps_ = 2 * flashes;
    flash_timer_->start(on_ms);
    show_led_frame();
}

// ---- Lifecycle timers ----

void CZentovaUSBDevice::on_tile_timer(int id) {
    stop_tile_timer(id);
    switch (id) {
        case TimerReload:
            if (channel_.receiver_path() && channel_.link_open() && !receiver_link_check()) {
                receiver_lost_mouse();
                return;
            }
            reload_all();
            link_retries_ = 0;
            // The mouse answers through the receiver: its tile may show now.
            if (channel_.receiver_path() && channel_.link_open() && tile_ && tile_->isHidden())
                send_to_main(MsgTileLink, static_cast<quintptr>(kind_row_), 1);
            // The reload has just read the battery.
            if (power_capable_ && channel_.link_open())
                start_tile_timer(TimerPower, PowerPollMs);
            return;
        case TimerSettings:
            reload_settings();
            return;
        case TimerPower:
        case TimerPowerAfterSwitch:
            // The receiver stays while the mouse behind it may go (switched off, out of range):
            // a poll it cannot answer hands over to the reload timer, which hides the tile and
            // looks for the mouse again.
            if (!poll_power_status() && !power_suppress_ && channel_.receiver_path() &&
                channel_.link_open() && !receiver_link_check()) {
                receiver_lost_mouse();
                return;
            }
            if (power_capable_)
                start_tile_timer(TimerPower, PowerPollMs);
            return;
        default:
            return;
    }
}

void CZentovaUSBDevice::receiver_lost_mouse() {
    link_retries_ = (link_retries_ + 1) % (LinkRetryWrap + 1);
    // The window's own visibility does not count: the tile's does.
    if (tile_ && !tile_->isHidden()) {
        // The device manager hides it and selects another device; alone, the page hides it
        // itself.
        if (main_window_)
            send_to_main(MsgTileLink, static_cast<quintptr>(kind_row_), 0);
        else
            tile_->hide();
    }
    start_tile_timer(TimerReload, LinkRetryMs);
}

void CZentovaUSBDevice::start_tile_timer(int id, int delay_ms) {
    if (tile_) {
        if (pui::Window* w = pui::window_of(tile_);
            w != nullptr && w->set_timer(tile_, id, delay_ms))
            return;
    }
    QTimer*& timer = timers_[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this, id] { on_tile_timer(id); });
    }
    timer->start(delay_ms);
}

void CZentovaUSBDevice::stop_tile_timer(int id) {
    if (tile_) {
        if (pui::Window* w = pui::window_of(tile_))
            w->kill_timer(tile_, id);
    }
    if (auto it = timers_.find(id); it != timers_.end())
        it->second->stop();
}

bool CZentovaUSBDevice::tile_timer_active(int id) const {
    if (tile_) {
        if (pui::Window* w = pui::window_of(tile_); w != nullptr && w->has_timer(tile_, id))
            return true;
    }
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

void CZentovaUSBDevice::stop_all_tile_timers() {
    for (auto& [id, timer] : timers_)
        timer->stop();
    if (tile_) {
        if (pui::Window* w = pui::window_of(tile_)) {
            for (int id : {TimerReload, TimerSettings, TimerPower, TimerPowerAfterSwitch})
                w->kill_timer(tile_, id);
        }
    }
}

void register_device_pages() {
    auto& factory = pui::ControlFactory::instance();
    // A page made from a layout has no backend: the device manager makes its pages itself.
    factory.regist_control(QString::fromLatin1(CZentovaUSBDevice::kClassName),
                           [] { return new CZentovaUSBDevice; });
    factory.regist_control(QString::fromLatin1(CZentovaMouseDevice::kClassName),
                           [] { return new CZentovaMouseDevice; });
}

}  // namespace velqa::model
