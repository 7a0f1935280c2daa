#include "profile/ui/app_bindings_wnd.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <QStyle>
#include <algorithm>

#include "platform/debug_output.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"

namespace velqa::profile {

namespace pui = platform::ui;

namespace {

constexpr char kList[] = "appbind_app_list";
constexpr char kEdit[] = "appbind_app_edit";
constexpr char kAdd[] = "appbind_add_btn";
constexpr char kRemove[] = "appbind_remove_btn";
constexpr char kAddFocused[] = "appbind_add_focused_btn";
constexpr char kDefault[] = "appbind_default_check";
constexpr char kStatus[] = "appbind_status";

QString tr_id(const char* id) {
    return pui::LanguageTexts::instance().text(QString::fromLatin1(id));
}

}  // namespace

AppBindingsWnd::AppBindingsWnd(QWidget* owner, std::filesystem::path profile_folder,
                               ProfileEntry profile, std::vector<ProfileEntry> profiles,
                               FocusSource focus)
    : Window(owner),
      bindings_(std::move(profile_folder)),
      profile_(std::move(profile)),
      profiles_(std::move(profiles)),
      focus_(std::move(focus)) {
    set_caption_height(44);
}

bool AppBindingsWnd::owns(std::string_view type, std::string_view name) {
    (void)type;
    return name.starts_with("appbind_") || same_name(name, "closebtn");
}

QWidget* AppBindingsWnd::part(const char* name) const {
    return find_control(QString::fromLatin1(name));
}

void AppBindingsWnd::init_window() {
    pui::set_text(part("appbind_profile"),
                  tr_id("appbind_profile_text").arg(QString::fromStdString(profile_.name)));
    if (auto* edit = qobject_cast<QLineEdit*>(part(kEdit)))
        edit->setPlaceholderText(tr_id("appbind_app_placeholder_text"));
    // Without focus information the list can still be prepared; the reason stays in view.
    refresh();
}

void AppBindingsWnd::refresh() {
    if (const BindingResult r = bindings_.load(); !r.ok())
        platform::debug_printf("app bindings: %s\n", r.detail.c_str());
    const pui::Quiet quiet(root());
    if (auto* list = qobject_cast<QListWidget*>(part(kList))) {
        const QString selected = list->currentItem() ? list->currentItem()->text() : QString();
        list->clear();
        for (const std::string& app : bindings_.apps_of(profile_.uuid)) {
            list->addItem(QString::fromStdString(app));
            if (list->item(list->count() - 1)->text() == selected)
                list->setCurrentRow(list->count() - 1);
        }
    }
    if (auto* check = qobject_cast<QAbstractButton*>(part(kDefault)))
        check->setChecked(bindings_.default_uuid() == profile_.uuid);
    update_buttons();
}

void AppBindingsWnd::update_buttons() {
    auto* list = qobject_cast<QListWidget*>(part(kList));
    if (QWidget* remove = part(kRemove))
        remove->setEnabled(list != nullptr && list->currentRow() >= 0);
    if (QWidget* add = part(kAdd))
        add->setEnabled(!pui::text(part(kEdit)).trimmed().isEmpty());
    QWidget* focused = part(kAddFocused);
    const std::string app = focus_.last_focused ? focus_.last_focused() : std::string();
    if (focused != nullptr) {
        focused->setEnabled(!app.empty());
        if (!app.empty()) {
            pui::set_tool_tip(
                focused, tr_id("appbind_add_focused_tip_text").arg(QString::fromStdString(app)));
        } else if (!focus_.unavailable_reason.empty()) {
            pui::set_tool_tip(focused, QString::fromStdString(focus_.unavailable_reason));
        } else {
            pui::set_tool_tip_id(focused, QStringLiteral("appbind_no_focused_tip_text"));
        }
    }
    QWidget* status = part(kStatus);
    if (status != nullptr && status->property("error").toBool())
        return;  // an error stays until the next action
    if (!focus_.unavailable_reason.empty())
        say(QString::fromStdString(focus_.unavailable_reason), false);
    else if (list != nullptr && list->count() == 0)
        say(tr_id("appbind_empty_text"), false);
    else
        say({}, false);
}

void AppBindingsWnd::say(const QString& text, bool error) {
    QWidget* status = part(kStatus);
    if (status == nullptr)
        return;
    pui::set_text(status, text);
    if (status->property("error").toBool() != error) {
        status->setProperty("error", error);
        status->style()->unpolish(status);
        status->style()->polish(status);
    }
}

bool AppBindingsWnd::done(const BindingResult& r) {
    say({}, false);
    if (r.status == BindingStatus::BadAppId) {
        say(tr_id("appbind_bad_id_text"), true);
    } else if (!r.ok() && r.status != BindingStatus::NotBound) {
        platform::debug_printf("app bindings not saved: %s\n", r.detail.c_str());
        say(tr_id("appbind_write_failed_text"), true);
    }
    refresh();
    return r.ok();
}

bool AppBindingsWnd::add_app(const QString& app_id) {
    const std::string id = app_id.trimmed().toStdString();
    std::string moved_from;
    if (const std::string before = bindings_.bound_uuid(id); before != profile_.uuid) {
        for (const ProfileEntry& e : profiles_) {
            if (e.uuid == before)
                moved_from = e.name;
        }
    }
    if (!done(bindings_.bind(profile_.uuid, id)))
        return false;
    pui::set_text(part(kEdit), QString());
    if (!moved_from.empty()) {
        say(tr_id("appbind_moved_text")
                .arg(QString::fromStdString(id), QString::fromStdString(moved_from)),
            false);
    }
    if (auto* list = qobject_cast<QListWidget*>(part(kList))) {
        const auto found = list->findItems(QString::fromStdString(id), Qt::MatchFixedString);
        if (!found.isEmpty())
            list->setCurrentItem(found.front());
    }
    update_buttons();
    return true;
}

bool AppBindingsWnd::add_focused() {
    const std::string app = focus_.last_focused ? focus_.last_focused() : std::string();
    if (app.empty()) {
        update_buttons();
        return false;
    }
    return add_app(QString::fromStdString(app));
}

bool AppBindingsWnd::remove_selected() {
    auto* list = qobject_cast<QListWidget*>(part(kList));
    if (list == nullptr || list->currentItem() == nullptr)
        return false;
    const int row = list->currentRow();
    const bool ok =
        done(bindings_.unbind(profile_.uuid, list->currentItem()->text().toStdString()));
    // The next id takes the removed one's place, so several can go one click after another.
    if (ok && list->count() > 0)
        list->setCurrentRow(std::min(row, list->count() - 1));
    update_buttons();
    return ok;
}

bool AppBindingsWnd::set_default(bool on) {
    // Clearing the mark clears the default only while it is still this profile.
    if (!on && bindings_.default_uuid() != profile_.uuid)
        return done({});
    return done(bindings_.set_default(on ? profile_.uuid : std::string()));
}

QStringList AppBindingsWnd::shown_apps() const {
    QStringList out;
    if (auto* list = qobject_cast<QListWidget*>(part(kList))) {
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
    }
    return out;
}

void AppBindingsWnd::notify(pui::Notification& msg) {
    const QString name = msg.sender_name();
    auto is = [&name](const char* n) {
        return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0;
    };
    if (msg.type == "textchanged" || msg.type == "itemselect") {
        update_buttons();
    } else if (msg.type == "return" && is(kEdit)) {
        add_app(pui::text(part(kEdit)));
    } else if (msg.type != "click") {
        return;
    } else if (is("closebtn") || is("appbind_done_btn")) {
        close_window(0);
    } else if (is(kAdd)) {
        add_app(pui::text(part(kEdit)));
    } else if (is(kAddFocused)) {
        add_focused();
    } else if (is(kRemove)) {
        remove_selected();
    } else if (is(kDefault)) {
        if (auto* check = qobject_cast<QAbstractButton*>(msg.sender))
            set_default(check->isChecked());
    }
}

void show_app_bindings(QWidget* owner, int dpi, const std::filesystem::path& profile_folder,
                       const ProfileEntry& profile, const std::vector<ProfileEntry>& profiles,
                       const FocusSource& focus) {
    AppBindingsWnd wnd(owner, profile_folder, profile, profiles, focus);
    wnd.create(QStringLiteral("AppBindings"), {}, true);
    if (pui::Window::is_valid_dpi(dpi))
        wnd.set_dpi(dpi);
    wnd.center_window();
    wnd.show_modal();
}

}  // namespace velqa::profile
