// The tray's battery view and the once-per-discharge low-battery rule.
#include "app/battery_watch.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace velqa::app {
namespace {

BatteryStatus wireless(int percent, int charging = 0) {
    return {percent, charging, true};
}

// The levels announced over a run of readings.
std::vector<int> run(LowBatteryRule& rule, const std::vector<BatteryStatus>& readings) {
    std::vector<int> levels;
    for (const auto& r : readings) {
        if (const auto notice = rule.update(r))
            levels.push_back(notice->level);
    }
    return levels;
}

std::string english(std::string_view id) {
    if (id == "tray_battery_text")
        return "Battery: %1%";
    if (id == "tray_battery_charging_text")
        return "Battery: %1%, charging";
    if (id == "tray_battery_charged_text")
        return "Battery: %1%, charged";
    if (id == "tray_link_text")
        return "Link: %1";
    if (id == "tray_link_cable_text")
        return "cable";
    if (id == "tray_link_wireless_text")
        return "2.4G";
    if (id == "battery_low_body_text")
        return "%1% left";
    return std::string(id);
}

TEST(LowBatteryRule, FallingBatteryAnnouncesEachLevelOnce) {
    LowBatteryRule rule;
    std::vector<BatteryStatus> readings;
    for (int p : {20, 16, 15, 15, 14, 10, 5, 4})
        readings.push_back(wireless(p));
    EXPECT_EQ(run(rule, readings), (std::vector<int>{15, 5}));
}

TEST(LowBatteryRule, JitterAroundALevelAnnouncesItOnce) {
    LowBatteryRule rule;
    EXPECT_EQ(run(rule, {wireless(15), wireless(16), wireless(15), wireless(17), wireless(14)}),
              std::vector<int>{15});
    EXPECT_EQ(run(rule, {wireless(5), wireless(6), wireless(5)}), std::vector<int>{5});
    // Well above the level again (a fresh battery swapped in): the next fall counts anew.
    EXPECT_EQ(run(rule, {wireless(15 + BatteryRearmMargin), wireless(15)}), std::vector<int>{15});
}

TEST(LowBatteryRule, ChargingIsSilentAndRearmsBothLevels) {
    LowBatteryRule rule;
    EXPECT_EQ(run(rule, {wireless(15), wireless(5)}), (std::vector<int>{15, 5}));
    // Charging or charged at a low level announces nothing.
    EXPECT_TRUE(run(rule, {wireless(4, 1), wireless(3, 1), wireless(12, 2)}).empty());
    // The next discharge is a new one, even when it starts below both levels.
    EXPECT_EQ(run(rule, {wireless(12), wireless(5)}), (std::vector<int>{15, 5}));
}

TEST(LowBatteryRule, CableAnnouncesNothingAndAFirstLowReadingSendsOnlyTheWorstLevel) {
    LowBatteryRule rule;
    EXPECT_TRUE(run(rule, {{14, 0, false}, {5, 0, false}, {3, 0, false}}).empty());
    // Off the cable at 3%: one notice, the critical one, and the 15% one does not follow.
    EXPECT_EQ(run(rule, {wireless(3), wireless(3), wireless(2)}), std::vector<int>{5});
}

TEST(BatteryStatus, ReadsLevelChargingAndPathAndRefusesWhatIsNotABattery) {
    const std::array<std::uint8_t, 6> status{85, 1, 0, 1, 0x40, 0};
    const auto s = battery_status(status.data(), status.size());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->percent, 85);
    EXPECT_EQ(s->charging, 1);
    EXPECT_TRUE(s->wireless);

    const std::array<std::uint8_t, 6> over{101, 0, 0, 1, 0, 0};
    const std::array<std::uint8_t, 6> unknown_state{50, 3, 0, 1, 0, 0};
    EXPECT_FALSE(battery_status(over.data(), over.size()));
    EXPECT_FALSE(battery_status(unknown_state.data(), unknown_state.size()));
    EXPECT_FALSE(battery_status(status.data(), 3));
    EXPECT_FALSE(battery_status(nullptr, 6));
}

TEST(TrayView, TooltipShowsLevelChargingAndLink) {
    EXPECT_EQ(tray_tooltip(tray_view(false, 2, wireless(50)), english), "ZARN_VELQA_R260");
    EXPECT_EQ(tray_tooltip(tray_view(true, 2, wireless(50)), english),
              "ZARN_VELQA_R260\nBattery: 50%\nLink: 2.4G");
    EXPECT_EQ(tray_tooltip(tray_view(true, 1, BatteryStatus{50, 1, false}), english),
              "ZARN_VELQA_R260\nBattery: 50%, charging\nLink: cable");
    EXPECT_EQ(tray_tooltip(tray_view(true, 1, BatteryStatus{100, 2, false}), english),
              "ZARN_VELQA_R260\nBattery: 100%, charged\nLink: cable");
    // Before the first status only the link is known.
    EXPECT_EQ(tray_tooltip(tray_view(true, 1, std::nullopt), english),
              "ZARN_VELQA_R260\nLink: cable");
    // Moved to the cable: the page's link wins over the status polled on the receiver.
    EXPECT_EQ(tray_view(true, 1, wireless(50)).link, TrayLink::Cable);
    EXPECT_EQ(tray_view(true, 0, wireless(50)).link, TrayLink::Wireless);
}

TEST(TrayView, LowMarkAtFifteenPercentOrBelowWhileNotCharging) {
    EXPECT_FALSE(tray_view(true, 2, wireless(16)).low_mark);
    EXPECT_TRUE(tray_view(true, 2, wireless(15)).low_mark);
    EXPECT_TRUE(tray_view(true, 1, BatteryStatus{3, 0, false}).low_mark);
    EXPECT_FALSE(tray_view(true, 2, wireless(3, 1)).low_mark);
    EXPECT_FALSE(tray_view(true, 2, wireless(3, 2)).low_mark);
    EXPECT_FALSE(tray_view(true, 2, std::nullopt).low_mark);
    EXPECT_FALSE(tray_view(false, 2, wireless(3)).low_mark);
}

TEST(NoticeText, CarriesTheReadingAndFormatLeavesOtherPercentSignsAlone) {
    EXPECT_EQ(notice_text({15, 14}, english).body, "14% left");
    EXPECT_EQ(notice_text({5, 4}, english).summary, "battery_critical_title_text");
    EXPECT_EQ(format_text("%2 %1%% %", "7"), "%2 7%% %");
}

}  // namespace
}  // namespace velqa::app
