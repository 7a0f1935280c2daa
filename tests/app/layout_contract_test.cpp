// Every layout the program ships builds completely, holds every control name the code looks up,
// and every text and image it names exists.
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStackedWidget>
#include <QXmlStreamReader>
#include <functional>
#include <set>

#include "app/main_wnd.h"
#include "app/notify_routes.h"
#include "app_fixture.h"
#include "platform/ui/color_palette.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/layout_builder.h"
#include "profile/ui/app_bindings_wnd.h"
#include "ui/custom_controls.h"
#include "ui/mouse_page.h"
#include "ui/mp_device_power.h"
#include "ui/msg_wnd.h"
#include "update/ui/set_wnd.h"

namespace velqa::test {
namespace {

namespace fs = std::filesystem;
namespace pui = platform::ui;

// The main window's builder callback, opened for the test.
class ProbeMainWnd : public app::CMainWnd {
  public:
    ProbeMainWnd(fs::path dd)
        : CMainWnd(std::move(dd), {}, platform::SettingsStore("/dev/null/x")) {}
    using CMainWnd::create_control;
};

const char* const kMainNames[] = {"root",
                                  "closebtn",
                                  "maxbtn",
                                  "restorebtn",
                                  "minbtn",
                                  "skinbtn",
                                  "gamemodebtn",
                                  "cloudbtn",
                                  "smarteyesbtn",
                                  "setbtn",
                                  "performance_Op_tab",
                                  "key_Op_tab",
                                  "macro_Op_tab",
                                  "system_Op_tab",
                                  "About_Op_tab",
                                  "device_select_layout",
                                  "device_switch",
                                  "device_power_switch",
                                  "No_device_Link",
                                  "tab_header_device",
                                  "device_logo_layout",
                                  "setting_progress",
                                  "control_light_status",
                                  "str_test",
                                  "nodevice_ok_btn",
                                  "no_device_allow_btn",
                                  "no_device_allow_status",
                                  "device_select_prev",
                                  "device_select_next"};
const char* const kMsgNames[] = {"MessageTitle", "MessageText", "confirm_btn", "cancel_btn",
                                 "closebtn"};
// Names the mouse page routes: exact ones, and prefixes with their index count.
const char* const kMouseNames[] = {"mouse_device_seting_layout",
                                   "mouse_option_layout",
                                   "SelectPanel",
                                   "device_function_switch",
                                   "device_key_function_switch",
                                   "polling_rate_slider",
                                   "Dormancy_slider",
                                   "Dormancy_combo_timeSelect",
                                   "Key_Delay_slider",
                                   "Key_Delay_combo_timeSelect",
                                   "Anti_Shake_combo_timeSelect",
                                   "pointer_speed_slider",
                                   "scroll_speed_slider",
                                   "double_click_slider",
                                   "pointer_precision_check",
                                   "scrolls_page_check",
                                   "pointer_speed_desktop_check",
                                   "scroll_speed_desktop_check",
                                   "double_click_desktop_check",
                                   "pointer_precision_desktop_check",
                                   "scrolls_page_desktop_check",
                                   "pointer_precision_row",
                                   "scrolls_page_row",
                                   "device_tishi_info",
                                   "ms_device_name"};
const std::pair<const char*, int> kMouseIndexed[] = {{"DPI_slider_", 6},
                                                     {"DPI_edit_", 6},
                                                     {"DPI_enable_check_", 6},
                                                     {"DPI_select_check_", 6},
                                                     {"DPI_color_option_", 6},
                                                     {"polling_rate_option_", 6},
                                                     {"Silent_Altitude_option_", 2},
                                                     {"Linear_Calibration_option_", 2},
                                                     {"motion_sync_option_", 2},
                                                     {"sensor_lif_option_", 2},
                                                     {"deep_sleep_option_", 2},
                                                     {"mouse_device_seting_option_", 2},
                                                     {"key_", 6},
                                                     {"light_", 7}};
const char* const kPowerNames[] = {"device_power_value",      "device_wuxian_logo",
                                   "device_wuxian_logo_text", "device_youxian_logo_text",
                                   "device_Power_progress",   "device_power_status",
                                   "device_powering_status",  "device_powering_status_text",
                                   "device_phone_type",       "device_power_Layout"};
const char* const kPalletNames[] = {
    "pallet_color_palette", "pallet_edit_R",   "pallet_edit_G", "pallet_edit_B", "pallet_edit_hex",
    "pallet_preview",       "pallet_save_btn", "confirm_btn",   "cancel_btn",    "closebtn"};
// Text ids the code itself shows.
const char* const kCodeTextIds[] = {"msg_title_text",
                                    "message_text_22",
                                    "tips_text",
                                    "kb_device_name_text",
                                    "ms_device_name_text",
                                    "soft_mp_device_name_text",
                                    "hard_mp_device_name_text",
                                    "hd_device_name_text",
                                    "unknow_device_name_text",
                                    "Phone_type_iphone",
                                    "Phone_type_samsung",
                                    "Phone_type_other",
                                    "Phone_type_no_device",
                                    "sleep_time_1_text",
                                    "sleep_time_6_text",
                                    "key_delay_0_text",
                                    "key_delay_5_text",
                                    "anti_shake_0_text",
                                    "anti_shake_3_text",
                                    "update_firmware_kept_text",
                                    "update_download_failed_text",
                                    "device_write_failed_text",
                                    "profile_import_corrected_text",
                                    "update_row_checking_text",
                                    "update_row_unreachable_text",
                                    "update_row_bad_answer_text",
                                    "update_some_unchecked_text"};
// Images the code names.
const char* const kCodeImages[] = {"common/logo.png",
                                   "power/r260.png",
                                   "power/WIFI_down.png",
                                   "power/WIFI_normal.png",
                                   "power/powering.png",
                                   "power/power.png",
                                   "power/light.png",
                                   "power/Phone_type_iphone.png",
                                   "power/Phone_type_samsung.png",
                                   "power/Phone_type_other.png",
                                   "power/Phone_type_no_device.png",
                                   "main/mouse.png"};

fs::path skin() {
    return source_dir() / "skin";
}

// Menu files live under XML/Menus; everything else under XML is a layout.
bool is_menu_file(const fs::path& file) {
    return file.parent_path().filename() == "Menus";
}

std::vector<fs::path> xml_files(bool menus) {
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(skin() / "XML")) {
        if (e.is_regular_file() && e.path().extension() == ".xml" &&
            is_menu_file(e.path()) == menus)
            files.push_back(e.path());
    }
    return files;
}

std::vector<fs::path> layout_files() {
    return xml_files(false);
}

// Calls `visit` with the reader at each start element of an XML file.
void visit_elements(const fs::path& file, const std::function<void(QXmlStreamReader&)>& visit) {
    QFile in(QString::fromStdString(file.string()));
    EXPECT_TRUE(in.open(QIODevice::ReadOnly)) << file;
    QXmlStreamReader xml(&in);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement)
            visit(xml);
    }
    EXPECT_FALSE(xml.hasError()) << file << ": " << xml.errorString().toStdString();
}

// Values of the textId / toolTipId properties and attributes in an XML file.
std::set<QString> text_ids_in(const fs::path& file) {
    std::set<QString> ids;
    visit_elements(file, [&ids](QXmlStreamReader& xml) {
        if (xml.attributes().hasAttribute("textId")) {
            ids.insert(xml.attributes().value("textId").toString());
        }
        const auto name = xml.attributes().value("name");
        if (xml.name() == u"property" &&
            (name == u"textId" || name == u"toolTipId" || name == u"accessibleNameId")) {
            xml.readNextStartElement();
            ids.insert(xml.readElementText());
        }
    });
    return ids;
}

std::map<QString, QString> language(const char* file) {
    std::map<QString, QString> texts;
    EXPECT_TRUE(pui::LanguageTexts::parse(skin() / file, texts)) << file;
    return texts;
}

TEST_F(AppTest, EveryLayoutBuildsWithoutUnknownClasses) {
    ProbeMainWnd probe(factory());
    const auto files = layout_files();
    ASSERT_FALSE(files.empty());
    for (const fs::path& file : files) {
        pui::LayoutBuilder builder([&](const QString& cls) { return probe.create_control(cls); });
        const QString relative = QString::fromStdString(fs::relative(file, skin()).string());
        std::unique_ptr<QWidget> root(builder.create(relative));
        EXPECT_NE(root, nullptr) << file;
        EXPECT_TRUE(builder.unknown_classes().empty())
            << file << ": " << builder.unknown_classes().front().toStdString();
    }
}

TEST_F(AppTest, IndexNamesPointAtExistingFiles) {
    const auto entries = pui::Resources::instance().entries();
    ASSERT_TRUE(entries.count("XML_MAIN"));
    ASSERT_TRUE(entries.count("XML_MSG"));
    for (const auto& [name, file] : entries) {
        EXPECT_TRUE(fs::exists(pui::Resources::instance().resolve(name))) << name.toStdString();
    }
}

TEST_F(AppTest, MainLayoutHoldsEveryNameTheCodeLooksUp) {
    ProbeMainWnd wnd(factory());
    ASSERT_TRUE(wnd.create("t"));
    for (const char* name : kMainNames)
        EXPECT_NE(wnd.find_control(name), nullptr) << name;
    EXPECT_NE(wnd.find_control_as<QStackedWidget>("device_switch"), nullptr);
    EXPECT_NE(wnd.find_control_as<QStackedWidget>("device_power_switch"), nullptr);
    for (const char* tab :
         {"performance_Op_tab", "key_Op_tab", "macro_Op_tab", "system_Op_tab", "About_Op_tab"}) {
        auto* button = wnd.find_control_as<QAbstractButton>(tab);
        ASSERT_NE(button, nullptr) << tab;
        EXPECT_TRUE(button->isCheckable()) << tab;
    }
}

TEST_F(AppTest, MouseLayoutHoldsEveryRoutedNameWithItsKindOfControl) {
    ProbeMainWnd probe(factory());
    pui::LayoutBuilder builder([&](const QString& cls) { return probe.create_control(cls); });
    std::unique_ptr<QWidget> page(builder.create(ui::kMousePageLayout));
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(builder.unknown_classes().empty());
    auto find = [&](const QString& name) {
        return pui::Window::find_sub_control_by_name(page.get(), name);
    };
    for (const char* name : kMouseNames)
        EXPECT_NE(find(name), nullptr) << name;
    for (const auto& [prefix, count] : kMouseIndexed) {
        for (int n = 0; n < count; ++n)
            EXPECT_NE(find(QStringLiteral("%1%2").arg(prefix).arg(n)), nullptr) << prefix << n;
    }
    for (int n = 0; n < ui::kDpiStageCount; ++n) {
        EXPECT_NE(qobject_cast<QAbstractSlider*>(find(QStringLiteral("DPI_slider_%1").arg(n))),
                  nullptr);
        EXPECT_NE(qobject_cast<QLineEdit*>(find(QStringLiteral("DPI_edit_%1").arg(n))), nullptr);
        for (const char* check : {"DPI_enable_check_", "DPI_select_check_"}) {
            auto* b =
                qobject_cast<QAbstractButton*>(find(QStringLiteral("%1%2").arg(check).arg(n)));
            ASSERT_NE(b, nullptr) << check << n;
            EXPECT_TRUE(b->isCheckable()) << check << n;
        }
    }
    for (const char* combo :
         {"Dormancy_combo_timeSelect", "Key_Delay_combo_timeSelect", "Anti_Shake_combo_timeSelect"})
        EXPECT_NE(qobject_cast<QComboBox*>(find(combo)), nullptr) << combo;
    // The key buttons and light indicators sit inside the select panel.
    QWidget* panel = find("SelectPanel");
    for (int n = 0; n < 6; ++n) {
        QWidget* key =
            pui::Window::find_sub_control_by_name(panel, QStringLiteral("key_%1").arg(n));
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->property(pui::kClassProperty).toString(), "DeviceKeyButton");
    }
    EXPECT_NE(pui::Window::find_sub_control_by_name(panel, "light_6"), nullptr);
    // Function pages: six on the first switch, three on the key switch.
    EXPECT_GE(pui::page_count(find("device_function_switch")), 6);
    EXPECT_GE(pui::page_count(find("device_key_function_switch")), 3);
    EXPECT_GE(pui::page_count(find("mouse_device_seting_layout")), 2);
    // The power widget goes into the main window's container.
    ProbeMainWnd wnd(factory());
    ASSERT_TRUE(wnd.create("t"));
    EXPECT_NE(wnd.find_control_as<QStackedWidget>("device_power_switch"), nullptr);
}

TEST_F(AppTest, PowerWidgetAndColourPickerLayoutsHoldTheirControls) {
    std::unique_ptr<QWidget> power(
        pui::ControlFactory::instance().create_control(ui::CMpDevicePowerUI::kClassName));
    ASSERT_NE(qobject_cast<ui::CMpDevicePowerUI*>(power.get()), nullptr);
    for (const char* name : kPowerNames)
        EXPECT_NE(pui::Window::find_sub_control_by_name(power.get(), name), nullptr) << name;
    pui::LayoutBuilder builder;
    std::unique_ptr<QWidget> pallet(builder.create("PalletDialog.xml"));
    ASSERT_NE(pallet, nullptr);
    EXPECT_TRUE(builder.unknown_classes().empty());
    for (const char* name : kPalletNames)
        EXPECT_NE(pui::Window::find_sub_control_by_name(pallet.get(), name), nullptr) << name;
    EXPECT_NE(pallet->findChild<pui::ColorPalette*>("pallet_color_palette"), nullptr);
    for (int n = 0; n < 12; ++n) {
        EXPECT_NE(pallet->findChild<QWidget*>(QStringLiteral("pallet_preset_%1").arg(n)), nullptr);
        EXPECT_NE(pallet->findChild<QWidget*>(QStringLiteral("pallet_saved_%1").arg(n)), nullptr);
    }
}

TEST_F(AppTest, MessageLayoutHoldsItsControls) {
    ui::CMsgWnd wnd(nullptr);
    ASSERT_TRUE(wnd.create("msgwnd", {}, true));
    for (const char* name : kMsgNames)
        EXPECT_NE(wnd.find_control(name), nullptr) << name;
    EXPECT_TRUE(wnd.unknown_classes().empty());
}

TEST_F(AppTest, EveryCustomClassAndMainWindowTagIsCreated) {
    for (const char* cls : ui::kCustomControlClasses) {
        std::unique_ptr<QWidget> w(pui::ControlFactory::instance().create_control(cls));
        EXPECT_NE(w, nullptr) << cls;
    }
    ProbeMainWnd probe(factory());
    for (const char* tag :
         {"CircleProgress", "SelectPanel", "DeviceKeyButton", "HandImgButton", "AudioRecord",
          "HandImgSelectButton", "RedioMacroButton", "ComboEditContainerElement",
          "ZentovaMousePadDevice", "ZentovaDA6533Device", "ZentovaMouseDevice",
          "ZentovaKeyboardDevice", "DeviceProfile", "LightControl", "MagicControl",
          "Voice6533Control", "KeySetControl", "ShootControl", "circleprogress"}) {
        std::unique_ptr<QWidget> w(probe.create_control(tag));
        EXPECT_NE(w, nullptr) << tag;
    }
    EXPECT_EQ(probe.create_control("QLabel"), nullptr);  // Qt's own classes fall through
    // A layout naming a custom class gets that class, marked as created by us.
    write_text(dir_ / "XML/t.xml",
               ui_layout(ui_widget("CircleProgress", "ring") + ui_widget("DPIEdit", "dpi")));
    pui::Resources::instance().set_resource_path(dir_.path());
    pui::LayoutBuilder builder([&](const QString& cls) { return probe.create_control(cls); });
    std::unique_ptr<QWidget> root(builder.create("XML/t.xml"));
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(builder.unknown_classes().empty());
    EXPECT_EQ(builder.custom_classes().size(), 2u);
    EXPECT_EQ(root->findChild<QWidget*>("ring")->property(pui::kClassProperty).toString(),
              "CircleProgress");
}

// Who owns a notification in the window a layout belongs to. The message window and the colour
// picker answer their own few buttons and are not checked here; every other layout is part of
// the main window.
using Owner = bool (*)(std::string_view type, std::string_view name);
bool main_window_owns(std::string_view type, std::string_view name) {
    return app::route_notification(type, name).has_value();
}
const std::pair<const char*, Owner> kLayoutOwners[] = {
    {"setwnd.xml", &update::CSetWnd::owns},
    {"device_Update_list_item.xml", &update::CSetWnd::owns},
    {"msg.xml", nullptr},
    {"PalletDialog.xml", nullptr},
    {"appbindings.xml", &profile::AppBindingsWnd::owns},
};

// Names of <widget> elements in a layout, in file order.
std::vector<QString> widget_names_in(const fs::path& file) {
    std::vector<QString> names;
    visit_elements(file, [&names](QXmlStreamReader& xml) {
        if (xml.name() == u"widget")
            names.push_back(xml.attributes().value("name").toString());
    });
    return names;
}

// Controls the route table does not own, and who does. `reader` (when set) is the routed
// control whose action uses this one's value.
struct OwnedElsewhere {
    const char* name;
    const char* reader;
    const char* why;
};
const OwnedElsewhere kOwnedElsewhere[] = {
    {"deng_colordp_btn", nullptr, "a colour swatch; the lighting editor lets clicks through"},
    {"deng_audiocolordp_btn", nullptr, "a colour swatch; the lighting editor lets clicks through"},
    {"macro_action_list", "macro_btn_delete",
     "the step buttons act on its selection; the macro "
     "editor connects its context menu itself"},
    {"macro_check_time", "macro_btn_starredio", "read when a recording starts"},
    {"mouse_x_left_edit", "macro_inset_moveleftkey_btn", "the step of that move"},
    {"mouse_x_right_edit", "macro_inset_moverightkey_btn", "the step of that move"},
    {"mouse_y_up_edit", "macro_inset_moveupkey_btn", "the step of that move"},
    {"mouse_y_down_edit", "macro_inset_movedownkey_btn", "the step of that move"},
    {"device_profile_name_edit", "device_profile_edit_save_btn",
     "the profile control connects its typing and Enter itself"},
    {"kb_device_seting_option_0", nullptr, "the keyboard page switches its panes itself"},
    {"kb_device_seting_option_1", nullptr, "the keyboard page switches its panes itself"},
    {"repeat_input_richedit", nullptr, "a field to try the key repeat in; nothing to apply"},
    {"gamemodebtn", nullptr, "hidden by the layout and never shown"},
    {"cloudbtn", nullptr, "hidden by the layout and never shown"},
    {"smarteyesbtn", nullptr, "hidden by the layout and never shown"},
    {"menubtn", nullptr, "hidden by the layout and never shown"},
};

// The notifications a control sends when the user clicks or changes it; empty for a control
// the user cannot act on.
std::vector<const char*> user_notifications(QWidget* w) {
    if (qobject_cast<QAbstractButton*>(w) != nullptr)
        return {"click", "selectchanged"};
    if (qobject_cast<QAbstractSlider*>(w) != nullptr && qobject_cast<QScrollBar*>(w) == nullptr)
        return {"valuechanged", "movevaluechanged"};
    if (qobject_cast<QComboBox*>(w) != nullptr)
        return {"itemselect", "textchanged"};
    if (auto* edit = qobject_cast<QLineEdit*>(w); edit != nullptr && !edit->isReadOnly())
        return {"killfocus", "return", "textchanged"};
    if (qobject_cast<QListWidget*>(w) != nullptr)
        return {"itemselect", "itemclick", "dbclick", "menu"};
    if (qobject_cast<pui::ColorPalette*>(w) != nullptr)
        return {"colorchanged"};
    return {};
}

// A control that can be clicked or changed but that no part of its window owns does nothing:
// each one needs a row in its window's route table, or a named owner above.
TEST_F(AppTest, EveryControlAUserCanUseHasAnOwner) {
    ProbeMainWnd probe(factory());
    int checked = 0;
    for (const fs::path& file : layout_files()) {
        const std::string base = file.filename().string();
        Owner owns = &main_window_owns;
        for (const auto& [layout, owner] : kLayoutOwners) {
            if (base == layout)
                owns = owner;
        }
        if (owns == nullptr)
            continue;
        pui::LayoutBuilder builder([&](const QString& cls) { return probe.create_control(cls); });
        const QString relative = QString::fromStdString(fs::relative(file, skin()).string());
        std::unique_ptr<QWidget> root(builder.create(relative));
        ASSERT_NE(root, nullptr) << file;
        for (const QString& name : widget_names_in(file)) {
            QWidget* w = pui::Window::find_sub_control_by_name(root.get(), name);
            if (w == nullptr)
                continue;
            const std::vector<const char*> types = user_notifications(w);
            if (types.empty())
                continue;
            ++checked;
            const auto elsewhere = std::find_if(
                std::begin(kOwnedElsewhere), std::end(kOwnedElsewhere),
                [&name](const OwnedElsewhere& o) { return name == QLatin1String(o.name); });
            if (elsewhere != std::end(kOwnedElsewhere)) {
                if (elsewhere->reader != nullptr) {
                    EXPECT_TRUE(owns("click", elsewhere->reader))
                        << relative.toStdString() << ": " << name.toStdString() << " is read by "
                        << elsewhere->reader << ", which nobody owns";
                }
                continue;
            }
            bool owned = false;
            for (const char* type : types)
                owned = owned || owns(type, name.toStdString());
            EXPECT_TRUE(owned) << relative.toStdString() << ": " << name.toStdString() << " ("
                               << w->metaObject()->className() << ") has no owner for "
                               << types.front();
        }
    }
    EXPECT_GT(checked, 100);
}

TEST_F(AppTest, BothLanguagesHaveTheSameNonEmptyTexts) {
    const auto en = language("lan_en.xml");
    const auto cn = language("lan_cn.xml");
    ASSERT_FALSE(en.empty());
    for (const auto& [id, text] : en) {
        EXPECT_TRUE(cn.count(id)) << "lan_cn.xml lacks " << id.toStdString();
        EXPECT_FALSE(text.trimmed().isEmpty()) << id.toStdString();
    }
    for (const auto& [id, text] : cn) {
        EXPECT_TRUE(en.count(id)) << "lan_en.xml lacks " << id.toStdString();
        EXPECT_FALSE(text.trimmed().isEmpty()) << id.toStdString();
    }
}

TEST_F(AppTest, EveryTextIdUsedExistsInEveryLanguage) {
    std::set<QString> used;
    for (const fs::path& file : layout_files())
        used.merge(text_ids_in(file));
    used.merge(text_ids_in(skin() / "menu.xml"));
    for (const fs::path& file : xml_files(true))
        used.merge(text_ids_in(file));
    // The factory light names are text ids too.
    QFile lights(QString::fromStdString((factory() / "default_light.json").string()));
    ASSERT_TRUE(lights.open(QIODevice::ReadOnly));
    const QString light_text = QString::fromUtf8(lights.readAll());
    auto light_ids =
        QRegularExpression("\"(light_(?:mode|area)_[a-z_]+)\"").globalMatch(light_text);
    while (light_ids.hasNext())
        used.insert(light_ids.next().captured(1));
    for (const char* id : kCodeTextIds)
        used.insert(id);
    ASSERT_GT(used.size(), 10u);
    for (const char* file : {"lan_en.xml", "lan_cn.xml"}) {
        const auto texts = language(file);
        for (const QString& id : used)
            EXPECT_TRUE(texts.count(id)) << file << " lacks " << id.toStdString();
    }
}

// Every text id the code itself names (a literal ending in "_text", with an optional number, that
// names no control of a layout) has a text in both languages, so nothing the program shows stays
// in one language or shows its id.
TEST_F(AppTest, EveryTextIdTheCodeNamesExistsInEveryLanguage) {
    std::set<QString> controls;
    for (const fs::path& file : xml_files(false)) {
        for (const QString& name : widget_names_in(file))
            controls.insert(name);
    }
    for (const fs::path& file : xml_files(true)) {
        visit_elements(file, [&controls](QXmlStreamReader& xml) {
            if (xml.attributes().hasAttribute("name"))
                controls.insert(xml.attributes().value("name").toString());
        });
    }
    const QRegularExpression literal(
        QStringLiteral("\"([a-z][A-Za-z0-9]*(?:_[A-Za-z0-9]+)*_text(?:_[0-9]+)?)\""));
    std::map<QString, std::string> used;  // id -> the file naming it
    for (const auto& e : fs::recursive_directory_iterator(source_dir() / "src")) {
        const fs::path& file = e.path();
        if (!e.is_regular_file() || (file.extension() != ".cpp" && file.extension() != ".h"))
            continue;
        QFile in(QString::fromStdString(file.string()));
        ASSERT_TRUE(in.open(QIODevice::ReadOnly)) << file;
        // Examples in comments name no text.
        const QString code =
            QString::fromUtf8(in.readAll()).remove(QRegularExpression(QStringLiteral("//[^\n]*")));
        auto found = literal.globalMatch(code);
        while (found.hasNext()) {
            const QString id = found.next().captured(1);
            if (controls.count(id) == 0)
                used.emplace(id, fs::relative(file, source_dir()).string());
        }
    }
    ASSERT_GT(used.size(), 20u);
    EXPECT_TRUE(used.count(QStringLiteral("macro_capture_window_only_text")));
    for (const char* file : {"lan_en.xml", "lan_cn.xml"}) {
        const auto texts = language(file);
        for (const auto& [id, where] : used) {
            EXPECT_TRUE(texts.count(id))
                << file << " lacks " << id.toStdString() << " (named in " << where << ")";
        }
    }
}

TEST_F(AppTest, LanguageListNamesShippedFilesAndHas520) {
    const auto entries = app::read_language_config(factory());
    ASSERT_GE(entries.size(), 2u);
    bool has_520 = false;
    std::set<std::uint32_t> ids;
    for (const auto& e : entries) {
        has_520 |= e.id == 520;
        EXPECT_TRUE(ids.insert(e.id).second) << "duplicate id " << e.id;
        EXPECT_TRUE(fs::exists(skin() / e.file.toStdString())) << e.file.toStdString();
        EXPECT_FALSE(e.name.isEmpty());
        EXPECT_FALSE(e.text.isEmpty());
    }
    EXPECT_TRUE(has_520);
}

TEST_F(AppTest, EveryImageNamedExists) {
    QFile qss(QString::fromStdString((skin() / "theme.qss").string()));
    ASSERT_TRUE(qss.open(QIODevice::ReadOnly));
    const QString sheet = QString::fromUtf8(qss.readAll());
    static const QRegularExpression url(R"(url\(([^)]+)\))");
    int count = 0;
    for (auto it = url.globalMatch(sheet); it.hasNext(); ++count) {
        const QString file = it.next().captured(1);
        EXPECT_TRUE(fs::exists(skin() / file.toStdString())) << file.toStdString();
    }
    EXPECT_GT(count, 5);
    for (const char* image : kCodeImages)
        EXPECT_TRUE(fs::exists(skin() / image)) << image;
}

}  // namespace
}  // namespace velqa::test
