// The message window against the shipped skin, answered through the modal test hook.
#include <QAbstractButton>
#include <QLabel>

#include "platform/debug_output.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/qt_test_app.h"
#include "platform/ui/resources.h"
#include "support/temp_dir.h"
#include "ui/custom_controls.h"
#include "ui/msg_wnd.h"

#include <gtest/gtest.h>

namespace velqa::test {
namespace {

namespace pui = platform::ui;
using ui::show_message;

// What the hook saw of the window before it answered.
struct Seen {
    QString title, text;
    bool confirm_visible = false, cancel_visible = false;
    int dpi = 0;
    QSize size;
};

class MsgWndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt_app();
        ASSERT_TRUE(load_shipped_skin());
        pui::Window::set_all_dpi(96);
    }
    void TearDown() override { pui::Window::set_modal_test_hook({}); }

    // Answers the next message window by clicking `button` (or closing it when empty).
    void answer_with(const QString& button) {
        pui::Window::set_modal_test_hook([this, button](pui::Window& w) {
            seen.title = pui::text(w.find_control("MessageTitle"));
            seen.text = pui::text(w.find_control("MessageText"));
            seen.confirm_visible = !w.find_control("confirm_btn")->isHidden();
            seen.cancel_visible = !w.find_control("cancel_btn")->isHidden();
            seen.dpi = w.dpi();
            seen.size = w.size();
            if (button.isEmpty()) {
                w.close();
            } else {
                qobject_cast<QAbstractButton*>(w.find_control(button))->click();
            }
        });
    }
    Seen seen;
};

TEST_F(MsgWndTest, ConfirmReturnsOneCancelAndCloseReturnZero) {
    answer_with("confirm_btn");
    EXPECT_EQ(show_message(nullptr, "", "message_text_22", 96, 1, 1), 1);
    answer_with("cancel_btn");
    EXPECT_EQ(show_message(nullptr, "", "message_text_22", 96, 1, 1), 0);
    answer_with("closebtn");
    EXPECT_EQ(show_message(nullptr, "", "message_text_22", 96, 1, 1), 0);
    answer_with("");  // the window manager's close
    EXPECT_EQ(show_message(nullptr, "", "message_text_22", 96, 1, 1), 0);
}

TEST_F(MsgWndTest, ButtonsModeZeroShowsConfirmOnlyAndCloseStillReturnsZero) {
    answer_with("closebtn");
    EXPECT_EQ(show_message(nullptr, "", "tips_text", 96, 1, 0), 0);
    EXPECT_TRUE(seen.confirm_visible);
    EXPECT_FALSE(seen.cancel_visible);
    answer_with("confirm_btn");
    EXPECT_EQ(show_message(nullptr, "", "tips_text", 96, 1, 0), 1);
}

TEST_F(MsgWndTest, ButtonsModeOneShowsBothAndOtherValuesKeepTheLayout) {
    answer_with("cancel_btn");
    show_message(nullptr, "", "tips_text", 96, 1, 1);
    EXPECT_TRUE(seen.confirm_visible);
    EXPECT_TRUE(seen.cancel_visible);
    answer_with("cancel_btn");
    show_message(nullptr, "", "tips_text", 96, 1, 7);
    EXPECT_TRUE(seen.confirm_visible);
    EXPECT_TRUE(seen.cancel_visible);  // the layout shows both
}

TEST_F(MsgWndTest, TextIsResolvedAsIdOnlyWhenAsked) {
    answer_with("confirm_btn");
    show_message(nullptr, "", "message_text_22", 96, 1, 0);
    EXPECT_EQ(seen.text, pui::LanguageTexts::instance().text("message_text_22"));
    EXPECT_NE(seen.text, "message_text_22");
    show_message(nullptr, "", "message_text_22", 96, 0, 0);
    EXPECT_EQ(seen.text, "message_text_22");
    show_message(nullptr, "", "3 macros do not fit", 96, 0, 0);
    EXPECT_EQ(seen.text, "3 macros do not fit");
}

TEST_F(MsgWndTest, EmptyTitleKeepsTheLayoutsTitle) {
    answer_with("confirm_btn");
    show_message(nullptr, "", "tips_text", 96, 1, 0);
    EXPECT_EQ(seen.title, pui::LanguageTexts::instance().text("msg_title_text"));
    show_message(nullptr, "Firmware", "tips_text", 96, 1, 0);
    EXPECT_EQ(seen.title, "Firmware");
}

TEST_F(MsgWndTest, UnknownDpiIsReportedAndReplacedBy96) {
    answer_with("confirm_btn");
    platform::DebugCapture debug;
    show_message(nullptr, "", "tips_text", 100, 1, 0);
    EXPECT_TRUE(debug.contains("MSG_WND DPI SET ERROR"));
    EXPECT_EQ(seen.dpi, 96);
}

TEST_F(MsgWndTest, AcceptedDpiScalesTheWindowAndReachesEveryWindow) {
    answer_with("confirm_btn");
    show_message(nullptr, "", "tips_text", 96, 1, 0);
    const QSize at96 = seen.size;
    platform::DebugCapture debug;
    show_message(nullptr, "", "tips_text", 144, 1, 0);
    EXPECT_FALSE(debug.contains("MSG_WND DPI SET ERROR"));
    EXPECT_EQ(seen.dpi, 144);
    EXPECT_EQ(seen.size, at96 * 3 / 2);
    pui::Window::set_all_dpi(96);
}

TEST_F(MsgWndTest, SettingTheSameDpiAgainDoesNothing) {
    ui::CMsgWnd wnd(nullptr);
    wnd.create("msgwnd", {}, true);
    platform::DebugCapture debug;
    wnd.set_msg_dpi(96);
    EXPECT_TRUE(debug.lines().empty());
    wnd.set_msg_dpi(120);
    EXPECT_EQ(wnd.dpi(), 120);
    wnd.set_msg_dpi(100);
    EXPECT_EQ(wnd.msg_dpi(), 96);
    EXPECT_EQ(wnd.dpi(), 96);
    EXPECT_NE(wnd.close_button(), nullptr);
    pui::Window::set_all_dpi(96);
}

TEST_F(MsgWndTest, ClickNamesAreComparedIgnoringCase) {
    ui::CMsgWnd wnd(nullptr);
    wnd.create("msgwnd", {}, true);
    wnd.find_control("confirm_btn")->setObjectName("CONFIRM_BTN");
    pui::Window::set_modal_test_hook([](pui::Window& w) {
        qobject_cast<QAbstractButton*>(w.find_control("CONFIRM_BTN"))->click();
    });
    EXPECT_EQ(wnd.show_modal(), 1);
}

TEST(CustomControls, TwentyFiveClassesRegisteredInOrderKeepingRealOnes) {
    qt_app();
    auto& factory = pui::ControlFactory::instance();
    factory.regist_control("CDPIEditUI", [] { return new QLabel("real"); });
    ui::register_custom_controls();
    for (const char* name : ui::kCustomControlClasses)
        EXPECT_TRUE(factory.is_registered(name));
    std::unique_ptr<QWidget> dpi_edit(factory.create_control("DPIEdit"));
    ASSERT_NE(qobject_cast<QLabel*>(dpi_edit.get()), nullptr);  // not replaced by a placeholder
    std::unique_ptr<QWidget> chart(factory.create_control("ChartView"));
    auto* placeholder = dynamic_cast<ui::PlaceholderControl*>(chart.get());
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(placeholder->class_name(), "CChartViewUI");
    // Registration order is the documented one.
    std::vector<QString> order;
    for (const QString& n : factory.registered()) {
        for (const char* c : ui::kCustomControlClasses) {
            if (n == c)
                order.push_back(n);
        }
    }
    ASSERT_EQ(order.size(), 25u);
    EXPECT_EQ(order.front(), "CDPIEditUI");  // registered first by this test
    std::vector<QString> expected;
    for (const char* c : ui::kCustomControlClasses) {
        if (QString(c) != "CDPIEditUI")
            expected.push_back(c);
    }
    EXPECT_EQ(std::vector<QString>(order.begin() + 1, order.end()), expected);
}

}  // namespace
}  // namespace velqa::test
