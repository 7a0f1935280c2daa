#include "app/notify_routes.h"

#include <algorithm>
#include <iterator>

#include "platform/ascii_text.h"
#include "platform/indexed_name.h"

namespace velqa::app {

namespace {

using O = RouteOwner;

struct Row {
    const char* name;
    O owner;
    bool exact = false;  // compared exactly (case included)
};

bool equal(std::string_view a, std::string_view b, bool exact) {
    if (a.size() != b.size())
        return false;
    return exact ? a == b : platform::equals_ignoring_case(a, b);
}

constexpr Row kClickIndexed[] = {
    {"key_", O::SelectedPage},           {"color_option_", O::Lighting},
    {"audiocolor_option_", O::Lighting}, {"windowdeviceset_", O::Window},
    {"DPI_color_option_", O::MousePage}, {"DPI_select_check_", O::MousePage},
    {"DPI_edit_", O::MousePage},         {"keymap_label_", O::SelectedPage},
};
constexpr Row kClickNames[] = {
    {"closebtn", O::Window},
    {"nodevice_ok_btn", O::Window},
    {"no_device_allow_btn", O::Window},
    {"control_light_status", O::Window},
    {"minbtn", O::Window},
    {"maxbtn", O::Window},
    {"restorebtn", O::Window},
    {"skinbtn", O::Window},
    {"setbtn", O::Window},
    {"default_btn", O::Window},
    {"reset_repeat_btn", O::KeyboardPage},
    {"device_add_btn", O::Profile},
    {"device_sub_btn", O::Profile},
    {"device_export_btn", O::Profile},
    {"device_import_btn", O::Profile},
    {"device_copy_btn", O::Profile},
    {"device_reset_btn", O::Profile},
    {"device_profile_edit_save_btn", O::Profile},
    {"device_apps_btn", O::Profile},
    {"key_butt_keysave", O::KeySet},
    {"key_butt_keydefalut", O::KeySet},
    {"key_butt_keycancel", O::KeySet},
    {"key_butt_prosave", O::KeySet},
    {"macro_btn_starredio", O::Macro},
    {"macro_btn_stopredio", O::Macro},
    {"macro_btn_name_add", O::Macro},
    {"macro_btn_name_sub", O::Macro},
    {"macro_btn_name_edit", O::Macro},
    {"macro_btn_save", O::Macro},
    {"macro_btn_cancel", O::Macro},
    {"macro_btn_export", O::Macro},
    {"macro_btn_import", O::Macro},
    {"macro_btn_up", O::Macro},
    {"macro_btn_down", O::Macro},
    {"macro_btn_uptop", O::Macro},
    {"macro_btn_downbottom", O::Macro},
    {"macro_btn_delete", O::Macro},
    {"macro_btn_deleteall", O::Macro},
    {"macro_inset_moveleftkey_btn", O::Macro, true},
    {"macro_inset_moverightkey_btn", O::Macro, true},
    {"macro_inset_moveupkey_btn", O::Macro, true},
    {"macro_inset_movedownkey_btn", O::Macro, true},
    {"profile_fun_spread_btn", O::Profile, true},
    {"shootdate_save_btn", O::Shoot},
    {"shootdate_reset_btn", O::Shoot},
    {"shootdate_import_btn", O::Shoot},
    {"shootdate_export_btn", O::Shoot},
    {"bullet_selected_prev", O::Shoot},
    {"bullet_selected_next", O::Shoot},
    {"custom_bright_color_btn", O::Lighting},
    {"custom_off_color_btn", O::Lighting},
    {"deng_same_mode", O::Lighting},
    {"hs_EQ_btn_save", O::Headset},
    {"hs_EQ_btn_delete", O::Headset},
    {"device_select_prev", O::Window},
    {"device_select_next", O::Window},
    {"Close_bkColor_btn", O::AudioLight},
    {"music_setting_btn", O::AudioLight},
    {"network_btn", O::Window},
    {"about_copy_report_btn", O::About},
    {"about_open_folder_btn", O::About},
    {"about_project_btn", O::About},
};

constexpr Row kSelectIndexed[] = {
    {"DPI_enable_check_", O::MousePage},
    {"DPI_select_check_", O::MousePage},
    {"polling_rate_option_", O::MousePage},
    {"Silent_Altitude_option_", O::MousePage},
    {"deep_sleep_option_", O::MousePage},
    {"Linear_Calibration_option_", O::MousePage},
    {"motion_sync_option_", O::MousePage},
    {"sensor_lif_option_", O::MousePage},
    {"repeat_delay_check_", O::MousePage},
    {"mouse_device_seting_option_", O::MousePage},
    {"key_page_option_", O::MousePage},
    {"shoot_gun_op_", O::Shoot},
    {"bullet_op_", O::Shoot},
    {"magic_option_", O::Headset},
    {"6533_eq_option_", O::Headset},
    {"key_ComBox_check_", O::KeySet},
};
constexpr Row kSelectNames[] = {
    {"pointer_precision_check", O::SelectedPage},
    {"scrolls_page_check", O::SelectedPage},
    {"pointer_speed_desktop_check", O::SelectedPage},
    {"scroll_speed_desktop_check", O::SelectedPage},
    {"double_click_desktop_check", O::SelectedPage},
    {"pointer_precision_desktop_check", O::SelectedPage},
    {"scrolls_page_desktop_check", O::SelectedPage},
    {"winlockflag_option", O::SelectedPage},
    {"wflag_option", O::SelectedPage},
    {"6flag_option", O::SelectedPage},
    {"synchro_device_select", O::Tile},
    {"device_select", O::Tile},
    {"deng_FXL_check", O::Lighting},
    {"deng_FXR_check", O::Lighting},
    {"deng_7color_check", O::Lighting},
    {"deng_7audiocolor_check", O::Lighting},
    {"audio_BkColor_check", O::Lighting},
    {"audio_FgColor_check", O::Lighting},
    {"bullet_x_check", O::Shoot},
    {"bullet_y_check", O::Shoot},
    {"magic_enable_option", O::Headset},
    {"6533_MicIn_option", O::Headset},
    {"6533_MicMoniter_option", O::Headset},
    {"deng_Op_tab", O::Window},
    {"key_Op_tab", O::Window},
    {"macro_Op_tab", O::Window},
    {"performance_Op_tab", O::Window},
    {"system_Op_tab", O::Window},
    {"cursor_Op_tab", O::Window},
    {"6533_voice_Op_tab", O::Window},
    {"magic_Op_tab", O::Window},
    {"About_Op_tab", O::Window},
    {"Virtual7.1_Op_tab", O::Window},
};

constexpr Row kSliderIndexed[] = {
    {"DPI_slider_", O::MousePage},
    {"6533_eq_hz_slider_", O::Headset},
};
constexpr Row kSliderNames[] = {
    {"pointer_speed_slider", O::SelectedPage}, {"scroll_speed_slider", O::SelectedPage},
    {"double_click_slider", O::SelectedPage},  {"repeat_rate_slider", O::SelectedPage},
    {"deng_light_slider", O::Lighting},        {"deng_speed_slider", O::Lighting},
    {"R_light_slider", O::Lighting},           {"G_light_slider", O::Lighting},
    {"B_light_slider", O::Lighting},           {"Dormancy_slider", O::SelectedPage},
    {"Key_Delay_slider", O::SelectedPage},     {"polling_rate_slider", O::SelectedPage},
    {"6533_MicIn_slider", O::Headset},         {"6533_MicMoniter_slider", O::Headset},
};

// While dragging: the window mirrors "tavix_DPI_slider_" itself; the page shows the value of
// its own stage sliders.
constexpr Row kMoveIndexed[] = {
    {"tavix_DPI_slider_", O::Window},
    {"DPI_slider_", O::MousePage},
};

constexpr Row kComboNames[] = {
    {"device_profile_combo", O::Profile},
    {"light_combo_modeSelect", O::Lighting},
    {"light_combo_custommodeSelect", O::Lighting},
    {"light_combo_ZZCCmodeSelect", O::Lighting},
    {"light_combo_audiomodeSelect", O::Lighting},
    {"Dormancy_combo_timeSelect", O::SelectedPage},
    {"Key_Delay_combo_timeSelect", O::SelectedPage},
    {"Anti_Shake_combo_timeSelect", O::SelectedPage},
    {"keyset_function_combo", O::KeySet},
    {"keyset_mousekey_combo", O::KeySet},
    {"keyset_mouseswing_combo", O::KeySet},
    {"keyset_mousewheel_combo", O::KeySet},
    {"keyset_mousedpi_combo", O::KeySet},
    {"keyset_media_combo", O::KeySet},
    {"keyset_system_combo", O::KeySet},
    {"keyset_macro_combo", O::KeySet},
    {"keyset_macro_over_combo", O::KeySet},
    {"keyset_gunkey_combo", O::KeySet},
    {"keyset_combokey_combo", O::KeySet},
    {"macro_name_list", O::Macro},
    {"custom_eq_name_combo", O::Headset},
};

constexpr Row kTextNames[] = {
    {"device_profile_combo", O::Profile},
};

// An edit commits its value when it loses focus, or when Enter is pressed in it.
constexpr Row kEditIndexed[] = {
    {"tavix_DPI_edit_", O::MousePage},
    {"DPI_edit_", O::MousePage},
};
constexpr Row kEditNames[] = {
    {"deng_edit_R", O::Lighting},
    {"deng_edit_G", O::Lighting},
    {"deng_edit_B", O::Lighting},
    {"deng_audioedit_R", O::Lighting},
    {"deng_audioedit_G", O::Lighting},
    {"deng_audioedit_B", O::Lighting},
    {"keyset_keyboard_text_edit", O::KeySet},
    {"keyset_mouseswing_num_edit", O::KeySet},
    {"keyset_mouseswing_delay_edit", O::KeySet},
    {"keyset_mouseswing_speed_edit", O::KeySet},
    {"keyset_mousewheel_num_edit", O::KeySet},
    {"keyset_mousewheel_delay_edit", O::KeySet},
    {"keyset_mousewheel_speed_edit", O::KeySet},
    {"keyset_mousefire_interval_edit", O::KeySet},
    {"keyset_mousefire_num_edit", O::KeySet},
    {"keyset_macro_cycle_edit", O::KeySet},
    {"bullet_x_eidt", O::Shoot},
    {"bullet_y_eidt", O::Shoot},
    {"bullet_delay_eidt", O::Shoot},
    {"macro_delay", O::Macro},
    // The recording's constant delay is checked as it is left; Enter in the name renames.
    {"macro_fixed_time_edit", O::Macro},
    {"macro_edit_macroname", O::Macro},
};

// Focus entering a DPI edit selects its stage; the key edit installs the key capture.
constexpr Row kFocusIndexed[] = {
    {"DPI_edit_", O::MousePage},
};
constexpr Row kFocusNames[] = {
    {"keyset_keyboard_text_edit", O::Window},
};

constexpr Row kEnterIndexed[] = {
    {"tavixms_key_", O::KeySet},
};

constexpr Row kColourNames[] = {
    {"deng_Color_Pallet", O::Lighting},
    {"deng_audioColor_Pallet", O::Lighting},
};

constexpr Row kSelectEndNames[] = {
    {"device_key_light", O::Lighting},
    {"mouse_device_key_light", O::Lighting},
};

constexpr Row kSizeNames[] = {
    {"root", O::Window},
};

constexpr Row kMenuNames[] = {
    {"macro_action", O::Macro},
};

template <std::size_t N>
constexpr std::pair<const Row*, std::size_t> rows(const Row (&r)[N]) {
    return {r, N};
}

struct TypeTable {
    const char* type;
    std::pair<const Row*, std::size_t> indexed;
    std::pair<const Row*, std::size_t> names;
};

const TypeTable kTables[] = {
    {"click", rows(kClickIndexed), rows(kClickNames)},
    {"selectchanged", rows(kSelectIndexed), rows(kSelectNames)},
    {"valuechanged", rows(kSliderIndexed), rows(kSliderNames)},
    {"movevaluechanged", rows(kMoveIndexed), {nullptr, 0}},
    {"itemselect", {nullptr, 0}, rows(kComboNames)},
    {"textchanged", {nullptr, 0}, rows(kTextNames)},
    {"killfocus", rows(kEditIndexed), rows(kEditNames)},
    {"return", rows(kEditIndexed), rows(kEditNames)},
    {"setfocus", rows(kFocusIndexed), rows(kFocusNames)},
    {"msenter", rows(kEnterIndexed), {nullptr, 0}},
    {"colorchanged", {nullptr, 0}, rows(kColourNames)},
    {"click_select_end", {nullptr, 0}, rows(kSelectEndNames)},
    {"windowsize", {nullptr, 0}, rows(kSizeNames)},
    {"menu", {nullptr, 0}, rows(kMenuNames)},
};

}  // namespace

std::optional<Route> route_notification(std::string_view type, std::string_view name) {
    const auto table = std::find_if(std::begin(kTables), std::end(kTables),
                                    [type](const TypeTable& t) { return t.type == type; });
    if (table == std::end(kTables))
        return std::nullopt;
    if (const auto split = platform::split_indexed_name(name)) {
        for (std::size_t i = 0; i < table->indexed.second; ++i) {
            const Row& row = table->indexed.first[i];
            if (equal(split->prefix, row.name, row.exact))
                return Route{row.owner, split->index, row.name};
        }
    }
    for (std::size_t i = 0; i < table->names.second; ++i) {
        const Row& row = table->names.first[i];
        if (equal(name, row.name, row.exact))
            return Route{row.owner, -1, row.name};
    }
    return std::nullopt;
}

}  // namespace velqa::app
