// The settings window: the update list with its check, download and install workers, the
// language list and the autostart box.
#pragma once

#include <QPointer>
#include <QString>
#include <chrono>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/http/http_client.h"
#include "platform/ui/window.h"
#include "platform/worker_thread.h"
#include "update/ui/package_launcher.h"
#include "update/update_flow.h"

namespace velqa::update {

class CUpdateInfoListItemUI;

// Messages between the settings window and the main window (the main window's numbers).
inline constexpr unsigned kMsgSetWndLanguage = 0xC11;    // to both: wParam the language index
inline constexpr unsigned kMsgDownloadPassOver = 0xC14;  // the download pass of a row is over
inline constexpr unsigned kMsgSetWndUpToDate = 0xC16;    // to the main window: nothing to update

// What the settings window is handed when it opens.
struct SetWndOptions {
    std::vector<UpdateItem> items;  // the listed items, in table order (non-zero versions)
    std::string server_url;         // base address of the update server
    platform::http::TransportPolicy policy;
    std::filesystem::path download_folder;      // where packages are downloaded to
    std::filesystem::path last_check_file;      // updatetime.config
    std::filesystem::path autostart_folder;     // where the session's autostart entries live
    std::shared_ptr<PackageLauncher> launcher;  // null: the desktop's default handler
    std::vector<QString> languages;             // the language list's texts
    int language_index = 0;
    platform::ui::Window* main_window = nullptr;  // told about languages and "up to date"
    // The pause before a downloaded row is handed over, and before its download pass ends.
    std::chrono::milliseconds install_delay{1000};
    std::chrono::milliseconds finish_delay{4000};
    // The box "Switch profiles with the focused application": whether it is on, and what
    // changes it (either empty: the box is hidden). With `auto_switch_unavailable` set the box
    // is disabled and says why in its tooltip.
    std::function<bool()> auto_switch;
    std::function<void(bool)> set_auto_switch;
    std::string auto_switch_unavailable;
};

class CSetWnd : public platform::ui::Window {
    Q_OBJECT

  public:
    static constexpr int kWidth = 630;
    static constexpr int kHeight = 500;

    CSetWnd(QWidget* owner, SetWndOptions options);
    // Stops the workers first.
    ~CSetWnd() override;

    // True for a notification this window acts on: `type` from the control named `name` (ignoring
    // case). Everything else is dropped.
    static bool owns(std::string_view type, std::string_view name);

    QString skin_file() const override { return QStringLiteral("XML\\setwnd.xml"); }
    QString window_class_name() const override { return QStringLiteral("SetWnd"); }
    QString title_text_id() const override { return QStringLiteral("window_title_settings_text"); }

    // Creates the window ("SetWnd", 630 x 500, a tool window): lists the items and starts the
    // check, download and install workers. False when the layout cannot be built.
    bool open();

    const std::vector<UpdateRow>& rows() const { return rows_; }
    CUpdateInfoListItemUI* row_control(std::size_t index) const;
    int window_status() const { return status_; }
    const std::string& last_check() const { return last_check_; }
    int language_index() const { return language_index_; }
    // Whether the firmware notice ("update_tishi_layout") shows where a package was kept.
    bool notice_shown() const;
    bool check_running() const { return check_.running(); }
    // The switch box greys out with `reason` in its tooltip, or comes back when it is empty
    // (the focus watcher lost its window manager, or has it again).
    void set_auto_switch_unavailable(std::string reason);

    // Ends the workers: all three are signalled at once, then each is waited for (a transfer in
    // flight ends at its next progress report). Nothing is terminated.
    void stop_workers();
    bool workers_running() const;

  signals:
    // The check has ended with this window status.
    void check_finished(int status);
    // A row was shown anew.
    void row_changed(int index);

  protected:
    void init_window() override;
    void notify(platform::ui::Notification& msg) override;
    platform::ui::LResult handle_custom_message(unsigned message, platform::ui::WParam wparam,
                                                platform::ui::LParam lparam,
                                                bool& handled) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    struct Job {
        std::size_t index = 0;
        UpdateRow row;
    };

    void list_rows();
    void start_workers();
    void run_check(platform::StopEvent& stop, std::vector<UpdateRow> rows);
    void run_downloads(platform::StopEvent& stop);
    void run_installs(platform::StopEvent& stop);
    // Worker side: hands a row's new state to the window thread.
    void post_row(std::size_t index, const UpdateRow& row);
    void take_posted_rows();
    void show_row(std::size_t index);
    void set_window_status(int status);
    void show_status_text();
    void update_apply_button();
    void on_update_ok();
    void on_install_row(std::size_t index);
    void on_download_pass_over();
    void show_notice(const QString& text);
    // Tells why a row's download failed, in the notice.
    void show_download_failure(const UpdateRow& row);
    void on_language_selected(int index);
    void on_autostart(bool on);
    void show_autostart();
    void show_auto_switch();
    void close_settings();

    SetWndOptions options_;
    std::vector<UpdateRow> rows_;
    std::vector<QPointer<CUpdateInfoListItemUI>> row_controls_;
    int status_ = WindowChecking;
    std::string last_check_;
    int language_index_ = 0;
    int installing_ = -1;          // the row being handed over (0xC14 finishes it)
    bool open_failed_ = false;     // the desktop could not open the installing row's package
    bool kept_in_folder_ = false;  // the installing row is firmware, kept for the user

    platform::WorkerThread check_;
    platform::WorkerThread download_;
    platform::WorkerThread install_;

    std::mutex mutex_;  // the queues below, shared with the workers
    std::vector<Job> posted_rows_;
    std::deque<Job> download_jobs_;
    std::deque<Job> install_jobs_;
    std::set<std::size_t> handed_over_;  // rows the install worker has passed on
};

}  // namespace velqa::update
