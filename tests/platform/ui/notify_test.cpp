// Notifications made from control signals, and control timers.
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "platform/ui/color_palette.h"
#include "ui_fixture.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;

const std::string kGroup = R"(<property name="group" stdset="0"><string>dpi</string></property>)";

class NotifyTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        layout(ui_widget("QPushButton", "okbtn") + ui_widget("QPushButton", "option_0", kGroup) +
               ui_widget("QPushButton", "option_1", kGroup) +
               ui_widget("QSlider", "DPI_slider_3",
                         "<property name=\"orientation\"><enum>Qt::Horizontal</enum></property>"
                         "<property name=\"maximum\"><number>100</number></property>") +
               ui_widget("QComboBox", "combo") + ui_widget("QLineEdit", "edit") +
               ui_widget("QListWidget", "list"));
        wnd = std::make_unique<RecordingWindow>("XML_TEST");
        ASSERT_TRUE(wnd->create("t", QSize(300, 400)));
    }
    std::unique_ptr<RecordingWindow> wnd;
};

TEST_F(NotifyTest, WindowInitArrivesOnceWhenTheLoopRuns) {
    EXPECT_EQ(wnd->count("windowinit"), 0);
    ASSERT_TRUE(wait_until([&] { return wnd->count("windowinit") == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(wnd->count("windowinit", "root"), 1);
}

TEST_F(NotifyTest, ButtonClickAndOptionGroups) {
    wnd->find_control_as<QPushButton>("okbtn")->click();
    EXPECT_EQ(wnd->count("click", "okbtn"), 1);

    auto* o0 = wnd->find_control_as<QPushButton>("option_0");
    auto* o1 = wnd->find_control_as<QPushButton>("option_1");
    ASSERT_TRUE(o0->isCheckable());
    o0->click();
    EXPECT_TRUE(pui::is_selected(o0));
    wnd->seen.clear();
    o1->click();
    // Exclusive group: the newly selected one and the one that lost its selection both report.
    EXPECT_TRUE(pui::is_selected(o1));
    EXPECT_FALSE(pui::is_selected(o0));
    EXPECT_EQ(wnd->count("click", "option_1"), 1);
    ASSERT_EQ(wnd->count("selectchanged"), 2);
    for (const auto& s : wnd->seen) {
        if (s.type == "selectchanged") {
            EXPECT_EQ(s.wparam, s.sender == "option_1" ? 1u : 0u);
        }
    }
}

TEST_F(NotifyTest, SelectingFromCodeNotifiesUnlessTold) {
    auto* o0 = wnd->find_control("option_0");
    pui::set_selected(o0, true, false);
    EXPECT_TRUE(pui::is_selected(o0));
    EXPECT_EQ(wnd->count("selectchanged"), 0);
    pui::set_selected(wnd->find_control("option_1"), true);
    EXPECT_EQ(wnd->count("selectchanged", "option_1"), 1);
    // Selecting what is already selected changes nothing.
    pui::set_selected(wnd->find_control("option_1"), true);
    EXPECT_EQ(wnd->count("selectchanged", "option_1"), 1);
}

TEST_F(NotifyTest, SliderReportsUserChangesOnly) {
    auto* slider = wnd->find_control_as<QSlider>("DPI_slider_3");
    pui::set_value(slider, 40);
    EXPECT_EQ(wnd->count("valuechanged"), 0);

    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    ASSERT_EQ(wnd->count("valuechanged", "DPI_slider_3"), 1);
    EXPECT_EQ(wnd->seen.back().wparam, 41u);

    // A drag reports every position as "movevaluechanged" and the end as "valuechanged".
    wnd->seen.clear();
    slider->setSliderDown(true);
    slider->setSliderPosition(60);
    slider->setSliderPosition(70);
    slider->setSliderDown(false);
    EXPECT_EQ(wnd->count("movevaluechanged"), 2);
    ASSERT_EQ(wnd->count("valuechanged"), 1);
    EXPECT_EQ(wnd->seen.back().wparam, 70u);
}

TEST_F(NotifyTest, ComboItemsAndItemSelect) {
    auto* combo = wnd->find_control_as<QComboBox>("combo");
    EXPECT_EQ(pui::add_combo_item(combo, "Low", "low tip", 7, 30), 0);
    EXPECT_EQ(pui::add_combo_item(combo, "High"), 1);
    EXPECT_EQ(combo->itemData(0, Qt::ToolTipRole).toString(), "low tip");
    EXPECT_EQ(pui::item_data(combo, 0).toInt(), 7);
    EXPECT_EQ(combo->itemData(0, Qt::SizeHintRole).toSize().height(), 30);

    EXPECT_TRUE(pui::select_item(combo, 1));
    ASSERT_EQ(wnd->count("itemselect", "combo"), 1);
    EXPECT_EQ(wnd->seen.back().wparam, 1u);
    EXPECT_TRUE(pui::select_item(combo, 0, false));
    EXPECT_EQ(wnd->count("itemselect"), 1);
    EXPECT_FALSE(pui::select_item(combo, 2));
    EXPECT_EQ(pui::current_item(combo), 0);
    emit combo->activated(1);  // what a user's pick does
    EXPECT_EQ(wnd->count("itemselect"), 2);
    EXPECT_EQ(pui::add_combo_item(nullptr, "x"), -1);
}

TEST_F(NotifyTest, EditReportsTypingReturnAndFocus) {
    auto* edit = wnd->find_control_as<QLineEdit>("edit");
    pui::set_number_only(edit, true);
    pui::set_max_length(edit, 4);
    QTest::keyClicks(edit, "12a345");
    EXPECT_EQ(edit->text(), "1234");
    EXPECT_GE(wnd->count("textchanged", "edit"), 4);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(wnd->count("return", "edit"), 1);
    QFocusEvent in(QEvent::FocusIn), out(QEvent::FocusOut);
    QCoreApplication::sendEvent(edit, &in);
    QCoreApplication::sendEvent(edit, &out);
    EXPECT_EQ(wnd->count("setfocus", "edit"), 1);
    EXPECT_EQ(wnd->count("killfocus", "edit"), 1);
    // Text set by code is no typing.
    wnd->seen.clear();
    pui::set_text(edit, "99");
    EXPECT_EQ(wnd->count("textchanged"), 0);
}

TEST_F(NotifyTest, ListSelectionAndSuppression) {
    auto* list = wnd->find_control_as<QListWidget>("list");
    list->addItems({"a", "b", "c"});
    EXPECT_TRUE(pui::select_item(list, 2));
    ASSERT_EQ(wnd->count("itemselect", "list"), 1);
    EXPECT_EQ(wnd->seen.back().wparam, 2u);
    EXPECT_TRUE(pui::select_item(list, 0, false));
    EXPECT_EQ(wnd->count("itemselect"), 1);
    EXPECT_EQ(pui::current_item(list), 0);
    {
        pui::Window::NotifySuppressor quiet(*wnd);
        wnd->find_control_as<QPushButton>("okbtn")->click();
    }
    EXPECT_EQ(wnd->count("click"), 0);
}

TEST_F(NotifyTest, ControlsAddedLaterAreWiredOnAttach) {
    auto* extra = new QPushButton(wnd->root());
    extra->setObjectName("extra_btn");
    extra->click();
    EXPECT_EQ(wnd->count("click", "extra_btn"), 0);
    wnd->attach_controls(extra);
    wnd->attach_controls(extra);  // a second attach must not double the notifications
    extra->click();
    EXPECT_EQ(wnd->count("click", "extra_btn"), 1);
    EXPECT_EQ(pui::window_of(extra), wnd.get());
}

TEST_F(NotifyTest, ResizeSendsWindowSize) {
    wnd->show();
    wnd->resize(340, 440);
    ASSERT_TRUE(wait_until([&] { return wnd->count("windowsize", "root") > 0; }));
}

// Timers -------------------------------------------------------------------------------------

TEST_F(NotifyTest, TimerRepeatsToItsControlUntilKilled) {
    QWidget* ok = wnd->find_control("okbtn");
    ASSERT_TRUE(wnd->set_timer(ok, 1001, 5));
    EXPECT_TRUE(wnd->has_timer(ok, 1001));
    ASSERT_TRUE(wait_until([&] { return wnd->count("timer", "okbtn") >= 3; }));
    for (const auto& s : wnd->seen) {
        if (s.type == "timer") {
            EXPECT_EQ(s.wparam, 1001u);
        }
    }
    wnd->kill_timer(ok, 1001);
    EXPECT_FALSE(wnd->has_timer(ok, 1001));
    const int fired = wnd->count("timer");
    // Another timer proves the loop ran long enough for the killed one to have fired again.
    ASSERT_TRUE(wnd->set_timer(ok, 7, 30));
    ASSERT_TRUE(wait_until([&] { return wnd->count("timer") > fired; }));
    EXPECT_EQ(wnd->count("timer") - fired, 1);
    EXPECT_EQ(wnd->seen.back().wparam, 7u);
}

TEST_F(NotifyTest, TimerRefusesForeignControlsAndBadPeriods) {
    QWidget stranger;
    EXPECT_FALSE(wnd->set_timer(&stranger, 1, 10));
    EXPECT_FALSE(wnd->set_timer(nullptr, 1, 10));
    EXPECT_FALSE(wnd->set_timer(wnd->find_control("okbtn"), 1, 0));
}

TEST_F(NotifyTest, DestroyedControlLosesItsTimers) {
    auto* extra = new QPushButton(wnd->root());
    ASSERT_TRUE(wnd->set_timer(extra, 3, 1));
    delete extra;
    EXPECT_FALSE(wnd->has_timer(extra, 3));
    // Nothing fires for the dead control.
    QWidget* ok = wnd->find_control("okbtn");
    wnd->set_timer(ok, 4, 20);
    ASSERT_TRUE(wait_until([&] { return wnd->count("timer", "okbtn") > 0; }));
    EXPECT_EQ(wnd->count("timer"), wnd->count("timer", "okbtn"));
}

}  // namespace
}  // namespace velqa::test

namespace velqa::test {
namespace {

TEST_F(NotifyTest, ColorPaletteReportsPicksAndKeepsSetColorsQuiet) {
    auto* palette = new pui::ColorPalette(wnd->root());
    palette->setObjectName("deng_Color_Pallet");
    palette->resize(360, 100);
    wnd->attach_controls(palette);
    palette->set_select_color(QColor(0, 255, 0));
    EXPECT_EQ(palette->select_color(), QColor(0, 255, 0));
    EXPECT_EQ(wnd->count("colorchanged"), 0);
    // Top edge: full saturation; a third across: green.
    QTest::mouseClick(palette, Qt::LeftButton, {}, QPoint(120, 0));
    ASSERT_EQ(wnd->count("colorchanged", "deng_Color_Pallet"), 1);
    for (const auto& s : wnd->seen) {
        if (s.type == "colorchanged") {
            EXPECT_EQ(s.wparam, 0x00FF00u);
        }
    }
    EXPECT_EQ(palette->select_color(), QColor(0, 255, 0));
    // Bottom edge: white; points outside are clamped.
    EXPECT_EQ(palette->color_at(QPoint(200, 99)), QColor(255, 255, 255));
    EXPECT_EQ(palette->color_at(QPoint(-50, -50)), QColor(255, 0, 0));
}

}  // namespace
}  // namespace velqa::test
