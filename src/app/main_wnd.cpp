#include "app/main_wnd.h"

#include <json/json.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "app/device_hook.h"
#include "app/messages.h"
#include "app/notify_routes.h"
#include "app/profile_switcher.h"
#include "app/startup.h"
#include "device/model/mouse_settings.h"
#include "device/model/ui/keyboard_device.h"
#include "device/model/ui/mouse_device.h"
#include "macro/ui/keyset_control.h"
#include "macro/ui/macro_control.h"
#include "macro/ui/shoot_control.h"
#include "platform/debug_output.h"
#include "platform/ipc/program_channel.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/deferred_control.h"
#include "platform/ui/desktop.h"
#include "platform/ui/font_table.h"
#include "platform/ui/language.h"
#include "platform/ui/menu.h"
#include "platform/ui/resources.h"
#include "profile/ui/device_profile_ui.h"
#include "profile/ui/light_control.h"
#include "ui/about_wnd.h"
#include "ui/custom_controls.h"
#include "ui/device_option.h"
#include "ui/mp_device_power.h"
#include "ui/msg_wnd.h"

namespace velqa::app {
namespace pui = platform::ui;
namespace fs = std::filesystem;

static_assert(ui::kMsgAboutLanguage == kMsgLanguage);

namespace {

constexpr int kDpiTimer = 1011;
constexpr int kTrayMenuTimer = 1032;
constexpr int kProfileApplyTimer = 1055;
constexpr int kProfileApplyMs = 400;
// How long a screenshot waits for the first page to load before it renders what it has.
constexpr int kSettleDeadlineMs = 8000;
// How long a shown window waits for its first frame before it starts its devices anyway.
constexpr int kFirstPaintWaitMs = 1000;
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

void install_font_table() {
    auto& fonts = pui::FontTable::instance();
    fonts.remove_all_fonts();
    fonts.set_face(QStringLiteral("MiSans Normal"));
    for (const auto& f : kFonts)
        fonts.add_font(f.id, f.font);
}

}  // namespace

int dpi_for_screen(QSize size) {
    return size.width() > 1500 && size.height() > 960 ? 144 : 96;
}

int dpi_for_desktop(QSize size, QSize available, double ratio, QSize base) {
    const bool scaled = ratio > 1.01;
    const int wanted = scaled ? 96 : dpi_for_screen(size);
    constexpr int kSteps[] = {192, 168, 144, 120, 96, 72, 48};
    int dpi = wanted;
    for (const int step : kSteps) {
        if (step > wanted)
            continue;
        // Texts below their unscaled size at 96 DPI would be too small to read.
        if (step * std::max(ratio, 1.0) < 96.0 - 0.01)
            break;
        dpi = step;
        if (!available.isValid() || (base * step / 96).boundedTo(available) == base * step / 96)
            break;
    }
    return dpi;
}

CMainWnd::CMainWnd(fs::path default_data, fs::path user_data, platform::SettingsStore settings,
                   platform::ipc::ProgramChannel* channel,
                   std::shared_ptr<platform::hid::HidBackend> hid,
                   std::shared_ptr<const link::DeviceCatalog> catalog)
    : default_data_(std::move(default_data)),
      user_data_(std::move(user_data)),
      settings_(std::move(settings)),
      channel_(channel),
      audio_styles_(std::make_unique<Json::Value>()),
      devices_(std::make_unique<DeviceManager>(static_cast<DeviceManagerHost&>(*this),
                                               default_data_, user_data_, std::move(hid),
                                               std::move(catalog))),
      recorder_(std::make_unique<RecordingController>(
          *this, *devices_, [this](bool on) { set_recording_controls_enabled(on); })),
      pointer_(std::make_unique<DesktopPointer>(nullptr, settings_, this)),
      messages_(build_message_table()) {
    aux_windows_.resize(4);
    // The window holds the focus itself until the user picks a control: given to the first
    // edit, the focus would pass through a DPI field and commit it.
    setFocusPolicy(Qt::StrongFocus);
    // The window manager's close ends the program like the close message does.
    connect(this, &Window::closed, this, [this] { on_destroy(); });
    set_caption_height(56);
    // The device pages come after the first paint; a control of theirs looked up before that
    // builds them at once.
    set_late_parts([this] { return devices_->create_initial_pages(); });
    // The layouts look their texts up as they are built, before the window applies the
    // language.
    // The controls get their final fonts as they are attached: set later, each font change
    // would restyle the whole window before its first frame.
    install_font_table();
    if (load_stored_language_texts(settings_, default_data_))
        preloaded_language_ = read_language_index(settings_, default_data_);
}

void CMainWnd::set_desktop_pointer(std::shared_ptr<platform::desktop::PointerSettings> backend) {
    pointer_ = std::make_unique<DesktopPointer>(std::move(backend), settings_, this);
}

void CMainWnd::mouse_page_added(model::CZentovaMouseDevice& page) {
    recorder_->bind(page);
    pointer_->bind(page);
}

CMainWnd::~CMainWnd() {
    // The workers use the slot list and post to this window: they end before either goes. A
    // scan pass may be waiting for this thread to take its message: it is let go first, or the
    // two would wait for each other.
    release_blocked_senders();
    devices_->stop_workers();
}

const Json::Value& CMainWnd::audio_styles() const {
    return *audio_styles_;
}

QWidget* CMainWnd::create_control(const QString& class_name) {
    // The About tab's pane is built when the tab is first shown or something asks for it: it is
    // hidden at start, and building and polishing it cost every start about a millisecond.
    if (class_name.compare(QLatin1String(ui::AboutPanel::kClassName), Qt::CaseInsensitive) == 0) {
        return new pui::DeferredControl(ui::AboutPanel::staticMetaObject, [] {
            return pui::ControlFactory::instance().create_control(
                QLatin1String(ui::AboutPanel::kClassName));
        });
    }
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
    // Chinese is the fallback when no stored language could be read.
    if (preloaded_language_ < 0)
        pui::LanguageTexts::instance().load_language(QStringLiteral("lan_cn.xml"));
    for (int i = 0; i < 9; ++i)
        caption_[i] = find_control(QLatin1String(kCaptionNames[i]));
    for (int i = 0; i < 5; ++i)
        tabs_[i] = find_control(QLatin1String(kTabNames[i]));
    // Ctrl+Tab and Ctrl+Shift+Tab step through the top tabs, as in a browser.
    for (const auto& [keys, step] :
         {std::pair{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
          std::pair{QKeySequence(Qt::CTRL | Qt::Key_Backtab), -1},
          std::pair{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1},
          std::pair{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1}}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this, step = step] { step_tab(step); });
    }
    // The theme gives the no-device picture its image once it shows (see eventFilter).
    no_device_picture_ = find_control(QStringLiteral("device_logo_layout"));
    if (no_device_picture_ != nullptr)
        no_device_picture_->installEventFilter(this);
    const QString icon = QString::fromStdString(
        pui::Resources::instance().resolve(QStringLiteral("common/logo.png")).string());
    setWindowIcon(QIcon(icon));
    tray_.create(this, QStringLiteral("common/logo.png"), QStringLiteral("ZARN_VELQA_R260"));
    refresh_tray();
    // The about pane and window list the devices linked now.
    if (auto* deferred = find_control_as<pui::DeferredControl>(QStringLiteral("about_panel"))) {
        connect(deferred, &pui::DeferredControl::created, this, [this](QWidget* made) {
            if (auto* about = qobject_cast<ui::AboutPanel*>(made))
                about->set_source(about_source());
        });
    } else if (ui::AboutPanel* about = about_pane(false)) {
        about->set_source(about_source());
    }
    connect(this, &CMainWnd::tiles_changed, this, &CMainWnd::refresh_about);
}

void CMainWnd::step_tab(int step) {
    int at = 0;
    for (int i = 0; i < 5; ++i) {
        if (pui::is_selected(tabs_[i]))
            at = i;
    }
    for (int n = 1; n < 5; ++n) {
        auto* tab = qobject_cast<QAbstractButton*>(tabs_[(at + step * n + 5 * n) % 5]);
        if (tab != nullptr && tab->isVisible() && tab->isEnabled()) {
            tab->click();
            tab->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void CMainWnd::notify(pui::Notification& msg) {
    const QString name = msg.sender_name();
    if (msg.type != "timer") {
        platform::debug_printf("%s %s", msg.type.c_str(), name.toUtf8().constData());
    }
    if (msg.type == "windowinit") {
        on_window_init();
    } else if (msg.type == "timer") {
        on_timer(msg.sender, static_cast<int>(msg.wparam));
    } else if (msg.type == "windowsize") {
        if (display_change_pending_ && msg.sender == root()) {
            display_change_pending_ = false;
            apply_dpi();
        }
    } else if (msg.type == "click_wpremove" || msg.type == "click_wpedit") {
        return;
    } else if (msg.type == "selectchanged" && qobject_cast<ui::CMpDevicePowerUI*>(msg.sender)) {
        open_power_settings();
    } else {
        route(msg);
    }
}

void CMainWnd::route(pui::Notification& msg) {
    const QString name = msg.sender_name();
    const auto target = route_notification(msg.type, name.toStdString());
    if (!target)
        return;
    model::CZentovaUSBDevice* page = devices_->selected_page();
    switch (target->owner) {
        case RouteOwner::Window:
            if (msg.type == "click") {
                on_click(name, target->index);
            } else if (msg.type == "selectchanged") {
                if (msg.wparam != 0)
                    on_tab_selected(name);
            } else if (msg.type == "movevaluechanged") {
                // The value shows in the stage's edit while the slider is dragged.
                pui::set_text(find_control(QStringLiteral("tavix_DPI_edit_") +
                                           QString::number(target->index)),
                              QString::number(static_cast<int>(msg.wparam)));
            } else if (msg.type == "setfocus") {
                // The key field captures keys: the capture goes on while it has the focus.
                send_message(kMsgHook, 1, 0);
            }
            return;
        case RouteOwner::Tile:
            devices_->on_tile_notify(msg.sender, name, msg.wparam != 0);
            return;
        case RouteOwner::MousePage:
            // The keyboard shares the polling and repeat-delay option names.
            if (qobject_cast<model::CZentovaMouseDevice*>(page) != nullptr ||
                qobject_cast<model::CZentovaKeyboardDevice*>(page) != nullptr)
                page->notify(msg);
            return;
        case RouteOwner::SelectedPage:
            if (page == nullptr)
                return;
            if (msg.type == "click" && target->index >= 0) {
                page->select_key(target->index);
                return;
            }
            page->notify(msg);
            return;
        case RouteOwner::KeyboardPage:
            if (page != nullptr && page->device_type() == link::TypeKeyboard)
                page->notify(msg);
            return;
        case RouteOwner::Profile:
            if (auto* profiles = devices_->selected_profile_control())
                profiles->on_notify(msg);
            // A profile picked in the combo is applied once the choice has settled.
            if (msg.type == "itemselect")
                set_timer(root(), kProfileApplyTimer, kProfileApplyMs);
            return;
        case RouteOwner::Lighting:
            if (auto* mouse = qobject_cast<model::CZentovaMouseDevice*>(page)) {
                if (profile::CLightControlUI* light = mouse->light_editor())
                    light->on_notify(msg);
            } else if (auto* keyboard = qobject_cast<model::CZentovaKeyboardDevice*>(page)) {
                if (profile::CLightControlUI* light = keyboard->light_editor())
                    light->on_notify(msg);
            }
            return;
        case RouteOwner::Macro:
            if (auto* mouse = qobject_cast<model::CZentovaMouseDevice*>(page)) {
                if (macro::CMacroControlUI* macros = mouse->macro_editor())
                    macros->on_notify(msg);
            }
            return;
        case RouteOwner::KeySet:
            // The key field captures keys only while it has the focus.
            if (msg.type == "killfocus" && name == QLatin1String("keyset_keyboard_text_edit"))
                send_message(kMsgHook, 0, 0);
            if (auto* mouse = qobject_cast<model::CZentovaMouseDevice*>(page)) {
                if (macro::CKeySetControlUI* keys = mouse->keyset_editor())
                    keys->on_notify(msg);
            }
            return;
        case RouteOwner::Shoot:
            if (auto* mouse = qobject_cast<model::CZentovaMouseDevice*>(page)) {
                if (macro::CShootControlUI* shoot = mouse->shoot_editor())
                    shoot->on_notify(msg);
            }
            return;
        case RouteOwner::About:
            if (ui::AboutPanel* about = about_pane(false))
                about->on_notify(msg);
            return;
        case RouteOwner::AudioLight:
        case RouteOwner::Headset:
            // Their editors are not part of the window yet.
            return;
    }
}

void CMainWnd::show_tab(const QString& tab_name) {
    // "key_Op_tab:1": the tab, then that option of the page's own switch.
    const QString name = tab_name.section(QLatin1Char(':'), 0, 0);
    const QString option = tab_name.section(QLatin1Char(':'), 1);
    if (!option.isEmpty()) {
        if (auto* mouse = qobject_cast<model::CZentovaMouseDevice*>(devices_->selected_page()))
            mouse->show_key_page(option.toInt());
    }
    QWidget* tab = find_control(name);
    if (tab == nullptr)
        return;
    {
        NotifySuppressor quiet(*this);
        pui::set_selected(tab, true);
    }
    on_tab_selected(name);
}

void CMainWnd::open_power_settings() {
    // The battery widget leads to where sleep and power are set: Performance, "Sensor and power".
    show_tab(QStringLiteral("performance_Op_tab"));
    if (auto* mouse = qobject_cast<model::CZentovaMouseDevice*>(devices_->selected_page()))
        pui::set_selected(mouse->find(QStringLiteral("mouse_device_seting_option_1")), true);
}

void CMainWnd::on_window_init() {
    if (channel_ != nullptr)
        channel_->broadcast(QLatin1String(kAnnounceName), 1, 1);
    if (trace_ != nullptr)
        trace_->mark("window");
    apply_language(read_language_index(settings_, default_data_));
    if (trace_ != nullptr)
        trace_->mark("language");
    pui::set_selected(tabs_[kPerformanceTab], true);
    if (QScreen* s = screen(); s != nullptr)
        screen_size_ = s->geometry().size();
    set_timer(root(), kDpiTimer, 100);
    *audio_styles_ = load_audio_styles(user_data_, default_data_);
    // The window comes up first, laid out for its screen; the device pages and the scan start
    // once its first frame is out. One that starts in the tray paints nothing: its devices
    // start now.
    if (start_hidden_) {
        hide();
        start_devices();
    } else {
        bring_forward();
        apply_dpi();
        QTimer::singleShot(kFirstPaintWaitMs, this, [this] { start_devices(); });
    }
    // Display changes: the window is laid out again for its screen.
    auto display_changed = [this] {
        platform::debug_output("显示器分辨率发生变化");
        display_change_pending_ = true;
        apply_dpi();
    };
    connect(qApp, &QGuiApplication::screenAdded, this, display_changed);
    connect(qApp, &QGuiApplication::screenRemoved, this, display_changed);
    for (QScreen* each : QGuiApplication::screens())
        connect(each, &QScreen::geometryChanged, this, display_changed);
}

bool CMainWnd::apply_language(int index) {
    if (index == language_index_)
        return false;
    const auto languages = read_language_config(default_data_);
    if (index < 0 || static_cast<std::size_t>(index) >= languages.size()) {
        platform::debug_printf("language %d is not in Language.config", index);
        return false;
    }
    install_font_table();
    language_index_ = index;
    const LanguageEntry& entry = languages[static_cast<std::size_t>(index)];
    auto& texts = pui::LanguageTexts::instance();
    texts.set_language(entry.name);
    // The stored language's texts were loaded before the layout, and its controls took their
    // texts and fonts as they were attached: the first frame does not wait for a second pass.
    const bool attached_in_this_language = index == preloaded_language_;
    if (!attached_in_this_language)
        texts.load_language(entry.file);
    preloaded_language_ = -1;
    if (!attached_in_this_language) {
        reload_text();
        apply_fonts();
    }
    refresh_about();
    write_language_id(settings_, entry.id);
    update();
    for (const auto& aux : aux_windows_) {
        if (aux != nullptr && aux->isVisible())
            aux->send_message(kMsgLanguage, 0, 0);
    }
    if (root() != nullptr)
        root()->updateGeometry();
    refresh_tray();
    pointer_->retranslate();
    return true;
}

void CMainWnd::apply_dpi() {
    const bool was_visible = isVisible() && !isMinimized();
    const bool was_minimised = isVisible() && isMinimized();
    if (!was_visible)
        showNormal();
    int dpi = 96;
    if (QScreen* s = screen(); s != nullptr) {
        dpi = dpi_for_desktop(s->geometry().size(), s->availableGeometry().size(),
                              s->devicePixelRatio(), kLaidOutSize);
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
    } else if (was_minimised) {
        // Without a tray icon a minimised window is the only way back to it.
        showMinimized();
    } else {
        hide();
    }
}

void CMainWnd::bring_forward() {
    devices_->update_no_device_banner();
    tell_pages_window_shown(true);
    if (focusWidget() == nullptr)
        setFocus();
    showNormal();
    raise();
    activateWindow();
}

void CMainWnd::changeEvent(QEvent* event) {
    Window::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        tell_pages_window_shown(isVisible() && !isMinimized());
}

bool CMainWnd::event(QEvent* event) {
    // Through the message table, as every other window message.
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
        post_message(kMsgActivate, event->type() == QEvent::WindowActivate ? 1 : 0, 0);
    return Window::event(event);
}

void CMainWnd::enterEvent(QEnterEvent* event) {
    Window::enterEvent(event);
    post_message(kMsgMouseHover, 0, 0);
}

void CMainWnd::leaveEvent(QEvent* event) {
    Window::leaveEvent(event);
    post_message(kMsgMouseLeave, 0, 0);
}

void CMainWnd::showEvent(QShowEvent* event) {
    Window::showEvent(event);
    tell_pages_window_shown(!isMinimized());
    if (QWindow* handle = windowHandle())
        handle->installEventFilter(this);
}

bool CMainWnd::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched == no_device_picture_) {
        no_device_picture_->removeEventFilter(this);
        no_device_picture_->setProperty("shown", true);
        no_device_picture_->style()->unpolish(no_device_picture_);
        no_device_picture_->style()->polish(no_device_picture_);
        no_device_picture_ = nullptr;
    }
    if (event->type() == QEvent::Expose && watched == windowHandle()) {
        const bool exposed = windowHandle()->isExposed();
        if (!first_paint_seen_ && exposed) {
            first_paint_seen_ = true;
            // The expose paints the window; the devices come once that frame is out.
            QTimer::singleShot(0, this, [this] { on_first_paint(); });
        }
        tell_pages_window_shown(isVisible() && !isMinimized() && exposed);
    }
    return Window::eventFilter(watched, event);
}

void CMainWnd::on_first_paint() {
    if (trace_ != nullptr)
        trace_->mark("first paint");
    platform::debug_output("first paint");
    start_devices();
    show_start_notices();
}

void CMainWnd::add_start_notice(const char* text_id, const std::string& detail) {
    start_notices_.emplace_back(QString::fromLatin1(text_id), QString::fromStdString(detail));
    if (first_paint_seen_)
        show_start_notices();
}

void CMainWnd::show_start_notices() {
    // Queued: the message window waits for the user, and the devices have started first.
    QTimer::singleShot(0, this, [this] {
        const auto notices = std::exchange(start_notices_, {});
        for (const auto& [id, detail] : notices) {
            const QString text = pui::LanguageTexts::instance().text(id).arg(detail);
            ui::show_message(this, QString(), text, dpi(), 0, 0);
        }
    });
}

void CMainWnd::start_devices() {
    if (devices_started_ || destroyed_)
        return;
    devices_started_ = true;
    const bool scanning = devices_->start();
    if (trace_ != nullptr)
        trace_->mark("device threads");
    // Without HID there is no scan: start-up ends here, as after a first pass that found
    // nothing.
    if (!scanning)
        post_message(registered_messages().identity, 0, 0);
}

void CMainWnd::hideEvent(QHideEvent* event) {
    Window::hideEvent(event);
    tell_pages_window_shown(false);
}

void CMainWnd::set_lighting_control(bool on) {
    pui::set_text(find_control(QStringLiteral("control_light_status")),
                  on ? QStringLiteral("控制灯光") : QStringLiteral("不控制灯光"));
    devices_->set_lighting_control(on);
}

void CMainWnd::set_recording_controls_enabled(bool on) {
    if (QWidget* strip = find_control(QStringLiteral("device_select_layout")))
        strip->setEnabled(on);
    for (int tab = 0; tab < 5; ++tab) {
        if (tabs_[tab] != nullptr && tab != kMacroTab)
            tabs_[tab]->setEnabled(on);
    }
}

void CMainWnd::shown_page_lost() {
    close_aux_windows();
    recorder_->release();
}

void CMainWnd::toggle_from_tray() {
    devices_->update_no_device_banner();
    close_aux_windows();
    if (isVisible() && !isMinimized()) {
        hide();
        tell_pages_window_shown(false);
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

void CMainWnd::close_aux_window(int slot) {
    if (slot >= 0 && static_cast<std::size_t>(slot) < aux_windows_.size()) {
        if (const auto& aux = aux_windows_[static_cast<std::size_t>(slot)]; aux != nullptr)
            aux->send_message(pui::kMsgClose, 0, 0);
    }
}

void CMainWnd::set_aux_window(int slot, pui::Window* window) {
    if (slot >= 0 && static_cast<std::size_t>(slot) < aux_windows_.size()) {
        aux_windows_[static_cast<std::size_t>(slot)] = window;
    }
}

void CMainWnd::on_click(const QString& name, int index) {
    auto is = [&name](const char* candidate) {
        return name.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0;
    };
    if (index >= 0) {
        // "windowdeviceset_" N: the desktop's keyboard (0) or mouse (1) settings.
        open_device_settings(index);
        return;
    }
    if (is("closebtn")) {
        close_aux_windows();
        // Without a tray icon a hidden window could not be found again: closing ends the
        // program instead.
        if (!tray_.visible()) {
            close_window(0);
            return;
        }
        hide();
        tell_pages_window_shown(false);
    } else if (is("nodevice_ok_btn")) {
        // Hidden without a tray icon the window could not be found again; it is minimised.
        if (tray_.visible()) {
            hide();
        } else {
            showMinimized();
        }
    } else if (is("no_device_allow_btn")) {
        devices_->allow_access();
    } else if (is("control_light_status")) {
        const bool on = !devices_->lighting_control();
        if (channel_ != nullptr)
            channel_->broadcast(QLatin1String(kAnnounceName), 1, on ? 1 : 0);
        set_lighting_control(on);
    } else if (is("minbtn")) {
        showMinimized();
    } else if (is("maxbtn")) {
        showMaximized();
    } else if (is("restorebtn")) {
        showNormal();
    } else if (is("default_btn")) {
        model::CZentovaUSBDevice* page = devices_->selected_page();
        if (page != nullptr && ui::show_message(this, QString(), QStringLiteral("message_text_22"),
                                                dpi(), 1, 1) == 1) {
            page->restore_defaults();
            // The desktop's pointer settings go back to what they were before our changes.
            if (auto* mouse = qobject_cast<model::CZentovaMouseDevice*>(page))
                pointer_->restore(*mouse);
        }
    } else if (is("device_select_prev")) {
        devices_->select_neighbour_tile(-1);
    } else if (is("device_select_next")) {
        devices_->select_neighbour_tile(1);
    } else if (is("network_btn")) {
        open_maker_page();
    } else if (is("setbtn")) {
        open_settings(false);
    }
}

void CMainWnd::on_tab_selected(const QString& name) {
    struct TabRow {
        const char* name;
        int code;
        int top;  // index into tabs_, -1: the highlight stays
    };
    static constexpr TabRow kTabs[] = {
        {"deng_Op_tab", 2, -1},           {"key_Op_tab", 2, kKeyTab},
        {"macro_Op_tab", 3, kMacroTab},   {"performance_Op_tab", 8, kPerformanceTab},
        {"system_Op_tab", 4, kSystemTab}, {"cursor_Op_tab", 5, -1},
        {"6533_voice_Op_tab", 6, -1},     {"magic_Op_tab", 7, -1},
        {"About_Op_tab", 9, kAboutTab},   {"Virtual7.1_Op_tab", 10, -1},
    };
    for (const TabRow& row : kTabs) {
        if (name.compare(QLatin1String(row.name), Qt::CaseInsensitive) != 0)
            continue;
        devices_->switch_function_page(row.code);
        if (row.top >= 0) {
            for (int j = 0; j < 5; ++j)
                pui::set_selected(tabs_[j], j == row.top, false);
            show_about_pane(row.top == kAboutTab);
        }
        return;
    }
}

void CMainWnd::on_timer(QWidget* control, int id) {
    // A tile's page stops (and restarts) its own timers.
    if (qobject_cast<ui::CDeviceOptionUI*>(control) == nullptr)
        kill_timer(control, id);
    if (id == kDpiTimer) {
        apply_dpi();
        update();
        dpi_applied_ = true;
        maybe_settle();
    } else if (id == kTrayMenuTimer) {
        pui::popup_menu(QStringLiteral("menu.xml"), this, QCursor::pos());
    } else if (id == kProfileApplyTimer) {
        if (auto* profiles = devices_->selected_profile_control())
            profiles->apply_selected();
    } else if (auto* t = qobject_cast<ui::CDeviceOptionUI*>(control)) {
        // A tile's timers drive its page's life cycle.
        if (auto* page = qobject_cast<model::CZentovaUSBDevice*>(t->page()))
            page->on_tile_timer(id);
    }
}

void CMainWnd::maybe_settle() {
    if (settled_ || !dpi_applied_ || !isVisible() || !devices_->first_pass_done())
        return;
    // A device found by the first pass settles once its page shows the device's values, or
    // when it does not answer in time.
    if (!settle_deadline_passed_ && !devices_->linked_mice_loaded()) {
        if (!settle_timer_started_) {
            settle_timer_started_ = true;
            QTimer::singleShot(kSettleDeadlineMs, this, [this] {
                settle_deadline_passed_ = true;
                maybe_settle();
            });
        }
        return;
    }
    settled_ = true;
    if (trace_ != nullptr) {
        trace_->mark("first page load");
        trace_->print_once(stderr);
    }
    emit settled();
}

void CMainWnd::on_destroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    tray_.remove();
    platform::debug_output("退出测试");
    hide();
    // The settings window and its downloads end first; a modal one ends its own loop.
    close_aux_windows();
    if (switcher_ != nullptr)
        switcher_->stop();
    // What was recorded is kept, and the keyboard goes back to the desktop.
    recorder_->release();
    // No worker may stay blocked on this window while it waits for them.
    release_blocked_senders();
    devices_->stop_workers();
    // The audio-record companion learns that the program ends.
    if (channel_ != nullptr) {
        for (long long w : {2, 4, 5})
            channel_->broadcast(QLatin1String(kCompanionName), w, 0);
    }
    emit destroying();
    // exit, not quit: quit asks every window to close first and gives up when one refuses (a
    // modal window), which left a terminating signal unanswered. exit ends every event loop,
    // nested ones included.
    QCoreApplication::exit(0);
}

std::vector<CMainWnd::MessageRow> CMainWnd::build_message_table() {
    using Asleep = WhileAsleep;
    const RegisteredMessages& ids = registered_messages();
    auto done = [](auto action) {
        return [action](pui::WParam w, pui::LParam l) -> pui::LResult {
            action(w, l);
            return 0;
        };
    };
    // Both relay names reach the settings window as the second one.
    const auto relay = done([this](pui::WParam w, pui::LParam l) {
        if (const auto& settings = aux_windows_[kSettingsWindow]; settings != nullptr)
            settings->post_message(registered_messages().relay_b, w, l);
    });
    std::vector<MessageRow> rows = {
        // Start-up, other programs, closing and the window's own state: also while asleep.
        {ids.identity, Asleep::Run, done([this](pui::WParam w, pui::LParam l) {
             platform::debug_printf("软件标示 %u，%lxd%lxd", registered_messages().identity,
                                    static_cast<unsigned long>(w), static_cast<unsigned long>(l));
             on_first_pass_done();
         })},
        {ids.relay_a, Asleep::Run, relay},
        {ids.relay_b, Asleep::Run, relay},
        {ids.light_control, Asleep::Run, done([this](pui::WParam w, pui::LParam l) {
             if (w == 1)
                 set_lighting_control(l != 0);
         })},
        {ids.tool_query, Asleep::Run, done([this](pui::WParam, pui::LParam) {
             if (channel_ != nullptr)
                 channel_->broadcast_data(5, devices_->tool_query_block());
         })},
        {pui::kMsgClose, Asleep::Run, done([this](pui::WParam, pui::LParam) { on_destroy(); })},
        {kMsgActivate, Asleep::Run,
         done([this](pui::WParam w, pui::LParam) { devices_->set_window_active(w != 0); })},
        {kMsgMouseHover, Asleep::Run, done([this](pui::WParam, pui::LParam) {
             platform::debug_output("鼠标移入");
             devices_->set_hovered(true);
         })},
        {kMsgMouseLeave, Asleep::Run, done([this](pui::WParam, pui::LParam) {
             platform::debug_output("鼠标移出");
             devices_->set_hovered(false);
         })},
        {kMsgPowerBroadcast, Asleep::Run, done([this](pui::WParam w, pui::LParam) {
             if (w == kPowerResume) {
                 devices_->set_asleep(false);
             } else if (w == kPowerSuspend) {
                 devices_->set_asleep(true);
             }
         })},
        // Devices that come and go while asleep are looked at again on resume.
        {kMsgDeviceArrived, Asleep::DeferSlot, done([this](pui::WParam w, pui::LParam) {
             devices_->on_device_arrived(static_cast<std::size_t>(w));
         })},
        {kMsgDeviceLost, Asleep::DeferSlot, done([this](pui::WParam w, pui::LParam) {
             devices_->on_device_lost(static_cast<std::size_t>(w));
         })},
        // Everything else waits for the computer to wake up.
        // A game's events light every device up in a colour of their own (or the one sent).
        {ids.game_start, Asleep::Drop, done([this](pui::WParam w, pui::LParam l) {
             devices_->on_game_event(GameEvent::Start, static_cast<long long>(w),
                                     static_cast<std::uint32_t>(l));
         })},
        {ids.game_end, Asleep::Drop, done([this](pui::WParam w, pui::LParam l) {
             devices_->on_game_event(GameEvent::End, static_cast<long long>(w),
                                     static_cast<std::uint32_t>(l));
         })},
        {ids.game_kill, Asleep::Drop, done([this](pui::WParam w, pui::LParam l) {
             devices_->on_game_event(GameEvent::Kill, static_cast<long long>(w),
                                     static_cast<std::uint32_t>(l));
         })},
        {ids.game_death, Asleep::Drop, done([this](pui::WParam w, pui::LParam l) {
             devices_->on_game_event(GameEvent::Death, static_cast<long long>(w),
                                     static_cast<std::uint32_t>(l));
         })},
        {kMsgTileLink, Asleep::Drop, done([this](pui::WParam w, pui::LParam l) {
             devices_->on_tile_link(static_cast<int>(w), l != 0);
         })},
        {kMsgAccessDenied, Asleep::Drop,
         done([this](pui::WParam, pui::LParam) { devices_->on_access_denied(); })},
        {model::MsgPowerStatus, Asleep::Drop,
         done([this](pui::WParam, pui::LParam) { on_power_status(); })},
        {kMsgLanguage, Asleep::Drop, done([this](pui::WParam w, pui::LParam) {
             apply_language(static_cast<int>(w));
             devices_->set_language(static_cast<int>(w));
         })},
        {kMsgShowNoDevice, Asleep::Drop, done([this](pui::WParam, pui::LParam) {
             if (QWidget* banner = find_control(QStringLiteral("No_device_Link")))
                 banner->setVisible(true);
         })},
        {kMsgHideNoDevice, Asleep::Drop, done([this](pui::WParam, pui::LParam) {
             if (QWidget* banner = find_control(QStringLiteral("No_device_Link")))
                 banner->setVisible(false);
         })},
        {kMsgDeviceLogo, Asleep::Drop, done([this](pui::WParam w, pui::LParam) {
             if (w == 0x3950) {
                 pui::set_bk_image(find_control(QStringLiteral("device_logo_layout")),
                                   QStringLiteral("file='power/r260.png'"));
             }
         })},
        {kMsgProgress, Asleep::Drop, done([this](pui::WParam, pui::LParam) {
             if (QWidget* progress = find_control(QStringLiteral("setting_progress")))
                 progress->show();
         })},
        {kMsgClearSetBadge, Asleep::Drop,
         done([this](pui::WParam, pui::LParam) { clear_set_badge(); })},
        {kMsgOpenSettings, Asleep::Drop,
         done([this](pui::WParam, pui::LParam) { open_settings(true); })},
        {kMsgFirmwareLaunch, Asleep::Drop, done([this](pui::WParam w, pui::LParam l) {
             upgrade_firmware(static_cast<int>(w), static_cast<int>(l));
         })},
        {kMsgDpiChanged, Asleep::Drop,
         done([](pui::WParam, pui::LParam) { platform::debug_output("界面 DPI 1发生变化"); })},
        {kMsgDisplayChange, Asleep::Drop, done([this](pui::WParam, pui::LParam) {
             platform::debug_output("显示器分辨率发生变化");
             display_change_pending_ = true;
             apply_dpi();
         })},
        {pui::kMsgTrayIcon, Asleep::Drop, done([this](pui::WParam, pui::LParam l) {
             if (static_cast<unsigned>(l) == pui::kMouseLButtonUp) {
                 toggle_from_tray();
             } else if (static_cast<unsigned>(l) == pui::kMouseRButtonUp) {
                 set_timer(root(), kTrayMenuTimer, 10);
             }
         })},
        {pui::kMsgMenuCommand, Asleep::Drop,
         done([this](pui::WParam w, pui::LParam) { on_menu_command(w); })},
        {kMsgHook, Asleep::Drop,
         [this](pui::WParam w, pui::LParam) { return recorder_->key_capture(w == 1); }},
    };
    // The captured key and button events, one message per hook mode.
    const HookMessages& hooks = hook_messages();
    for (const unsigned message :
         {hooks.single_key, hooks.hit_key, hooks.kb_macro, hooks.kb_previous, hooks.kb_later,
          hooks.kb_single, hooks.ms_macro, hooks.ms_previous, hooks.ms_later, hooks.ms_single}) {
        const auto mode = hook_message_mode(message);
        if (!mode)
            continue;
        rows.push_back({message, Asleep::Drop, done([this, mode](pui::WParam, pui::LParam l) {
                            recorder_->on_hook_message(mode->first, mode->second, l);
                        })});
    }
    return rows;
}

pui::LResult CMainWnd::handle_custom_message(unsigned message, pui::WParam wparam,
                                             pui::LParam lparam, bool& handled) {
    const auto row = std::find_if(messages_.begin(), messages_.end(),
                                  [message](const MessageRow& r) { return r.message == message; });
    if (message == 0 || row == messages_.end())
        return 0;
    if (devices_->asleep()) {
        if (row->asleep == WhileAsleep::DeferSlot) {
            devices_->defer_slot(static_cast<std::size_t>(wparam));
            handled = true;
            return 0;
        }
        // Left to the window's default, which also frees a menu command's payload.
        if (row->asleep == WhileAsleep::Drop)
            return 0;
    }
    handled = true;
    return row->handler(wparam, lparam);
}

void CMainWnd::on_first_pass_done() {
    devices_->mark_first_pass_done();
    if (trace_ != nullptr)
        trace_->mark("first scan pass");
    if (start_hidden_) {
        start_hidden_ = false;
        show_started_hidden();
    } else {
        bring_forward();
    }
    maybe_settle();
    if (switcher_ != nullptr)
        switcher_->start();
}

void CMainWnd::clear_set_badge() {
    if (QWidget* set = caption_[kSet]) {
        // The badge that announced an update is the button's foreground image.
        set->setProperty("badge", false);
        set->style()->unpolish(set);
        set->style()->polish(set);
    }
}

void CMainWnd::on_menu_command(pui::WParam wparam) {
    auto cmd = pui::take_menu_command(wparam);
    if (cmd && cmd->name == QLatin1String("exit")) {
        close_aux_windows();
        // The orderly road: workers stop before the process ends.
        on_destroy();
    } else if (cmd && cmd->name == QLatin1String("about_menu")) {
        open_about();
    } else if (cmd && cmd->name == QLatin1String("setwnd_menu")) {
        // From the tray the window may be hidden: then the settings come up centred.
        open_settings(!isVisible() || isMinimized());
    } else if (cmd) {
        // The macro editor's action menu.
        if (auto* mouse = qobject_cast<model::CZentovaMouseDevice*>(devices_->selected_page())) {
            if (macro::CMacroControlUI* macros = mouse->macro_editor())
                macros->on_menu_command(cmd->name);
        }
    }
}

void CMainWnd::open_device_settings(int which) {
    if (which == 0 || which == 1) {
        platform::open_desktop_settings(which == 0 ? platform::DesktopSettings::Keyboard
                                                   : platform::DesktopSettings::Mouse);
    }
}

void CMainWnd::open_maker_page() {
    const std::string address = platform::maker_web_page();
    if (address.empty()) {
        platform::debug_output("network_btn: no maker web page configured\n");
        return;
    }
    platform::open_url(address);
}

}  // namespace velqa::app
