// The shooting-pattern editor offscreen in a window of its own, driven through its controls: the
// start restores damaged files, guns and bullets are chosen (prev/next clamped), a bullet is
// saved into its six events, the direction labels, reset, import (a refused file changes
// nothing), export, the picture's click and the download request.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLayout>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "macro/ui/shoot_control.h"
#include "platform/atomic_file.h"
#include "platform/json_read.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/qt_test_app.h"
#include "support/temp_dir.h"
#include "ui/custom_controls.h"

namespace velqa::macro {
namespace {

namespace fs = std::filesystem;
namespace pui = platform::ui;

class Host : public pui::Window {
  public:
    QString skin_file() const override { return QStringLiteral("XML_MSG"); }
    CShootControlUI* editor = nullptr;

  protected:
    void notify(pui::Notification& msg) override {
        if (editor != nullptr)
            editor->on_notify(msg);
    }
};

// Bullet b of gun g: distinct values, so that a wrong gun or bullet shows.
Bullet sample(int gun, int b) {
    return Bullet{b % 2 == 0, static_cast<std::uint8_t>(gun * 10 + b % 7), b % 3 == 0,
                  static_cast<std::uint8_t>(b + 1), static_cast<std::uint16_t>(50 + gun)};
}

std::string bytes_of(const fs::path& file) {
    std::string bytes;
    EXPECT_TRUE(platform::read_whole_file(file, bytes)) << file;
    return bytes;
}

class ShootEditor : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        test::qt_app();
        ASSERT_TRUE(test::load_shipped_skin());
        ui::register_custom_controls();
        register_shoot_controls();
    }
    void SetUp() override {
        for (int g = 0; g < GunCount; ++g) {
            std::vector<Bullet> bullets;
            for (int b = 0; b < BulletCount; ++b)
                bullets.push_back(sample(g, b));
            test::write_text(defaults_ / shoot_file_name(g),
                             encode_shoot_file(bullets).toStyledString());
        }
        host_ = std::make_unique<Host>();
        host_->create("t", {}, true);
        editor_ = new CShootControlUI(host_->root());
        if (QLayout* layout = host_->root()->layout())
            layout->addWidget(editor_);
        host_->editor = editor_;
        host_->attach_controls(editor_);
        editor_->set_open_dialog(
            [this](QWidget*, const QString&, const QString&, const QString& filter) {
                filters_.push_back(filter);
                return open_answer_;
            });
        editor_->set_save_dialog(
            [this](QWidget*, const QString&, const QString&, const QString& filter) {
                filters_.push_back(filter);
                return save_answer_;
            });
        pui::Window::set_modal_test_hook([this](pui::Window& w) {
            asked_.push_back(pui::text_id(w.find_control("MessageText")));
            qobject_cast<QAbstractButton*>(w.find_control("confirm_btn"))->click();
        });
    }
    void TearDown() override { pui::Window::set_modal_test_hook({}); }

    void start() { editor_->set_folders(user_, defaults_); }
    QWidget* c(const QString& name) const { return editor_->control(name); }
    QWidget* c(const char* name) const { return c(QString::fromLatin1(name)); }
    void click(const QString& name) {
        auto* b = qobject_cast<QAbstractButton*>(c(name));
        ASSERT_NE(b, nullptr) << name.toStdString();
        b->click();
    }
    void click(const char* name) { click(QString::fromLatin1(name)); }
    // Types into an edit and leaves it, as the user does.
    void type(const char* name, const QString& text) {
        auto* edit = qobject_cast<QLineEdit*>(c(name));
        ASSERT_NE(edit, nullptr) << name;
        edit->setText(text);
        pui::Notification msg{"killfocus", edit};
        editor_->on_notify(msg);
    }
    QString text(const char* name) const { return pui::text(c(name)); }
    Bullet stored(int gun, int b) const {
        return read_bullet(platform::read_json_file(user_ / shoot_file_name(gun)), b);
    }

    test::TempDir dir_;
    fs::path user_ = dir_ / "user";
    fs::path defaults_ = dir_ / "DefaultData";
    std::unique_ptr<Host> host_;
    CShootControlUI* editor_ = nullptr;
    QString open_answer_, save_answer_;
    QStringList filters_, asked_;
};

TEST_F(ShootEditor, TheFactoryBuildsItWithEveryControlItLooksUp) {
    std::unique_ptr<QWidget> made(
        pui::ControlFactory::instance().create_control(QStringLiteral("ShootControl")));
    auto* editor = qobject_cast<CShootControlUI*>(made.get());
    ASSERT_NE(editor, nullptr);
    QStringList names = {"shootdate_import_btn",
                         "shootdate_export_btn",
                         "shootdate_save_btn",
                         "shootdate_reset_btn",
                         "shoot_image_display_switch",
                         "bullet_edit_layout",
                         "bullet_select_index",
                         "bullet_selected_prev",
                         "bullet_selected_next",
                         "bullet_x_check",
                         "bullet_y_check",
                         "bullet_x_eidt",
                         "bullet_y_eidt",
                         "bullet_delay_eidt"};
    for (int g = 0; g < GunCount; ++g)
        names << QStringLiteral("shoot_gun_op_%1").arg(g);
    for (int b = 0; b < BulletCount; ++b)
        names << QStringLiteral("bullet_op_%1").arg(b);
    for (const QString& name : names)
        EXPECT_NE(editor->control(name), nullptr) << name.toStdString();
    EXPECT_EQ(pui::page_count(editor->control(QStringLiteral("shoot_image_display_switch"))),
              GunCount);
    for (int g = 0; g < GunCount; ++g)
        EXPECT_NE(editor->pattern_view(g), nullptr) << g;
}

TEST_F(ShootEditor, StartRestoresUnreadableFilesAndShowsGunZeroBulletZero) {
    test::write_text(user_ / shoot_file_name(1), "{ not json");
    const Bullet kept{true, 99, true, 98, 97};
    {
        std::vector<Bullet> bullets(BulletCount, kept);
        test::write_text(user_ / shoot_file_name(0), encode_shoot_file(bullets).toStyledString());
    }
    start();
    EXPECT_EQ(bytes_of(user_ / shoot_file_name(1)), bytes_of(defaults_ / shoot_file_name(1)));
    EXPECT_EQ(bytes_of(user_ / shoot_file_name(3)), bytes_of(defaults_ / shoot_file_name(3)));
    EXPECT_EQ(stored(0, 0), kept);  // a readable file is left alone
    EXPECT_EQ(editor_->current_gun(), 0);
    EXPECT_EQ(editor_->current_bullet(), 0);
    EXPECT_TRUE(pui::is_selected(c("shoot_gun_op_0")));
    EXPECT_TRUE(pui::is_selected(c("bullet_op_0")));
    EXPECT_EQ(text("bullet_select_index"), "1");
    EXPECT_EQ(text("bullet_x_eidt"), "99");
    EXPECT_EQ(text("bullet_y_eidt"), "98");
    EXPECT_EQ(text("bullet_delay_eidt"), "97");
    EXPECT_EQ(pui::text_id(c("bullet_x_check")), "mouse_move_to_left_text");
    EXPECT_EQ(pui::text_id(c("bullet_y_check")), "mouse_move_to_up_text");
}

TEST_F(ShootEditor, GunAndBulletChoicesShowThatBulletAndPrevNextStayInRange) {
    start();
    click("bullet_selected_prev");
    EXPECT_EQ(editor_->current_bullet(), 0);
    click("bullet_op_7");
    click("shoot_gun_op_2");
    EXPECT_EQ(editor_->current_gun(), 2);
    EXPECT_EQ(pui::current_page(c("shoot_image_display_switch")), 2);
    EXPECT_FALSE(pui::is_selected(c("shoot_gun_op_0")));
    // The gun's own bullet 7 is shown.
    const Bullet b = sample(2, 7);
    EXPECT_EQ(editor_->current_bullet(), 7);
    EXPECT_EQ(text("bullet_x_eidt"), QString::number(b.x));
    EXPECT_EQ(text("bullet_y_eidt"), QString::number(b.y));
    EXPECT_EQ(text("bullet_delay_eidt"), "52");
    EXPECT_EQ(pui::is_selected(c("bullet_x_check")), b.left);
    EXPECT_EQ(text("bullet_select_index"), "8");
    click("bullet_op_29");
    click("bullet_selected_next");
    EXPECT_EQ(editor_->current_bullet(), 29);
    EXPECT_EQ(text("bullet_select_index"), "30");
    EXPECT_TRUE(pui::is_selected(c("bullet_op_29")));
    click("bullet_selected_prev");
    EXPECT_EQ(editor_->current_bullet(), 28);
    EXPECT_FALSE(pui::is_selected(c("bullet_op_29")));
    // Clicking the chosen gun again keeps it.
    click("shoot_gun_op_2");
    EXPECT_TRUE(pui::is_selected(c("shoot_gun_op_2")));
    EXPECT_EQ(editor_->current_gun(), 2);
}

TEST_F(ShootEditor, LeavingAnEditSavesTheBulletsSixEvents) {
    start();
    QSignalSpy changed(editor_, &CShootControlUI::pattern_changed);
    click("bullet_op_3");
    pui::set_selected(c("bullet_x_check"), true);
    pui::set_selected(c("bullet_y_check"), false);
    EXPECT_EQ(pui::text_id(c("bullet_x_check")), "mouse_move_to_left_text");
    EXPECT_EQ(pui::text_id(c("bullet_y_check")), "mouse_move_to_down_text");
    qobject_cast<QLineEdit*>(c("bullet_x_eidt"))->setText("2");
    qobject_cast<QLineEdit*>(c("bullet_y_eidt"))->setText("4");
    type("bullet_delay_eidt", "60");
    const Json::Value events = platform::read_json_file(user_ / shoot_file_name(0))["Events"];
    ASSERT_EQ(events.size(), ShootEventCount);
    const auto at = [&](int i) { return events[18 + i]; };
    const char* actions[] = {"down", "up", "down", "up", "down", "up"};
    const int buttons[] = {1, 1, 2, 4, 0, 0};
    const int types[] = {1, 1, 4, 5, 4, 5};
    const int delays[] = {10, 0, 5, 60, 0, 0};
    for (int i = 0; i < EventsPerBullet; ++i) {
        EXPECT_EQ(at(i)["Action"].asString(), actions[i]) << i;
        EXPECT_EQ(at(i)["Button"].asInt(), buttons[i]) << i;
        EXPECT_EQ(at(i)["Type"].asInt(), types[i]) << i;
        EXPECT_EQ(at(i)["Delay"].asInt(), delays[i]) << i;
    }
    EXPECT_EQ(stored(0, 2), sample(0, 2));  // its neighbours are untouched
    EXPECT_EQ(stored(0, 4), sample(0, 4));
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_EQ(changed.last().at(0).toInt(), 0);
}

TEST_F(ShootEditor, ValuesBeyondTheirRangesAreCappedAndEmptyIsZero) {
    start();
    type("bullet_x_eidt", "999");
    type("bullet_y_eidt", "");
    type("bullet_delay_eidt", "99999");
    EXPECT_EQ(stored(0, 0).x, 255);
    EXPECT_EQ(stored(0, 0).y, 0);
    EXPECT_EQ(stored(0, 0).delay, 65535);
    EXPECT_EQ(text("bullet_x_eidt"), "255");
    EXPECT_EQ(text("bullet_delay_eidt"), "65535");
    // The edits take digits only.
    auto* edit = qobject_cast<QLineEdit*>(c("bullet_x_eidt"));
    edit->clear();
    QTest::keyClicks(edit, "1a-2");
    EXPECT_EQ(edit->text(), "12");
}

TEST_F(ShootEditor, ADirectionToggledOrAValueTypedIsKeptWhenMovingOn) {
    start();
    const bool was_left = sample(0, 0).left;
    click("bullet_x_check");
    EXPECT_EQ(pui::text_id(c("bullet_x_check")),
              was_left ? "mouse_move_to_right_text" : "mouse_move_to_left_text");
    EXPECT_EQ(stored(0, 0).left, was_left);  // not yet written
    // The picture previews the change at once.
    EXPECT_EQ(editor_->pattern_view(0)->bullets()[0].left, !was_left);
    qobject_cast<QLineEdit*>(c("bullet_y_eidt"))->setText("33");
    click("bullet_selected_next");
    EXPECT_EQ(stored(0, 0).left, !was_left);
    EXPECT_EQ(stored(0, 0).y, 33);
    EXPECT_EQ(editor_->current_bullet(), 1);
}

TEST_F(ShootEditor, ResetRestoresOnlyTheCurrentGunAndShowsTheBullet) {
    start();
    click("shoot_gun_op_1");
    type("bullet_x_eidt", "200");
    click("shoot_gun_op_0");
    type("bullet_x_eidt", "201");
    click("shoot_gun_op_1");
    click("shootdate_reset_btn");
    EXPECT_EQ(bytes_of(user_ / shoot_file_name(1)), bytes_of(defaults_ / shoot_file_name(1)));
    EXPECT_EQ(text("bullet_x_eidt"), QString::number(sample(1, 0).x));
    EXPECT_EQ(stored(0, 0).x, 201);
    // Without a default nothing changes and the user is told.
    fs::remove(defaults_ / shoot_file_name(0));
    click("shoot_gun_op_0");
    click("shootdate_reset_btn");
    EXPECT_EQ(stored(0, 0).x, 201);
    EXPECT_EQ(asked_, QStringList{"shoot_reset_failed_text"});
}

TEST_F(ShootEditor, ImportTakesAPatternFileAndRefusesAnythingElse) {
    start();
    std::vector<Bullet> bullets(BulletCount, Bullet{false, 7, true, 8, 9});
    const fs::path good = dir_ / "mine.shoot";
    test::write_text(good, encode_shoot_file(bullets).toStyledString());
    click("shoot_gun_op_3");
    const std::string before = bytes_of(user_ / shoot_file_name(3));
    // Cancelled: nothing.
    click("shootdate_import_btn");
    EXPECT_EQ(bytes_of(user_ / shoot_file_name(3)), before);
    // Not a pattern (too few events): refused with a message, the file stays.
    bullets.pop_back();
    const fs::path bad = dir_ / "short.shoot";
    test::write_text(bad, encode_shoot_file(bullets).toStyledString());
    open_answer_ = QString::fromStdString(bad.string());
    click("shootdate_import_btn");
    EXPECT_EQ(bytes_of(user_ / shoot_file_name(3)), before);
    EXPECT_EQ(asked_, QStringList{"shoot_import_refused_text"});
    open_answer_ = QString::fromStdString(good.string());
    click("shootdate_import_btn");
    EXPECT_EQ(bytes_of(user_ / shoot_file_name(3)), bytes_of(good));
    EXPECT_EQ(text("bullet_x_eidt"), "7");
    EXPECT_EQ(asked_.size(), 1);
    for (const QString& f : filters_)
        EXPECT_EQ(f, "Shoot Files(*.shoot)");
}

TEST_F(ShootEditor, ExportCopiesTheCurrentGunsFile) {
    start();
    click("shoot_gun_op_2");
    click("shootdate_export_btn");  // cancelled
    EXPECT_FALSE(fs::exists(dir_ / "out.shoot"));
    save_answer_ = QString::fromStdString((dir_ / "out").string());
    click("shootdate_export_btn");
    EXPECT_EQ(bytes_of(dir_ / "out.shoot"), bytes_of(user_ / shoot_file_name(2)));
    // A target that cannot be written is reported.
    save_answer_ = QString::fromStdString((dir_ / "no/such/dir/x.shoot").string());
    fs::create_directories(dir_ / "no");
    test::write_text(dir_ / "no/such", "a file, not a folder");
    click("shootdate_export_btn");
    EXPECT_EQ(asked_, QStringList{"shoot_export_failed_text"});
}

TEST_F(ShootEditor, AClickOnADotSelectsThatBullet) {
    start();
    click("shoot_gun_op_1");
    // Shown as a window of its own, so that the picture has a real size.
    host_->editor = nullptr;
    editor_->setParent(nullptr);
    std::unique_ptr<QWidget> owner(editor_);
    editor_->resize(900, 640);
    editor_->show();
    ShootPatternView* view = editor_->pattern_view(1);
    ASSERT_TRUE(test::wait_until([&] { return view->isVisible() && view->width() > 100; }));
    EXPECT_EQ(view->selected(), 0);
    const auto dot = view->dot_position(12);
    ASSERT_TRUE(dot);
    EXPECT_EQ(view->bullet_at(*dot), 12);
    QTest::mouseClick(view, Qt::LeftButton, {}, dot->toPoint());
    EXPECT_EQ(editor_->current_bullet(), 12);
    EXPECT_EQ(view->selected(), 12);
    EXPECT_TRUE(pui::is_selected(c("bullet_op_12")));
    EXPECT_EQ(text("bullet_y_eidt"), QString::number(sample(1, 12).y));
    // Far from every dot: nothing.
    EXPECT_EQ(view->bullet_at(QPointF(-50, -50)), -1);
    // The path is cumulative: each dot is the previous one plus the bullet's steps.
    const auto d11 = view->dot_position(11);
    const Bullet b = sample(1, 12);
    const QPointF step = *dot - *d11;
    if (signed_x(b) != 0) {
        EXPECT_GT(step.x() * signed_x(b), 0);
    }
    EXPECT_GT(step.y() * signed_y(b), 0);
}

TEST_F(ShootEditor, TheWriteButtonAsksThePageToDownload) {
    start();
    QSignalSpy download(editor_, &CShootControlUI::download_requested);
    qobject_cast<QLineEdit*>(c("bullet_x_eidt"))->setText("5");
    click("shootdate_save_btn");
    EXPECT_EQ(download.size(), 1);
    // What is shown is stored before the mouse gets it.
    EXPECT_EQ(stored(0, 0).x, 5);
}

TEST_F(ShootEditor, WithoutFoldersNothingIsWritten) {
    QSignalSpy changed(editor_, &CShootControlUI::pattern_changed);
    type("bullet_x_eidt", "3");
    click("shootdate_reset_btn");
    click("shootdate_import_btn");
    EXPECT_EQ(editor_->current_bullet(), -1);
    EXPECT_TRUE(changed.isEmpty());
    EXPECT_TRUE(filters_.isEmpty());
}

}  // namespace
}  // namespace velqa::macro
