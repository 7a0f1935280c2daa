#include "macro/ui/keyset_control.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringList>
#include <QVBoxLayout>
#include <algorithm>

#include "macro/key_names.h"
#include "macro/key_tables.h"
#include "platform/debug_output.h"
#include "platform/number_text.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/layout_builder.h"

namespace velqa::macro {

namespace pui = platform::ui;

namespace {

// The text id of a list item, kept beside its shown text so a language change can resolve it.
constexpr int kTextIdRole = Qt::UserRole + 1;
constexpr int kItemHeight = 30;

constexpr char kFunctionCombo[] = "keyset_function_combo";
constexpr char kKeyEdit[] = "keyset_keyboard_text_edit";
constexpr char kCycleLayout[] = "keyset_macro_cycle_layout";
constexpr char kOverCombo[] = "keyset_macro_over_combo";

// Combos whose choice is stored at once.
constexpr const char* kListCombos[] = {
    "keyset_mousekey_combo", "keyset_mouseswing_combo", "keyset_mousewheel_combo",
    "keyset_mousedpi_combo", "keyset_media_combo",      "keyset_system_combo",
    "keyset_macro_combo",    "keyset_gunkey_combo",     "keyset_combokey_combo"};

// Edits whose value is stored when they lose the focus.
constexpr const char* kNumberEdits[] = {
    "keyset_mouseswing_num_edit",     "keyset_mouseswing_delay_edit",
    "keyset_mouseswing_speed_edit",   "keyset_mousewheel_num_edit",
    "keyset_mousewheel_delay_edit",   "keyset_mousewheel_speed_edit",
    "keyset_mousefire_interval_edit", "keyset_mousefire_num_edit",
    "keyset_macro_cycle_edit"};

QString modifier_name(int n) {
    return QStringLiteral("key_ComBox_check_%1").arg(n);
}

// Adds an item showing the text of `id`.
void add_text_item(QWidget* combo, const QString& id, const QVariant& user_data = {}) {
    const int at = pui::add_combo_item(combo, pui::LanguageTexts::instance().text(id), {},
                                       user_data, kItemHeight);
    if (auto* box = qobject_cast<QComboBox*>(combo); box != nullptr && at >= 0)
        box->setItemData(at, id, kTextIdRole);
}

void add_numbered_items(QWidget* combo, const char* prefix, int count) {
    for (int i = 0; i < count; ++i)
        add_text_item(combo, QStringLiteral("%1%2_text").arg(QLatin1String(prefix)).arg(i));
}

// The groups a function combo offers: its "groups" property ("0,1,6"), or every group.
std::vector<int> offered_groups(const QWidget* combo) {
    std::vector<int> groups;
    const QString listed = combo->property("groups").toString();
    for (const QString& part : listed.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const auto n = platform::parse_number(part.trimmed().toStdString(), 0,
                                              CKeySetControlUI::GroupCount - 1);
        if (n && std::find(groups.begin(), groups.end(), int(*n)) == groups.end())
            groups.push_back(static_cast<int>(*n));
    }
    if (groups.empty() && !listed.trimmed().isEmpty())
        platform::debug_printf("key editor: no function group in \"%s\"\n",
                               listed.toStdString().c_str());
    if (groups.empty()) {
        for (int g = 0; g < CKeySetControlUI::GroupCount; ++g)
            groups.push_back(g);
    }
    return groups;
}

}  // namespace

CKeySetControlUI::CKeySetControlUI(QWidget* parent) : QWidget(parent) {
    setProperty(pui::kClassProperty, QString::fromLatin1(kClassName));
    if (pui::Window::build_scrolled_layout(
            QString::fromLatin1(kLayout), this,
            QString::fromLatin1(kClassName) + QStringLiteral("_scroll")) == nullptr)
        platform::debug_output("key editor: its layout could not be built\n");

    fill_lists();
    for (const char* name : kNumberEdits) {
        pui::set_number_only(control(name), true);
        pui::set_max_length(control(name), 3);
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control(kKeyEdit))) {
        // The edit names the captured key; typing into it would only confuse that.
        edit->setReadOnly(true);
        edit->installEventFilter(this);
    }
    refresh_texts();
    show(profile::KeyCode{});
}

QWidget* CKeySetControlUI::control(const QString& name) const {
    return controls_.find(const_cast<CKeySetControlUI*>(this), name);
}

void CKeySetControlUI::fill_lists() {
    if (QWidget* combo = control(kFunctionCombo)) {
        pui::remove_all_items(combo);
        for (int g : offered_groups(combo))
            add_text_item(combo, QStringLiteral("keyset_group_%1_text").arg(g), QString::number(g));
    }
    auto fill = [this](const char* name, auto&& add) {
        if (QWidget* combo = control(name)) {
            pui::remove_all_items(combo);
            add(combo);
        }
    };
    fill("keyset_mousekey_combo", [](QWidget* c) {
        add_numbered_items(c, "keyset_mousekey_", int(mouse_button_list().size()));
    });
    fill("keyset_mouseswing_combo",
         [](QWidget* c) { add_numbered_items(c, "keyset_swing_dir_", 2); });
    fill("keyset_mousewheel_combo",
         [](QWidget* c) { add_numbered_items(c, "keyset_wheel_dir_", 2); });
    fill("keyset_mousedpi_combo",
         [](QWidget* c) { add_numbered_items(c, "keyset_dpi_", int(dpi_list().size())); });
    // Media and system functions carry the label keys that name them on the key labels too.
    fill("keyset_media_combo", [](QWidget* c) {
        for (const ListItem& item : media_list()) {
            add_text_item(c, QString::fromStdString(
                                 function_label({function_class::Media, item.first, item.second})));
        }
    });
    fill("keyset_system_combo", [](QWidget* c) {
        for (const ListItem& item : system_list()) {
            add_text_item(c, QString::fromStdString(function_label(
                                 {function_class::System, item.first, item.second})));
        }
    });
    fill(kOverCombo,
         [](QWidget* c) { add_numbered_items(c, "keyset_macro_mode_", RepeatModeCount); });
    fill("keyset_gunkey_combo",
         [](QWidget* c) { add_numbered_items(c, "keyset_gunkey_", GunKeyCount); });
    fill("keyset_combokey_combo", [](QWidget* c) {
        add_numbered_items(c, "keyset_combokey_", int(combo_key_list().size()));
    });
}

void CKeySetControlUI::refresh_texts() {
    auto& texts = pui::LanguageTexts::instance();
    for (auto* combo : findChildren<QComboBox*>()) {
        for (int i = 0; i < combo->count(); ++i) {
            const QString id = combo->itemData(i, kTextIdRole).toString();
            if (!id.isEmpty())
                combo->setItemText(i, texts.text(id));
        }
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control(kKeyEdit)))
        edit->setPlaceholderText(texts.text(QStringLiteral("keyset_key_edit_hint_text")));
    set_key_row(key_row_);
}

// ---- Showing and reading ----

void CKeySetControlUI::show_key(const profile::KeyAssignment& entry) {
    entry_ = entry;
    show(entry_.current);
}

void CKeySetControlUI::show(const profile::KeyCode& code) {
    const ShownCode shown = macro::show(code, macro_count());
    if (code == entry_.current)
        entry_.current = shown.working;
    apply_state(shown.state);
}

profile::KeyCode CKeySetControlUI::read() {
    const KeyEditorState state = state_from_controls();
    entry_.current = macro::read(state, entry_.current, entry_.default_code, macro_count());
    shown_ = state;
    return entry_.current;
}

void CKeySetControlUI::apply_state(const KeyEditorState& s) {
    shown_ = s;
    auto number = [this](const char* name, int v) {
        pui::set_text(control(name), QString::number(v));
    };
    pui::select_item(control("keyset_mousekey_combo"), s.mouse_button, false);
    pui::select_item(control("keyset_mouseswing_combo"), s.swing_direction, false);
    number("keyset_mouseswing_num_edit", s.swing_count);
    number("keyset_mouseswing_delay_edit", s.swing_delay);
    number("keyset_mouseswing_speed_edit", s.swing_speed);
    pui::select_item(control("keyset_mousewheel_combo"), s.wheel_direction, false);
    number("keyset_mousewheel_num_edit", s.wheel_count);
    number("keyset_mousewheel_delay_edit", s.wheel_delay);
    number("keyset_mousewheel_speed_edit", s.wheel_speed);
    pui::select_item(control("keyset_mousedpi_combo"), s.dpi, false);
    number("keyset_mousefire_interval_edit", s.fire_interval);
    number("keyset_mousefire_num_edit", s.fire_count);
    select_modifier(s.modifier);
    set_key_row(s.key_row);
    pui::select_item(control("keyset_media_combo"), s.media, false);
    pui::select_item(control("keyset_system_combo"), s.system, false);
    // An index the list does not have (a profile edited elsewhere) shows no choice.
    if (!pui::select_item(control("keyset_macro_combo"), s.macro, false))
        pui::select_item(control("keyset_macro_combo"), -1, false);
    if (!pui::select_item(control(kOverCombo), s.macro_mode, false))
        pui::select_item(control(kOverCombo), -1, false);
    show_cycle_layout(s.cycle_visible);
    number("keyset_macro_cycle_edit", s.cycle_count);
    if (!pui::select_item(control("keyset_gunkey_combo"), s.gun_key, false))
        pui::select_item(control("keyset_gunkey_combo"), -1, false);
    pui::select_item(control("keyset_combokey_combo"), s.combo_key, false);

    QWidget* functions = control(kFunctionCombo);
    int item = -1;
    for (int i = 0; s.group >= 0 && i < pui::item_count(functions); ++i) {
        if (pui::item_data(functions, i).toString() == QString::number(s.group)) {
            item = i;
            break;
        }
    }
    const bool editable = item >= 0;
    if (QWidget* card = control("keyset_layout"))
        card->setVisible(editable);
    if (QWidget* hint = control("keyset_locked_hint"))
        hint->setVisible(!editable);
    if (editable) {
        pui::select_item(functions, item, false);
        switch_page(s.group);
    }
}

KeyEditorState CKeySetControlUI::state_from_controls() {
    KeyEditorState s;
    s.group = selected_group();
    s.mouse_button = pui::current_item(control("keyset_mousekey_combo"));
    s.swing_direction = pui::current_item(control("keyset_mouseswing_combo"));
    s.swing_count = edit_number("keyset_mouseswing_num_edit", 0, 127, shown_.swing_count);
    s.swing_delay = edit_number("keyset_mouseswing_delay_edit", 0, 15, shown_.swing_delay);
    s.swing_speed = edit_number("keyset_mouseswing_speed_edit", 0, 15, shown_.swing_speed);
    s.wheel_direction = pui::current_item(control("keyset_mousewheel_combo"));
    s.wheel_count = edit_number("keyset_mousewheel_num_edit", 0, 127, shown_.wheel_count);
    s.wheel_delay = edit_number("keyset_mousewheel_delay_edit", 0, 15, shown_.wheel_delay);
    s.wheel_speed = edit_number("keyset_mousewheel_speed_edit", 0, 15, shown_.wheel_speed);
    s.dpi = pui::current_item(control("keyset_mousedpi_combo"));
    s.fire_interval = edit_number("keyset_mousefire_interval_edit", 0, 255, shown_.fire_interval);
    s.fire_count = edit_number("keyset_mousefire_num_edit", 0, 255, shown_.fire_count);
    s.modifier = selected_modifier();
    s.key_row = key_row_;
    s.media = pui::current_item(control("keyset_media_combo"));
    s.system = pui::current_item(control("keyset_system_combo"));
    s.macro = pui::current_item(control("keyset_macro_combo"));
    s.macro_mode = pui::current_item(control(kOverCombo));
    const QWidget* cycle = control(kCycleLayout);
    s.cycle_visible = cycle != nullptr && !cycle->isHidden();
    s.cycle_count = edit_number("keyset_macro_cycle_edit", 0, 255, shown_.cycle_count);
    s.gun_key = pui::current_item(control("keyset_gunkey_combo"));
    s.combo_key = pui::current_item(control("keyset_combokey_combo"));
    return s;
}

int CKeySetControlUI::edit_number(const char* name, int min, int max, int fallback) {
    QWidget* edit = control(name);
    if (edit == nullptr)
        return fallback;
    // Numbers beyond the field are held at its limit rather than wrapped into another value.
    const auto n = platform::parse_number(pui::text(edit).trimmed().toStdString(), 0, 99999);
    const int value = n ? std::clamp(static_cast<int>(*n), min, max) : fallback;
    pui::set_text(edit, QString::number(value));
    return value;
}

int CKeySetControlUI::selected_group() const {
    QWidget* functions = control(kFunctionCombo);
    const int item = pui::current_item(functions);
    if (item < 0)
        return -1;
    bool ok = false;
    const int group = pui::item_data(functions, item).toString().toInt(&ok);
    return ok ? group : -1;
}

void CKeySetControlUI::switch_page(int group) {
    pui::select_page(control("function_switch_tablayout"), group);
}

void CKeySetControlUI::set_key_row(int row) {
    key_row_ = row >= 0 && static_cast<std::size_t>(row) < key_table().size() ? row : -1;
    QString name;
    if (key_row_ >= 0) {
        const std::string_view key = key_table()[static_cast<std::size_t>(key_row_)].name;
        const QString id = QStringLiteral("keyboard_key_") +
                           QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
        auto& texts = pui::LanguageTexts::instance();
        // Key names read well as they are where a language gives no text for them.
        name = texts.has(id) ? texts.text(id)
                             : QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
    }
    pui::set_text(control(kKeyEdit), name);
}

void CKeySetControlUI::show_cycle_layout(bool shown) {
    if (QWidget* cycle = control(kCycleLayout))
        cycle->setVisible(shown);
}

// ---- Macros ----

void CKeySetControlUI::fill_macros(const std::vector<std::string>& names) {
    QWidget* combo = control("keyset_macro_combo");
    pui::remove_all_items(combo);
    for (const std::string& name : names)
        pui::add_combo_item(combo, QString::fromStdString(name), {}, {}, kItemHeight);
    pui::select_item(combo, -1, false);
}

void CKeySetControlUI::add_macro(const QString& name) {
    pui::add_combo_item(control("keyset_macro_combo"), name, {}, {}, kItemHeight);
}

void CKeySetControlUI::rename_macro(int index, const QString& name) {
    auto* combo = qobject_cast<QComboBox*>(control("keyset_macro_combo"));
    if (combo != nullptr && index >= 0 && index < combo->count())
        combo->setItemText(index, name);
}

void CKeySetControlUI::remove_macro(int index) {
    auto* combo = qobject_cast<QComboBox*>(control("keyset_macro_combo"));
    if (combo != nullptr && index >= 0 && index < combo->count())
        combo->removeItem(index);
}

int CKeySetControlUI::macro_count() const {
    return pui::item_count(control("keyset_macro_combo"));
}

// ---- Modifiers and key capture ----

void CKeySetControlUI::select_modifier(int index) {
    for (int n = 0; n < ModifierCount; ++n)
        pui::set_selected(control(modifier_name(n)), n == index, false);
}

int CKeySetControlUI::selected_modifier() const {
    for (int n = 0; n < ModifierCount; ++n) {
        if (pui::is_selected(control(modifier_name(n))))
            return n;
    }
    return -1;
}

void CKeySetControlUI::capture_key(std::size_t key_row) {
    if (key_row >= KeyRowCount)
        return;
    KeyEditorState state;
    state.modifier = selected_modifier();
    state.key_row = key_row_;
    macro::capture_key(state, key_row);
    select_modifier(state.modifier);
    set_key_row(state.key_row);
    save();
}

bool CKeySetControlUI::eventFilter(QObject* watched, QEvent* event) {
    // Presses only: the natural release order of Shift+A (A, then Shift) must not leave Shift
    // alone, and a held key's repeats say nothing new.
    if (watched == control(kKeyEdit) &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        auto* key = static_cast<QKeyEvent*>(event);
        const auto row = row_for_x_keycode(key->nativeScanCode());
        if (row && *row < KeyRowCount) {
            if (event->type() == QEvent::KeyPress && !key->isAutoRepeat())
                capture_key(*row);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Buttons and notifications ----

void CKeySetControlUI::save() {
    const profile::KeyCode code = read();
    emit key_saved(code);
}

void CKeySetControlUI::restore_default() {
    show(entry_.default_code);
    if (keyboard_page_) {
        save();
        emit write_requested();
    }
}

void CKeySetControlUI::on_notify(pui::Notification& msg) {
    if (msg.sender == nullptr || !isAncestorOf(msg.sender))
        return;
    const QString name = msg.sender_name();
    const std::string& type = msg.type;
    auto is = [&](const char* exact) { return name == QLatin1String(exact); };
    if (type == "click") {
        if (is("key_butt_keysave"))
            save();
        else if (is("key_butt_keydefalut"))
            restore_default();
        else if (is("key_butt_keycancel"))
            show(entry_.current);
        else if (is("key_butt_prosave"))
            emit write_requested();
    } else if (type == "itemselect") {
        if (is(kFunctionCombo)) {
            const int group = selected_group();
            switch_page(group);
            if (group == GroupKey) {
                set_key_row(-1);
                select_modifier(-1);
            }
            save();
        } else if (is(kOverCombo)) {
            show_cycle_layout(static_cast<int>(msg.wparam) == CycleModeItem);
            save();
        } else if (std::any_of(std::begin(kListCombos), std::end(kListCombos), is)) {
            save();
        }
    } else if (type == "killfocus" || type == "return") {
        if (std::any_of(std::begin(kNumberEdits), std::end(kNumberEdits), is))
            save();
    } else if (type == "selectchanged" && name.startsWith(QLatin1String("key_ComBox_check_"))) {
        bool ok = false;
        const int n = name.mid(int(sizeof("key_ComBox_check_") - 1)).toInt(&ok);
        if (!ok || n < 0 || n >= ModifierCount)
            return;
        if (msg.wparam != 0) {
            select_modifier(n);
            save();
        } else if (selected_modifier() < 0) {
            // The options behave as one choice: clicking the selected one keeps it.
            pui::set_selected(msg.sender, true, false);
        }
    }
}

void register_keyset_controls() {
    auto& factory = pui::ControlFactory::instance();
    // The layouts name the class "KeySetControl"; the main window asks for "CKeySetControlUI".
    factory.regist_control(QString::fromLatin1(CKeySetControlUI::kClassName),
                           [] { return new CKeySetControlUI; });
    factory.regist_control(QStringLiteral("CKeySetControlUI"), [] { return new CKeySetControlUI; });
}

}  // namespace velqa::macro
