#include "profile/ui/device_profile_ui.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/debug_output.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "ui/msg_wnd.h"

namespace velqa::profile {

namespace fs = std::filesystem;
namespace pui = platform::ui;

namespace {

constexpr int kItemHeight = 30;
constexpr char kCombo[] = "device_profile_combo";
constexpr char kNameEdit[] = "device_profile_name_edit";
constexpr char kMenu[] = "profile_menu_layout";
constexpr char kSpread[] = "profile_fun_spread_btn";
constexpr char kSave[] = "device_profile_edit_save_btn";

QString to_qt(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QString to_qt(const fs::path& path) {
    return QString::fromStdString(path.string());
}

fs::path to_path(const QString& path) {
    return fs::path(path.toStdString());
}

QString language_text(const char* id) {
    return pui::LanguageTexts::instance().text(QString::fromLatin1(id));
}

}  // namespace

CDeviceProfileUI::CDeviceProfileUI(QWidget* parent)
    : QWidget(parent),
      open_dialog_(platform::ui::native_open_dialog()),
      save_dialog_(platform::ui::native_save_dialog()) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (QWidget* root = pui::Window::build_layout(QString::fromLatin1(kLayout), this)) {
        layout->addWidget(root);
        setMaximumWidth(root->maximumWidth());  // the panel keeps its width in wider columns
    }
    if (auto* edit = qobject_cast<QLineEdit*>(part(kNameEdit))) {
        // Internal: these are no routed notifications, and Enter commits a rename as the save
        // button does.
        connect(edit, &QLineEdit::textChanged, this, [this] { update_save_button(); });
        connect(edit, &QLineEdit::returnPressed, this, [this] { on_rename_requested(); });
    }
    show_profile_menu(false);
    update_save_button();
    // The folder tells when the list file is created or replaced (every write is a rename), the
    // file when it is changed in place.
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { follow_list_file(); });
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { follow_list_file(); });
}

CDeviceProfileUI::~CDeviceProfileUI() = default;

QWidget* CDeviceProfileUI::part(const char* name) const {
    return pui::Window::find_sub_control_by_name(const_cast<CDeviceProfileUI*>(this),
                                                 QString::fromLatin1(name));
}

void CDeviceProfileUI::set_kind(const fs::path& profile_folder, const fs::path& default_file,
                                int device_type, SensorTable sensors) {
    device_type_ = device_type;
    list_ = std::make_unique<ProfileList>(profile_folder, default_file, device_type);
    list_->set_sensors(std::move(sensors));
    if (const QStringList watched = watcher_.files() + watcher_.directories(); !watched.isEmpty())
        watcher_.removePaths(watched);
}

void CDeviceProfileUI::watch_list_file() {
    if (!list_)
        return;
    for (const QString& path : {to_qt(list_->folder()), to_qt(list_->list_path())}) {
        // A replaced file drops out of the watch; it is watched again once it is back.
        if (!watcher_.files().contains(path) && !watcher_.directories().contains(path) &&
            QFileInfo::exists(path)) {
            watcher_.addPath(path);
        }
    }
}

void CDeviceProfileUI::follow_list_file() {
    watch_list_file();
    if (!list_ || !list_->changed_on_disk())
        return;
    const QString followed = current_uuid_;
    reload_list();
    if (current_uuid_ != followed)
        apply_selected();
}

void CDeviceProfileUI::load() {
    reload_list();
}

void CDeviceProfileUI::reload_list() {
    if (!list_)
        return;
    if (const ListResult r = list_->load(); !r.ok())
        platform::debug_printf("profile list: %s: %s\n", status_text(r.status), r.detail.c_str());
    fill_combo();
    watch_list_file();
}

void CDeviceProfileUI::fill_combo() {
    QWidget* combo = part(kCombo);
    if (combo == nullptr || !list_)
        return;
    pui::remove_all_items(combo);
    for (const ProfileEntry& e : list_->entries()) {
        const QString name = to_qt(e.name);
        pui::add_combo_item(combo, name, name, name, kItemHeight);
    }
    const int sel = list_->selected();
    if (sel >= 0 && sel < list_->size()) {
        pui::select_item(combo, sel, false);
        pui::set_text(part(kNameEdit), pui::text(combo));
        current_uuid_ = to_qt(list_->entries()[static_cast<std::size_t>(sel)].uuid);
    }
    update_save_button();
}

// ---- Queries ------------------------------------------------------------------------------

int CDeviceProfileUI::current_selection() const {
    QWidget* combo = part(kCombo);
    return combo != nullptr ? pui::current_item(combo) : -1;
}

int CDeviceProfileUI::profile_count_in_combo() const {
    QWidget* combo = part(kCombo);
    return combo != nullptr ? pui::item_count(combo) : -1;
}

int CDeviceProfileUI::profile_count() {
    if (!list_)
        return 0;
    follow_list_file();
    return list_->size();
}

fs::path CDeviceProfileUI::profile_file_path(int index) const {
    return list_ ? list_->file_of(index) : fs::path();
}

QString CDeviceProfileUI::current_uuid() const {
    return current_uuid_;
}

void CDeviceProfileUI::refresh_current_uuid() {
    if (!list_)
        return;
    // Item i of the combo must stay entry i of the list: refill when the file changed.
    if (list_->changed_on_disk())
        reload_list();
    const int sel = list_->selected();
    if (sel >= 0 && sel < list_->size())
        current_uuid_ = to_qt(list_->entries()[static_cast<std::size_t>(sel)].uuid);
}

QString CDeviceProfileUI::edited_name() const {
    return part(kCombo) != nullptr ? pui::text(part(kNameEdit)) : QString();
}

void CDeviceProfileUI::show_profile_menu(bool on) {
    if (QWidget* menu = part(kMenu))
        menu->setVisible(on);
    if (auto* spread = qobject_cast<QAbstractButton*>(part(kSpread))) {
        spread->setProperty("expanded", on);
        // The style sheet picks the state up only when the style is applied again.
        spread->style()->unpolish(spread);
        spread->style()->polish(spread);
    }
}

bool CDeviceProfileUI::profile_menu_shown() const {
    QWidget* menu = part(kMenu);
    return menu != nullptr && !menu->isHidden();
}

// ---- Operations ---------------------------------------------------------------------------

void CDeviceProfileUI::select_profile(int index, bool notify) {
    QWidget* combo = part(kCombo);
    if (combo == nullptr || !list_)
        return;
    pui::select_item(combo, index, notify);
    pui::set_text(part(kNameEdit), pui::text(combo));
    const ListResult r = list_->select(index);
    if (!r.ok()) {
        platform::debug_printf("profile %d not selected: %s %s\n", index, status_text(r.status),
                               r.detail.c_str());
        fill_combo();  // show what the list file says
        return;
    }
    current_uuid_ = to_qt(list_->entries()[static_cast<std::size_t>(index)].uuid);
    update_save_button();
}

void CDeviceProfileUI::apply_selected() {
    refresh_current_uuid();
    if (!list_)
        return;
    const fs::path file = list_->selected_file();
    if (!file.empty())
        emit profile_applied(to_qt(file));
}

bool CDeviceProfileUI::create_profile() {
    if (part(kCombo) == nullptr || !list_)
        return false;
    if (profile_count_in_combo() >= MaxProfileCount) {
        notice("message_text_32");
        return false;
    }
    const ListResult r = list_->create();
    if (r.status == ListStatus::AtLimit) {
        fill_combo();
        notice("message_text_32");
        return false;
    }
    if (!r.ok()) {
        notice("profile_write_failed_text");
        return false;
    }
    fill_combo();
    emit list_changed();
    return true;
}

bool CDeviceProfileUI::delete_profile() {
    const int sel = current_selection();
    if (sel < 0 || profile_count_in_combo() <= 1 || !list_)
        return false;
    const ListResult r = list_->remove(sel);
    fill_combo();
    if (!r.ok()) {
        if (r.status == ListStatus::WriteFailed)
            notice("profile_write_failed_text");
        return false;
    }
    emit list_changed();
    // The deleted profile was the one the device followed; the page must not keep writing a
    // file that no entry names any more.
    apply_selected();
    return true;
}

bool CDeviceProfileUI::copy_profile() {
    if (part(kCombo) == nullptr || !list_ || profile_count_in_combo() >= MaxProfileCount)
        return false;
    const int source = current_selection();
    if (source < 0)
        return false;
    const ListResult r = list_->copy(source);
    fill_combo();
    if (!r.ok()) {
        if (r.status == ListStatus::WriteFailed)
            notice("profile_write_failed_text");
        return false;
    }
    emit list_changed();
    return true;
}

bool CDeviceProfileUI::import_profile(const QString& path) {
    if (part(kCombo) == nullptr || !list_ || profile_count_in_combo() >= MaxProfileCount)
        return false;
    const ListResult r = list_->import_file(to_path(path));
    fill_combo();
    if (!r.ok()) {
        platform::debug_printf("import of %s refused: %s\n", path.toUtf8().constData(),
                               r.detail.c_str());
        if (r.status == ListStatus::Refused)
            notice("profile_import_refused_text");
        else if (r.status == ListStatus::WriteFailed)
            notice("profile_write_failed_text");
        return false;
    }
    emit list_changed();
    if (!r.corrections.empty()) {
        for (const std::string& line : r.corrections)
            platform::debug_printf("import of %s corrected %s\n", path.toUtf8().constData(),
                                   line.c_str());
        notice("profile_import_corrected_text");
    }
    return true;
}

bool CDeviceProfileUI::export_profile(int index, const QString& path) {
    if (!list_ || index < 0)
        return false;
    const ListResult r = list_->export_file(index, to_path(path));
    if (!r.ok()) {
        platform::debug_printf("export to %s failed: %s %s\n", path.toUtf8().constData(),
                               status_text(r.status), r.detail.c_str());
        notice("profile_export_failed_text");
        return false;
    }
    return true;
}

bool CDeviceProfileUI::reset_profile() {
    const int sel = current_selection();
    if (sel < 0 || !list_)
        return false;
    const ListResult r = list_->reset(sel);
    if (!r.ok()) {
        notice("profile_write_failed_text");
        return false;
    }
    return true;
}

int CDeviceProfileUI::rename_profile(const QString& name) {
    QWidget* combo = part(kCombo);
    const int sel = current_selection();
    if (combo == nullptr || !list_ || sel < 0)
        return 0;
    const ListResult r = list_->rename(sel, name.toStdString());
    switch (r.status) {
        case ListStatus::Done:
            break;
        case ListStatus::BlankName:
            return 2;
        case ListStatus::ControlName:
            return 3;
        case ListStatus::DuplicateName:
            return 0;
        default:
            fill_combo();
            return r.status == ListStatus::WriteFailed ? -1 : 0;
    }
    fill_combo();
    emit list_changed();
    return 1;
}

void CDeviceProfileUI::open_app_bindings() {
    refresh_current_uuid();
    const int sel = list_ ? list_->selected() : -1;
    if (sel < 0 || sel >= list_->size())
        return;
    platform::ui::Window* owner = pui::window_of(this);
    show_app_bindings(window(), owner != nullptr ? owner->dpi() : 96, list_->folder(),
                      list_->entries()[static_cast<std::size_t>(sel)], list_->entries(), focus_);
}

// ---- Notifications ------------------------------------------------------------------------

bool CDeviceProfileUI::confirmed(const char* text_id) {
    return ui::ask_user(this, text_id);
}

void CDeviceProfileUI::notice(const char* text_id) {
    ui::tell_user(this, text_id);
}

void CDeviceProfileUI::update_save_button() {
    QWidget* save = part(kSave);
    if (save == nullptr)
        return;
    const QString typed = pui::text(part(kNameEdit));
    const int sel = current_selection();
    const bool same = list_ && sel >= 0 && sel < list_->size() &&
                      typed == to_qt(list_->entries()[static_cast<std::size_t>(sel)].name);
    save->setEnabled(!typed.trimmed().isEmpty() && !same);
}

void CDeviceProfileUI::on_rename_requested() {
    const QString name = edited_name();
    if (name.isEmpty())
        return;
    switch (rename_profile(name)) {
        case 0:
            notice("message_text_5");
            break;
        case 2:
            notice("message_text_25");
            break;
        case 3:
            notice("name_control_text");
            break;
        case -1:
            notice("profile_write_failed_text");
            break;
        default:
            break;
    }
}

void CDeviceProfileUI::on_notify(pui::Notification& msg) {
    if (msg.sender == nullptr || (msg.sender != this && !isAncestorOf(msg.sender)))
        return;
    const QString name = msg.sender_name();
    auto is = [&name](const char* n) {
        return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0;
    };

    if (msg.type == "itemselect") {
        if (is(kCombo))
            select_profile(current_selection(), false);
        return;
    }
    if (msg.type == "textchanged") {
        if (is(kCombo) || is(kNameEdit))
            update_save_button();
        return;
    }
    if (msg.type != "click")
        return;

    if (name == QLatin1String(kSpread)) {
        show_profile_menu(!profile_menu_shown());
    } else if (is("device_add_btn")) {
        if (confirmed("message_text_27"))
            create_profile();
    } else if (is("device_sub_btn")) {
        if (confirmed("message_text_29"))
            delete_profile();
    } else if (is("device_copy_btn")) {
        if (confirmed("message_text_26"))
            copy_profile();
    } else if (is("device_import_btn")) {
        const QString path = open_dialog_(window(), language_text("profile_import_title_text"),
                                          QDir::homePath(), QString::fromLatin1(kFileFilter));
        // A cancelled dialog or a refused file leaves the selection alone.
        if (!path.isEmpty() && import_profile(path)) {
            select_profile(profile_count_in_combo() - 1, false);
            apply_selected();
        }
    } else if (is("device_export_btn")) {
        const int sel = current_selection();
        if (sel < 0 || !list_ || sel >= list_->size())
            return;
        const QString start =
            QDir(QDir::homePath())
                .filePath(to_qt(list_->entries()[static_cast<std::size_t>(sel)].name) +
                          QStringLiteral(".json"));
        QString path = save_dialog_(window(), language_text("profile_export_title_text"), start,
                                    QString::fromLatin1(kFileFilter));
        if (path.isEmpty())
            return;
        if (QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".json");
        export_profile(sel, path);
    } else if (is("device_reset_btn")) {
        if (confirmed("message_text_22") && reset_profile())
            apply_selected();
    } else if (is(kSave)) {
        on_rename_requested();
    } else if (is("device_apps_btn")) {
        open_app_bindings();
    }
}

void register_profile_controls() {
    pui::ControlFactory::instance().regist_control(
        QString::fromLatin1(CDeviceProfileUI::kClassName), [] { return new CDeviceProfileUI; });
}

}  // namespace velqa::profile
