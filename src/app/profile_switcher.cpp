#include "app/profile_switcher.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QResizeEvent>
#include <algorithm>
#include <chrono>

#include "app/device_manager.h"
#include "app/recording_controller.h"
#include "device/model/ui/keyboard_device.h"
#include "device/model/ui/mouse_device.h"
#include "platform/ascii_text.h"
#include "platform/debug_output.h"
#include "platform/ui/language.h"
#include "profile/ui/device_profile_ui.h"

namespace velqa::app {

namespace fs = std::filesystem;

namespace {

QString language_text(const char* id) {
    return platform::ui::LanguageTexts::instance().text(QString::fromLatin1(id));
}

// A control the user is in the middle of changing: a pressed slider, a text field with the
// keyboard focus and typed text, an open popup (combo list, menu) or a modal window. A switch then
// would pull the page from under the user's hand; it waits until the control is let go.
bool user_is_editing() {
    if (QApplication::activeModalWidget() != nullptr ||
        QApplication::activePopupWidget() != nullptr)
        return true;
    // A text field counts once the user has typed into it (the DPI fields commit when they
    // lose the focus); one that merely holds the focus does not.
    if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        edit != nullptr && !edit->isReadOnly() && edit->isModified())
        return true;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible())
            continue;
        const auto sliders = top->findChildren<QAbstractSlider*>();
        if (std::any_of(sliders.begin(), sliders.end(),
                        [](const QAbstractSlider* s) { return s->isSliderDown(); }))
            return true;
    }
    return false;
}

// Events after which a control may have been let go: the deferred switch looks again.
bool may_end_editing(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonRelease:
        case QEvent::KeyRelease:
        case QEvent::FocusOut:
        case QEvent::Hide:
        case QEvent::Close:
        case QEvent::WindowUnblocked:
        case QEvent::EnabledChange:  // the profile controls come back when a recording ends
            return true;
        default:
            return false;
    }
}

// The note in the profile panel's title row: cut to the width it has each time it is laid out
// (a tiling window manager gives the window any width), the whole text in its tooltip.
class ReasonLabel : public QLabel {
  public:
    explicit ReasonLabel(QWidget* parent) : QLabel(parent) {}
    void set_reason(const SwitchReason& reason) {
        reason_ = reason;
        setToolTip(ProfileSwitcher::reason_text(reason));
        fit();
        setVisible(!toolTip().isEmpty());
    }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        fit();
    }

  private:
    void fit() {
        setText(ProfileSwitcher::reason_text(reason_, fontMetrics(), std::max(width(), 120)));
    }
    SwitchReason reason_;
};

}  // namespace

ProfileSwitcher::ProfileSwitcher(DeviceManager& devices, const RecordingController& recorder,
                                 fs::path user_data, std::vector<std::string> own_app_ids)
    : devices_(devices),
      recorder_(recorder),
      user_data_(std::move(user_data)),
      decision_(std::move(own_app_ids)) {
    pace_timer_.setSingleShot(true);
    // A coarse timer may fire 5 % late; the wait is part of what a gamer waits.
    pace_timer_.setTimerType(Qt::PreciseTimer);
    connect(&pace_timer_, &QTimer::timeout, this, &ProfileSwitcher::pace);
    // Every write of the store is a rename into the folder; an edit in place changes the file.
    connect(&files_, &QFileSystemWatcher::directoryChanged, this,
            [this] { follow_bindings_files(); });
    connect(&files_, &QFileSystemWatcher::fileChanged, this, [this] { follow_bindings_files(); });
    reader_.setMaxThreadCount(1);
    for (const fs::path& folder : kind_folders())
        kind_of(folder);
    watch_bindings();
    // Read now, so that the first focus change finds them.
    bindings_pending();
}

ProfileSwitcher::~ProfileSwitcher() {
    stop();
    undefer();
    // A read under way calls back into this object.
    reader_.clear();
    reader_.waitForDone();
}

void ProfileSwitcher::set_watcher(std::unique_ptr<platform::desktop::FocusWatcher> watcher) {
    stop();
    watcher_ = std::move(watcher);
    started_ = false;
    start_error_.clear();
}

std::string ProfileSwitcher::start() {
    if (watcher_ == nullptr)
        return start_error_ = "No focus watcher is set.";
    if (started_)
        return {};
    // The kinds' folders exist once the devices were first looked for: bindings made from now on
    // are followed, also where the focus cannot be (the tray says so once something is bound).
    watch_bindings();
    if (std::string reason = watcher_->unavailable_reason(); !reason.empty())
        return start_error_ = reason;
    // The watcher calls back on a thread of its own; the event is handled on ours, with the time
    // the watcher saw it (an apply on this thread may hold it up). A call queued when this
    // object is gone is dropped.
    follow_error_.clear();
    start_error_ = watcher_->start(
        [this](const platform::desktop::FocusedApp& app) {
            QMetaObject::invokeMethod(
                this, [this, id = app.app_id, at = SwitchPacer::Clock::now()] { on_focus(id, at); },
                Qt::QueuedConnection);
        },
        [this](const std::string& reason) {
            QMetaObject::invokeMethod(
                this, [this, reason] { on_status(reason); }, Qt::QueuedConnection);
        });
    started_ = start_error_.empty();
    if (!started_)
        platform::debug_printf("focus watcher: %s\n", start_error_.c_str());
    return start_error_;
}

void ProfileSwitcher::stop() {
    if (watcher_ != nullptr && started_)
        watcher_->stop();
    started_ = false;
    pace_timer_.stop();
}

std::string ProfileSwitcher::unavailable_reason() const {
    if (watcher_ == nullptr)
        return "No focus watcher is set.";
    if (std::string reason = watcher_->unavailable_reason(); !reason.empty())
        return reason;
    if (!start_error_.empty())
        return start_error_;
    return started_ ? follow_error_ : std::string();
}

std::string ProfileSwitcher::following_problem() const {
    std::string why = unavailable_reason();
    if (why.empty() || watcher_ == nullptr)
        return {};
    // Only a kind whose bindings were read says whether the user relies on switching.
    for (const auto& [folder, kind] : kinds_) {
        const profile::AppBindings& b = kind->bindings;
        if (kind->loaded && b.auto_switch() && (!b.bindings().empty() || !b.default_uuid().empty()))
            return why;
    }
    return {};
}

std::function<std::string()> ProfileSwitcher::last_focused_app_source() const {
    return [app = std::weak_ptr<std::string>(last_app_shared_)] {
        const auto held = app.lock();
        return held ? *held : std::string();
    };
}

// ---- Focus ------------------------------------------------------------------------------

void ProfileSwitcher::on_focus(const std::string& app_id, SwitchPacer::TimePoint at) {
    const SwitchDecision::Focus step = decision_.focus(app_id, at);
    if (step == SwitchDecision::Focus::Ignored)
        return;
    *last_app_shared_ = decision_.app();
    if (step == SwitchDecision::Focus::Settle) {
        pace_timer_.stop();
        settle();
        return;
    }
    const auto wait = *decision_.due() - SwitchPacer::Clock::now();
    pace_timer_.start(std::max<int>(
        0, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count())));
}

void ProfileSwitcher::pace() {
    if (decision_.take_due(SwitchPacer::Clock::now())) {
        settle();
        return;
    }
    if (const auto due = decision_.due()) {
        const auto wait = *due - SwitchPacer::Clock::now();
        pace_timer_.start(std::max<int>(
            1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count())));
    }
}

void ProfileSwitcher::on_status(const std::string& reason) {
    if (!started_ || follow_error_ == reason)
        return;
    follow_error_ = reason;
    platform::debug_printf("focus watcher: %s\n",
                           reason.empty() ? "following the focus again" : reason.c_str());
    emit reason_changed();
}

void ProfileSwitcher::settle() {
    switch (decision_.settle(recorder_.recording(), user_is_editing(),
                             [this] { return bindings_pending(); })) {
        case SwitchDecision::Settle::Nothing:
        case SwitchDecision::Settle::Reading:  // the read settles again
            return;
        case SwitchDecision::Settle::Deferred:
            platform::debug_printf("profile switch to %s waits: %s\n", decision_.app().c_str(),
                                   decision_.busy_reason().c_str());
            defer();
            emit focus_settled();
            return;
        case SwitchDecision::Settle::Switch:
            break;
    }
    undefer();
    const auto begin = SwitchPacer::Clock::now();
    hook_controls();
    for (const fs::path& folder : kind_folders())
        switch_kind(kind_of(folder), controls_of(folder));
    decision_.applied(begin, SwitchPacer::Clock::now());
    refresh_labels();
    emit reason_changed();
    emit focus_settled();
}

void ProfileSwitcher::defer() {
    if (deferred_)
        return;
    deferred_ = true;
    // Only while a switch waits: every event of the program passes this filter.
    qApp->installEventFilter(this);
}

void ProfileSwitcher::undefer() {
    if (!deferred_)
        return;
    deferred_ = false;
    qApp->removeEventFilter(this);
}

bool ProfileSwitcher::eventFilter(QObject* watched, QEvent* event) {
    if (deferred_ && !recheck_posted_ && may_end_editing(event->type())) {
        // Looked at once the event has been handled, when the control has been let go.
        recheck_posted_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                recheck_posted_ = false;
                if (decision_.free_again(recorder_.recording(), user_is_editing()))
                    settle();
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

// ---- Applying -----------------------------------------------------------------------------

void ProfileSwitcher::switch_kind(Kind& kind,
                                  const std::vector<profile::CDeviceProfileUI*>& controls) {
    if (!kind.bindings.auto_switch() || controls.empty())
        return;
    profile::CDeviceProfileUI* control = controls.front();
    // The list as the file has it now (another program may have changed it).
    control->profile_count();
    const profile::ProfileList* list = control->list();
    if (list == nullptr)
        return;
    const auto chosen = decision_.choose(kind.folder, kind.bindings, list->entries(),
                                         control->current_uuid().toStdString());
    if (!chosen || !chosen->change)
        return;
    platform::debug_printf("profile switch: %s for %s\n", chosen->reason.profile.c_str(),
                           decision_.app().c_str());
    // What a choice in the combo does once it has settled: the list's selection, then the
    // apply. The kind's other pages follow the list file as after a choice on one of them.
    control->select_profile(chosen->index, false);
    for (profile::CDeviceProfileUI* c : controls) {
        auto* page = page_of(c);
        if (page != nullptr && page->device_loaded() && !page->linked()) {
            // A device read before but away now: the write would fail (with a message in the
            // middle of a game), and on its return the device's old settings would be read
            // into the newly chosen profile. The page takes the profile once it has read the
            // device again.
            c->reload_list();
            away_.insert(page);
            continue;
        }
        if (c == control)
            c->apply_selected();
        else
            c->follow_list_file();
    }
    ++switches_;
}

model::CZentovaUSBDevice* ProfileSwitcher::page_of(const QWidget* control) {
    for (QWidget* w = control->parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (auto* page = qobject_cast<model::CZentovaUSBDevice*>(w))
            return page;
    }
    return nullptr;
}

void ProfileSwitcher::page_refreshed(model::CZentovaUSBDevice* page) {
    if (!page->linked() || away_.erase(page) == 0)
        return;
    if (auto* control = page->findChild<profile::CDeviceProfileUI*>())
        control->apply_selected();
}

ProfileSwitcher::Kind& ProfileSwitcher::kind_of(const fs::path& folder) {
    auto& slot = kinds_[folder];
    if (!slot)
        slot = std::make_unique<Kind>(folder);
    return *slot;
}

std::vector<profile::CDeviceProfileUI*> ProfileSwitcher::controls_of(const fs::path& folder) const {
    std::vector<profile::CDeviceProfileUI*> found;
    auto take = [&](const model::CZentovaUSBDevice* page) {
        auto* control = page->findChild<profile::CDeviceProfileUI*>();
        if (control != nullptr && control->list() != nullptr && control->list()->folder() == folder)
            found.push_back(control);
    };
    // The shown page first: it is the one the user sees switch.
    if (const model::CZentovaUSBDevice* shown = devices_.selected_page())
        take(shown);
    for (const model::CZentovaUSBDevice* page : devices_.mouse_pages()) {
        if (page != devices_.selected_page())
            take(page);
    }
    for (const model::CZentovaUSBDevice* page : devices_.keyboard_pages()) {
        if (page != devices_.selected_page())
            take(page);
    }
    return found;
}

std::set<fs::path> ProfileSwitcher::kind_folders() const {
    std::set<fs::path> folders;
    for (const link::DeviceModel& model : devices_.catalog().models()) {
        if (!model.kind.empty())
            folders.insert(user_data_ / model.kind);
    }
    return folders;
}

// ---- Switching on and off, and the bindings files --------------------------------------------

bool ProfileSwitcher::auto_switch() {
    // One setting for every kind, read through any kind's store: its own small file only.
    for (auto& [folder, kind] : kinds_) {
        kind->bindings.load_auto_switch();
        return kind->bindings.auto_switch();
    }
    return false;
}

bool ProfileSwitcher::set_auto_switch(bool on, std::string* error) {
    if (kinds_.empty())
        return false;
    Kind& kind = *kinds_.begin()->second;
    // It reads the switch's file again under the lock; the bindings play no part.
    const auto r = kind.bindings.set_auto_switch(on);
    if (!r.ok() && error != nullptr)
        *error = r.detail;
    // The other kinds read the same setting again.
    follow_bindings_files();
    if (on && r.ok() && decision_.settle_on_switch_on())
        settle();
    return r.ok();
}

void ProfileSwitcher::watch_bindings() {
    QStringList paths;
    for (const auto& [folder, kind] : kinds_) {
        paths << QString::fromStdString(folder.string())
              << QString::fromStdString(kind->bindings.file().string())
              << QString::fromStdString(kind->bindings.auto_switch_file().string());
    }
    // Where the switch for every kind is kept.
    paths << QString::fromStdString(user_data_.string());
    for (const QString& path : paths) {
        // A replaced file drops out of the watch; it is watched again once it is back.
        if (!files_.files().contains(path) && !files_.directories().contains(path) &&
            QFileInfo::exists(path))
            files_.addPath(path);
    }
}

void ProfileSwitcher::follow_bindings_files() {
    watch_bindings();
    for (auto& [folder, kind] : kinds_) {
        if (kind->reading)
            kind->read_again = true;
        else if (!kind->loaded || kind->bindings.changed_on_disk())
            read_bindings(*kind);
    }
}

bool ProfileSwitcher::bindings_pending() {
    bool pending = false;
    for (const fs::path& folder : kind_folders()) {
        Kind& kind = kind_of(folder);
        if (!kind.reading && (!kind.loaded || kind.bindings.changed_on_disk()))
            read_bindings(kind);
        pending = pending || kind.reading;
    }
    return pending;
}

void ProfileSwitcher::read_bindings(Kind& kind) {
    kind.reading = true;
    kind.read_again = false;
    // A file of a megabyte takes a good part of a second on a slow machine, and a damaged one
    // waits for the folder's lock to be kept aside: neither may hold the window.
    reader_.start([this, folder = kind.folder] {
        auto fresh = std::make_shared<profile::AppBindings>(folder);
        if (const auto r = fresh->load(); !r.ok())
            platform::debug_printf("%s: %s\n", fresh->file().string().c_str(), r.detail.c_str());
        QMetaObject::invokeMethod(
            this, [this, folder, fresh] { bindings_read(folder, fresh); }, Qt::QueuedConnection);
    });
}

void ProfileSwitcher::bindings_read(const fs::path& folder,
                                    std::shared_ptr<profile::AppBindings> fresh) {
    Kind& kind = kind_of(folder);
    kind.reading = false;
    kind.loaded = true;
    std::swap(kind.bindings, *fresh);
    // The bindings replaced are freed on the reader thread too: a large file's are many.
    reader_.start([old = std::move(fresh)]() mutable { old.reset(); });
    if (kind.read_again || kind.bindings.changed_on_disk()) {
        read_bindings(kind);
        return;
    }
    if (std::any_of(kinds_.begin(), kinds_.end(), [](const auto& k) { return k.second->reading; }))
        return;
    // A binding made or removed for the application in front takes effect now.
    if (decision_.settle_after_read())
        settle();
    else
        refresh_labels();
    emit reason_changed();
}

// ---- What the user sees -------------------------------------------------------------------

SwitchReason ProfileSwitcher::reason(const fs::path& profile_folder) const {
    const auto found = kinds_.find(profile_folder);
    if (found == kinds_.end())
        return {};
    const auto controls = controls_of(profile_folder);
    return decision_.reason(
        profile_folder, found->second->bindings.auto_switch(),
        controls.empty() ? std::string() : controls.front()->current_uuid().toStdString());
}

QString ProfileSwitcher::reason_text(const SwitchReason& reason, const QFontMetrics& metrics,
                                     int width) {
    const QString whole = reason_text(reason);
    if (whole.isEmpty() || metrics.horizontalAdvance(whole) <= width)
        return whole;
    // The note without the profile's name tells how much room the name has.
    SwitchReason nameless = reason;
    nameless.profile.clear();
    const int room = width - metrics.horizontalAdvance(reason_text(nameless));
    const QString ellipsis(QChar(0x2026));
    if (room >= metrics.horizontalAdvance(ellipsis)) {
        SwitchReason cut = reason;
        cut.profile =
            metrics.elidedText(QString::fromStdString(reason.profile), Qt::ElideRight, room)
                .toStdString();
        const QString text = reason_text(cut);
        if (metrics.horizontalAdvance(text) <= width)
            return text;
    }
    // Not even that: the end, which names the application, is what stays.
    return metrics.elidedText(whole, Qt::ElideLeft, width);
}

QString ProfileSwitcher::reason_text(const SwitchReason& reason) {
    const QString profile = QString::fromStdString(reason.profile);
    switch (reason.cause) {
        case SwitchReason::Cause::Bound:
            return language_text("profile_switch_bound_text")
                .arg(profile, QString::fromStdString(reason.app_id));
        case SwitchReason::Cause::Default:
            return language_text("profile_switch_default_text").arg(profile);
        case SwitchReason::Cause::ByHand:
            break;
    }
    return {};
}

void ProfileSwitcher::hook_controls() {
    for (const fs::path& folder : kind_folders()) {
        for (profile::CDeviceProfileUI* control : controls_of(folder)) {
            if (!hooked_.insert(control).second)
                continue;
            connect(control, &QObject::destroyed, this, [this, control] {
                hooked_.erase(control);
                labels_.erase(control);
            });
            if (model::CZentovaUSBDevice* page = page_of(control)) {
                connect(page, &model::CZentovaUSBDevice::refreshed, this,
                        [this, page] { page_refreshed(page); });
                connect(page, &QObject::destroyed, this, [this, page] { away_.erase(page); });
            }
            // A choice by hand ends what the switcher said.
            connect(control, &profile::CDeviceProfileUI::profile_applied, this, [this] {
                refresh_labels();
                emit reason_changed();
            });
            // In the panel's title row, beside "Profile": the profile and why it is active. The
            // row has room to spare, so the page keeps its height when the note comes and goes.
            auto* header = control->findChild<QWidget*>(QStringLiteral("profile_header"));
            auto* row = header != nullptr ? qobject_cast<QBoxLayout*>(header->layout()) : nullptr;
            auto* title = control->findChild<QWidget*>(QStringLiteral("profile_title"));
            if (row == nullptr || title == nullptr)
                continue;
            auto* label = new ReasonLabel(header);
            label->setObjectName(QStringLiteral("profile_switch_reason_label"));
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            label->hide();
            row->insertWidget(row->indexOf(title) + 1, label, 1);
            labels_[control] = label;
        }
    }
    watch_bindings();
}

void ProfileSwitcher::refresh_labels() {
    for (auto& [control, label] : labels_) {
        if (label == nullptr)
            continue;
        const auto* profiles = qobject_cast<const profile::CDeviceProfileUI*>(control);
        static_cast<ReasonLabel*>(label.data())
            ->set_reason(profiles != nullptr && profiles->list() != nullptr
                             ? reason(profiles->list()->folder())
                             : SwitchReason{});
    }
}

}  // namespace velqa::app
