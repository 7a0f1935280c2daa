// The Buttons tab's map on the simulated mouse: each button's label says what the button does,
// follows an assignment made in the editor and a language change, and a click on a label or on
// a key of the picture selects that button, highlighted on the picture, its light and its label.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QTest>

#include "app/main_wnd.h"
#include "app/messages.h"
#include "app_fixture.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "macro/ui/keyset_control.h"
#include "platform/ui/language.h"
#include "ui/button_map.h"
#include "ui/device_key_button.h"

namespace velqa::test {
namespace {

using app::CMainWnd;

class ButtonMapTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        sim = std::make_unique<sim::InProcessSim>(dir_ / "sim");
        ASSERT_TRUE(sim->started());
        wnd =
            std::make_unique<CMainWnd>(factory(), dir_ / "user", store(), nullptr, sim->backend());
        QObject::connect(wnd.get(), &CMainWnd::settled, [this] { settled = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(800, 572)));
        ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
        ASSERT_FALSE(wnd->devices().mouse_pages().empty());
        page = wnd->devices().mouse_pages().front();
        map = page->button_map();
        ASSERT_NE(map, nullptr);
    }
    void TearDown() override {
        wnd.reset();
        sim.reset();
        AppTest::TearDown();
    }

    static QString text(const char* id) {
        return platform::ui::LanguageTexts::instance().text(QString::fromLatin1(id));
    }
    bool spot_current(const char* name) const {
        auto* spot = page->findChild<ui::CDeviceKeyButtonUI*>(QString::fromLatin1(name));
        return spot != nullptr && spot->current();
    }

    std::unique_ptr<sim::InProcessSim> sim;
    std::unique_ptr<CMainWnd> wnd;
    model::CZentovaMouseDevice* page = nullptr;
    ui::ButtonMap* map = nullptr;
    bool settled = false;
};

TEST_F(ButtonMapTest, LabelsShowEachAssignmentFollowChangesAndLanguageAndPickTheirButton) {
    wnd->send_message(app::kMsgLanguage, 0, 0);
    wnd->show_tab(QStringLiteral("key_Op_tab"));
    ASSERT_TRUE(map->labels_shown());
    // The factory buttons: left, right and middle click on buttons 0-2.
    EXPECT_EQ(map->label_text(0), text("keyset_mousekey_0_text"));
    EXPECT_EQ(map->label_text(1), text("keyset_mousekey_2_text"));
    EXPECT_EQ(map->label_text(2), text("keyset_mousekey_1_text"));
    for (int i = 0; i < model::CZentovaMouseDevice::KeyCount; ++i) {
        ASSERT_NE(map->label(i), nullptr) << i;
        EXPECT_TRUE(map->label(i)->isVisibleTo(page)) << i;
        EXPECT_FALSE(map->label_text(i).isEmpty()) << i;
    }
    // Labels on one side never overlap.
    for (int a = 0; a < model::CZentovaMouseDevice::KeyCount; ++a) {
        for (int b = a + 1; b < model::CZentovaMouseDevice::KeyCount; ++b) {
            EXPECT_FALSE(map->label(a)->geometry().intersects(map->label(b)->geometry()))
                << a << " " << b;
        }
    }

    // A click on button 1's label selects it as its key on the picture would.
    QTest::mouseClick(map->label(1), Qt::LeftButton);
    EXPECT_EQ(page->selected_key(), 1);
    EXPECT_EQ(map->selected(), 1);
    EXPECT_TRUE(map->label(1)->property("current").toBool());
    EXPECT_FALSE(map->label(0)->property("current").toBool());
    EXPECT_TRUE(spot_current("key_1"));
    EXPECT_TRUE(spot_current("light_1"));
    EXPECT_FALSE(spot_current("key_0"));

    // Button 1 becomes "Back" in the editor: its label follows at once.
    auto* buttons = page->keyset_editor()->findChild<QComboBox*>("keyset_mousekey_combo");
    ASSERT_NE(buttons, nullptr);
    buttons->setCurrentIndex(4);
    emit buttons->activated(4);
    EXPECT_EQ(map->label_text(1), text("keyset_mousekey_4_text"));
    EXPECT_TRUE(map->label(1)->toolTip().endsWith(text("keyset_mousekey_4_text")));

    // The other language names it in that language.
    const QString english = map->label_text(1);
    wnd->send_message(app::kMsgLanguage, 1, 0);
    EXPECT_EQ(map->label_text(1), text("keyset_mousekey_4_text"));
    EXPECT_NE(map->label_text(1), english);

    // A long name (a macro's, say) is cut with an ellipsis, and the tooltip keeps all of it.
    const QString long_name = QStringLiteral("Macro: reload, swap to pistol and throw a grenade");
    map->set_labels({long_name}, {QStringLiteral("Left button")});
    EXPECT_TRUE(map->label(0)->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(map->label(0)->toolTip(), QStringLiteral("Left button: ") + long_name);
    page->refresh_key_labels();

    // The key hot spots on the picture are clickable too.
    auto* forward = page->findChild<ui::CDeviceKeyButtonUI*>("key_4");
    ASSERT_NE(forward, nullptr);
    QTest::mouseClick(forward, Qt::LeftButton);
    EXPECT_EQ(page->selected_key(), 4);
    EXPECT_TRUE(map->label(4)->property("current").toBool());
    EXPECT_TRUE(spot_current("key_4"));
    EXPECT_FALSE(spot_current("key_1"));

    // The shooting editor needs the width the labels take; its sub-tab goes through the window.
    auto* shooting = page->findChild<QAbstractButton*>("key_page_option_1");
    ASSERT_NE(shooting, nullptr);
    QTest::mouseClick(shooting, Qt::LeftButton);
    EXPECT_FALSE(map->labels_shown());
    QTest::mouseClick(page->findChild<QAbstractButton*>("key_page_option_0"), Qt::LeftButton);
    EXPECT_TRUE(map->labels_shown());

    // Off the Buttons tab the labels and the highlight give the picture its place back.
    wnd->show_tab(QStringLiteral("performance_Op_tab"));
    EXPECT_FALSE(map->labels_shown());
    EXPECT_FALSE(spot_current("key_4"));
    EXPECT_FALSE(spot_current("light_4"));
}

}  // namespace
}  // namespace velqa::test
