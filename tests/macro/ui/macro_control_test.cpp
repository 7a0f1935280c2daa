// The macro editor offscreen against the shipped skin: its buttons as the window routes them,
// the questions answered through the modal hook, recording fed with captured events under a
// clock the test turns, and imports through a replaced file dialog.
#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <memory>

#include "macro/key_tables.h"
#include "macro/ui/macro_control.h"
#include "platform/atomic_file.h"
#include "platform/json_read.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/qt_test_app.h"
#include "platform/ui/window.h"
#include "support/temp_dir.h"
#include "ui/custom_controls.h"

#include <gtest/gtest.h>

namespace velqa::test {
namespace {

namespace fs = std::filesystem;
namespace pui = platform::ui;
using macro::CMacroControlUI;
using platform::input::CapturedEvent;
using platform::input::CaptureKind;

constexpr std::size_t KeyA = 8;  // key_table() rows
constexpr std::size_t KeyB = 9;

// Routes every notification to the macro editor, as the main window does.
class Host : public pui::Window {
  public:
    QString skin_file() const override { return QStringLiteral("XML_MSG"); }
    CMacroControlUI* control = nullptr;

  protected:
    void notify(pui::Notification& msg) override {
        if (control != nullptr)
            control->on_notify(msg);
    }
};

class MacroControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt_app();
        ASSERT_TRUE(load_shipped_skin());
        host_ = std::make_unique<Host>();
        host_->create("t", {}, true);
        editor_ = new CMacroControlUI(host_->root());
        host_->control = editor_;
        host_->attach_controls(host_->root());
        editor_->set_clock([this] { return now_; });
        editor_->set_open_dialog(
            [this](QWidget*, const QString&, const QString&, const QString& filter) {
                filters_.push_back(filter);
                return open_answer_;
            });
        editor_->set_macro_folder(folder_);
    }
    void TearDown() override { pui::Window::set_modal_test_hook({}); }

    // Macros named as given, in a fresh folder, loaded into the editor.
    void with_macros(std::initializer_list<const char*> names) {
        macro::MacroLibrary lib(folder_);
        lib.load();
        for (const char* n : names)
            ASSERT_TRUE(lib.create_named(n).ok());
        editor_->load_macro_list();
    }
    // Answers every message window with `button` and records the text ids it showed.
    void answer(const char* button) {
        pui::Window::set_modal_test_hook([this, button](pui::Window& w) {
            asked_.push_back(pui::text_id(w.find_control("MessageText")));
            qobject_cast<QAbstractButton*>(w.find_control(button))->click();
        });
    }
    QWidget* c(const char* name) const { return editor_->control(QString::fromLatin1(name)); }
    void click(const char* name) {
        auto* b = qobject_cast<QAbstractButton*>(c(name));
        ASSERT_NE(b, nullptr) << name;
        ASSERT_TRUE(b->isEnabled()) << name;
        b->click();
    }
    void type(const char* name, const QString& text) {
        qobject_cast<QLineEdit*>(c(name))->setText(text);
    }
    QStringList names() const {
        QStringList out;
        for (const auto& n : editor_->macro_names())
            out << QString::fromStdString(n);
        return out;
    }
    QLineEdit* delay_edit(int row) const {
        QWidget* r = editor_->row_widget(row);
        return r != nullptr ? r->findChild<QLineEdit*>("macro_delay") : nullptr;
    }
    Json::Value mac_file(int index) const {
        return platform::read_json_file(editor_->library().macro_path(index));
    }
    // Capture reports X codes: the code of the key or button row the test names.
    static unsigned x_keycode_of(std::size_t row) {
        for (unsigned code = 0; code < 256; ++code) {
            if (macro::row_for_x_keycode(code) == row)
                return code;
        }
        ADD_FAILURE() << "key row " << row << " has no X keycode";
        return 0;
    }
    static unsigned x_button_of(std::size_t row) {
        for (unsigned button = 1; button < 32; ++button) {
            if (macro::mouse_row_for_x_button(button, row % 2 == 0) == row)
                return button;
        }
        ADD_FAILURE() << "mouse row " << row << " has no X button";
        return 0;
    }
    void key(int mode, std::size_t row, bool down) {
        CapturedEvent e;
        e.kind = down ? CaptureKind::KeyDown : CaptureKind::KeyUp;
        e.code = x_keycode_of(row);
        editor_->keyboard_event(mode, e);
    }
    void button(int mode, std::size_t row, QPoint at = {-100, -100}) {
        CapturedEvent e;
        e.kind = (row % 2 == 0) ? CaptureKind::ButtonDown : CaptureKind::ButtonUp;
        e.code = x_button_of(row);
        e.root_x = at.x();
        e.root_y = at.y();
        editor_->mouse_event(mode, e);
    }
    std::vector<int> buttons() const {
        std::vector<int> out;
        for (const auto& e : editor_->shown_events())
            out.push_back(e.button);
        return out;
    }

    TempDir dir_;
    fs::path folder_ = dir_ / "mouse";
    std::unique_ptr<Host> host_;
    CMacroControlUI* editor_ = nullptr;
    std::uint32_t now_ = 1000;
    QStringList asked_;
    QString open_answer_;
    QStringList filters_;
};

TEST_F(MacroControlTest, TheFactoryBuildsItWithEveryControlItLooksUp) {
    ui::register_custom_controls();
    macro::register_macro_controls();
    for (const char* cls : {"MacroControl", "CMacroControlUI"}) {
        std::unique_ptr<QWidget> made(
            pui::ControlFactory::instance().create_control(QString::fromLatin1(cls)));
        ASSERT_NE(qobject_cast<CMacroControlUI*>(made.get()), nullptr) << cls;
    }
    for (const char* name : {"macro_name_list",
                             "macro_action_list",
                             "macro_edit_macroname",
                             "macro_action_layout",
                             "mouse_move_layout",
                             "macro_btn_export",
                             "macro_btn_import",
                             "macro_btn_name_sub",
                             "macro_btn_name_edit",
                             "macro_btn_name_add",
                             "macro_btn_save",
                             "macro_btn_cancel",
                             "macro_btn_up",
                             "macro_btn_down",
                             "macro_btn_uptop",
                             "macro_btn_downbottom",
                             "macro_btn_delete",
                             "macro_btn_deleteall",
                             "macro_btn_starredio",
                             "macro_btn_stopredio",
                             "macro_check_time",
                             "macro_fixed_time_edit",
                             "mouse_x_left_edit",
                             "mouse_x_right_edit",
                             "mouse_y_up_edit",
                             "mouse_y_down_edit",
                             "macro_inset_moveleftkey_btn",
                             "macro_inset_moverightkey_btn",
                             "macro_inset_moveupkey_btn",
                             "macro_inset_movedownkey_btn",
                             "macro_name_tab",
                             "macro_tab_macroaction_edit",
                             "macro_tab_macrodelay_edit",
                             "macro_capture_note"})
        EXPECT_NE(c(name), nullptr) << name;
    EXPECT_TRUE(c("macro_btn_stopredio")->isHidden());
}

TEST_F(MacroControlTest, NewMacroAsksFirstAndTakesTheFirstFreeNumber) {
    with_macros({"macro_1", "macro_3"});
    EXPECT_EQ(editor_->selected_macro(), 0);
    answer("cancel_btn");
    click("macro_btn_name_add");
    EXPECT_EQ(asked_, QStringList{"message_text_28"});
    EXPECT_EQ(names(), (QStringList{"macro_1", "macro_3"}));

    QSignalSpy added(editor_, &CMacroControlUI::macro_added);
    answer("confirm_btn");
    click("macro_btn_name_add");
    EXPECT_EQ(names(), (QStringList{"macro_1", "macro_3", "macro_2"}));
    ASSERT_EQ(added.count(), 1);
    EXPECT_EQ(added[0][0].toString(), "macro_2");
    EXPECT_EQ(editor_->selected_macro(), 2);
    EXPECT_EQ(pui::text(c("macro_edit_macroname")), "macro_2");
    EXPECT_EQ(pui::item_count(c("macro_name_list")), 3);
}

TEST_F(MacroControlTest, RenameRefusesTakenAndBlankNamesAndKeepsSpaces) {
    with_macros({"macro_1", "macro_2"});
    editor_->select_macro(1);
    QSignalSpy renamed(editor_, &CMacroControlUI::macro_renamed);
    answer("confirm_btn");
    type("macro_edit_macroname", "MACRO_2");  // its own name, other case
    click("macro_btn_name_edit");
    EXPECT_EQ(asked_, QStringList{"message_text_5"});
    type("macro_edit_macroname", "   ");
    click("macro_btn_name_edit");
    EXPECT_EQ(asked_.size(), 1);
    EXPECT_EQ(names(), (QStringList{"macro_1", "macro_2"}));
    EXPECT_EQ(renamed.count(), 0);

    type("macro_edit_macroname", " jump ");
    click("macro_btn_name_edit");
    EXPECT_EQ(names(), (QStringList{"macro_1", " jump "}));
    ASSERT_EQ(renamed.count(), 1);
    EXPECT_EQ(renamed[0][0].toInt(), 1);
    EXPECT_EQ(qobject_cast<QListWidget*>(c("macro_name_list"))->item(1)->text(), " jump ");
}

TEST_F(MacroControlTest, DeleteAsksTwiceWhenInUseAndLetsTheDelegateFixReferences) {
    with_macros({"a", "b", "c"});
    std::vector<int> fixed;
    editor_->set_references({[](int i) { return i == 1; },
                             [&fixed](int i) {
                                 fixed.push_back(i);
                                 return true;
                             }});
    editor_->select_macro(1);
    const fs::path file = editor_->library().macro_path(1);
    answer("confirm_btn");
    // The second question cancelled: nothing happens.
    int questions = 0;
    pui::Window::set_modal_test_hook([&](pui::Window& w) {
        asked_.push_back(pui::text_id(w.find_control("MessageText")));
        const char* b = ++questions == 1 ? "confirm_btn" : "cancel_btn";
        qobject_cast<QAbstractButton*>(w.find_control(b))->click();
    });
    click("macro_btn_name_sub");
    EXPECT_EQ(asked_, (QStringList{"message_text_4", "message_text_2"}));
    EXPECT_EQ(names(), (QStringList{"a", "b", "c"}));
    EXPECT_TRUE(fixed.empty());

    QSignalSpy deleted(editor_, &CMacroControlUI::macro_deleted);
    asked_.clear();
    answer("confirm_btn");
    click("macro_btn_name_sub");
    EXPECT_EQ(asked_, (QStringList{"message_text_4", "message_text_2"}));
    EXPECT_EQ(names(), (QStringList{"a", "c"}));
    EXPECT_EQ(fixed, std::vector<int>{1});
    EXPECT_FALSE(fs::exists(file));
    ASSERT_EQ(deleted.count(), 1);
    EXPECT_EQ(deleted[0][0].toInt(), 1);
    EXPECT_TRUE(deleted[0][1].toBool());
    EXPECT_EQ(editor_->selected_macro(), 0);
    EXPECT_EQ(pui::text(c("macro_edit_macroname")), "a");

    // The last ones go: the event controls are disabled and the name is emptied.
    editor_->set_references({});
    click("macro_btn_name_sub");
    click("macro_btn_name_sub");
    EXPECT_TRUE(names().isEmpty());
    EXPECT_FALSE(c("macro_btn_name_sub")->isEnabled());
    EXPECT_FALSE(c("macro_action_layout")->isEnabled());
    EXPECT_EQ(pui::text(c("macro_edit_macroname")), "");
}

TEST_F(MacroControlTest, MenuStepsAndMovesAreInsertedAndSavedAndAnEmptyDelaySavesAsZero) {
    with_macros({"m"});
    type("macro_fixed_time_edit", "40");
    editor_->on_menu_command("left_click");
    EXPECT_EQ(buttons(), (std::vector<int>{1, 1}));
    EXPECT_EQ(editor_->selected_row(), 1);
    type("mouse_x_right_edit", "300");  // low 8 bits: 44
    click("macro_inset_moverightkey_btn");
    ASSERT_EQ(mac_file(0)["Events"].size(), 3u);
    EXPECT_EQ(mac_file(0)["Events"][2]["Type"].asInt(), 4);
    EXPECT_EQ(mac_file(0)["Events"][2]["Button"].asInt(), 44);
    EXPECT_EQ(mac_file(0)["Events"][2]["Action"].asString(), "up");
    EXPECT_EQ(mac_file(0)["Events"][2]["Delay"].asString(), "40");
    // Rows: name, press/release (or steps) and delay, styled by kind.
    auto style = [this](int row, const char* child) {
        return editor_->row_widget(row)->findChild<QWidget*>(child)->property("macroStyle");
    };
    EXPECT_EQ(style(0, "macro_action_name").toString(), "macro_label_mouse_style");
    EXPECT_EQ(style(1, "macro_action_state").toString(), "macro_label_up_style");
    EXPECT_EQ(style(2, "macro_action_state").toString(), "macro_label_text_style");
    EXPECT_EQ(editor_->row_widget(2)->findChildren<QWidget*>().size(), 3);
    EXPECT_EQ(editor_->row_widget(2)->height(), CMacroControlUI::kRowHeight);
    EXPECT_EQ(delay_edit(2)->maxLength(), 6);

    delay_edit(0)->setText("");
    delay_edit(1)->setText("007");
    click("macro_btn_save");
    EXPECT_EQ(mac_file(0)["Events"][0]["Delay"].asString(), "0");
    EXPECT_EQ(mac_file(0)["Events"][1]["Delay"].asString(), "7");
    EXPECT_EQ(delay_edit(0)->text(), "0");

    // Row moves keep the moved row selected and save at once, unsaved delays included.
    delay_edit(2)->setText("123");
    click("macro_btn_uptop");
    EXPECT_EQ(editor_->selected_row(), 0);
    EXPECT_EQ(mac_file(0)["Events"][0]["Type"].asInt(), 4);
    EXPECT_EQ(mac_file(0)["Events"][0]["Delay"].asString(), "123");
    click("macro_btn_delete");
    EXPECT_EQ(mac_file(0)["Events"].size(), 2u);
    // Discard reloads the file.
    delay_edit(0)->setText("999");
    click("macro_btn_cancel");
    EXPECT_EQ(delay_edit(0)->text(), "0");
    click("macro_btn_deleteall");
    EXPECT_EQ(mac_file(0)["Events"].size(), 0u);
}

// A long macro shows without a widget per step; whatever is built, every step is saved as
// shown, and rows reused for another macro show that macro's values.
TEST_F(MacroControlTest, ALongMacroBuildsTheRowsInViewAndSavesEveryStepAsShown) {
    macro::MacroLibrary lib(folder_);
    lib.load();
    for (const std::uint16_t delay : {std::uint16_t{10}, std::uint16_t{20}}) {
        std::vector<macro::MacroEvent> events;
        for (std::size_t i = 0; i < macro::MaxEvents; ++i)
            events.push_back({i % 2 == 0, 0x04, macro::TypeKey, delay});
        const macro::MacroResult r = lib.create();
        ASSERT_TRUE(r.ok());
        ASSERT_TRUE(lib.save_events(r.index, events).ok());
    }
    editor_->load_macro_list();
    EXPECT_GT(editor_->built_rows(), 0);
    EXPECT_LT(editor_->built_rows(), 100);

    delay_edit(0)->setText("5");
    delay_edit(249)->setText("7");  // built when asked for
    click("macro_btn_save");
    const Json::Value saved = mac_file(0)["Events"];
    ASSERT_EQ(saved.size(), macro::MaxEvents);
    EXPECT_EQ(saved[0]["Delay"].asString(), "5");
    EXPECT_EQ(saved[120]["Delay"].asString(), "10");
    EXPECT_EQ(saved[249]["Delay"].asString(), "7");

    pui::select_item(c("macro_name_list"), 1, true);
    EXPECT_EQ(delay_edit(0)->text(), "20");
    EXPECT_EQ(delay_edit(249)->text(), "20");
    for (const auto& e : editor_->shown_events())
        ASSERT_EQ(e.delay, 20);
    EXPECT_LT(editor_->built_rows(), 100);
}

TEST_F(MacroControlTest, RecordingAppendsWithDelaysAndStopSavesAndRestoresTheControls) {
    with_macros({"m"});
    QSignalSpy started(editor_, &CMacroControlUI::recording_started);
    QSignalSpy stopped(editor_, &CMacroControlUI::recording_stopped);
    click("macro_btn_starredio");
    ASSERT_TRUE(editor_->recording());
    EXPECT_EQ(editor_->hook_mode(), 4);
    ASSERT_EQ(started.count(), 1);
    EXPECT_EQ(started[0][0].toInt(), 4);
    EXPECT_TRUE(c("macro_btn_starredio")->isHidden());
    EXPECT_FALSE(c("macro_btn_stopredio")->isHidden());
    EXPECT_FALSE(c("macro_tab_macroaction_edit")->isEnabled());
    EXPECT_TRUE(c("macro_action_list")->testAttribute(Qt::WA_TransparentForMouseEvents));

    key(4, KeyA, true);
    now_ += 100;
    key(4, KeyA, true);  // auto-repeat
    key(4, KeyA, false);
    key(1, KeyB, true);  // key capture mode: not the recorder's
    EXPECT_EQ(delay_edit(0)->text(), "100");
    EXPECT_EQ(delay_edit(1)->text(), "0");
    EXPECT_EQ(editor_->selected_row(), 1);

    // The Stop button's own click is not recorded; another button is.
    QWidget* stop = c("macro_btn_stopredio");
    const QPoint on_stop = stop->mapToGlobal(stop->rect().center());
    button(4, 0, on_stop);
    button(4, 1, on_stop);
    EXPECT_EQ(buttons().size(), 2u);
    button(4, 2, on_stop);
    EXPECT_EQ(buttons().size(), 3u);

    click("macro_btn_stopredio");
    EXPECT_FALSE(editor_->recording());
    EXPECT_EQ(stopped.count(), 1);
    EXPECT_FALSE(c("macro_btn_starredio")->isHidden());
    EXPECT_TRUE(c("macro_tab_macroaction_edit")->isEnabled());
    EXPECT_FALSE(c("macro_action_list")->testAttribute(Qt::WA_TransparentForMouseEvents));
    const Json::Value events = mac_file(0)["Events"];
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0]["Delay"].asString(), "100");
    EXPECT_EQ(events[2]["Type"].asInt(), 1);
    EXPECT_EQ(events[2]["Button"].asInt(), 2);
    key(4, KeyB, true);  // after Stop: ignored
    EXPECT_EQ(buttons().size(), 3u);
    editor_->stop_recording();  // harmless when idle
    EXPECT_EQ(stopped.count(), 1);
}

TEST_F(MacroControlTest, MenuRecordingsInsertBeforeAfterAndReplace) {
    with_macros({"m"});
    editor_->on_menu_command("left_click");  // rows: left down, left up
    pui::select_item(c("macro_action_list"), 0, false);
    editor_->on_menu_command("redio_previous_ignore_time");
    EXPECT_EQ(editor_->hook_mode(), 8);
    key(8, KeyA, true);
    key(8, KeyA, false);
    editor_->stop_recording();
    EXPECT_EQ(buttons(), (std::vector<int>{4, 4, 1, 1}));
    EXPECT_EQ(editor_->selected_row(), 2);

    editor_->on_menu_command("redio_later_constant_time");
    EXPECT_EQ(editor_->hook_mode(), 16);
    key(16, KeyB, true);
    editor_->stop_recording();
    EXPECT_EQ(buttons(), (std::vector<int>{4, 4, 1, 5, 1}));
    EXPECT_EQ(editor_->selected_row(), 3);

    pui::select_item(c("macro_action_list"), 0, false);
    editor_->on_menu_command("macro_action_edit");
    EXPECT_EQ(editor_->hook_mode(), 32);
    button(32, 4);  // middle down replaces A's press, keeping its "down" and delay
    editor_->stop_recording();
    const Json::Value e = mac_file(0)["Events"][0];
    EXPECT_EQ(e["Type"].asInt(), 1);
    EXPECT_EQ(e["Button"].asInt(), 4);
    EXPECT_EQ(e["Action"].asString(), "down");
    EXPECT_EQ(mac_file(0)["Events"].size(), 5u);
}

TEST_F(MacroControlTest, TheFixedDelayIsClampedWhenARecordingUsesIt) {
    with_macros({"m"});
    answer("confirm_btn");
    pui::set_selected(c("macro_check_time"), true);
    type("macro_fixed_time_edit", "5");
    click("macro_btn_starredio");
    EXPECT_EQ(asked_, QStringList{"message_text_31"});
    EXPECT_EQ(pui::text(c("macro_fixed_time_edit")), "10");
    EXPECT_EQ(editor_->constant_delay(), 10);
    editor_->stop_recording();

    type("macro_fixed_time_edit", "70000");
    click("macro_btn_starredio");
    EXPECT_EQ(asked_.size(), 1);  // lowered without a message
    EXPECT_EQ(editor_->constant_delay(), 65535);
    key(4, KeyA, true);
    key(4, KeyA, false);
    EXPECT_EQ(delay_edit(0)->text(), "65535");
    EXPECT_EQ(delay_edit(1)->text(), "65535");
    editor_->stop_recording();
}

TEST_F(MacroControlTest, ARecordingThatFillsTheMacroSaysSoOnceItStops) {
    with_macros({"m"});
    {
        macro::MacroLibrary lib(folder_);
        lib.load();
        ASSERT_TRUE(lib.save_events(0, std::vector<macro::MacroEvent>(macro::MaxEvents - 1,
                                                                      {true, 4, macro::TypeKey, 0}))
                        .ok());
    }
    editor_->select_macro(0);
    answer("confirm_btn");
    click("macro_btn_starredio");
    key(4, KeyB, true);
    key(4, KeyB, false);  // beyond 250: dropped
    EXPECT_TRUE(asked_.isEmpty());
    click("macro_btn_stopredio");
    EXPECT_EQ(asked_, QStringList{"message_text_17"});
    EXPECT_EQ(mac_file(0)["Events"].size(), macro::MaxEvents);
    click("macro_btn_save");  // said once
    EXPECT_EQ(asked_.size(), 1);
}

TEST_F(MacroControlTest, ABadImportIsRefusedAndChangesNothing) {
    with_macros({"keep"});
    std::string list_before;
    ASSERT_TRUE(platform::read_whole_file(folder_ / "macro.config", list_before));
    const fs::path bad = dir_ / "bad.mac";
    ASSERT_TRUE(platform::write_file_atomically(bad, R"({"Events":[{"Action":"sideways"}]})"));
    open_answer_ = QString::fromStdString(bad.string());
    answer("confirm_btn");
    click("macro_btn_import");
    EXPECT_EQ(filters_, QStringList{"Macro Files(*.mac)"});
    EXPECT_EQ(asked_, QStringList{"macro_import_refused_text"});
    EXPECT_EQ(names(), QStringList{"keep"});
    std::string list_after;
    ASSERT_TRUE(platform::read_whole_file(folder_ / "macro.config", list_after));
    EXPECT_EQ(list_after, list_before);

    const fs::path good = dir_ / "keep.mac";
    ASSERT_TRUE(platform::write_file_atomically(
        good, R"({"Events":[{"Action":"down","Button":4,"Delay":"12","Type":10}]})"));
    open_answer_ = QString::fromStdString(good.string());
    QSignalSpy added(editor_, &CMacroControlUI::macro_added);
    click("macro_btn_import");
    EXPECT_EQ(names(), (QStringList{"keep", "keep_1"}));
    EXPECT_EQ(added.count(), 1);
    EXPECT_EQ(editor_->selected_macro(), 1);
    ASSERT_EQ(editor_->shown_events().size(), 1u);
    EXPECT_EQ(delay_edit(0)->text(), "12");
}

// Every text the editor's code shows, the key and mouse names of its rows included, exists in
// both languages (the layouts and menus are checked with the other layouts).
TEST(MacroControlTexts, EveryTextTheCodeShowsExistsInBothLanguages) {
    std::vector<QString> ids = {
        "macro_press_text",         "macro_release_text",      "macro_delay_tip_text",
        "macro_import_title_text",  "macro_export_title_text", "macro_import_refused_text",
        "macro_export_failed_text", "macro_write_failed_text", "message_text_2",
        "message_text_4",           "message_text_5",          "message_text_17",
        "message_text_28",          "message_text_31",         "message_text_32"};
    for (const auto& k : macro::key_table())
        ids.push_back(QStringLiteral("keyboard_key_") +
                      QString::fromUtf8(k.name.data(), k.name.size()));
    for (const auto& m : macro::mouse_event_table())
        ids.push_back(QString::fromLatin1(m.label.data(), m.label.size()));
    for (const char* file : {"lan_en.xml", "lan_cn.xml"}) {
        std::map<QString, QString> texts;
        ASSERT_TRUE(pui::LanguageTexts::parse(source_dir() / "skin" / file, texts)) << file;
        for (const QString& id : ids)
            EXPECT_TRUE(texts.count(id)) << file << " lacks " << id.toStdString();
    }
}

}  // namespace
}  // namespace velqa::test
