#include "update/ui/set_wnd.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QLayout>
#include <QStyle>
#include <optional>

#include "platform/autostart.h"
#include "platform/debug_output.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "ui/msg_wnd.h"
#include "update/ui/update_list_item.h"

namespace velqa::update {
namespace pui = platform::ui;
using platform::StopEvent;

namespace {

// The workers' messages to the window thread.
constexpr unsigned kMsgRowsPosted = 0xC30;  // rows wait in posted_rows_
constexpr unsigned kMsgCheckDone = 0xC31;   // wParam: the window status
constexpr unsigned kMsgInstallRow = 0xC32;  // wParam: the row whose package is handed over

// Waits out `delay` unless the stop event is set first; wakes do not shorten it. False when
// stopped.
bool wait_out(const StopEvent& stop, std::chrono::milliseconds delay) {
    const auto deadline = StopEvent::Clock::now() + delay;
    for (;;) {
        const auto result = stop.wait_until(deadline, stop.wakes());
        if (result == StopEvent::WaitResult::Set)
            return false;
        if (result == StopEvent::WaitResult::TimedOut)
            return true;
    }
}

void repolish(QWidget* control) {
    if (control == nullptr)
        return;
    control->style()->unpolish(control);
    control->style()->polish(control);
}

}  // namespace

CSetWnd::CSetWnd(QWidget* owner, SetWndOptions options)
    : Window(owner), options_(std::move(options)), language_index_(options_.language_index) {
    if (!options_.launcher)
        options_.launcher = std::make_shared<DesktopPackageLauncher>();
    set_caption_height(48);
}

CSetWnd::~CSetWnd() {
    stop_workers();
}

bool CSetWnd::open() {
    return create(QStringLiteral("SetWnd"), QSize(kWidth, kHeight), true);
}

void CSetWnd::init_window() {
    // Looked up now so that a layout lacking one is reported once, here.
    for (const char* name : {"closebtn", "maxbtn", "restorebtn", "minbtn", "menubtn", "laterbtn",
                             "device_update_list_info", "Language_combox_info"}) {
        if (find_control(QLatin1String(name)) == nullptr)
            platform::debug_printf("setwnd: no control %s\n", name);
    }
    // The busy ring is drawn inside the layout's place for it.
    if (QWidget* ring = find_control(QStringLiteral("update_status_ring"))) {
        if (ring->layout() != nullptr)
            ring->layout()->addWidget(new UpdateStatusRing(ring));
    }
    if (QWidget* notice = find_control(QStringLiteral("update_tishi_layout")))
        notice->hide();
    if (QWidget* apply = find_control(QStringLiteral("update_fw_and_ap"))) {
        apply->setEnabled(false);
        apply->hide();
    }
    pui::select_page(find_control(QStringLiteral("get_update_tab_layout")), 0);

    {
        NotifySuppressor quiet(*this);
        QWidget* combo = find_control(QStringLiteral("Language_combox_info"));
        pui::remove_all_items(combo);
        for (const QString& text : options_.languages)
            pui::add_combo_item(combo, text);
        pui::select_item(combo, language_index_, false);
    }
    show_autostart();
    show_auto_switch();

    last_check_ = last_check_on_open(options_.last_check_file, today_text());
    list_rows();
    set_window_status(WindowChecking);
    start_workers();
}

void CSetWnd::list_rows() {
    QWidget* list = find_control(QStringLiteral("device_update_list_info"));
    rows_.clear();
    row_controls_.clear();
    for (const UpdateItem& item : options_.items) {
        rows_.push_back(listed_row(item));
        auto* control = new CUpdateInfoListItemUI(list);
        control->set_index(static_cast<int>(row_controls_.size()));
        if (list != nullptr && list->layout() != nullptr)
            list->layout()->addWidget(control);
        attach_controls(control);
        row_controls_.emplace_back(control);
        show_row(rows_.size() - 1);
    }
}

CUpdateInfoListItemUI* CSetWnd::row_control(std::size_t index) const {
    return index < row_controls_.size() ? row_controls_[index].data() : nullptr;
}

void CSetWnd::show_row(std::size_t index) {
    CUpdateInfoListItemUI* control = row_control(index);
    if (control == nullptr || index >= rows_.size())
        return;
    NotifySuppressor quiet(*this);
    control->show_row(rows_[index]);
    emit row_changed(static_cast<int>(index));
}

bool CSetWnd::notice_shown() const {
    const QWidget* notice = find_control(QStringLiteral("update_tishi_layout"));
    return notice != nullptr && !notice->isHidden();
}

// ---- Workers ----

void CSetWnd::start_workers() {
    std::vector<UpdateRow> rows = rows_;
    check_.start([this, rows = std::move(rows)](StopEvent& stop) { run_check(stop, rows); });
    download_.start([this](StopEvent& stop) { run_downloads(stop); });
    install_.start([this](StopEvent& stop) { run_installs(stop); });
}

bool CSetWnd::workers_running() const {
    return check_.running() || download_.running() || install_.running();
}

void CSetWnd::stop_workers() {
    // All three are told first, so that they end side by side.
    check_.stop_event().set();
    download_.stop_event().set();
    install_.stop_event().set();
    constexpr std::chrono::milliseconds kBound{100};
    check_.stop(kBound);
    download_.stop(kBound);
    install_.stop(kBound);
}

void CSetWnd::post_row(std::size_t index, const UpdateRow& row) {
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        first = posted_rows_.empty();
        // Only the latest state of a row matters; progress reports replace each other.
        bool replaced = false;
        for (Job& job : posted_rows_) {
            if (job.index == index) {
                job.row = row;
                replaced = true;
            }
        }
        if (!replaced)
            posted_rows_.push_back(Job{index, row});
    }
    if (first)
        post_message(kMsgRowsPosted);
}

void CSetWnd::take_posted_rows() {
    std::vector<Job> jobs;
    {
        std::lock_guard lock(mutex_);
        jobs.swap(posted_rows_);
    }
    for (Job& job : jobs) {
        if (job.index >= rows_.size())
            continue;
        const UpdateRow& was = rows_[job.index];
        const bool newly_failed =
            !job.row.failure.empty() && (was.state != StateFailed || was.failure.empty());
        rows_[job.index] = std::move(job.row);
        show_row(job.index);
        if (newly_failed)
            show_download_failure(rows_[job.index]);
        // A download under way: the window says it is updating.
        if (rows_[job.index].state == StateDownloading && status_ != WindowUpdating)
            set_window_status(WindowUpdating);
    }
}

void CSetWnd::run_check(StopEvent& stop, std::vector<UpdateRow> rows) {
    platform::http::HttpClient client(options_.policy);
    client.set_stop_event(&stop);
    const int status = check_rows(
        client, options_.server_url, rows, options_.download_folder, options_.last_check_file,
        [this](std::size_t k, const UpdateRow& row) { post_row(k, row); }, &stop);
    if (stop.is_set())
        return;
    // The ticks of the offered rows.
    for (std::size_t k = 0; k < rows.size(); ++k)
        post_row(k, rows[k]);
    post_message(kMsgCheckDone, static_cast<pui::WParam>(status));
}

void CSetWnd::run_downloads(StopEvent& stop) {
    platform::http::HttpClient client(options_.policy);
    client.set_stop_event(&stop);
    for (;;) {
        const std::uint64_t seen = stop.wakes();
        std::optional<Job> job;
        {
            std::lock_guard lock(mutex_);
            if (!download_jobs_.empty()) {
                job = std::move(download_jobs_.front());
                download_jobs_.pop_front();
            }
        }
        if (!job) {
            if (stop.wait(seen) == StopEvent::WaitResult::Set)
                return;
            continue;
        }
        const std::size_t index = job->index;
        download_row(
            client, job->row, options_.download_folder,
            [this, index](const UpdateRow& row) { post_row(index, row); }, &stop);
        if (stop.is_set())
            return;
        if (job->row.state == StateDownloaded) {
            {
                std::lock_guard lock(mutex_);
                install_jobs_.push_back(*job);
            }
            install_.stop_event().wake();
            // The pass ends after the install worker has handed the package over.
            for (;;) {
                const std::uint64_t s = stop.wakes();
                {
                    std::lock_guard lock(mutex_);
                    if (handed_over_.erase(index) > 0)
                        break;
                }
                if (stop.wait(s) == StopEvent::WaitResult::Set)
                    return;
            }
        }
        if (!wait_out(stop, options_.finish_delay))
            return;
        post_message(kMsgDownloadPassOver, static_cast<pui::WParam>(index));
    }
}

void CSetWnd::run_installs(StopEvent& stop) {
    for (;;) {
        const std::uint64_t seen = stop.wakes();
        std::optional<Job> job;
        {
            std::lock_guard lock(mutex_);
            if (!install_jobs_.empty()) {
                job = std::move(install_jobs_.front());
                install_jobs_.pop_front();
            }
        }
        if (!job) {
            if (stop.wait(seen) == StopEvent::WaitResult::Set)
                return;
            continue;
        }
        platform::debug_output("下载成功\n");
        if (!wait_out(stop, options_.install_delay))
            return;
        // Opening a package belongs to the window thread; the row's state changes there too.
        post_message(kMsgInstallRow, static_cast<pui::WParam>(job->index));
        {
            std::lock_guard lock(mutex_);
            handed_over_.insert(job->index);
        }
        download_.stop_event().wake();
    }
}

// ---- Window thread ----

void CSetWnd::set_window_status(int status) {
    status_ = status;
    if (QWidget* ring = find_control(QStringLiteral("update_status_ring")))
        ring->setVisible(status == WindowChecking);
    if (QWidget* image = find_control(QStringLiteral("update_status_image"))) {
        image->setVisible(status != WindowChecking);
        image->setProperty("status", status);
        repolish(image);
    }
    show_status_text();
    if (status == WindowUpToDate && options_.main_window != nullptr)
        options_.main_window->send_message(kMsgSetWndUpToDate);
}

void CSetWnd::show_status_text() {
    QWidget* label = find_control(QStringLiteral("Update_Status_text"));
    const QString id = QString::fromLatin1(window_status_text_id(status_));
    if (status_ == WindowUpToDate) {
        pui::set_text(label, pui::LanguageTexts::instance().text(id) + QStringLiteral("  ") +
                                 QString::fromStdString(last_check_));
    } else {
        pui::set_text_id(label, id);
    }
}

void CSetWnd::update_apply_button() {
    QWidget* apply = find_control(QStringLiteral("update_fw_and_ap"));
    if (apply == nullptr)
        return;
    const bool any = any_ticked(rows_);
    apply->setEnabled(any);
    apply->setVisible(any);
}

void CSetWnd::on_update_ok() {
    queue_ticked_rows(rows_);
    for (std::size_t k = 0; k < rows_.size(); ++k)
        show_row(k);
    if (QWidget* apply = find_control(QStringLiteral("update_fw_and_ap")))
        apply->setEnabled(false);
    pui::select_page(find_control(QStringLiteral("get_update_tab_layout")), 0);
    bool queued = false;
    {
        std::lock_guard lock(mutex_);
        for (std::size_t k = 0; k < rows_.size(); ++k) {
            if (!wants_download(rows_[k]) || rows_[k].state != StateQueued)
                continue;
            bool waiting = false;
            for (const Job& job : download_jobs_)
                waiting = waiting || job.index == k;
            if (!waiting) {
                download_jobs_.push_back(Job{k, rows_[k]});
                queued = true;
            }
        }
    }
    if (queued)
        download_.stop_event().wake();
}

void CSetWnd::on_install_row(std::size_t index) {
    take_posted_rows();
    if (index >= rows_.size())
        return;
    UpdateRow& row = rows_[index];
    row.state = StateInstalling;
    installing_ = static_cast<int>(index);
    open_failed_ = false;
    kept_in_folder_ = false;
    set_window_status(WindowUpdating);
    show_row(index);
    // The file comes from our own table and folder, never from the server's answer.
    const std::string name = package_file_name(row.item);
    const std::filesystem::path file =
        name.empty() ? options_.download_folder : options_.download_folder / name;
    if (package_action(row) == PackageAction::OpenWithDesktop) {
        if (!options_.launcher->open_with_desktop(file)) {
            open_failed_ = true;
            ui::show_message(this, pui::LanguageTexts::instance().text(QStringLiteral("tips_text")),
                             QStringLiteral("Update failed!"), dpi(), 0, 0);
        }
    } else {
        // Firmware packages are programs for another system: they stay where they are and the
        // user learns where and what to do.
        kept_in_folder_ = true;
        const QString text = pui::LanguageTexts::instance()
                                 .text(QStringLiteral("update_firmware_kept_text"))
                                 .arg(QString::fromStdString(file.filename().string()),
                                      QString::fromStdString(file.parent_path().string()));
        show_notice(text);
    }
}

void CSetWnd::on_download_pass_over() {
    take_posted_rows();
    if (installing_ < 0 || static_cast<std::size_t>(installing_) >= rows_.size())
        return;
    const auto index = static_cast<std::size_t>(installing_);
    UpdateRow& row = rows_[index];
    if (row.state == StateInstalling) {
        if (open_failed_) {
            // Not opened is not updated: the row may be tried again.
            row.state = StateFailed;
        } else if (kept_in_folder_) {
            // We did not flash it: it is downloaded, and the notice says where it is.
            row.state = StateDownloaded;
            row.ticked = false;
        } else {
            finish_install(row);
        }
    }
    installing_ = -1;
    show_row(index);
    update_apply_button();
}

void CSetWnd::show_download_failure(const UpdateRow& row) {
    const QString text =
        pui::LanguageTexts::instance()
            .text(QStringLiteral("update_download_failed_text"))
            .arg(QString::fromStdString(row.display_name), QString::fromStdString(row.failure));
    show_notice(text);
}

void CSetWnd::show_notice(const QString& text) {
    pui::set_text(find_control(QStringLiteral("update_tishi_text")), text);
    if (QWidget* notice = find_control(QStringLiteral("update_tishi_layout")))
        notice->show();
}

void CSetWnd::on_language_selected(int index) {
    language_index_ = index;
    if (options_.main_window != nullptr)
        options_.main_window->send_message(kMsgSetWndLanguage, static_cast<pui::WParam>(index));
}

void CSetWnd::show_autostart() {
    QWidget* box = find_control(QStringLiteral("autostart_select"));
    if (box == nullptr)
        return;
    if (options_.autostart_folder.empty()) {
        box->hide();
        return;
    }
    NotifySuppressor quiet(*this);
    pui::set_selected(box, platform::autostart_enabled(options_.autostart_folder), false);
}

void CSetWnd::on_autostart(bool on) {
    if (options_.autostart_folder.empty())
        return;
    std::string error;
    if (!platform::set_autostart(options_.autostart_folder, on, &error))
        platform::debug_printf("autostart: %s\n", error.c_str());
    // The box shows what the session will do.
    show_autostart();
}

void CSetWnd::show_auto_switch() {
    QWidget* box = find_control(QStringLiteral("auto_switch_select"));
    if (box == nullptr)
        return;
    // Without a switcher (a screenshot) the row's panel would stand empty: hide it whole.
    QWidget* row = find_control(QStringLiteral("auto_switch_row"));
    const bool offered = options_.auto_switch && options_.set_auto_switch;
    (row != nullptr ? row : box)->setVisible(offered);
    if (!offered)
        return;
    const bool available = options_.auto_switch_unavailable.empty();
    box->setEnabled(available);
    box->setToolTip(QString::fromStdString(options_.auto_switch_unavailable));
    NotifySuppressor quiet(*this);
    // A greyed box still shows the stored choice: it comes back into effect on a desktop that
    // tells the focus.
    pui::set_selected(box, options_.auto_switch(), false);
}

void CSetWnd::set_auto_switch_unavailable(std::string reason) {
    if (reason == options_.auto_switch_unavailable)
        return;
    options_.auto_switch_unavailable = std::move(reason);
    show_auto_switch();
}

void CSetWnd::close_settings() {
    stop_workers();
    close_window(0);
}

void CSetWnd::closeEvent(QCloseEvent* event) {
    stop_workers();
    Window::closeEvent(event);
}

bool CSetWnd::owns(std::string_view type, std::string_view name) {
    struct Row {
        const char* type;
        const char* name;
    };
    static constexpr Row kOwned[] = {
        {"selectchanged", "check_name_select"},
        {"selectchanged", "autostart_select"},
        {"selectchanged", "auto_switch_select"},
        {"itemselect", "Language_combox_info"},
        {"click", "update_fw_and_ap"},
        {"click", "update_OK_btn"},
        {"click", "update_cancel_btn"},
        {"click", "set_in_update_wnd_btn"},
        {"click", "closebtn"},
        {"click", "laterbtn"},
        {"click", "minbtn"},
        {"click", "maxbtn"},
        {"click", "restorebtn"},
    };
    const QString wanted = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    for (const Row& row : kOwned) {
        if (type == row.type && wanted.compare(QLatin1String(row.name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void CSetWnd::notify(pui::Notification& msg) {
    const QString name = msg.sender_name();
    if (!owns(msg.type, name.toStdString()))
        return;
    auto is = [&name](const char* candidate) {
        return name.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0;
    };
    if (msg.type == "selectchanged") {
        if (is("check_name_select")) {
            for (QWidget* w = msg.sender; w != nullptr; w = w->parentWidget()) {
                if (auto* row = qobject_cast<CUpdateInfoListItemUI*>(w)) {
                    const auto k = static_cast<std::size_t>(row->index());
                    if (k < rows_.size())
                        rows_[k].ticked = msg.wparam != 0;
                    break;
                }
            }
            update_apply_button();
        } else if (is("autostart_select")) {
            on_autostart(msg.wparam != 0);
        } else if (is("auto_switch_select") && options_.set_auto_switch) {
            options_.set_auto_switch(msg.wparam != 0);
            // The box shows what the files say.
            show_auto_switch();
        }
        return;
    }
    if (msg.type == "itemselect") {
        if (is("Language_combox_info"))
            on_language_selected(static_cast<int>(msg.wparam));
        return;
    }
    if (msg.type != "click")
        return;
    if (is("update_fw_and_ap")) {
        pui::select_page(find_control(QStringLiteral("get_update_tab_layout")), 1);
    } else if (is("update_OK_btn")) {
        on_update_ok();
    } else if (is("update_cancel_btn")) {
        pui::select_page(find_control(QStringLiteral("get_update_tab_layout")), 0);
    } else if (is("set_in_update_wnd_btn")) {
        if (QWidget* notice = find_control(QStringLiteral("update_tishi_layout")))
            notice->hide();
        set_base_size(QSize(kWidth, kHeight));
    } else if (is("closebtn") || is("laterbtn")) {
        close_settings();
    } else if (is("minbtn")) {
        showMinimized();
    } else if (is("maxbtn")) {
        showMaximized();
    } else if (is("restorebtn")) {
        showNormal();
    }
}

pui::LResult CSetWnd::handle_custom_message(unsigned message, pui::WParam wparam,
                                            pui::LParam lparam, bool& handled) {
    (void)lparam;
    switch (message) {
        case kMsgRowsPosted:
            take_posted_rows();
            break;
        case kMsgCheckDone:
            take_posted_rows();
            if (auto stored = read_last_check(options_.last_check_file))
                last_check_ = *stored;
            set_window_status(static_cast<int>(wparam));
            update_apply_button();
            emit check_finished(status_);
            break;
        case kMsgInstallRow:
            on_install_row(static_cast<std::size_t>(wparam));
            break;
        case kMsgDownloadPassOver:
            on_download_pass_over();
            break;
        case kMsgSetWndLanguage:
            reload_text();
            show_status_text();
            for (std::size_t k = 0; k < rows_.size(); ++k)
                show_row(k);
            break;
        case pui::kMsgClose:
            close_settings();
            break;
        default:
            return 0;
    }
    handled = true;
    return 0;
}

}  // namespace velqa::update
