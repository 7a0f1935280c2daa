// The colour picker: channel clamping, the saved-colour file and the modal run.
#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>

#include "platform/ui/color_palette.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/qt_test_app.h"
#include "platform/ui/resources.h"
#include "profile/profile_files.h"
#include "support/temp_dir.h"
#include "ui/custom_controls.h"
#include "ui/pallet_dialog.h"

#include <gtest/gtest.h>

namespace velqa::test {
namespace {

namespace fs = std::filesystem;
namespace pui = platform::ui;
using ui::PalletFiles;

class PalletTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt_app();
        ASSERT_TRUE(load_shipped_skin());
        ui::register_custom_controls();
        pui::Window::set_all_dpi(96);
    }
    void TearDown() override { pui::Window::set_modal_test_hook({}); }

    PalletFiles files() const { return {dir_ / "user", source_dir() / "DefaultData"}; }
    static void type_into(pui::Window& w, const char* edit, const QString& text) {
        auto* e = w.find_control_as<QLineEdit>(edit);
        ASSERT_NE(e, nullptr) << edit;
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
    }
    static void click(pui::Window& w, const QString& name) {
        auto* b = w.find_control_as<QAbstractButton>(name);
        ASSERT_NE(b, nullptr) << name.toStdString();
        b->click();
    }

    TempDir dir_;
};

TEST_F(PalletTest, ChannelTextIsClampedNeverRefused) {
    EXPECT_EQ(ui::clamp_channel_text(""), 0);
    EXPECT_EQ(ui::clamp_channel_text("abc"), 0);
    EXPECT_EQ(ui::clamp_channel_text("128"), 128);
    EXPECT_EQ(ui::clamp_channel_text("0255"), 255);
    EXPECT_EQ(ui::clamp_channel_text("256"), 255);
    EXPECT_EQ(ui::clamp_channel_text("99999999999999999999"), 255);
    EXPECT_EQ(ui::clamp_channel_text(" 1x2 "), 12);
    EXPECT_EQ(ui::clamp_channel_text("-5"), 0);
}

TEST_F(PalletTest, SavedColoursComeFromTheUserFileElseTheFactoryCopy) {
    const auto factory = ui::load_saved_colors(files());
    ASSERT_EQ(factory.size(), static_cast<std::size_t>(ui::kSavedColors));
    EXPECT_EQ(factory[0], 0xFF0000u);
    // A damaged user file falls back to the factory copy instead of showing nothing.
    write_text(dir_ / "user" / ui::kSavedColorsFile, "{ \"ColorOption\": [ {\"Red\": ");
    EXPECT_EQ(ui::load_saved_colors(files()), factory);
    write_text(dir_ / "user" / ui::kSavedColorsFile,
               R"({"ColorOption": [ {"Red": 300, "Green": -4, "Blue": "x"}, 7, {"Blue": 9} ]})");
    EXPECT_EQ(ui::load_saved_colors(files()), (std::vector<std::uint32_t>{0xFF0000u, 0x000009u}));
}

TEST_F(PalletTest, SavingPutsTheColourFirstOnceAndKeepsTheNewestTwelve) {
    auto colors = ui::load_saved_colors(files());
    ASSERT_TRUE(ui::save_color(files(), 0x123456, colors));
    ASSERT_TRUE(ui::save_color(files(), 0x00FF40, colors));  // already in the factory list
    EXPECT_EQ(colors.size(), static_cast<std::size_t>(ui::kSavedColors));
    EXPECT_EQ(colors[0], 0x00FF40u);
    EXPECT_EQ(colors[1], 0x123456u);
    EXPECT_EQ(std::count(colors.begin(), colors.end(), 0x00FF40u), 1);
    EXPECT_EQ(ui::load_saved_colors(files()), colors);
    const Json::Value doc = profile::read_json(dir_ / "user" / ui::kSavedColorsFile);
    EXPECT_EQ(doc["ColorOption"][1]["Green"].asInt(), 0x34);
}

TEST_F(PalletTest, UnwritableFolderReportsFailureAndKeepsTheList) {
    write_text(dir_ / "blocker", "a file where the folder should be");
    PalletFiles blocked{dir_ / "blocker", source_dir() / "DefaultData"};
    auto colors = ui::load_saved_colors(blocked);
    const auto before = colors;
    EXPECT_FALSE(ui::save_color(blocked, 0xABCDEF, colors));
    EXPECT_EQ(colors, before);
}

TEST_F(PalletTest, ConfirmReturnsTheColourAsRgbWithBadInputClamped) {
    QSize size;
    QString title, shown_red;
    pui::Window::set_modal_test_hook([&](pui::Window& w) {
        size = w.size();
        title = w.windowTitle();
        shown_red = pui::text(w.find_control("pallet_edit_R"));
        type_into(w, "pallet_edit_R", "999");
        type_into(w, "pallet_edit_G", "");
        type_into(w, "pallet_edit_B", "7");
        click(w, "confirm_btn");
    });
    std::uint32_t chosen = 0;
    EXPECT_EQ(ui::show_pallet_dialog(nullptr, 96, 0xFF102030, files(), chosen), 1);
    EXPECT_EQ(size, QSize(800, 572));
    EXPECT_EQ(title, QStringLiteral("Colour — ZARN VELQA R260"));
    EXPECT_EQ(shown_red, "16");  // the alpha byte of the initial colour is ignored
    EXPECT_EQ(chosen, 0xFF0007u);
    EXPECT_FALSE(ui::pallet_dialog_open());
}

TEST_F(PalletTest, PresetsPaletteArrowsAndHexPickColoursAndGarbageHexIsUndone) {
    std::uint32_t after_preset = 0, after_palette = 0, after_arrows = 0, after_hex = 0,
                  after_garbage = 0;
    pui::Window::set_modal_test_hook([&](pui::Window& w) {
        auto& dlg = static_cast<ui::PalletDialog&>(w);
        click(w, "pallet_preset_3");
        after_preset = dlg.color();
        auto* palette = w.find_control_as<pui::ColorPalette>("pallet_color_palette");
        QTest::mouseClick(palette, Qt::LeftButton, {}, QPoint(1, 1));
        after_palette = dlg.color();
        // The keyboard walks the palette: along the hues, then toward white.
        QTest::keyClick(palette, Qt::Key_Right);
        QTest::keyClick(palette, Qt::Key_Down);
        after_arrows = dlg.color();
        type_into(w, "pallet_edit_hex", "#00ff80");
        after_hex = dlg.color();
        type_into(w, "pallet_edit_hex", "zz");
        QTest::keyClick(w.find_control("pallet_edit_hex"), Qt::Key_Return);  // commits the edit
        after_garbage = dlg.color();
        EXPECT_EQ(pui::text(w.find_control("pallet_edit_hex")), "#00FF80");
        click(w, "cancel_btn");
    });
    std::uint32_t chosen = 0x42;
    EXPECT_EQ(ui::show_pallet_dialog(nullptr, 96, 0, files(), chosen), 0);
    EXPECT_EQ(chosen, 0x42u);  // cancelled: untouched
    EXPECT_EQ(after_preset, 0x7CFF00u);
    EXPECT_EQ(after_palette, 0xFF0000u);
    const QColor arrowed = QColor::fromRgb(after_arrows);
    EXPECT_GT(arrowed.hsvHue(), 0);
    EXPECT_LT(arrowed.hsvSaturation(), 255);
    EXPECT_EQ(after_hex, 0x00FF80u);
    EXPECT_EQ(after_garbage, 0x00FF80u);
}

TEST_F(PalletTest, SaveButtonStoresTheColourAndShowsItFirst) {
    pui::Window::set_modal_test_hook([&](pui::Window& w) {
        click(w, "pallet_save_btn");
        EXPECT_EQ(pui::tag(w.find_control("pallet_saved_0")), 0x336699u);
        click(w, "closebtn");
    });
    std::uint32_t chosen = 0;
    EXPECT_EQ(ui::show_pallet_dialog(nullptr, 96, 0x336699, files(), chosen), 0);
    EXPECT_EQ(ui::load_saved_colors(files()).front(), 0x336699u);
}

TEST_F(PalletTest, OnlyOnePickerOpensAtATime) {
    int nested = -1;
    bool open_inside = false;
    pui::Window::set_modal_test_hook([&](pui::Window& w) {
        open_inside = ui::pallet_dialog_open();
        std::uint32_t c = 0;
        nested = ui::show_pallet_dialog(nullptr, 96, 0x00FF00, files(), c);
        w.close_window(0);
    });
    std::uint32_t chosen = 0;
    EXPECT_EQ(ui::show_pallet_dialog(nullptr, 96, 0xFF0000, files(), chosen), 0);
    EXPECT_TRUE(open_inside);
    EXPECT_EQ(nested, 0);
    EXPECT_FALSE(ui::pallet_dialog_open());
}

}  // namespace
}  // namespace velqa::test
