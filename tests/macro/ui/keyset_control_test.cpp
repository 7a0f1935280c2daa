// The key-assignment editor offscreen on the shipped layout: its lists, what a code shows, and the
// codes the user's choices, typed numbers and captured keys store.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>

#include "macro/key_tables.h"
#include "macro/ui/keyset_control.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/qt_test_app.h"
#include "ui/custom_controls.h"

namespace velqa::macro {
namespace {

namespace pui = platform::ui;
using profile::KeyCode;

class KeySetEditor : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        test::qt_app();
        ASSERT_TRUE(test::load_shipped_skin());
        ui::register_custom_controls();
        register_keyset_controls();
    }
    void SetUp() override {
        editor_ = std::make_unique<CKeySetControlUI>();
        saved_ = std::make_unique<QSignalSpy>(editor_.get(), &CKeySetControlUI::key_saved);
        writes_ = std::make_unique<QSignalSpy>(editor_.get(), &CKeySetControlUI::write_requested);
    }

    QWidget* c(const char* name) { return editor_->control(QString::fromLatin1(name)); }
    QWidget* c(const QString& name) { return editor_->control(name); }
    void send(QWidget* sender, const char* type, pui::WParam wparam = 0) {
        pui::Notification msg{type, sender, wparam};
        editor_->on_notify(msg);
    }
    void send(const char* name, const char* type, pui::WParam wparam = 0) {
        send(c(name), type, wparam);
    }
    // The user picks an item of a combo.
    void choose(const char* combo, int index) {
        ASSERT_TRUE(pui::select_item(c(combo), index, false)) << combo;
        send(combo, "itemselect", static_cast<pui::WParam>(index));
    }
    void choose_group(int group) {
        QWidget* functions = c("keyset_function_combo");
        for (int i = 0; i < pui::item_count(functions); ++i) {
            if (pui::item_data(functions, i).toString() == QString::number(group))
                return choose("keyset_function_combo", i);
        }
        FAIL() << "no group " << group;
    }
    // The user types into a number edit and leaves it.
    void type(const char* edit, const char* text) {
        pui::set_text(c(edit), QString::fromLatin1(text));
        send(edit, "killfocus");
    }
    void tick_modifier(int n) {
        QWidget* option = c(QStringLiteral("key_ComBox_check_%1").arg(n));
        pui::set_selected(option, true, false);
        send(option, "selectchanged", 1);
    }
    KeyCode last_saved() const {
        EXPECT_FALSE(saved_->isEmpty());
        return saved_->isEmpty() ? KeyCode{0xEE, 0xEE, 0xEE}
                                 : saved_->last().at(0).value<KeyCode>();
    }
    static profile::KeyAssignment key(KeyCode current, KeyCode default_code = {0x10, 0x01, 0}) {
        profile::KeyAssignment k;
        k.current = current;
        k.default_code = default_code;
        return k;
    }
    bool shown(const char* name) {
        QWidget* w = c(name);
        return w != nullptr && !w->isHidden();
    }
    int item(const char* combo) { return pui::current_item(c(combo)); }
    QString text(const char* name) { return pui::text(c(name)); }
    void press(int key_row, QEvent::Type type = QEvent::KeyPress, bool repeat = false) {
        const auto& row = key_table()[static_cast<std::size_t>(key_row)];
        QKeyEvent ev(type, Qt::Key_unknown, Qt::NoModifier,
                     static_cast<quint32>(row.evdev + X11KeycodeOffset), 0, 0, QString(), repeat);
        QCoreApplication::sendEvent(c("keyset_keyboard_text_edit"), &ev);
    }
    static int row_of_usage(std::uint8_t usage) { return static_cast<int>(*row_for_usage(usage)); }
    static int row_of_modifier(std::uint8_t bit) {
        return static_cast<int>(*row_for_modifier(bit));
    }

    std::unique_ptr<CKeySetControlUI> editor_;
    std::unique_ptr<QSignalSpy> saved_;
    std::unique_ptr<QSignalSpy> writes_;
};

TEST_F(KeySetEditor, LayoutHoldsEveryControlAndTheListsInTheirOrder) {
    for (const char* name : {"keyset_layout",
                             "keyset_function_combo",
                             "key_butt_keydefalut",
                             "key_butt_keysave",
                             "key_butt_keycancel",
                             "key_butt_prosave",
                             "function_switch_tablayout",
                             "keyset_mousekey_combo",
                             "keyset_mouseswing_combo",
                             "keyset_mouseswing_num_edit",
                             "keyset_mouseswing_delay_edit",
                             "keyset_mouseswing_speed_edit",
                             "keyset_mousewheel_combo",
                             "keyset_mousewheel_num_edit",
                             "keyset_mousewheel_delay_edit",
                             "keyset_mousewheel_speed_edit",
                             "keyset_mousedpi_combo",
                             "keyset_mousefire_interval_edit",
                             "keyset_mousefire_num_edit",
                             "keyset_keyboard_text_edit",
                             "keyset_media_combo",
                             "keyset_system_combo",
                             "keyset_macro_combo",
                             "keyset_macro_over_combo",
                             "keyset_macro_cycle_layout",
                             "keyset_macro_cycle_edit",
                             "keyset_gunkey_combo",
                             "keyset_combokey_combo",
                             "key_ComBox_check_0",
                             "key_ComBox_check_4",
                             "keyset_locked_hint"})
        EXPECT_NE(c(name), nullptr) << name;
    QWidget* functions = c("keyset_function_combo");
    ASSERT_EQ(pui::item_count(functions), 12);
    for (int g = 0; g < 12; ++g)
        EXPECT_EQ(pui::item_data(functions, g).toString(), QString::number(g));
    EXPECT_EQ(pui::page_count(c("function_switch_tablayout")), 12);
    const std::pair<const char*, int> counts[] = {
        {"keyset_mousekey_combo", 5},   {"keyset_mouseswing_combo", 2},
        {"keyset_mousewheel_combo", 2}, {"keyset_mousedpi_combo", 3},
        {"keyset_media_combo", 18},     {"keyset_system_combo", 3},
        {"keyset_macro_over_combo", 5}, {"keyset_gunkey_combo", 4},
        {"keyset_combokey_combo", 11}};
    for (const auto& [combo, n] : counts) {
        EXPECT_EQ(pui::item_count(c(combo)), n) << combo;
        // Every item shows a language text, not its id.
        for (int i = 0; i < pui::item_count(c(combo)); ++i) {
            pui::select_item(c(combo), i, false);
            EXPECT_FALSE(text(combo).contains(QLatin1Char('_'))) << combo << i;
        }
    }
    EXPECT_EQ(qobject_cast<QLineEdit*>(c("keyset_keyboard_text_edit"))->placeholderText(),
              "Click here, then press a key");
    // A language change shows the lists in the new language.
    ASSERT_TRUE(pui::LanguageTexts::instance().load_language(QStringLiteral("lan_cn.xml")));
    editor_->refresh_texts();
    pui::select_item(functions, 0, false);
    EXPECT_EQ(text("keyset_function_combo"), QString::fromUtf8("默认"));
    ASSERT_TRUE(pui::LanguageTexts::instance().load_language(QStringLiteral("lan_en.xml")));
    std::unique_ptr<QWidget> made(pui::ControlFactory::instance().create_control("KeySetControl"));
    EXPECT_NE(qobject_cast<CKeySetControlUI*>(made.get()), nullptr);
}

TEST_F(KeySetEditor, ListChoicesStoreTheirCodes) {
    editor_->show_key(key({0x10, 0x01, 0}));
    EXPECT_EQ(item("keyset_function_combo"), 1);
    EXPECT_EQ(pui::current_page(c("function_switch_tablayout")), 1);
    choose("keyset_mousekey_combo", 3);
    EXPECT_EQ(last_saved(), (KeyCode{0x10, 0x10, 0}));  // forward
    choose_group(7);
    choose("keyset_media_combo", 0);
    EXPECT_EQ(last_saved(), (KeyCode{0x30, 0x83, 0x01}));
    EXPECT_EQ(editor_->entry().current, (KeyCode{0x30, 0x83, 0x01}));
    choose_group(11);
    choose("keyset_combokey_combo", 10);
    EXPECT_EQ(last_saved(), (KeyCode{0x20, 0x10, 0x2E}));
    choose_group(10);
    choose("keyset_gunkey_combo", 3);
    EXPECT_EQ(last_saved(), (KeyCode{0x72, 3, 0}));
}

TEST_F(KeySetEditor, CapturedKeysMakeKeyboardCodes) {
    editor_->show_key(key({0x20, 0, 0x04}));
    EXPECT_EQ(text("keyset_keyboard_text_edit"), "A");
    EXPECT_EQ(editor_->selected_modifier(), 0);
    // Right Ctrl alone selects the Ctrl option and no key.
    editor_->capture_key(static_cast<std::size_t>(row_of_modifier(0x10)));
    EXPECT_EQ(last_saved(), (KeyCode{0x20, 0x01, 0x00}));
    EXPECT_EQ(editor_->selected_modifier(), 1);
    EXPECT_TRUE(text("keyset_keyboard_text_edit").isEmpty());
    // Shift chosen by hand, then A.
    tick_modifier(2);
    EXPECT_EQ(last_saved(), (KeyCode{0x20, 0x02, 0x00}));
    editor_->capture_key(static_cast<std::size_t>(row_of_usage(0x04)));
    EXPECT_EQ(last_saved(), (KeyCode{0x20, 0x02, 0x04}));
    EXPECT_EQ(text("keyset_keyboard_text_edit"), "A");
    const auto before = saved_->count();
    editor_->capture_key(KeyRowCount);  // no such row
    EXPECT_EQ(saved_->count(), before);
}

TEST_F(KeySetEditor, KeysPressedInTheEditKeepTheCombinationWhenReleased) {
    editor_->show_key(key({0x20, 0, 0x05}));
    const int shift = row_of_modifier(0x02), a = row_of_usage(0x04);
    press(shift);
    press(a);
    press(a, QEvent::KeyPress, true);  // auto-repeat
    press(a, QEvent::KeyRelease);
    press(shift, QEvent::KeyRelease);
    EXPECT_EQ(editor_->entry().current, (KeyCode{0x20, 0x02, 0x04}));
    EXPECT_EQ(saved_->count(), 2);
    EXPECT_EQ(text("keyset_keyboard_text_edit"), "A");
}

TEST_F(KeySetEditor, ModifierOptionsAreOneChoice) {
    editor_->show_key(key({0x20, 0x04, 0x2C}));  // Alt + Space
    EXPECT_EQ(editor_->selected_modifier(), 3);
    tick_modifier(4);
    EXPECT_EQ(last_saved(), (KeyCode{0x20, 0x08, 0x2C}));
    for (int n = 0; n < 4; ++n)
        EXPECT_FALSE(pui::is_selected(c(QStringLiteral("key_ComBox_check_%1").arg(n)))) << n;
    // Clicking the selected option again keeps it selected.
    QWidget* win = c("key_ComBox_check_4");
    pui::set_selected(win, false, false);
    send(win, "selectchanged", 0);
    EXPECT_TRUE(pui::is_selected(win));
    editor_->select_modifier(-1);
    EXPECT_EQ(editor_->selected_modifier(), -1);
    editor_->select_modifier(0);
    EXPECT_EQ(editor_->selected_modifier(), 0);
}

TEST_F(KeySetEditor, WheelAndSwingCountsInTheSecondDirection) {
    editor_->show_key(key({0x10, 0x01, 0}));
    choose_group(3);
    choose("keyset_mousewheel_combo", 1);
    type("keyset_mousewheel_delay_edit", "2");
    type("keyset_mousewheel_speed_edit", "5");
    type("keyset_mousewheel_num_edit", "3");
    EXPECT_EQ(last_saved(), (KeyCode{0x12, 0x25, 0xFD}));
    editor_->show_key(key({0x12, 0x25, 0xFD}));
    EXPECT_EQ(text("keyset_mousewheel_num_edit"), "3");
    EXPECT_EQ(item("keyset_mousewheel_combo"), 1);
    EXPECT_EQ(text("keyset_mousewheel_delay_edit"), "2");

    choose_group(2);
    choose("keyset_mouseswing_combo", 1);
    type("keyset_mouseswing_num_edit", "3");
    EXPECT_EQ(last_saved().second, 0x83);
    EXPECT_EQ(last_saved().function_class, 0x11);
}

TEST_F(KeySetEditor, NumbersOutsideTheirFieldAreHeldAndNonNumbersRefused) {
    editor_->show_key(key({0x12, 0x00, 0x03}));
    type("keyset_mousewheel_num_edit", "300");  // would wrap into another count
    EXPECT_EQ(last_saved(), (KeyCode{0x12, 0x00, 127}));
    EXPECT_EQ(text("keyset_mousewheel_num_edit"), "127");
    type("keyset_mousewheel_speed_edit", "17");  // would mask to 1
    EXPECT_EQ(last_saved().first, 0x0F);
    type("keyset_mousewheel_num_edit", "abc");
    EXPECT_EQ(last_saved().second, 127);
    EXPECT_EQ(text("keyset_mousewheel_num_edit"), "127");
    choose_group(5);
    type("keyset_mousefire_interval_edit", "999");
    type("keyset_mousefire_num_edit", "7");
    EXPECT_EQ(last_saved(), (KeyCode{0x14, 255, 7}));
}

TEST_F(KeySetEditor, MacroKeysWithModesCountsAndMissingMacros) {
    editor_->fill_macros({"burst", "reload"});
    EXPECT_EQ(item("keyset_macro_combo"), -1);
    editor_->show_key(key({0x10, 0x01, 0}));
    choose_group(9);
    choose("keyset_macro_combo", 1);
    EXPECT_EQ(last_saved(), (KeyCode{0x70, 1, 0}));  // no mode chosen yet: mode 0
    choose("keyset_macro_over_combo", 4);
    EXPECT_TRUE(shown("keyset_macro_cycle_layout"));
    type("keyset_macro_cycle_edit", "5");
    EXPECT_EQ(last_saved(), (KeyCode{0x71, 1, 0x05}));
    choose("keyset_macro_over_combo", 2);
    EXPECT_FALSE(shown("keyset_macro_cycle_layout"));
    EXPECT_EQ(last_saved(), (KeyCode{0x70, 1, 2}));

    editor_->show_key(key({0x71, 0, 5}));
    EXPECT_EQ(item("keyset_macro_combo"), 0);
    EXPECT_EQ(item("keyset_macro_over_combo"), 4);
    EXPECT_TRUE(shown("keyset_macro_cycle_layout"));
    EXPECT_EQ(text("keyset_macro_cycle_edit"), "5");
    // An index not below the number of macros shows no macro; reading keeps the code.
    for (KeyCode far : {KeyCode{0x70, 2, 1}, KeyCode{0x71, 2, 5}}) {
        editor_->show_key(key(far));
        EXPECT_EQ(item("keyset_macro_combo"), -1);
        EXPECT_EQ(item("keyset_macro_over_combo"), -1);
        EXPECT_FALSE(shown("keyset_macro_cycle_layout"));
        EXPECT_EQ(editor_->read(), far);
    }
    editor_->remove_macro(0);
    editor_->rename_macro(0, "reload2");
    editor_->remove_macro(5);
    editor_->add_macro("spray");
    EXPECT_EQ(editor_->macro_count(), 2);
    pui::select_item(c("keyset_macro_combo"), 0, false);
    EXPECT_EQ(text("keyset_macro_combo"), "reload2");
}

TEST_F(KeySetEditor, GroupChangesSaveAndTheKeyGroupStartsEmpty) {
    editor_->show_key(key({0x20, 0x02, 0x04}, {0x10, 0x04, 0}));
    choose_group(1);  // nothing chosen in the list yet: the working code stays
    EXPECT_EQ(last_saved(), (KeyCode{0x20, 0x02, 0x04}));
    EXPECT_EQ(pui::current_page(c("function_switch_tablayout")), 1);
    choose_group(6);
    EXPECT_EQ(last_saved(), (KeyCode{0x20, 0, 0}));
    EXPECT_EQ(editor_->selected_modifier(), -1);
    EXPECT_TRUE(text("keyset_keyboard_text_edit").isEmpty());
    choose_group(0);  // the key's default function
    EXPECT_EQ(last_saved(), (KeyCode{0x10, 0x04, 0}));
}

TEST_F(KeySetEditor, SaveCancelDefaultAndWriteButtons) {
    editor_->show_key(key({0x12, 0x00, 0x03}, {0x10, 0x02, 0}));
    pui::set_text(c("keyset_mousewheel_num_edit"), "9");  // typed, not yet left
    send("key_butt_keycancel", "click");
    EXPECT_EQ(text("keyset_mousewheel_num_edit"), "3");
    EXPECT_TRUE(saved_->isEmpty());
    send("key_butt_keysave", "click");
    EXPECT_EQ(last_saved(), (KeyCode{0x12, 0x00, 0x03}));

    // The mouse page only shows the default.
    send("key_butt_keydefalut", "click");
    EXPECT_EQ(item("keyset_mousekey_combo"), 2);
    EXPECT_EQ(saved_->count(), 1);
    EXPECT_TRUE(writes_->isEmpty());
    EXPECT_EQ(editor_->entry().current, (KeyCode{0x12, 0x00, 0x03}));
    // The keyboard page stores and writes it at once.
    editor_->set_page_kind(true);
    send("key_butt_keydefalut", "click");
    EXPECT_EQ(last_saved(), (KeyCode{0x10, 0x02, 0}));
    EXPECT_EQ(writes_->count(), 1);
    send("key_butt_prosave", "click");
    EXPECT_EQ(writes_->count(), 2);
}

TEST_F(KeySetEditor, CodesWithoutAGroupHideTheEditorAndUnknownKeysAreCleared) {
    editor_->show_key(key({0xA0, 0x01, 0}));
    EXPECT_FALSE(shown("keyset_layout"));
    EXPECT_TRUE(shown("keyset_locked_hint"));
    editor_->show_key(key({0x10, 0x01, 0}));
    EXPECT_TRUE(shown("keyset_layout"));
    EXPECT_FALSE(shown("keyset_locked_hint"));
    // A usage with no key row shows an empty edit and no modifier, and clears the code.
    editor_->show_key(key({0x20, 0x00, 0xF0}));
    EXPECT_TRUE(text("keyset_keyboard_text_edit").isEmpty());
    EXPECT_EQ(editor_->selected_modifier(), -1);
    EXPECT_EQ(editor_->entry().current, (KeyCode{0x20, 0, 0}));
    // Notifications of controls outside the editor are not its business.
    QWidget stranger;
    stranger.setObjectName("key_butt_keysave");
    send(&stranger, "click");
    EXPECT_TRUE(saved_->isEmpty());
}

}  // namespace
}  // namespace velqa::macro
