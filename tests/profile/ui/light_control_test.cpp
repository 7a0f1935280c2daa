// The lighting editor offscreen: its layout-update tables on the shipped layout, what a record
// shows, the changes a user makes and the records they emit, and the audio record, including a
// layout that lacks an audio control.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "platform/debug_output.h"
#include "platform/ui/color_palette.h"
#include "platform/ui/controls.h"
#include "platform/ui/qt_test_app.h"
#include "profile/ui/light_control.h"
#include "ui/custom_controls.h"

namespace velqa::profile {
namespace {

namespace pui = platform::ui;

class LightEditor : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        test::qt_app();
        ASSERT_TRUE(test::load_shipped_skin());
        ui::register_custom_controls();
        register_light_controls();
    }
    void SetUp() override { editor_ = std::make_unique<CLightControlUI>(); }

    QWidget* c(const char* name) { return editor_->control(QString::fromLatin1(name)); }
    // Explicitly enabled or disabled, whatever the parent's state.
    bool enabled(const char* name) {
        QWidget* w = c(name);
        return w != nullptr && !w->testAttribute(Qt::WA_Disabled);
    }
    bool shown(const char* name) {
        QWidget* w = c(name);
        return w != nullptr && !w->isHidden();
    }
    void send(const char* name, const char* type, pui::WParam wparam = 0) {
        pui::Notification msg{type, c(name), wparam};
        editor_->on_notify(msg);
    }
    static LightInfo record() {
        LightInfo r;
        r.mode = 2;
        r.brightness = 3;
        r.speed = 1;
        r.direction = 1;
        r.multi_colour = 1;
        r.red = 10;
        r.green = 20;
        r.blue = 30;
        r.second_mode = 0;
        r.custom_group = 7;
        r.previous_mode = 5;
        return r;
    }
    void mouse_with_modes() {
        editor_->set_light_type(2);
        std::vector<QString> names;
        for (int i = 0; i < 12; ++i)
            names.push_back(QStringLiteral("light_mode_%1").arg(i));
        editor_->set_mode_list(names, std::vector<bool>(12, true), 4, 4);
    }

    std::unique_ptr<CLightControlUI> editor_;
};

TEST_F(LightEditor, LayoutHoldsEveryControlTheEditorUses) {
    for (const char* name : {"light_combo_modeSelect",
                             "light_combo_custommodeSelect",
                             "light_combo_ZZCCmodeSelect",
                             "deng_light_slider",
                             "deng_speed_slider",
                             "deng_edit_R",
                             "deng_edit_G",
                             "deng_edit_B",
                             "deng_Color_Pallet",
                             "deng_colordp_btn",
                             "deng_7color_check",
                             "deng_FXL_check",
                             "deng_FXR_check",
                             "deng_same_mode",
                             "light_combo_audiomodeSelect",
                             "deng_audioedit_R",
                             "deng_audioedit_G",
                             "deng_audioedit_B",
                             "deng_audioColor_Pallet",
                             "deng_audiocolordp_btn",
                             "audio_BkColor_check",
                             "audio_FgColor_check",
                             "deng_7audiocolor_check",
                             "lighteffect_layout",
                             "deng_color_layout",
                             "colorpallet_layout",
                             "deng_light_layout",
                             "deng_speed_layout",
                             "deng_fx_layout",
                             "lightcustom_layout",
                             "light_combo_ZZCCmodeSelectLayout",
                             "light_combo_AudiomodeSelectLayout",
                             "light_color_layout",
                             "light_color_tablayout",
                             "light_audiocolor_layout",
                             "audiocolorpallet_layout",
                             "R_light_slider",
                             "G_light_slider",
                             "B_light_slider",
                             "R_light_label",
                             "G_light_label",
                             "B_light_label",
                             "custom_bright_color_btn",
                             "custom_off_color_btn",
                             "color_option_0",
                             "color_option_7",
                             "audiocolor_option_0",
                             "audiocolor_option_7"}) {
        EXPECT_NE(c(name), nullptr) << name;
    }
    EXPECT_NE(qobject_cast<pui::ColorPalette*>(c("deng_Color_Pallet")), nullptr);
    EXPECT_EQ(pui::page_count(c("light_color_tablayout")), 2);
    // Every preset has a colour to give.
    for (int i = 0; i < CLightControlUI::PresetCount; ++i) {
        EXPECT_NE(editor_->preset_colour(i), 0u) << i;
        EXPECT_NE(editor_->preset_audio_colour(i), 0u) << i;
    }
    EXPECT_EQ(editor_->preset_colour(CLightControlUI::PresetCount), 0u);
}

TEST_F(LightEditor, KeyboardAudioModeSwitchesTheColourTabAndBack) {
    editor_->set_light_type(1);
    editor_->update_layout(1, 29);
    EXPECT_FALSE(shown("deng_speed_layout"));
    EXPECT_TRUE(shown("light_combo_AudiomodeSelectLayout"));
    EXPECT_EQ(pui::current_page(c("light_color_tablayout")), 1);
    editor_->update_layout(1, 1);
    EXPECT_FALSE(shown("light_combo_AudiomodeSelectLayout"));
    EXPECT_TRUE(shown("deng_speed_layout"));
    EXPECT_EQ(pui::current_page(c("light_color_tablayout")), 0);

    // Rows with their own direction labels, and the base labels back again.
    editor_->update_layout(1, 18);
    EXPECT_EQ(pui::text_id(c("deng_FXL_check")), "light_set_outside_to_inside_text");
    EXPECT_FALSE(enabled("light_color_layout"));
    EXPECT_TRUE(enabled("deng_fx_layout"));
    editor_->update_layout(1, 17);
    EXPECT_TRUE(shown("light_combo_ZZCCmodeSelectLayout"));
    EXPECT_FALSE(shown("deng_speed_layout"));
    editor_->update_layout(1, 20);
    EXPECT_TRUE(shown("lightcustom_layout"));
    EXPECT_FALSE(shown("light_combo_ZZCCmodeSelectLayout"));
    EXPECT_TRUE(enabled("light_color_layout"));
    EXPECT_EQ(pui::text_id(c("deng_FXR_check")), "light_set_left_to_right_text");
}

TEST_F(LightEditor, MouseModesEnableOnlyWhatTheyUse) {
    struct Expect {
        int mode;
        bool multi, colour, palette, bright, speed, dir;
    };
    // Static keeps its colours but has no speed, direction or colour cycle; off uses nothing;
    // a mode beyond the table is treated like off.
    for (const Expect& e : {Expect{3, false, true, true, true, false, false},
                            Expect{0, true, true, true, true, true, true},
                            Expect{1, false, false, false, true, true, false},
                            Expect{6, true, true, true, true, true, false},
                            Expect{10, false, false, false, false, false, false},
                            Expect{9, false, false, false, false, false, false}}) {
        editor_->update_layout(2, e.mode);
        EXPECT_TRUE(enabled("lighteffect_layout")) << e.mode;
        EXPECT_EQ(enabled("deng_7color_check"), e.multi) << e.mode;
        EXPECT_EQ(enabled("deng_color_layout"), e.colour) << e.mode;
        EXPECT_EQ(enabled("colorpallet_layout"), e.palette) << e.mode;
        EXPECT_EQ(enabled("deng_light_layout"), e.bright) << e.mode;
        EXPECT_EQ(enabled("deng_speed_layout"), e.speed) << e.mode;
        EXPECT_EQ(enabled("deng_fx_layout"), e.dir) << e.mode;
        EXPECT_EQ(pui::text_id(c("deng_FXL_check")), "light_set_down_to_up_text");
    }
    editor_->update_layout(2, 11);
    EXPECT_FALSE(shown("deng_speed_layout"));
    EXPECT_TRUE(shown("light_combo_AudiomodeSelectLayout"));
    EXPECT_EQ(pui::current_page(c("light_color_tablayout")), 1);
}

TEST_F(LightEditor, TypeFiveLeavesTheDirectionAndUnknownTypesChangeNothing) {
    editor_->update_layout(2, 10);  // direction off
    editor_->update_layout(5, 0);
    EXPECT_FALSE(enabled("deng_fx_layout"));
    EXPECT_TRUE(enabled("deng_speed_layout"));
    editor_->update_layout(5, 1);
    EXPECT_FALSE(enabled("deng_speed_layout"));
    EXPECT_TRUE(enabled("colorpallet_layout"));

    const LightLayoutState none = light_layout_for(6, 3);
    EXPECT_FALSE(none.effect || none.colour || none.direction || none.colour_tab ||
                 none.same_mode_shown || none.direction_labels);
    // The pad and headset tables share one.
    EXPECT_EQ(light_layout_for(4, 3).speed, light_layout_for(7, 3).speed);
    EXPECT_EQ(light_layout_for(3, 8).same_mode_shown, std::optional<bool>(true));
}

TEST_F(LightEditor, SameModeBoxNeedsLightSync) {
    for (int type : {1, 2, 3, 4, 5, 7}) {
        for (int mode = 0; mode <= 31; ++mode) {
            editor_->update_layout(type, mode);
            EXPECT_FALSE(shown("deng_same_mode")) << type << "/" << mode;
        }
    }
    editor_->update_layout(1, 4);
    editor_->set_light_sync(true);
    EXPECT_TRUE(shown("deng_same_mode"));
    editor_->update_layout(1, 7);
    EXPECT_FALSE(shown("deng_same_mode"));
    editor_->update_layout(3, 2);
    EXPECT_TRUE(shown("deng_same_mode"));
    editor_->set_light_sync(false);
    EXPECT_FALSE(shown("deng_same_mode"));
}

TEST_F(LightEditor, ARecordShowsItsValuesAndReadsBackUnchanged) {
    mouse_with_modes();
    const LightInfo r = record();
    editor_->set_light_info(r);
    EXPECT_EQ(editor_->current_mode(), 2);
    EXPECT_EQ(editor_->brightness(), 3);
    EXPECT_EQ(editor_->speed(), 1);
    EXPECT_EQ(editor_->edit_text('R'), "10");
    EXPECT_EQ(editor_->edit_text('G'), "20");
    EXPECT_EQ(editor_->edit_text('B'), "30");
    EXPECT_EQ(editor_->palette_colour(), 0xFF0A141Eu);
    EXPECT_EQ(pui::bk_color(c("deng_colordp_btn")), 0xFF0A141Eu);
    EXPECT_EQ(pui::text(c("G_light_label")), "G 20");
    EXPECT_TRUE(editor_->multi_colour_checked());
    EXPECT_TRUE(editor_->direction_left_checked());
    EXPECT_EQ(editor_->light_info(), r);
    // Breathing uses no direction.
    EXPECT_FALSE(enabled("deng_fx_layout"));
    // Hidden modes are not offered.
    editor_->set_mode_list({"a", "b"}, {true, false}, 4, 2);
    EXPECT_EQ(pui::item_count(c("light_combo_modeSelect")), 2);
    EXPECT_EQ(pui::maximum(c("deng_speed_slider")), 2);
}

TEST_F(LightEditor, EveryUserChangeEmitsTheWholeRecord) {
    mouse_with_modes();
    editor_->set_light_info(record());
    QSignalSpy spy(editor_.get(), &CLightControlUI::light_changed);
    auto last = [&] { return spy.takeLast().at(0).value<LightInfo>(); };

    pui::set_value(c("deng_light_slider"), 4);
    send("deng_light_slider", "valuechanged", 4);
    ASSERT_EQ(spy.count(), 1);
    LightInfo want = record();
    want.brightness = 4;
    EXPECT_EQ(last(), want);

    pui::select_item(c("light_combo_modeSelect"), 3, false);
    send("light_combo_modeSelect", "itemselect", 3);
    ASSERT_EQ(spy.count(), 1);
    want.mode = 3;
    EXPECT_EQ(last(), want);
    EXPECT_FALSE(enabled("deng_speed_layout"));  // static

    // An edit caps at 255; text that is no number keeps the colour and emits nothing.
    pui::set_text(c("deng_edit_G"), QStringLiteral("300"));
    send("deng_edit_G", "killfocus");
    ASSERT_EQ(spy.count(), 1);
    want.green = 255;
    EXPECT_EQ(last(), want);
    EXPECT_EQ(editor_->edit_text('G'), "255");
    pui::set_text(c("deng_edit_R"), QStringLiteral("x1"));
    send("deng_edit_R", "killfocus");
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(editor_->edit_text('R'), "10");

    send("color_option_5", "click");
    ASSERT_EQ(spy.count(), 1);
    const std::uint32_t preset = editor_->preset_colour(5);
    LightInfo got = last();
    EXPECT_EQ(got.red, std::uint8_t(preset >> 16));
    EXPECT_EQ(got.blue, std::uint8_t(preset));
    EXPECT_EQ(pui::bk_color(c("deng_colordp_btn")), preset);

    send("deng_Color_Pallet", "colorchanged", 0x112233);
    ASSERT_EQ(spy.count(), 1);
    got = last();
    EXPECT_EQ(got.red, 0x11);
    EXPECT_EQ(got.green, 0x22);
    EXPECT_EQ(got.blue, 0x33);
    EXPECT_EQ(got.custom_group, 7);  // fields without a control are kept

    // A drag previews the channel; the release commits it.
    send("B_light_slider", "movevaluechanged", 200);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(pui::text(c("B_light_label")), "B 200");
    send("B_light_slider", "valuechanged", 200);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(last().blue, 200);

    pui::set_selected(c("deng_FXR_check"), true, false);
    pui::set_selected(c("deng_FXL_check"), false, false);
    send("deng_FXR_check", "selectchanged", 1);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(last().direction, 0);
    // Notifications of controls outside the editor are not its business.
    QWidget stranger;
    pui::Notification foreign{"click", &stranger};
    editor_->on_notify(foreign);
    EXPECT_EQ(spy.count(), 0);
}

AudioLightInfo audio_record() {
    AudioLightInfo a;
    a.audio_mode = 1;
    a.bk_red = 1;
    a.bk_green = 2;
    a.bk_blue = 3;
    a.fg_red = 200;
    a.fg_green = 100;
    a.fg_blue = 50;
    a.seven_colour = 1;
    a.colour_type = 1;
    return a;
}

TEST_F(LightEditor, AudioRecordShowsTheEditedColourAndSwitchesBetweenThem) {
    ASSERT_TRUE(editor_->set_audio_light_info(audio_record()));
    EXPECT_TRUE(pui::is_selected(c("audio_FgColor_check")));
    EXPECT_TRUE(pui::is_selected(c("deng_7audiocolor_check")));
    EXPECT_EQ(pui::text(c("deng_audioedit_R")), "200");
    EXPECT_EQ(pui::bk_color(c("deng_audiocolordp_btn")), 0xFFC86432u);
    EXPECT_TRUE(enabled("light_audiocolor_layout"));

    // The user picks the background: the flag turns 0 and the background colour shows.
    QSignalSpy spy(editor_.get(), &CLightControlUI::audio_light_changed);
    pui::set_selected(c("audio_BkColor_check"), true, false);
    pui::set_selected(c("audio_FgColor_check"), false, false);
    send("audio_BkColor_check", "selectchanged", 1);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(editor_->audio_light_info().colour_type, 0);
    EXPECT_EQ(pui::text(c("deng_audioedit_B")), "3");

    // A colour taken now goes to the background.
    send("deng_audioColor_Pallet", "colorchanged", 0x405060);
    const auto got = editor_->get_audio_light_info(false);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bk_green, 0x50);
    EXPECT_EQ(got->fg_green, 100);

    AudioLightInfo three = audio_record();
    three.audio_mode = 3;
    ASSERT_TRUE(editor_->set_audio_light_info(three));
    EXPECT_FALSE(enabled("light_audiocolor_layout"));
    EXPECT_FALSE(enabled("audiocolorpallet_layout"));
}

TEST_F(LightEditor, AMissingAudioControlIsContainedInTheEditor) {
    ASSERT_TRUE(editor_->set_audio_light_info(audio_record()));
    delete c("deng_audiocolordp_btn");
    platform::DebugCapture debug;
    AudioLightInfo other = audio_record();
    other.audio_mode = 2;
    EXPECT_FALSE(editor_->set_audio_light_info(other));
    EXPECT_TRUE(debug.contains(" SetAudioLightInfo control is NULL"));
    // Nothing was half applied.
    EXPECT_EQ(editor_->audio_light_info(), audio_record());
    EXPECT_EQ(pui::current_item(c("light_combo_audiomodeSelect")), 1);
    EXPECT_FALSE(editor_->get_audio_light_info(true));
    EXPECT_TRUE(debug.contains("GetAudioLightInfo control is NULL"));
    // Events of the remaining audio controls neither throw nor emit.
    QSignalSpy spy(editor_.get(), &CLightControlUI::audio_light_changed);
    EXPECT_NO_THROW(send("audio_BkColor_check", "selectchanged", 1));
    EXPECT_NO_THROW(send("deng_audioedit_R", "killfocus"));
    EXPECT_NO_THROW(send("audiocolor_option_2", "click"));
    EXPECT_EQ(spy.count(), 0);
}

}  // namespace
}  // namespace velqa::profile
