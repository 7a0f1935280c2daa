#include "app/main_wnd.h"

#include <json/json.h>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QScreen>
#include <QStyle>

#include "app/messages.h"
#include "app/startup.h"
#include "platform/debug_output.h"
#include "platform/ipc/program_channel.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/font_table.h"
#include "platform/ui/language.h"
#include "platform/ui/menu.h"
#include "platform/ui/resources.h"
#include "ui/custom_controls.h"

namespace velqa::app {
namespace pui = platform::ui;
namespace fs = std::filesystem;

namespace {

constexpr int kDpiTimer = 1011;
constexpr int kTrayMenuTimer = 1032;
constexpr QSize kLaidOutSize(1000, 640);

constexpr const char* kCaptionNames[] = {"closebtn", "maxbtn",       "restorebtn",
                                         "minbtn",   "skinbtn",      "gamemodebtn",
                                         "cloudbtn", "smarteyesbtn", "setbtn"};
constexpr const char* kTabNames[] = {"performance_Op_tab", "key_Op_tab", "macro_Op_tab",
                                     "system_Op_tab", "About_Op_tab"};

// Layout tags the main window creates itself: a factory class, or a nested layout file.
struct TagRow {
    const char* tag;
    const char* factory_class;  // nullptr: nested layout
    const char* layout;
};
constexpr TagRow kTagTable[] = {
    {"CircleProgress", "CCircleProgressUI", nullptr},
    {"SelectPanel", "CSelectPanelUI", nullptr},
    {"DeviceKeyButton", "CDeviceKeyButtonUI", nullptr},
    {"HandImgButton", "CHandImgButtonUI", nullptr},
    {"AudioRecord", "CAudioRecordUI", nullptr},
    {"HandImgSelectButton", "CHandImgSelectButtonUI", nullptr},
    {"RedioMacroButton", "CRedioMacroButtonUI", nullptr},
    {"ComboEditContainerElement", "CComboEditContainerElementUI", nullptr},
    {"ZentovaMousePadDevice", "CZentovaMousePadDevice", nullptr},
    {"ZentovaDA6533Device", "CZentovaDA6533Device", nullptr},
    {"ZentovaMouseDevice", "CZentovaMouseDevice", nullptr},
    {"ZentovaKeyboardDevice", "CZentovaKeyboardDevice", nullptr},
    {"DeviceProfile", "CDeviceProfileUI", nullptr},
    {"LightControl", "CLightControlUI", nullptr},
    {"MagicControl", "CMagicControlUI", nullptr},
    {"Voice6533Control", "CVoice6533ControlUI", nullptr},
    {"KeySetControl", "CKeySetControlUI", nullptr},
    {"ShootControl", "CShootControlUI", nullptr},
    {"DeviceProfileUI", nullptr, "XML\\CustomControlXML\\DeviceProfile.xml"},
    {"LightSetControlUI", nullptr, "XML\\CustomControlXML\\LightControl.xml"},
    {"Voice6533SetControlUI", nullptr, "XML\\CustomControlXML\\Voice6533Control.xml"},
    {"MagicSetControlUI", nullptr, "XML\\CustomControlXML\\MagicControl.xml"},
    {"KeySetControlUI", nullptr, "XML\\CustomControlXML\\KeySetControl.xml"},
    {"MacroSetControlUI", nullptr, "XML\\CustomControlXML\\MacroControl.xml"},
    {"ShootKeySetControlUI", nullptr, "XML\\CustomControlXML\\ShootControl.xml"},
    {"VirtualSetControlUI", nullptr, "XML\\CustomControlXML\\VirtualSet.xml"},
};

// The font table of the windows, rebuilt on every language change.
constexpr struct {
    int id;
    pui::FontSpec font;
} kFonts[] = {
    {pui::FontTable::kDefault, {13, false, false}},
    {0, {15, false, false}},
    {1, {14, false, true}},
    {2, {18, false, false}},
    {3, {30, false, false}},
    {4, {16, false, false}},
    {5, {20, false, false}},
    {6, {22, false, false}},
    {7, {14, false, false}},
    {8, {12, false, false}},
    {9, {11, false, false}},
    {10, {10, false, false}},
    {11, {28, false, false}},
    {26, {26, true, false}},
    {50, {14, true, false}},
    {51, {16, true, false}},
};

}  // namespace

CMainWnd::CMainWnd(fs::path default_data, fs::path user_data, platform::SettingsStore settings,
                   platform::ipc::ProgramChannel* channel,
                   std::shared_ptr<platform::hid::HidBackend> hid)
    : default_data_(std::move(default_data)),
      user_data_(std::move(user_data)),
      settings_(std::move(settings)),
      channel_(channel),
      hid_(std::move(hid)),
      audio_styles_(std::make_unique<Json::Value>()) {
    aux_windows_.resize(4);
    // The window manager's close ends the program like the close message does.
    connect(this, &Window::closed, this, [this] { on_destroy(); });
    set_caption_height(56);
}

CMainWnd::~CMainWnd() = default;

const Json::Value& CMainWnd::audio_styles() const {
    return *audio_styles_;
}

QWidget* CMainWnd::create_control(const QString& class_name) {
    for (const TagRow& row : kTagTable) {
        if (class_name.compare(QLatin1String(row.tag), Qt::CaseInsensitive) != 0)
            continue;
        if (row.factory_class != nullptr) {
            const QString factory_class = QLatin1String(row.factory_class);
            if (QWidget* control = pui::ControlFactory::instance().create_control(factory_class)) {
                return control;
            }
            // The mouse and keyboard pages are the main window's own classes; until they are
            // registered, a placeholder keeps their layouts building.
            if (factory_class == QLatin1String("CZentovaMouseDevice") ||
                factory_class == QLatin1String("CZentovaKeyboardDevice")) {
                return new ui::PlaceholderControl(factory_class);
            }
            return nullptr;
        }
        return build_layout(QLatin1String(row.layout));
    }
    return nullptr;
}

void CMainWnd::init_window() {
    pui::LanguageTexts::instance().load_language(QStringLiteral("lan_cn.xml"));
    for (int i = 0; i < 9; ++i)
        caption_[i] = find_control(QLatin1String(kCaptionNames[i]));
    for (int i = 0; i < 5; ++i)
        tabs_[i] = find_control(QLatin1String(kTabNames[i]));
    const QString icon = QString::fromStdString(
        pui::Resources::instance().resolve(QStringLiteral("common/logo.png")).string());
    setWindowIcon(QIcon(icon));
    tray_.create(this, QStringLiteral("common/logo.png"), QStringLiteral("ZARN_VELQA_R260"));
}

void CMainWnd::notify(pui::Notification& msg) {
    const QString name = msg.sender_name();
    if (msg.type != "timer") {
        platform::debug_printf("%s %s", msg.type.c_str(), name.toUtf8().constData());
    }
    if (msg.type == "windowinit") {
        on_window_init();
    } else if (msg.type == "click") {
        on_click(name);
    } else if (msg.type == "selectchanged") {
        on_select_changed(name, msg.wparam != 0);
    } else if (msg.type == "timer") {
        on_timer(msg.sender, static_cast<int>(msg.wparam));
    }
}

void CMainWnd::on_window_init() {
    if (channel_ != nullptr)
        channel_->broadcast(QLatin1String(kAnnounceName), 1, 1);
    apply_language(read_language_index(settings_, default_data_));
    pui::set_selected(tabs_[kPerformanceTab], true);
    if (QScreen* s = screen(); s != nullptr)
        screen_size_ = s->geometry().size();
    hide();
    set_timer(root(), kDpiTimer, 100);
    *audio_styles_ = load_audio_styles(user_data_, default_data_);
    // Until the device scan exists, start-up ends here: the window comes forward the way the
    // scan's first pass would bring it.
    post_message(registered_messages().identity, 0, 0);
}

bool CMainWnd::apply_language(int index) {
    if (index == language_index_)
        return false;
    const auto languages = read_language_config(default_data_);
    if (index < 0 || static_cast<std::size_t>(index) >= languages.size()) {
        platform::debug_printf("language %d is not in Language.config", index);
        return false;
    }
    auto& fonts = pui::FontTable::instance();
    fonts.remove_all_fonts();
    fonts.set_face(QStringLiteral("MiSans Normal"));
    for (const auto& f : kFonts)
        fonts.add_font(f.id, f.font);
    language_index_ = index;
    const LanguageEntry& entry = languages[static_cast<std::size_t>(index)];
    auto& texts = pui::LanguageTexts::instance();
    texts.set_language(entry.name);
    texts.load_language(entry.file);
    reload_text();
    apply_fonts();
    write_language_id(settings_, entry.id);
    update();
    for (const auto& aux : aux_windows_) {
        if (aux != nullptr && aux->isVisible())
            aux->send_message(kMsgLanguage, 0, 0);
    }
    if (root() != nullptr)
        root()->updateGeometry();
    return true;
}

void CMainWnd::apply_dpi() {
    const bool was_visible = isVisible() && !isMinimized();
    if (!was_visible)
        showNormal();
    int dpi = 96;
    if (QScreen* s = screen(); s != nullptr) {
        const QRect r = s->geometry();
        if (r.width() > 1500 && r.height() > 960)
            dpi = 144;
    }
    if (!is_valid_dpi(dpi)) {
        platform::debug_output("MAIN_WND DPI SET ERROR");
        dpi = 96;
    }
    set_all_dpi(96);
    set_base_size(kLaidOutSize);
    set_all_dpi(dpi);
    center_window();
    if (was_visible) {
        show();
    } else {
        hide();
    }
}

int CMainWnd::visible_tiles() const {
    QWidget* strip = find_control(QStringLiteral("device_select_layout"));
    if (strip == nullptr)
        return 0;
    int count = 0;
    for (QWidget* tile : strip->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!tile->isHidden())
            ++count;
    }
    return count;
}

void CMainWnd::update_no_device_banner() {
    if (QWidget* banner = find_control(QStringLiteral("No_device_Link"))) {
        banner->setVisible(visible_tiles() == 0);
    }
}

void CMainWnd::bring_forward() {
    update_no_device_banner();
    showNormal();
    raise();
    activateWindow();
}

void CMainWnd::toggle_from_tray() {
    update_no_device_banner();
    close_aux_windows();
    if (isVisible() && !isMinimized()) {
        hide();
        return;
    }
    apply_dpi();
    bring_forward();
}

void CMainWnd::close_aux_windows() {
    for (const auto& aux : aux_windows_) {
        if (aux != nullptr)
            aux->send_message(pui::kMsgClose, 0, 0);
    }
}

void CMainWnd::set_aux_window(int slot, pui::Window* window) {
    if (slot >= 0 && static_cast<std::size_t>(slot) < aux_windows_.size()) {
        aux_windows_[static_cast<std::size_t>(slot)] = window;
    }
}

void CMainWnd::on_click(const QString& name) {
    auto is = [&name](const char* candidate) {
        return name.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0;
    };
    if (is("closebtn")) {
        close_aux_windows();
        // Without a tray icon a hidden window could not be found again: closing ends the
        // program instead.
        if (!tray_.visible()) {
            close_window(0);
            return;
        }
        hide();
    } else if (is("nodevice_ok_btn")) {
        // Hidden without a tray icon the window could not be found again; it is minimised.
        if (tray_.visible()) {
            hide();
        } else {
            showMinimized();
        }
    } else if (is("minbtn")) {
        showMinimized();
    } else if (is("maxbtn")) {
        showMaximized();
    } else if (is("restorebtn")) {
        showNormal();
    }
}

void CMainWnd::on_select_changed(const QString& name, bool selected) {
    if (!selected)
        return;
    for (int i = 0; i < 5; ++i) {
        if (tabs_[i] != nullptr && name.compare(tabs_[i]->objectName(), Qt::CaseInsensitive) == 0) {
            // Only one top tab shows as selected.
            for (int j = 0; j < 5; ++j) {
                if (j != i)
                    pui::set_selected(tabs_[j], false, false);
            }
            pui::set_selected(tabs_[i], true, false);
        }
    }
}

void CMainWnd::on_timer(QWidget* control, int id) {
    kill_timer(control, id);
    if (id == kDpiTimer) {
        apply_dpi();
        update();
        dpi_applied_ = true;
        maybe_settle();
    } else if (id == kTrayMenuTimer) {
        pui::popup_menu(QStringLiteral("menu.xml"), this, QCursor::pos());
    }
}

void CMainWnd::maybe_settle() {
    if (settled_ || !dpi_applied_ || !isVisible())
        return;
    settled_ = true;
    emit settled();
}

void CMainWnd::on_destroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    tray_.remove();
    platform::debug_output("退出测试");
    hide();
    release_blocked_senders();
    // The audio-record companion learns that the program ends.
    if (channel_ != nullptr) {
        for (long long w : {2, 4, 5})
            channel_->broadcast(QLatin1String(kCompanionName), w, 0);
    }
    emit destroying();
    QCoreApplication::quit();
}

pui::LResult CMainWnd::handle_custom_message(unsigned message, pui::WParam wparam,
                                             pui::LParam lparam, bool& handled) {
    const RegisteredMessages& ids = registered_messages();
    if (message == ids.identity) {
        platform::debug_printf("软件标示 %u，%lxd%lxd", message, static_cast<unsigned long>(wparam),
                               static_cast<unsigned long>(lparam));
        bring_forward();
        maybe_settle();
        handled = true;
        return 0;
    }
    if (message == ids.light_control && wparam == 1) {
        pui::set_text(find_control(QStringLiteral("control_light_status")),
                      lparam == 0 ? QStringLiteral("不控制灯光") : QStringLiteral("控制灯光"));
        handled = true;
        return 0;
    }
    switch (message) {
        case pui::kMsgClose:
            on_destroy();
            handled = true;
            return 0;
        case kMsgLanguage:
            apply_language(static_cast<int>(wparam));
            handled = true;
            return 0;
        case kMsgShowNoDevice:
        case kMsgHideNoDevice:
            if (QWidget* banner = find_control(QStringLiteral("No_device_Link"))) {
                banner->setVisible(message == kMsgShowNoDevice);
            }
            handled = true;
            return 0;
        case kMsgDeviceLogo:
            if (wparam == 0x3950) {
                pui::set_bk_image(find_control(QStringLiteral("device_logo_layout")),
                                  QStringLiteral("file='power/r260.png'"));
            }
            handled = true;
            return 0;
        case kMsgProgress:
            if (QWidget* progress = find_control(QStringLiteral("setting_progress"))) {
                progress->show();
            }
            handled = true;
            return 0;
        case kMsgClearSetBadge:
            if (QWidget* set = caption_[kSet]) {
                // The badge that announced an update is the button's foreground image.
                set->setProperty("badge", false);
                set->style()->unpolish(set);
                set->style()->polish(set);
            }
            handled = true;
            return 0;
        case kMsgDpiChanged:
            platform::debug_output("界面 DPI 1发生变化");
            handled = true;
            return 0;
        case pui::kMsgTrayIcon:
            if (static_cast<unsigned>(lparam) == pui::kMouseLButtonUp) {
                toggle_from_tray();
            } else if (static_cast<unsigned>(lparam) == pui::kMouseRButtonUp) {
                set_timer(root(), kTrayMenuTimer, 10);
            }
            handled = true;
            return 0;
        case pui::kMsgMenuCommand: {
            auto cmd = pui::take_menu_command(wparam);
            handled = true;
            if (cmd && cmd->name == QLatin1String("exit")) {
                close_aux_windows();
                // The orderly road: workers stop before the process ends.
                on_destroy();
            }
            return 0;
        }
        default:
            return 0;
    }
}

}  // namespace velqa::app
