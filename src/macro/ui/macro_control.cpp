#include "macro/ui/macro_control.h"

#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <optional>

#include "macro/key_tables.h"
#include "platform/debug_output.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/layout_builder.h"
#include "platform/ui/menu.h"
#include "ui/msg_wnd.h"

namespace velqa::macro {

namespace fs = std::filesystem;
namespace pui = platform::ui;

namespace {

constexpr char kNameList[] = "macro_name_list";
constexpr char kActionList[] = "macro_action_list";
constexpr char kNameEdit[] = "macro_edit_macroname";
constexpr char kFixedTime[] = "macro_fixed_time_edit";
constexpr char kCheckTime[] = "macro_check_time";
constexpr char kStart[] = "macro_btn_starredio";
constexpr char kStop[] = "macro_btn_stopredio";
constexpr char kRowName[] = "macro_action";
constexpr char kDelayEdit[] = "macro_delay";
constexpr char kStyleProperty[] = "macroStyle";
constexpr char kWriteFailed[] = "macro_write_failed_text";
constexpr int kNameItemHeight = 34;

// The controls that only make sense with a macro selected.
constexpr const char* kSelectionControls[] = {"macro_action_layout", "mouse_move_layout",
                                              "macro_btn_export", "macro_btn_name_sub",
                                              "macro_btn_name_edit"};

QString qt(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QString language_text(const char* id) {
    return pui::LanguageTexts::instance().text(QString::fromLatin1(id));
}

// A delay edit's text as milliseconds: empty or non-digits read as 0, more than 65535 as 65535.
std::uint16_t delay_of_text(const QString& text) {
    std::uint32_t v = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        v = std::min<std::uint32_t>(v * 10 + static_cast<std::uint32_t>(c.unicode() - '0'),
                                    MaxDelay + 1);
    }
    return static_cast<std::uint16_t>(std::min<std::uint32_t>(v, MaxDelay));
}

// Shows a text id, or `fallback` when the language has no text for it (a key name reads
// better than its id).
void show_label(QLabel* label, const QString& id, const QString& fallback) {
    if (id.isEmpty() || !pui::LanguageTexts::instance().has(id))
        pui::set_text(label, fallback);
    else
        pui::set_text_id(label, id);
}

void set_style(QWidget* w, const char* style) {
    if (w == nullptr || w->property(kStyleProperty).toString() == QLatin1String(style))
        return;
    w->setProperty(kStyleProperty, QString::fromLatin1(style));
    // Property selectors of the style sheet apply again only after a re-polish; a row not yet
    // shown is polished with its property when it first shows.
    if (!w->testAttribute(Qt::WA_WState_Polished))
        return;
    w->style()->unpolish(w);
    w->style()->polish(w);
}

// Row labels: the event's name (id and fallback) and whether it is a key.
struct EventName {
    QString id;
    QString fallback;
    bool keyboard = false;
};

EventName event_name(const MacroEvent& e) {
    EventName n;
    if (e.type == TypeKey || e.type == TypeModifier) {
        n.keyboard = true;
        const auto row = e.type == TypeKey ? row_for_usage(e.button) : row_for_modifier(e.button);
        if (row) {
            const auto& k = key_table()[*row];
            n.fallback = QString::fromUtf8(k.name.data(), static_cast<int>(k.name.size()));
            n.id = QStringLiteral("keyboard_key_") + n.fallback;
        }
        return n;
    }
    const auto table = mouse_event_table();
    if (e.type == TypeMouseButton) {
        for (std::size_t i = 0; i < 10; ++i) {
            if (table[i].button == e.button) {
                n.id = QString::fromLatin1(table[i].label.data(),
                                           static_cast<int>(table[i].label.size()));
                break;
            }
        }
    } else if (e.type == TypeMoveX || e.type == TypeMoveY) {
        const std::uint8_t byte = static_cast<std::uint8_t>(e.type | (e.down ? 0x80 : 0));
        for (std::size_t i = 10; i < 14; ++i) {
            if (table[i].type_byte == byte) {
                n.id = QString::fromLatin1(table[i].label.data(),
                                           static_cast<int>(table[i].label.size()));
                break;
            }
        }
    }
    n.fallback = n.id;
    return n;
}

QString event_text(const MacroEvent& e) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return qt(Json::writeString(builder, event_json(e)));
}

// Recording: the lists must not take clicks (a click is being recorded), also from rows added
// while it runs.
void set_mouse_ignored(QWidget* w, bool on) {
    if (w == nullptr)
        return;
    w->setAttribute(Qt::WA_TransparentForMouseEvents, on);
    for (QWidget* child : w->findChildren<QWidget*>())
        child->setAttribute(Qt::WA_TransparentForMouseEvents, on);
}

}  // namespace

CMacroControlUI::CMacroControlUI(QWidget* parent)
    : QWidget(parent),
      library_(fs::path()),
      open_dialog_(platform::ui::native_open_dialog()),
      save_dialog_(platform::ui::native_save_dialog()) {
    setProperty(pui::kClassProperty, QString::fromLatin1(kClassName));
    if (pui::Window::build_scrolled_layout(
            QString::fromLatin1(kLayout), this,
            QString::fromLatin1(kClassName) + QStringLiteral("_scroll")) == nullptr)
        platform::debug_output("macro editor: its layout could not be built\n");

    pui::set_number_only(control(kFixedTime), true);
    pui::set_max_length(control(kFixedTime), 6);
    pui::set_text(control(kFixedTime), QString::number(recorder_.constant_delay()));
    for (const char* name :
         {"mouse_x_left_edit", "mouse_x_right_edit", "mouse_y_up_edit", "mouse_y_down_edit"}) {
        pui::set_number_only(control(name), true);
        pui::set_max_length(control(name), 3);
    }
    if (QWidget* stop = control(kStop))
        stop->hide();
    set_capture_note(QString());
    if (auto* list = qobject_cast<QListWidget*>(control(kActionList))) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        // Rows send "menu" themselves; the empty part of the list opens the same menu.
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this,
                [this] { on_menu_command(QString()); });
        // Every row has the same height: the list lays out 250 of them without asking each.
        list->setUniformItemSizes(true);
        connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this,
                [this] { build_visible_rows(); });
        list->viewport()->installEventFilter(this);
    }
    scroll_timer_.setSingleShot(true);
    scroll_timer_.setInterval(kScrollDelayMs);
    connect(&scroll_timer_, &QTimer::timeout, this, [this] { scroll_to_selection(); });
    set_event_controls_enabled(false);
}

CMacroControlUI::~CMacroControlUI() = default;

QWidget* CMacroControlUI::control(const QString& name) const {
    return controls_.find(const_cast<CMacroControlUI*>(this), name);
}

QWidget* CMacroControlUI::row_widget(int i) const {
    if (QWidget* row = built_row(i))
        return row;
    return const_cast<CMacroControlUI*>(this)->build_row(i);
}

QWidget* CMacroControlUI::built_row(int i) const {
    auto* list = qobject_cast<QListWidget*>(control(kActionList));
    if (list == nullptr || i < 0 || i >= list->count())
        return nullptr;
    return list->itemWidget(list->item(i));
}

int CMacroControlUI::built_rows() const {
    int built = 0;
    for (int i = 0; i < static_cast<int>(events_.size()); ++i)
        built += built_row(i) != nullptr ? 1 : 0;
    return built;
}

bool CMacroControlUI::eventFilter(QObject* watched, QEvent* event) {
    // The list's viewport: shown or resized, other rows may come into view.
    if (event->type() == QEvent::Show || event->type() == QEvent::Resize)
        QMetaObject::invokeMethod(
            this, [this] { build_visible_rows(); }, Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}

bool CMacroControlUI::confirmed(const char* text_id) {
    return ui::ask_user(this, text_id);
}

void CMacroControlUI::notice(const char* text_id) {
    ui::tell_user(this, text_id);
}

void CMacroControlUI::set_event_controls_enabled(bool on) {
    for (const char* name : kSelectionControls) {
        if (QWidget* w = control(name))
            w->setEnabled(on);
    }
}

void CMacroControlUI::set_capture_note(const QString& line) {
    QWidget* note = control("macro_capture_note");
    // A text id follows the language; anything else is shown as given.
    if (!line.isEmpty() && pui::LanguageTexts::instance().has(line))
        pui::set_text_id(note, line);
    else
        pui::set_text(note, line);
    if (note != nullptr)
        note->setVisible(!line.isEmpty());
}

// ---- The macro list ---------------------------------------------------------------------

void CMacroControlUI::set_macro_folder(const fs::path& folder) {
    if (recording_)
        stop_recording();
    library_ = MacroLibrary(folder);
}

void CMacroControlUI::load_macro_list() {
    // Without a folder there is nothing to read, and nothing may be written beside the program.
    if (!library_.folder().empty())
        library_.load();
    fill_names();
    select_macro(library_.size() > 0 ? 0 : -1);
}

void CMacroControlUI::fill_names() {
    auto* list = qobject_cast<QListWidget*>(control(kNameList));
    if (list == nullptr)
        return;
    const pui::Quiet quiet(this);
    list->clear();
    for (const MacroEntry& e : library_.entries()) {
        auto* item = new QListWidgetItem(qt(e.name));
        item->setData(Qt::UserRole, qt(e.guid));
        item->setSizeHint(QSize(0, kNameItemHeight));
        list->addItem(item);
    }
}

// Each change re-reads the list, so it may bring in what another program changed meanwhile;
// then the names are shown afresh instead of edited in place. `change`: +1 when the library
// appended an entry, -1 when it removed entry `at`, 0 otherwise.
bool CMacroControlUI::shows_library(int change, int at) const {
    auto* list = qobject_cast<QListWidget*>(control(kNameList));
    if (list == nullptr || list->count() + change != library_.size())
        return false;
    int entry = 0;
    for (int row = 0; row < list->count(); ++row) {
        if (change < 0 && row == at)
            continue;
        if (list->item(row)->data(Qt::UserRole).toString() !=
            qt(library_.entries()[static_cast<std::size_t>(entry++)].guid)) {
            return false;
        }
    }
    return true;
}

int CMacroControlUI::selected_macro() const {
    const int sel = pui::current_item(control(kNameList));
    return sel >= 0 && sel < library_.size() ? sel : -1;
}

void CMacroControlUI::select_macro(int index) {
    if (index >= library_.size())
        index = -1;
    {
        const pui::Quiet quiet(this);
        pui::select_item(control(kNameList), index, false);
    }
    if (index >= 0) {
        set_event_controls_enabled(true);
        events_ = library_.load_events(index);
        pui::set_text(control(kNameEdit),
                      qt(library_.entries()[static_cast<std::size_t>(index)].name));
    } else {
        set_event_controls_enabled(false);
        events_.clear();
        pui::set_text(control(kNameEdit), QStringLiteral(" "));
    }
    rebuild_rows();
}

void CMacroControlUI::new_macro() {
    if (library_.folder().empty() || !confirmed("message_text_28"))
        return;
    const MacroResult r = library_.create();
    if (!r.ok()) {
        platform::debug_printf("macro editor: new macro: %s\n", r.detail.c_str());
        notice(r.message.empty() ? kWriteFailed : r.message.c_str());
        return;
    }
    show_added_macro(r);
}

// A macro the library has just added (new or imported) joins the list and is selected.
void CMacroControlUI::show_added_macro(const MacroResult& r) {
    if (!shows_library(1, -1)) {
        fill_names();
    } else if (auto* list = qobject_cast<QListWidget*>(control(kNameList))) {
        auto* item = new QListWidgetItem(qt(r.name));
        item->setData(Qt::UserRole, qt(library_.entries()[static_cast<std::size_t>(r.index)].guid));
        item->setSizeHint(QSize(0, kNameItemHeight));
        const pui::Quiet quiet(this);
        list->addItem(item);
    }
    select_macro(r.index);
    emit macro_added(qt(r.name));
}

void CMacroControlUI::rename_macro() {
    const int sel = selected_macro();
    if (sel < 0)
        return;
    const MacroResult r = library_.rename(sel, pui::text(control(kNameEdit)).toStdString());
    if (r.status == MacroStatus::Unchanged)
        return;
    if (!r.ok()) {
        notice(r.message.empty() ? kWriteFailed : r.message.c_str());
        return;
    }
    if (!shows_library(0, -1)) {
        fill_names();
        select_macro(r.index);
    } else if (auto* list = qobject_cast<QListWidget*>(control(kNameList))) {
        list->item(r.index)->setText(qt(r.name));
    }
    pui::set_text(control(kNameEdit), qt(r.name));
    emit macro_renamed(r.index, qt(r.name));
}

void CMacroControlUI::delete_macro() {
    const int sel = selected_macro();
    if (sel < 0 || !confirmed("message_text_4"))
        return;
    if (refs_.current_profile_uses && refs_.current_profile_uses(sel) &&
        !confirmed("message_text_2")) {
        return;
    }
    // The files go first: key references are renumbered only once the macro is really gone,
    // so a failed removal cannot leave keys pointing at the wrong macros.
    const MacroResult r = library_.remove(sel);
    if (!r.ok()) {
        platform::debug_printf("macro editor: delete: %s\n", r.detail.c_str());
        notice(kWriteFailed);
        return;
    }
    // The library follows the macro by identity: another program may have moved it.
    const int gone = r.index;
    const bool changed = refs_.fix_profiles ? refs_.fix_profiles(gone) : false;
    if (!shows_library(-1, gone)) {
        fill_names();
    } else if (auto* list = qobject_cast<QListWidget*>(control(kNameList))) {
        const pui::Quiet quiet(this);
        delete list->takeItem(gone);
    }
    events_.clear();
    if (library_.size() > 0) {
        select_macro(0);
    } else {
        select_macro(-1);
        pui::set_text(control(kNameEdit), QString());
    }
    emit macro_deleted(gone, changed);
}

void CMacroControlUI::import_macro() {
    if (library_.folder().empty())
        return;
    if (library_.size() >= static_cast<int>(MaxMacros)) {
        notice("message_text_32");
        return;
    }
    const QString start = last_import_path_.isEmpty() ? QDir::homePath()
                                                      : QFileInfo(last_import_path_).absolutePath();
    const QString path = open_dialog_(window(), language_text("macro_import_title_text"), start,
                                      QString::fromLatin1(kFileFilter));
    if (path.isEmpty())
        return;
    last_import_path_ = path;
    const MacroResult r = library_.import_file(fs::path(path.toStdString()));
    if (!r.ok()) {
        platform::debug_printf("macro editor: import refused: %s\n", r.detail.c_str());
        notice(!r.message.empty()                 ? r.message.c_str()
               : r.status == MacroStatus::Refused ? "macro_import_refused_text"
                                                  : kWriteFailed);
        return;
    }
    show_added_macro(r);
}

void CMacroControlUI::export_macro() {
    const int sel = selected_macro();
    if (sel < 0)
        return;
    const QString dir = last_import_path_.isEmpty() ? QDir::homePath()
                                                    : QFileInfo(last_import_path_).absolutePath();
    const QString start = QDir(dir).filePath(
        qt(library_.entries()[static_cast<std::size_t>(sel)].name) + QStringLiteral(".mac"));
    QString path = save_dialog_(window(), language_text("macro_export_title_text"), start,
                                QString::fromLatin1(kFileFilter));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".mac");
    const MacroResult r = library_.export_file(sel, fs::path(path.toStdString()));
    if (!r.ok()) {
        platform::debug_printf("macro editor: export: %s\n", r.detail.c_str());
        notice("macro_export_failed_text");
    }
}

// ---- Event rows -------------------------------------------------------------------------

int CMacroControlUI::selected_row() const {
    const int row = pui::current_item(control(kActionList));
    return row >= 0 && row < static_cast<int>(events_.size()) ? row : -1;
}

std::vector<MacroEvent> CMacroControlUI::shown_events() const {
    std::vector<MacroEvent> out = events_;
    // A row not built yet shows its event's delay as it is.
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (QWidget* row = built_row(static_cast<int>(i))) {
            if (auto* edit = row->findChild<QLineEdit*>(QLatin1String(kDelayEdit)))
                out[i].delay = delay_of_text(edit->text());
        }
    }
    return out;
}

void CMacroControlUI::sync_from_edits() {
    events_ = shown_events();
}

void CMacroControlUI::show_event(QWidget* row, const MacroEvent& e) {
    if (row == nullptr)
        return;
    pui::set_user_data(row, event_text(e));
    const EventName name = event_name(e);
    if (auto* label = row->findChild<QLabel*>(QStringLiteral("macro_action_name"))) {
        show_label(label, name.id, name.fallback);
        set_style(label, name.keyboard ? "macro_label_keyboard_style" : "macro_label_mouse_style");
    }
    if (auto* state = row->findChild<QLabel*>(QStringLiteral("macro_action_state"))) {
        if (e.type == TypeMoveX || e.type == TypeMoveY) {
            pui::set_text(state, QString::number(e.button));
            set_style(state, "macro_label_text_style");
        } else {
            pui::set_text_id(
                state, QString::fromLatin1(e.down ? "macro_press_text" : "macro_release_text"));
            set_style(state, e.down ? "macro_label_down_style" : "macro_label_up_style");
        }
    }
    if (auto* edit = row->findChild<QLineEdit*>(QLatin1String(kDelayEdit)))
        edit->setText(QString::number(e.delay));
}

QWidget* CMacroControlUI::make_row(const MacroEvent& e) {
    auto* row = new QWidget;
    row->setObjectName(QLatin1String(kRowName));
    row->setFixedHeight(kRowHeight);
    row->setProperty("menu", true);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 0, 16, 0);
    layout->setSpacing(10);
    auto* name = new QLabel(row);
    name->setObjectName(QStringLiteral("macro_action_name"));
    name->setMinimumWidth(120);
    auto* state = new QLabel(row);
    state->setObjectName(QStringLiteral("macro_action_state"));
    state->setMinimumWidth(70);
    auto* edit = new QLineEdit(row);
    edit->setObjectName(QLatin1String(kDelayEdit));
    edit->setFixedSize(72, 25);
    edit->setAlignment(Qt::AlignCenter);
    pui::set_number_only(edit, true);
    pui::set_max_length(edit, 6);
    // Its background comes from the theme (QLineEdit#macro_delay): a style sheet of its own
    // would be parsed again for every row.
    set_style(edit, "macro_label_text_style");
    pui::set_tool_tip_id(edit, QStringLiteral("macro_delay_tip_text"));
    layout->addWidget(name);
    layout->addWidget(state);
    layout->addStretch(1);
    layout->addWidget(edit);
    show_event(row, e);
    return row;
}

void CMacroControlUI::insert_row(int at) {
    auto* list = qobject_cast<QListWidget*>(control(kActionList));
    if (list == nullptr)
        return;
    auto* item = new QListWidgetItem;
    item->setSizeHint(QSize(0, kRowHeight));
    {
        const pui::Quiet quiet(this);
        list->insertItem(at, item);
    }
    // Built rows after it shift with their items; its own is built once it is in view.
    build_visible_rows();
}

QWidget* CMacroControlUI::build_row(int i) {
    auto* list = qobject_cast<QListWidget*>(control(kActionList));
    if (list == nullptr || i < 0 || i >= list->count() || i >= static_cast<int>(events_.size()))
        return nullptr;
    QWidget* row = make_row(events_[static_cast<std::size_t>(i)]);
    {
        const pui::Quiet quiet(this);
        list->setItemWidget(list->item(i), row);
    }
    if (pui::Window* w = pui::window_of(this))
        w->attach_controls(row);
    if (recording_)
        set_mouse_ignored(row, true);
    return row;
}

void CMacroControlUI::build_visible_rows() {
    auto* list = qobject_cast<QListWidget*>(control(kActionList));
    if (list == nullptr || list->count() == 0)
        return;
    // The rows in view and a few either side, so that a step of the scroll bar or Tab finds
    // them ready; the rest wait until they come near.
    constexpr int kMargin = 3;
    const int per_view = std::max(1, list->viewport()->height() / kRowHeight + 1);
    const QModelIndex top = list->indexAt(QPoint(1, 1));
    const int first = top.isValid() ? top.row() : 0;
    const int from = std::max(0, first - kMargin);
    const int to = std::min(list->count() - 1, first + per_view + kMargin);
    for (int i = from; i <= to; ++i) {
        if (built_row(i) == nullptr)
            build_row(i);
    }
}

void CMacroControlUI::rebuild_rows() {
    auto* list = qobject_cast<QListWidget*>(control(kActionList));
    if (list == nullptr)
        return;
    const int count = static_cast<int>(events_.size());
    // The rows shown from the top, as after a fresh fill; the rows already built there are
    // shown the new events, the rest are let go (they would only be shown again when they come
    // into view).
    const int keep = std::max(1, list->viewport()->height() / kRowHeight + 1) + 3;
    {
        const pui::Quiet quiet(this);
        list->setCurrentItem(nullptr);
        list->clearSelection();
        while (list->count() > count)
            delete list->takeItem(list->count() - 1);
        while (list->count() < count) {
            auto* item = new QListWidgetItem;
            item->setSizeHint(QSize(0, kRowHeight));
            list->addItem(item);
        }
        list->scrollToTop();
    }
    for (int i = 0; i < count; ++i) {
        QWidget* row = built_row(i);
        if (row == nullptr)
            continue;
        if (i < keep)
            show_event(row, events_[static_cast<std::size_t>(i)]);
        else
            list->removeItemWidget(list->item(i));
    }
    build_visible_rows();
}

void CMacroControlUI::select_row(int row) {
    pui::select_item(control(kActionList), row, false);
}

void CMacroControlUI::scroll_to_selection() {
    if (auto* list = qobject_cast<QListWidget*>(control(kActionList))) {
        if (QListWidgetItem* item = list->currentItem())
            list->scrollToItem(item);
    }
}

void CMacroControlUI::delay_edited(QWidget* edit) {
    auto* line = qobject_cast<QLineEdit*>(edit);
    if (line == nullptr)
        return;
    for (int i = 0; i < static_cast<int>(events_.size()); ++i) {
        QWidget* row = built_row(i);
        if (row == nullptr || !row->isAncestorOf(line))
            continue;
        // An empty edit stays empty until saved; anything else is held to 0-65535.
        if (line->text().isEmpty())
            return;
        const std::uint16_t v = delay_of_text(line->text());
        if (line->text() != QString::number(v))
            line->setText(QString::number(v));
        events_[static_cast<std::size_t>(i)].delay = v;
        return;
    }
}

bool CMacroControlUI::save_events() {
    const int sel = selected_macro();
    if (sel < 0 || library_.entries()[static_cast<std::size_t>(sel)].guid.empty())
        return false;
    for (int i = 0; i < static_cast<int>(events_.size()); ++i) {
        QWidget* row = built_row(i);
        auto* edit =
            row != nullptr ? row->findChild<QLineEdit*>(QLatin1String(kDelayEdit)) : nullptr;
        if (edit == nullptr)
            continue;
        const QString shown = QString::number(delay_of_text(edit->text()));
        if (edit->text() != shown)
            edit->setText(shown);  // an empty edit shows "0", as it is saved
    }
    sync_from_edits();
    const MacroResult r = library_.save_events(sel, events_);
    if (!r.ok()) {
        platform::debug_printf("macro editor: save: %s\n", r.detail.c_str());
        notice(r.message.empty() ? kWriteFailed : r.message.c_str());
        return false;
    }
    if (list_full_check_ && events_.size() >= MaxEvents) {
        notice("message_text_17");
        list_full_check_ = false;
    }
    return true;
}

void CMacroControlUI::move_selected(RowMove move) {
    const int sel = selected_row();
    if (sel < 0 || recording_)
        return;
    sync_from_edits();
    const int now = move_row(events_, sel, move);
    rebuild_rows();
    select_row(now);
    scroll_timer_.start();
    save_events();
}

void CMacroControlUI::delete_selected_row() {
    const int sel = selected_row();
    if (sel < 0 || recording_)
        return;
    sync_from_edits();
    const int next = delete_row(events_, sel);
    rebuild_rows();
    select_row(next);
    save_events();
}

void CMacroControlUI::delete_all_rows() {
    if (selected_macro() < 0 || recording_)
        return;
    events_.clear();
    rebuild_rows();
    select_row(-1);
    save_events();
}

void CMacroControlUI::insert_events(const std::vector<MacroEvent>& events) {
    if (selected_macro() < 0 || recording_)
        return;
    sync_from_edits();
    read_constant_delay();
    int sel = selected_row();
    if (!insert_rows(events_, sel, events, recorder_.constant_delay())) {
        notice("message_text_17");
        return;
    }
    rebuild_rows();
    select_row(sel);
    scroll_timer_.start();
    save_events();
}

void CMacroControlUI::insert_move(MoveDirection direction, const char* edit) {
    const std::string typed = pui::text(control(edit)).toStdString();
    insert_events({move_event(direction, move_steps(typed))});
}

// ---- Recording --------------------------------------------------------------------------

void CMacroControlUI::read_constant_delay() {
    QWidget* edit = control(kFixedTime);
    if (edit == nullptr)
        return;
    const ConstantDelay c = clamp_constant_delay(pui::text(edit).toStdString());
    recorder_.set_constant_delay(c.value);
    const QString shown = QString::number(c.value);
    if (pui::text(edit) != shown) {
        pui::set_text(edit, shown);
        if (auto* line = qobject_cast<QLineEdit*>(edit))
            line->end(false);
    }
    if (c.raised)
        notice("message_text_31");
}

DelayMode CMacroControlUI::checked_delay_mode() const {
    return pui::is_selected(control(kCheckTime)) ? DelayMode::Constant : DelayMode::Recorded;
}

void CMacroControlUI::start_recording(DelayMode mode, int hook_mode) {
    if (recording_ || selected_macro() < 0)
        return;
    sync_from_edits();
    // A new recording must not take a key or button still held from the last one for a
    // repeat.
    recorder_.forget_presses();
    recorder_.start(mode);
    if (mode == DelayMode::Constant)
        read_constant_delay();
    set_mouse_ignored(control("macro_name_tab"), true);
    set_mouse_ignored(control(kActionList), true);
    for (const char* name : {"macro_tab_macroaction_edit", "macro_tab_macrodelay_edit"}) {
        if (QWidget* w = control(name))
            w->setEnabled(false);
    }
    if (QWidget* start = control(kStart))
        start->hide();
    if (QWidget* stop = control(kStop))
        stop->show();
    recording_ = true;
    hook_mode_ = hook_mode;
    emit recording_started(hook_mode);
}

void CMacroControlUI::stop_recording() {
    if (!recording_)
        return;
    list_full_check_ = true;
    set_mouse_ignored(control("macro_name_tab"), false);
    set_mouse_ignored(control(kActionList), false);
    for (const char* name : {"macro_tab_macroaction_edit", "macro_tab_macrodelay_edit"}) {
        if (QWidget* w = control(name))
            w->setEnabled(true);
    }
    if (QWidget* stop = control(kStop))
        stop->hide();
    if (QWidget* start = control(kStart))
        start->show();
    recording_ = false;
    hook_mode_ = 0;
    emit recording_stopped();
    save_events();
}

void CMacroControlUI::apply(const RecordChange& change, int selected) {
    if (!change.applied)
        return;
    const auto& e = events_[static_cast<std::size_t>(change.row)];
    if (change.replaced)
        show_event(built_row(change.row), e);
    else
        insert_row(change.row);
    if (change.delay_row >= 0) {
        QWidget* row = built_row(change.delay_row);
        if (auto* edit =
                row != nullptr ? row->findChild<QLineEdit*>(QLatin1String(kDelayEdit)) : nullptr)
            edit->setText(
                QString::number(events_[static_cast<std::size_t>(change.delay_row)].delay));
    }
    select_row(selected);
    scroll_timer_.start();
}

bool CMacroControlUI::on_stop_button(int root_x, int root_y) const {
    const QWidget* stop = control(kStop);
    if (stop == nullptr || stop->isHidden())
        return false;
    // Captured positions are in device pixels; widget geometry is in logical ones.
    const qreal ratio = stop->devicePixelRatioF();
    const QPoint origin = stop->mapToGlobal(QPoint(0, 0));
    const QRect rect(QPoint(qRound(origin.x() * ratio), qRound(origin.y() * ratio)),
                     QSize(qRound(stop->width() * ratio), qRound(stop->height() * ratio)));
    return rect.contains(root_x, root_y);
}

void CMacroControlUI::keyboard_event(int hook_mode, const platform::input::CapturedEvent& e) {
    const auto placement = placement_for_hook_mode(hook_mode);
    if (!recording_ || !placement || !e.is_key())
        return;
    int sel = selected_row();
    const RecordChange change =
        recorder_.captured_key(*placement, e.code, e.is_down(), events_, sel);
    apply(change, sel);
}

void CMacroControlUI::mouse_event(int hook_mode, const platform::input::CapturedEvent& e) {
    const auto placement = placement_for_hook_mode(hook_mode);
    if (!recording_ || !placement || e.is_key())
        return;
    int sel = selected_row();
    const RecordChange change = recorder_.captured_button(
        *placement, e.code, e.is_down(), on_stop_button(e.root_x, e.root_y), events_, sel);
    apply(change, sel);
}

// ---- Notifications ----------------------------------------------------------------------

void CMacroControlUI::on_menu_command(const QString& item) {
    if (item.isEmpty()) {
        // The menu itself: opened on the event list at the cursor.
        if (recording_ || selected_macro() < 0)
            return;
        if (pui::Window* w = pui::window_of(this))
            pui::popup_menu(QString::fromLatin1(kMenu), w, QCursor::pos());
        return;
    }
    struct Start {
        const char* item;
        int delay_mode;  // 0: by "macro_check_time"
        int hook_mode;
    };
    static constexpr Start kStarts[] = {
        {"redio_previous_record_time", 0, 8}, {"redio_previous_constant_time", 2, 8},
        {"redio_previous_ignore_time", 3, 8}, {"redio_later_record_time", 0, 16},
        {"redio_later_constant_time", 2, 16}, {"redio_later_ignore_time", 3, 16},
        {"macro_action_edit", 3, 32}};
    for (const Start& s : kStarts) {
        if (item == QLatin1String(s.item)) {
            start_recording(
                s.delay_mode == 0 ? checked_delay_mode() : static_cast<DelayMode>(s.delay_mode),
                s.hook_mode);
            return;
        }
    }
    if (const auto m = menu_mouse_item(item.toStdString())) {
        std::vector<MacroEvent> events;
        if (m->press)
            events.push_back({true, m->button, TypeMouseButton, 0});
        if (m->release)
            events.push_back({false, m->button, TypeMouseButton, 0});
        insert_events(events);
    }
}

void CMacroControlUI::on_notify(pui::Notification& msg) {
    if (msg.sender == nullptr || (msg.sender != this && !isAncestorOf(msg.sender)))
        return;
    const QString name = msg.sender_name();
    auto is = [&name](const char* n) { return name == QLatin1String(n); };

    if (msg.type == "itemselect") {
        if (is(kNameList) && !recording_)
            select_macro(pui::current_item(msg.sender));
        return;
    }
    if (msg.type == "killfocus") {
        if (is(kDelayEdit))
            delay_edited(msg.sender);
        else if (is(kFixedTime) && !recording_)
            read_constant_delay();
        return;
    }
    if (msg.type == "return") {
        if (is(kNameEdit))
            rename_macro();
        return;
    }
    if (msg.type == "menu") {
        if (is(kRowName) || is(kActionList)) {
            if (auto* list = qobject_cast<QListWidget*>(control(kActionList))) {
                for (int i = 0; i < list->count(); ++i) {
                    if (list->itemWidget(list->item(i)) == msg.sender)
                        select_row(i);
                }
            }
            on_menu_command(QString());
        }
        return;
    }
    if (msg.type == "timer") {
        if (msg.wparam == static_cast<pui::WParam>(kScrollTimer)) {
            if (pui::Window* w = pui::window_of(this))
                w->kill_timer(msg.sender, kScrollTimer);
            scroll_to_selection();
        }
        return;
    }
    if (msg.type != "click")
        return;

    if (is(kStop)) {
        stop_recording();
        return;
    }
    if (recording_)
        return;  // the buttons below change what is being recorded into
    if (is(kStart)) {
        start_recording(checked_delay_mode(), 4);
    } else if (is("macro_btn_name_add")) {
        new_macro();
    } else if (is("macro_btn_name_sub")) {
        delete_macro();
    } else if (is("macro_btn_name_edit")) {
        rename_macro();
    } else if (is("macro_btn_save")) {
        save_events();
    } else if (is("macro_btn_cancel")) {
        select_macro(selected_macro());
    } else if (is("macro_btn_import")) {
        import_macro();
    } else if (is("macro_btn_export")) {
        export_macro();
    } else if (is("macro_btn_up")) {
        move_selected(RowMove::Up);
    } else if (is("macro_btn_down")) {
        move_selected(RowMove::Down);
    } else if (is("macro_btn_uptop")) {
        move_selected(RowMove::Top);
    } else if (is("macro_btn_downbottom")) {
        move_selected(RowMove::Bottom);
    } else if (is("macro_btn_delete")) {
        delete_selected_row();
    } else if (is("macro_btn_deleteall")) {
        delete_all_rows();
    } else if (is("macro_inset_moveleftkey_btn")) {
        insert_move(MoveDirection::Left, "mouse_x_left_edit");
    } else if (is("macro_inset_moverightkey_btn")) {
        insert_move(MoveDirection::Right, "mouse_x_right_edit");
    } else if (is("macro_inset_moveupkey_btn")) {
        insert_move(MoveDirection::Up, "mouse_y_up_edit");
    } else if (is("macro_inset_movedownkey_btn")) {
        insert_move(MoveDirection::Down, "mouse_y_down_edit");
    }
}

void register_macro_controls() {
    auto& factory = pui::ControlFactory::instance();
    for (const char* name : {"CMacroControlUI", CMacroControlUI::kClassName})
        factory.regist_control(QString::fromLatin1(name), [] { return new CMacroControlUI; });
}

}  // namespace velqa::macro
