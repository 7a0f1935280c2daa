// The devices behind the main window: the slot list, a power widget, tile and page for each
// device kind, the scan and light-sync threads, and the slot changes put off while the computer
// sleeps. Its tiles and pages live in the host's window; the manager tells the host only what
// the window itself must act on.
#pragma once

#include <QObject>
#include <QPointer>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/device_slots.h"
#include "app/light_sync.h"
#include "device/model/audio_reactive.h"

#include "platform/access_helper.h"
#include "platform/hid/hid_backend.h"

class QByteArray;
class QWidget;

namespace velqa::platform::ui {
class Window;
}
namespace velqa::model {
class CZentovaUSBDevice;
class CZentovaMouseDevice;
class CZentovaKeyboardDevice;
}  // namespace velqa::model
namespace velqa::profile {
class CDeviceProfileUI;
}
namespace velqa::ui {
class CDeviceOptionUI;
class CMpDevicePowerUI;
}  // namespace velqa::ui

namespace velqa::app {

class AccessOffer;
class AudioCompanion;
class DeviceScanThread;
class LightSyncThread;
struct LightSyncTarget;
class ScanBridge;

// What the manager needs from the window it shows its devices in.
class DeviceManagerHost {
  public:
    // The window that holds the tile strip, the page and power stacks and the banner; the
    // scan's messages and the pages' messages go to it.
    virtual platform::ui::Window& device_window() = 0;
    // A device arrived after the first scan pass: the window comes forward.
    virtual void device_came() = 0;
    // A page moved to its other link: the settings window lists stale versions.
    virtual void link_switched() = 0;
    // The tile of `page` is about to be the selected one.
    virtual void showing_page(const QWidget* page) = 0;
    // The selected device went away.
    virtual void shown_page_lost() = 0;
    // A mouse page was made: its editors are bound to recording.
    virtual void mouse_page_added(model::CZentovaMouseDevice& page) = 0;
    // A tile was shown, hidden or selected, or a page moved to its other link.
    virtual void tiles_updated() = 0;
    // A page shows its device's values for the first time.
    virtual void page_loaded() = 0;

  protected:
    ~DeviceManagerHost() = default;
};

class DeviceManager : public QObject {
  public:
    // `default_data` and `user_data` are handed to the pages; `hid` (null: no device is looked
    // for) is what the scan and the pages open interfaces through; `catalog` the supported
    // devices read at start (null: those of `default_data`).
    DeviceManager(DeviceManagerHost& host, std::filesystem::path default_data,
                  std::filesystem::path user_data, std::shared_ptr<platform::hid::HidBackend> hid,
                  std::shared_ptr<const link::DeviceCatalog> catalog = nullptr);
    // Stops the workers (see stop_workers).
    ~DeviceManager() override;
    DeviceManager(const DeviceManager&) = delete;
    DeviceManager& operator=(const DeviceManager&) = delete;

    // Creates the pages of the first kinds and starts the scan and light-sync threads. False
    // when there is no scan (no HID backend): start-up then goes on as after an empty pass.
    bool start();
    // Creates the pages of the first kinds that do not exist yet (start() does it too); true
    // when it created one.
    bool create_initial_pages();
    // Stops the scan and light-sync threads and the pages' threads (one bounded wait each);
    // once only.
    void stop_workers();
    // Scan passes run so far (0 before the scan thread starts).
    std::uint64_t scan_passes() const;

    // ---- "Allow access" ----
    // Offers `helper` beside the denied notice; until this is called, nothing is offered.
    void set_access_helper(platform::AccessHelper helper);
    // Runs the helper (the button's click); false when nothing is offered or it runs already.
    bool allow_access();
    AccessOffer* access_offer() { return access_offer_.get(); }

    // ---- Messages from the scan (window thread) ----
    void on_device_arrived(std::size_t slot);
    void on_device_lost(std::size_t slot);
    void on_tile_link(int kind_row, bool present);
    void on_access_denied();
    // A slot message that came while asleep: the slot is looked at again on resume.
    void defer_slot(std::size_t slot) { deferred_slots_.insert(slot); }
    void mark_first_pass_done() { first_pass_done_ = true; }
    bool first_pass_done() const { return first_pass_done_; }

    // ---- Pages and tiles ----
    // Builds power widget, tile and page for the device of a slot; true when all three exist.
    bool create_device_page(std::size_t slot, int sub_type);
    bool page_exists(std::size_t slot) const;
    bool partner_linked(std::size_t slot) const;
    // Moves a mouse page from one link to the other.
    void switch_link(std::size_t slot);
    void select_tile(int index, bool visible, bool select);
    void drop_tile(int index);
    // The next (step 1) or previous (-1) visible tile is selected.
    void select_neighbour_tile(int step);
    // A tile's own controls: its selection, or its light-sync box.
    void on_tile_notify(QWidget* sender, const QString& name, bool selected);
    // Index of the first visible tile (-1: none) and how many are visible.
    void linked_tiles(int& first, int& count) const;
    int tile_count() const { return static_cast<int>(tiles_.size()); }
    // The HID backend and the supported devices (for the diagnostic report).
    const std::shared_ptr<platform::hid::HidBackend>& hid() const { return hid_; }
    const link::DeviceCatalog& catalog() const { return *catalog_; }
    ui::CDeviceOptionUI* tile(int index) const;
    // The page of the first visible, selected tile, or nullptr.
    model::CZentovaUSBDevice* selected_page() const;
    // The profile control of the selected page, or nullptr.
    profile::CDeviceProfileUI* selected_profile_control() const;
    const std::vector<model::CZentovaMouseDevice*>& mouse_pages() const { return mouse_pages_; }
    const std::vector<model::CZentovaKeyboardDevice*>& keyboard_pages() const {
        return keyboard_pages_;
    }
    // Every linked mouse page has shown its device's values, and its battery when it has one.
    bool linked_mice_loaded() const;
    // The light-sync thread (null before start()).
    LightSyncThread* light_sync() const { return light_sync_.get(); }
    // The no-device banner and the access notice, from the visible tiles.
    void update_no_device_banner();
    DeviceSlots& device_slots() { return slots_; }
    // Supported interfaces found that this user may not open (from the last scan pass).
    const std::vector<std::string>& denied_interfaces() const { return denied_; }

    // ---- What the window passes on to every page ----
    void switch_function_page(int tab_code);
    void set_window_shown(bool shown);
    void set_window_active(bool active);
    void set_hovered(bool hovered);
    void set_language(int index);
    void set_lighting_control(bool on);
    // The effect every synced device shows, in force at once and kept for the next start.
    void choose_sync_effect(const SyncChoice& choice);
    std::filesystem::path sync_choice_file() const;
    // A game's event: every linked page flashes its lights (see game_flash).
    void on_game_event(GameEvent event, long long argument, std::uint32_t rgb);
    bool lighting_control() const { return lighting_control_; }
    // Asleep, pages leave the lighting to the device; awake again, the slots deferred
    // meanwhile are looked at.
    void set_asleep(bool asleep);
    bool asleep() const { return asleep_; }

    // The size of the buffers data blocks are copied into.
    static constexpr std::size_t kDataBlockBytes = 2000;
    // A data block from another program (audio levels: kind 1; keyboard block: kind 2). A
    // block larger than its buffer is refused; nothing is taken while asleep. Levels drive
    // every keyboard page's music lighting by their rise since the block before; the keyboard
    // block goes to the first keyboard page.
    void receive_data_block(unsigned kind, const QByteArray& block);
    // The companion that sends the levels: run while a linked page shows a music effect.
    // Until this is called, music lighting lights only from other programs' blocks.
    void set_audio_companion(std::unique_ptr<AudioCompanion> companion);
    AudioCompanion* audio_companion() const { return audio_.get(); }
    // The music lighting level last driven (0-255).
    std::uint8_t audio_level() const { return audio_reactive_.level(); }
    // The answer to another program's tool query: the device kinds this program knows.
    QByteArray tool_query_block() const;
    // JSON of what a script may look at: window and banner visibility, the tiles.
    std::string automation_state() const;

  private:
    int visible_tiles() const;
    void update_denied_notice();
    void for_each_page(const std::function<void(model::CZentovaUSBDevice&)>& action) const;
    int tile_index_of_page(const QWidget* page) const;
    int tile_index_of_kind_row(int kind_row) const;
    model::CZentovaUSBDevice* page_for_identity(const link::DeviceIdentity& identity) const;
    void mouse_arrival(std::size_t slot);
    void update_tile_link_text(int index);
    void sync_light_targets();
    // The light-sync thread's newest colour to every page (window thread).
    void deliver_sync_colours();
    // Starts or stops the companion as music effects come and go; says why it cannot run.
    void update_audio_companion();
    void show_audio_availability();
    void show_audio_level(std::uint8_t level);
    // Every other page of the profile list `changed`'s kind shows that list again.
    void refill_profile_lists(const profile::CDeviceProfileUI* changed);

    DeviceManagerHost& host_;
    platform::ui::Window& window_;
    std::filesystem::path default_data_;
    std::filesystem::path user_data_;
    std::shared_ptr<platform::hid::HidBackend> hid_;
    std::shared_ptr<const link::DeviceCatalog> catalog_;
    DeviceKindTable kinds_;
    DeviceSlots slots_;
    std::vector<QPointer<ui::CDeviceOptionUI>> tiles_;
    std::vector<QPointer<ui::CMpDevicePowerUI>> power_widgets_;
    std::vector<model::CZentovaMouseDevice*> mouse_pages_;
    std::vector<model::CZentovaKeyboardDevice*> keyboard_pages_;
    std::vector<model::CZentovaUSBDevice*> pages_;                // every page, in tile order
    std::vector<std::shared_ptr<LightSyncTarget>> sync_targets_;  // in tile order
    std::unique_ptr<ScanBridge> scan_bridge_;
    std::unique_ptr<DeviceScanThread> scan_thread_;
    std::unique_ptr<LightSyncThread> light_sync_;
    std::vector<std::string> denied_;
    std::unique_ptr<AccessOffer> access_offer_;
    std::set<std::size_t> deferred_slots_;   // slot messages that came while asleep
    std::set<const QObject*> loaded_pages_;  // pages that have shown their device's values
    bool first_pass_done_ = false;
    bool asleep_ = false;
    bool lighting_control_ = true;
    bool workers_stopped_ = false;
    std::atomic<bool> sync_colours_posted_{false};  // one delivery pending at a time
    int tab_code_ = 8;  // the function page every mouse page shows (performance)
    std::array<std::uint8_t, kDataBlockBytes> audio_levels_{};
    std::array<std::uint8_t, kDataBlockBytes> keyboard_block_{};
    model::AudioReactive audio_reactive_;
    std::unique_ptr<AudioCompanion> audio_;
};

}  // namespace velqa::app
