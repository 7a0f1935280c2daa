// The program's main window: caption, top tabs, device tile strip, device pages, the "no
// device" banner, tray icon and language. Device pages and their routing are added by the
// device manager and the pages themselves.
#pragma once

#include <QPointer>
#include <QSize>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/hid/hid_backend.h"
#include "platform/ui/settings_store.h"
#include "platform/ui/tray_icon.h"
#include "platform/ui/window.h"

namespace Json {
class Value;
}

namespace velqa::platform::ipc {
class ProgramChannel;
}

namespace velqa::app {

class CMainWnd : public platform::ui::Window {
    Q_OBJECT

  public:
    // `default_data` holds Language.config and the factory AudioFile.json; `settings` keeps the
    // language; `channel` (may be null) carries messages with other programs; `hid` is the HID
    // backend chosen at start (null: no device is looked for).
    CMainWnd(std::filesystem::path default_data, std::filesystem::path user_data,
             platform::SettingsStore settings, platform::ipc::ProgramChannel* channel = nullptr,
             std::shared_ptr<platform::hid::HidBackend> hid = nullptr);
    ~CMainWnd() override;

    QString skin_file() const override { return QStringLiteral("XML_MAIN"); }
    QString window_class_name() const override { return QStringLiteral("MainWnd"); }

    // Switches the whole interface to the language of `index` in Language.config. Does nothing
    // for the current index or an index the list lacks; false then.
    bool apply_language(int index);
    int language_index() const { return language_index_; }

    // Sizes the window for the screen it is on (1000 x 640 at 96 DPI, 144 DPI on screens larger
    // than 1500 x 960) and centres it.
    void apply_dpi();
    // Tray icon click: hides a visible window, otherwise brings it forward.
    void toggle_from_tray();
    // Shows the window, restored and raised, with the banner matching the visible tiles.
    void bring_forward();
    // Sends close to every open auxiliary window.
    void close_aux_windows();
    // Auxiliary windows the main window tells about language changes (settings, about, music).
    void set_aux_window(int slot, platform::ui::Window* window);

    const QSize& screen_size() const { return screen_size_; }
    bool tray_visible() const { return tray_.visible(); }
    // The audio-light styles loaded at start-up.
    const Json::Value& audio_styles() const;

    // The caption and tab buttons looked up when the window initialises.
    enum Caption { kClose, kMax, kRestore, kMin, kSkin, kGameMode, kCloud, kSmartEyes, kSet };
    enum Tab { kPerformanceTab, kKeyTab, kMacroTab, kSystemTab, kAboutTab };
    QWidget* caption_button(Caption which) const { return caption_[which]; }
    QWidget* tab_button(Tab which) const { return tabs_[which]; }
    // What the device scan and the device pages open their interfaces through.
    const std::shared_ptr<platform::hid::HidBackend>& hid_backend() const { return hid_; }

  signals:
    // Start-up has settled: the window is shown and laid out for its screen.
    void settled();
    // The window is being destroyed (the program ends once this has run).
    void destroying();

  protected:
    void init_window() override;
    void notify(platform::ui::Notification& msg) override;
    platform::ui::LResult handle_custom_message(unsigned message, platform::ui::WParam wparam,
                                                platform::ui::LParam lparam,
                                                bool& handled) override;
    QWidget* create_control(const QString& class_name) override;

  private:
    void on_window_init();
    void on_click(const QString& name);
    void on_select_changed(const QString& name, bool selected);
    void on_timer(QWidget* control, int id);
    void on_destroy();
    void maybe_settle();
    void update_no_device_banner();
    int visible_tiles() const;

    std::filesystem::path default_data_;
    std::filesystem::path user_data_;
    platform::SettingsStore settings_;
    platform::ipc::ProgramChannel* channel_ = nullptr;
    std::shared_ptr<platform::hid::HidBackend> hid_;
    platform::ui::TrayIcon tray_;
    QWidget* caption_[9] = {};
    QWidget* tabs_[5] = {};
    std::vector<QPointer<platform::ui::Window>> aux_windows_;
    int language_index_ = -1;
    bool settled_ = false;
    bool dpi_applied_ = false;
    bool destroyed_ = false;
    QSize screen_size_;
    std::unique_ptr<Json::Value> audio_styles_;
};

}  // namespace velqa::app
