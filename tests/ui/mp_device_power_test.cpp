// The battery and link widget against the shipped skin.
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTest>
#include <array>
#include <memory>

#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/qt_test_app.h"
#include "platform/ui/resources.h"
#include "platform/ui/window.h"
#include "support/temp_dir.h"
#include "ui/custom_controls.h"
#include "ui/mp_device_power.h"

#include <gtest/gtest.h>

namespace velqa::test {
namespace {

namespace pui = platform::ui;
using ui::CMpDevicePowerUI;

// A window that holds one power widget and records its notifications.
class Host : public pui::Window {
  public:
    QString skin_file() const override { return QStringLiteral("XML_MSG"); }
    std::vector<std::pair<std::string, QWidget*>> seen;

  protected:
    void notify(pui::Notification& msg) override { seen.emplace_back(msg.type, msg.sender); }
};

class PowerWidgetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt_app();
        ASSERT_TRUE(load_shipped_skin());
        ui::register_custom_controls();
        host_ = std::make_unique<Host>();
        host_->create("t", {}, true);
        widget_ = new CMpDevicePowerUI(host_->root());
        host_->attach_controls(host_->root());
        widget_->set_device(2, 0);
    }

    QWidget* sub(const char* name) const {
        return pui::Window::find_sub_control_by_name(widget_, name);
    }
    bool shown(const char* name) const { return !sub(name)->isHidden(); }
    void show(std::array<std::uint8_t, 6> s) { widget_->show_status(s.data(), s.size()); }

    std::unique_ptr<Host> host_;  // after the application exists
    CMpDevicePowerUI* widget_ = nullptr;
};

TEST_F(PowerWidgetTest, FactoryBuildsTheRealWidgetUnderItsLayoutName) {
    std::unique_ptr<QWidget> w(
        pui::ControlFactory::instance().create_control(CMpDevicePowerUI::kClassName));
    auto* power = qobject_cast<CMpDevicePowerUI*>(w.get());
    ASSERT_NE(power, nullptr);
    EXPECT_EQ(power->class_name(), "MpDevicePower");
    for (const char* name :
         {"device_power_value", "device_wuxian_logo", "device_wuxian_logo_text",
          "device_youxian_logo_text", "device_Power_progress", "device_power_status",
          "device_powering_status", "device_powering_status_text", "device_phone_type",
          "device_power_Layout"}) {
        EXPECT_NE(pui::Window::find_sub_control_by_name(power, name), nullptr) << name;
    }
}

TEST_F(PowerWidgetTest, BatteryLevelShowsAsPercentTextAndProgressValue) {
    show({85, 0, 0, 0, 0, 0});
    EXPECT_EQ(pui::text(sub("device_power_value")), "85%");
    EXPECT_EQ(pui::value(sub("device_Power_progress")), 85);
    EXPECT_TRUE(shown("device_power_value"));
    EXPECT_FALSE(shown("device_powering_status_text"));
    EXPECT_EQ(pui::bk_image(sub("device_power_status")), "file='power/power.png'");
    EXPECT_EQ(pui::bk_image(sub("device_powering_status")), "file='power/light.png'");
}

TEST_F(PowerWidgetTest, CableAndReceiverShowTheirLabelsAndLogos) {
    show({60, 0, 0, 0, 0, 0});
    EXPECT_TRUE(shown("device_youxian_logo_text"));
    EXPECT_FALSE(shown("device_wuxian_logo_text"));
    EXPECT_EQ(pui::bk_image(sub("device_wuxian_logo")), "file='power/WIFI_normal.png'");
    show({60, 0, 0, 1, 0, 0});
    EXPECT_FALSE(shown("device_youxian_logo_text"));
    EXPECT_TRUE(shown("device_wuxian_logo_text"));
    EXPECT_EQ(pui::bk_image(sub("device_wuxian_logo")), "file='power/WIFI_down.png'");
    // A mouse pad has no logo of its own to switch; its labels still follow the link.
    widget_->set_device(3, 0);
    show({60, 0, 0, 0, 0, 0});
    EXPECT_EQ(pui::bk_image(sub("device_wuxian_logo")), "file='power/WIFI_down.png'");
    EXPECT_TRUE(shown("device_youxian_logo_text"));
}

TEST_F(PowerWidgetTest, ChargingStatesSwapTextAndIconsAndUnknownStateChangesNothing) {
    show({40, 1, 0, 1, 0, 0});
    EXPECT_FALSE(shown("device_power_value"));
    EXPECT_TRUE(shown("device_powering_status_text"));
    EXPECT_FALSE(shown("device_Power_progress"));
    EXPECT_EQ(pui::bk_image(sub("device_power_status")), "file='power/powering.png'");
    EXPECT_EQ(pui::bk_image(sub("device_powering_status")), "file='power/powering.png'");
    show({100, 2, 0, 0, 0, 0});
    EXPECT_TRUE(shown("device_power_value"));
    EXPECT_FALSE(shown("device_powering_status_text"));
    EXPECT_EQ(pui::bk_image(sub("device_power_status")), "file='power/power.png'");
    EXPECT_EQ(pui::bk_image(sub("device_powering_status")), "file='power/power.png'");
    show({100, 7, 0, 0, 0, 0});
    EXPECT_EQ(pui::text(sub("device_power_value")), "100%");
    EXPECT_TRUE(shown("device_power_value"));
    EXPECT_EQ(pui::bk_image(sub("device_powering_status")), "file='power/power.png'");
}

TEST_F(PowerWidgetTest, ShortOrMissingInputCountsAsZeroBytes) {
    const std::uint8_t one[] = {55};
    EXPECT_FALSE(widget_->last_status());
    widget_->show_status(one, 1);
    EXPECT_EQ(pui::text(sub("device_power_value")), "55%");
    EXPECT_EQ(*widget_->last_status(), (std::array<std::uint8_t, 6>{55, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(shown("device_youxian_logo_text"));  // byte 3 padded: cable
    widget_->show_status(nullptr, 40);
    EXPECT_EQ(pui::text(sub("device_power_value")), "0%");
    std::vector<std::uint8_t> long_input(4096, 1);
    long_input[0] = 77;
    widget_->show_status(long_input.data(), long_input.size());
    EXPECT_EQ(pui::text(sub("device_power_value")), "77%");
    EXPECT_TRUE(shown("device_powering_status_text"));
}

TEST_F(PowerWidgetTest, PhoneTypeIsShownOnlyForTheMousePad) {
    show({50, 0, 0, 0, 0, 1});
    EXPECT_TRUE(pui::bk_image(sub("device_phone_type")).isEmpty());
    EXPECT_FALSE(shown("device_phone_type"));
    widget_->set_device(3, 7);
    EXPECT_EQ(widget_->device_value(), 7u);
    const std::pair<int, const char*> cases[] = {{1, "Phone_type_iphone"},
                                                 {2, "Phone_type_samsung"},
                                                 {3, "Phone_type_other"},
                                                 {0, "Phone_type_no_device"},
                                                 {200, "Phone_type_no_device"}};
    for (const auto& [byte, id] : cases) {
        show({50, 0, 0, 0, 0, static_cast<std::uint8_t>(byte)});
        EXPECT_EQ(pui::bk_image(sub("device_phone_type")),
                  QStringLiteral("file='power/%1.png'").arg(id));
        EXPECT_EQ(sub("device_phone_type")->toolTip(), pui::LanguageTexts::instance().text(id));
        EXPECT_TRUE(
            std::filesystem::exists(source_dir() / "skin/power" / (std::string(id) + ".png")));
    }
}

TEST_F(PowerWidgetTest, LayoutLackingASubControlLeavesTheWidgetUnchanged) {
    delete sub("device_powering_status_text");
    show({85, 1, 0, 1, 0, 0});
    EXPECT_EQ(pui::text(sub("device_power_value")), "--");
    EXPECT_NE(pui::value(sub("device_Power_progress")), 85);
    EXPECT_TRUE(pui::bk_image(sub("device_wuxian_logo")).isEmpty());
    // What the device reported is still known to those who read it back (the tray).
    ASSERT_TRUE(widget_->last_status());
    EXPECT_EQ(*widget_->last_status(), (std::array<std::uint8_t, 6>{85, 1, 0, 1, 0, 0}));
}

// Counts what re-styling a control costs: a style sheet or a styled property set on it.
class RestyleCounter : public QObject {
  public:
    explicit RestyleCounter(QWidget* root) {
        for (QWidget* w : root->findChildren<QWidget*>())
            w->installEventFilter(this);
    }
    int count = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::StyleChange || event->type() == QEvent::DynamicPropertyChange)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

// The status is polled every few seconds: the same status again, or only a new battery level,
// must not re-style the icons (each re-style re-polishes and repaints the control).
TEST_F(PowerWidgetTest, ARepeatedStatusRestylesNothing) {
    for (std::uint32_t type : {2u, 3u}) {
        widget_->set_device(type, 0);
        for (std::array<std::uint8_t, 6> status : {std::array<std::uint8_t, 6>{80, 0, 0, 1, 0, 2},
                                                   {80, 1, 0, 0, 0, 1},
                                                   {80, 2, 0, 1, 0, 3},
                                                   {80, 9, 0, 1, 0, 0}}) {
            show(status);
            RestyleCounter counter(widget_);
            show(status);
            EXPECT_EQ(counter.count, 0) << type << " " << int(status[1]);
            status[0] = 79;
            show(status);
            EXPECT_EQ(counter.count, 0) << type << " " << int(status[1]);
            EXPECT_EQ(pui::text(sub("device_power_value")), "79%");
        }
    }
    // A real change is still shown.
    show({79, 1, 0, 1, 0, 0});
    EXPECT_EQ(pui::bk_image(sub("device_power_status")), "file='power/powering.png'");
}

TEST_F(PowerWidgetTest, ShowLayoutHidesTheDisplayAndAClickSendsSelectChanged) {
    widget_->show_layout(false);
    EXPECT_TRUE(sub("device_power_Layout")->isHidden());
    widget_->show_layout(true);
    EXPECT_FALSE(sub("device_power_Layout")->isHidden());
    host_->seen.clear();
    widget_->resize(200, 52);
    QTest::mouseClick(widget_, Qt::LeftButton, {}, QPoint(100, 26));
    ASSERT_EQ(host_->seen.size(), 1u);
    EXPECT_EQ(host_->seen[0].first, "selectchanged");
    EXPECT_EQ(host_->seen[0].second, widget_);
    QTest::mouseClick(widget_, Qt::RightButton, {}, QPoint(100, 26));
    EXPECT_EQ(host_->seen.size(), 1u);
}

}  // namespace
}  // namespace velqa::test
