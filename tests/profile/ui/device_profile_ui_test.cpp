// The profile control against the shipped skin: its buttons as the window routes them, the
// confirmations answered through the modal hook, and the file dialogs replaced.
#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/qt_test_app.h"
#include "platform/ui/window.h"
#include "profile/app_bindings.h"
#include "profile/json_access.h"
#include "profile/ui/app_bindings_wnd.h"
#include "profile/ui/device_profile_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace velqa::test {
namespace {

namespace fs = std::filesystem;
namespace pui = platform::ui;
using profile::CDeviceProfileUI;

// A window that routes every notification to its profile control, as the main window does.
class Host : public pui::Window {
  public:
    QString skin_file() const override { return QStringLiteral("XML_MSG"); }
    CDeviceProfileUI* control = nullptr;

  protected:
    void notify(pui::Notification& msg) override {
        if (control != nullptr)
            control->on_notify(msg);
    }
};

class DeviceProfileUiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt_app();
        ASSERT_TRUE(load_shipped_skin());
        write_text(default_file_, R"({"Device":[{"SystemStages":{"KeyDelay":3},"KeyList":[]}]})");
        host_ = std::make_unique<Host>();
        host_->create("t", {}, true);
        control_ = new CDeviceProfileUI(host_->root());
        host_->control = control_;
        host_->attach_controls(host_->root());
        control_->set_kind(folder_, default_file_, 2);
        control_->set_open_dialog(
            [this](QWidget*, const QString&, const QString&, const QString& filter) {
                filters_.push_back(filter);
                return open_answer_;
            });
        control_->set_save_dialog(
            [this](QWidget*, const QString&, const QString& start, const QString& filter) {
                filters_.push_back(filter);
                save_start_ = start;
                return save_answer_;
            });
        control_->load();
    }
    void TearDown() override { pui::Window::set_modal_test_hook({}); }

    // Answers every message window with `button` and records the text ids it showed.
    void answer(const char* button) {
        pui::Window::set_modal_test_hook([this, button](pui::Window& w) {
            asked_.push_back(pui::text_id(w.find_control("MessageText")));
            qobject_cast<QAbstractButton*>(w.find_control(button))->click();
        });
    }
    QWidget* sub(const char* name) const {
        return pui::Window::find_sub_control_by_name(control_, name);
    }
    void click(const char* name) { qobject_cast<QAbstractButton*>(sub(name))->click(); }
    QComboBox* combo() const { return qobject_cast<QComboBox*>(sub("device_profile_combo")); }
    QStringList items() const {
        QStringList out;
        for (int i = 0; i < combo()->count(); ++i)
            out << combo()->itemText(i);
        return out;
    }
    Json::Value list_file() const { return profile::read_json(folder_ / "ProfileList.ini"); }

    TempDir dir_;
    fs::path folder_ = dir_ / "mouse";
    fs::path default_file_ = dir_ / "mouse.Json";
    std::unique_ptr<Host> host_;
    CDeviceProfileUI* control_ = nullptr;
    QStringList asked_;
    QString open_answer_, save_answer_, save_start_;
    QStringList filters_;
};

TEST_F(DeviceProfileUiTest, TheFactoryBuildsItWithEveryControlItLooksUp) {
    profile::register_profile_controls();
    std::unique_ptr<QWidget> made(
        pui::ControlFactory::instance().create_control(QStringLiteral("DeviceProfile")));
    ASSERT_NE(qobject_cast<CDeviceProfileUI*>(made.get()), nullptr);
    for (const char* name :
         {"device_profile_combo", "device_profile_name_edit", "profile_menu_layout",
          "device_add_btn", "device_sub_btn", "device_export_btn", "device_import_btn",
          "device_copy_btn", "device_reset_btn", "device_profile_edit_save_btn",
          "profile_fun_spread_btn", "device_apps_btn"})
        EXPECT_NE(pui::Window::find_sub_control_by_name(made.get(), name), nullptr) << name;
    EXPECT_LE(made->sizeHint().width(), 240);
}

TEST_F(DeviceProfileUiTest, CreateAsksFirstAndCancelChangesNothing) {
    EXPECT_EQ(items(), QStringList{"Profile1"});
    answer("cancel_btn");
    click("device_add_btn");
    EXPECT_EQ(asked_, QStringList{"message_text_27"});
    EXPECT_EQ(items(), QStringList{"Profile1"});

    QSignalSpy changed(control_, &CDeviceProfileUI::list_changed);
    QSignalSpy applied(control_, &CDeviceProfileUI::profile_applied);
    answer("confirm_btn");
    click("device_add_btn");
    click("device_copy_btn");
    EXPECT_EQ(items(), (QStringList{"Profile1", "Profile2", "Profile1 copy"}));
    EXPECT_EQ(combo()->currentIndex(), 0);  // neither selects
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(applied.count(), 0);
}

TEST_F(DeviceProfileUiTest, ComboSelectionIsStoredAndAppliedOnlyByTheTimer) {
    answer("confirm_btn");
    click("device_add_btn");
    QSignalSpy applied(control_, &CDeviceProfileUI::profile_applied);
    combo()->setCurrentIndex(1);
    emit combo()->activated(1);  // what a user's pick sends
    EXPECT_EQ(list_file()["profileselect"].asInt(), 1);
    EXPECT_EQ(pui::text(sub("device_profile_name_edit")), "Profile2");
    EXPECT_EQ(applied.count(), 0);
    control_->apply_selected();
    ASSERT_EQ(applied.count(), 1);
    EXPECT_EQ(applied[0][0].toString().toStdString(), control_->profile_file_path(1).string());
}

TEST_F(DeviceProfileUiTest, DeletingTheSelectedProfileAppliesTheNextOne) {
    answer("confirm_btn");
    click("device_add_btn");
    control_->select_profile(1, false);
    const fs::path deleted = control_->profile_file_path(1);
    QSignalSpy applied(control_, &CDeviceProfileUI::profile_applied);
    click("device_sub_btn");
    EXPECT_EQ(items(), QStringList{"Profile1"});
    EXPECT_FALSE(fs::exists(deleted));
    ASSERT_EQ(applied.count(), 1);
    EXPECT_EQ(applied[0][0].toString().toStdString(), control_->profile_file_path(0).string());
    click("device_sub_btn");  // the last one stays
    EXPECT_EQ(items(), QStringList{"Profile1"});
}

TEST_F(DeviceProfileUiTest, ImportSelectsAndAppliesOnlyWhatWasAdded) {
    answer("confirm_btn");
    click("device_add_btn");
    QSignalSpy applied(control_, &CDeviceProfileUI::profile_applied);
    click("device_import_btn");  // cancelled dialog
    EXPECT_EQ(combo()->currentIndex(), 0);

    const fs::path bad = dir_ / "bad.json";
    write_text(bad, R"({"profilename":"x","profileUUID":"y","Device":{}})");
    open_answer_ = QString::fromStdString(bad.string());
    click("device_import_btn");
    EXPECT_EQ(asked_.back(), "profile_import_refused_text");
    EXPECT_EQ(items().size(), 2);
    EXPECT_EQ(combo()->currentIndex(), 0);
    EXPECT_EQ(applied.count(), 0);

    const fs::path good = dir_ / "Arena.json";
    write_text(good, R"({"profilename":"x","profileUUID":"y","Device":[{"KeyList":[]}]})");
    open_answer_ = QString::fromStdString(good.string());
    click("device_import_btn");
    // It lacked the factory's "SystemStages": taken from there, and the user is told.
    EXPECT_EQ(asked_.back(), "profile_import_corrected_text");
    EXPECT_EQ(items().back(), "Arena");
    EXPECT_EQ(combo()->currentIndex(), 2);
    EXPECT_EQ(list_file()["profileselect"].asInt(), 2);
    ASSERT_EQ(applied.count(), 1);
    EXPECT_EQ(filters_.front(), "Profile Files(*.json)");
}

TEST_F(DeviceProfileUiTest, ExportWritesTheSelectedProfileWhereTheDialogSays) {
    save_answer_ = QString::fromStdString((dir_ / "mine").string());
    click("device_export_btn");
    EXPECT_TRUE(save_start_.endsWith("Profile1.json"));
    const Json::Value out = profile::read_json(dir_ / "mine.json");
    EXPECT_EQ(out["profilename"].asString(), "Profile1");
    EXPECT_EQ(out["Device"][0]["SystemStages"]["KeyDelay"].asInt(), 3);
}

TEST_F(DeviceProfileUiTest, RenameReportsDuplicatesAndBlanksAndSavesTheName) {
    answer("confirm_btn");
    click("device_add_btn");
    auto* edit = qobject_cast<QLineEdit*>(sub("device_profile_name_edit"));
    auto* save = qobject_cast<QAbstractButton*>(sub("device_profile_edit_save_btn"));
    EXPECT_FALSE(save->isEnabled());  // nothing typed yet
    edit->setText("profile2");
    click("device_profile_edit_save_btn");
    EXPECT_EQ(asked_.back(), "message_text_5");
    EXPECT_EQ(control_->rename_profile("   "), 2);
    edit->setText("Aim training");
    EXPECT_TRUE(save->isEnabled());
    click("device_profile_edit_save_btn");
    EXPECT_EQ(items().front(), "Aim training");
    EXPECT_EQ(list_file()["profilelist"][0]["profilename"].asString(), "Aim training");
    EXPECT_EQ(profile::read_json(control_->profile_file_path(0))["profilename"].asString(),
              "Aim training");
}

TEST_F(DeviceProfileUiTest, ResetAppliesAndTheSpreadButtonTogglesTheMenu) {
    const fs::path file = control_->profile_file_path(0);
    write_text(file, R"({"profilename":"Profile1","Device":[{"SystemStages":{"KeyDelay":9}}]})");
    QSignalSpy applied(control_, &CDeviceProfileUI::profile_applied);
    answer("confirm_btn");
    click("device_reset_btn");
    EXPECT_EQ(asked_.back(), "message_text_22");
    EXPECT_EQ(profile::read_json(file)["Device"][0]["SystemStages"]["KeyDelay"].asInt(), 3);
    EXPECT_EQ(applied.count(), 1);

    EXPECT_FALSE(control_->profile_menu_shown());
    click("profile_fun_spread_btn");
    EXPECT_TRUE(control_->profile_menu_shown());
    click("profile_fun_spread_btn");
    EXPECT_FALSE(control_->profile_menu_shown());
}

// Another program changes the list: the combo follows without a click, and a selection made or
// a profile deleted elsewhere is applied, so the page never writes a profile no longer listed.
TEST_F(DeviceProfileUiTest, AListChangedElsewhereIsShownAndItsSelectionApplied) {
    profile::ProfileList other(folder_, default_file_, 2);
    QSignalSpy applied(control_, &CDeviceProfileUI::profile_applied);
    ASSERT_TRUE(other.create("Elsewhere").ok());
    EXPECT_TRUE(QTest::qWaitFor([&] { return items() == QStringList{"Profile1", "Elsewhere"}; }));
    EXPECT_EQ(applied.count(), 0);  // the selection did not change

    ASSERT_TRUE(other.select(1).ok());
    ASSERT_TRUE(QTest::qWaitFor([&] { return applied.count() == 1; }));
    EXPECT_EQ(applied[0][0].toString().toStdString(), other.file_of(1).string());
    EXPECT_EQ(combo()->currentIndex(), 1);

    ASSERT_TRUE(other.remove(1).ok());
    ASSERT_TRUE(QTest::qWaitFor([&] { return applied.count() == 2; }));
    EXPECT_EQ(items(), QStringList{"Profile1"});
    EXPECT_EQ(applied[1][0].toString().toStdString(), other.file_of(0).string());
}

// The combo went stale before the window heard of a change: a delete still removes the profile
// the user chose, not the one that moved into its place.
TEST_F(DeviceProfileUiTest, AStaleComboDeletesTheProfileTheUserChose) {
    answer("confirm_btn");
    click("device_add_btn");
    click("device_add_btn");
    control_->select_profile(2, false);  // Profile3
    profile::ProfileList other(folder_, default_file_, 2);
    ASSERT_TRUE(other.remove(1).ok());           // Profile2 goes, Profile3 moves up ...
    ASSERT_TRUE(other.create("Newcomer").ok());  // ... and index 2 names another profile
    click("device_sub_btn");
    ASSERT_TRUE(other.load().ok());
    ASSERT_EQ(other.size(), 2);
    EXPECT_EQ(other.entries()[0].name, "Profile1");
    EXPECT_EQ(other.entries()[1].name, "Newcomer");
    EXPECT_EQ(items(), (QStringList{"Profile1", "Newcomer"}));
}

// The panel's "Applications…" opens the editor of the selected profile; each action reaches the
// bindings file at once, a refused id stays in the edit, and without a focused application the
// button says why.
TEST_F(DeviceProfileUiTest, TheApplicationsEditorKeepsTheBindingsFile) {
    answer("confirm_btn");
    click("device_add_btn");
    control_->select_profile(1, false);
    const std::string uuid = control_->list()->entries()[1].uuid;
    profile::AppBindings other(folder_);
    ASSERT_TRUE(other.load().ok());
    ASSERT_TRUE(other.bind(control_->list()->entries()[0].uuid, "firefox").ok());

    std::string focused = "cs2";
    control_->set_focus_source({[&focused] { return focused; }, {}});
    QStringList shown;
    QString error_text;
    bool focused_enabled = true;
    pui::Window::set_modal_test_hook([&](pui::Window& w) {
        auto* wnd = dynamic_cast<profile::AppBindingsWnd*>(&w);
        ASSERT_NE(wnd, nullptr);
        auto button = [&](const char* name) {
            return qobject_cast<QAbstractButton*>(w.find_control(name));
        };
        auto* edit = qobject_cast<QLineEdit*>(w.find_control("appbind_app_edit"));
        QTest::keyClicks(edit, "steam_app_730");
        button("appbind_add_btn")->click();
        button("appbind_add_focused_btn")->click();
        QTest::keyClicks(edit, "firefox");
        QTest::keyClick(edit, Qt::Key_Return);       // moves it from the other profile
        const QString too_long(100, QChar(0x4E2D));  // 300 bytes
        QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, too_long);
        QCoreApplication::sendEvent(edit, &typed);
        button("appbind_add_btn")->click();
        error_text = pui::text(w.find_control("appbind_status"));
        EXPECT_EQ(edit->text(), too_long);
        edit->clear();
        qobject_cast<QListWidget*>(w.find_control("appbind_app_list"))->setCurrentRow(0);
        button("appbind_remove_btn")->click();
        button("appbind_default_check")->click();
        shown = wnd->shown_apps();
        focused.clear();
        button("appbind_default_check")->click();
        button("appbind_default_check")->click();
        focused_enabled = button("appbind_add_focused_btn")->isEnabled();
        button("appbind_done_btn")->click();
    });
    click("device_apps_btn");

    EXPECT_EQ(shown, (QStringList{"cs2", "firefox"}));
    EXPECT_EQ(error_text, pui::LanguageTexts::instance().text("appbind_bad_id_text"));
    EXPECT_FALSE(focused_enabled);
    ASSERT_TRUE(other.load().ok());
    EXPECT_EQ(other.apps_of(uuid), (std::vector<std::string>{"cs2", "firefox"}));
    EXPECT_TRUE(other.apps_of(control_->list()->entries()[0].uuid).empty());
    EXPECT_EQ(other.default_uuid(), uuid);
}

}  // namespace
}  // namespace velqa::test
