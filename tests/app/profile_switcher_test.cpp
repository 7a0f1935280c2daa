// Profiles that follow the focused application, end to end: the window over the in-process
// simulated mouse (and keyboard), a fake focus watcher or the real desktops (a window manager on
// Xvfb, i3, mutter), bindings written by the store as velqactl writes them, and the devices'
// records read back from the simulator.
#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <mutex>
#include <thread>

#include "app/focus_backend.h"
#include "app/main_wnd.h"
#include "app/profile_switcher.h"
#include "app_fixture.h"
#include "device/link/codecs.h"
#include "device/model/ui/keyboard_device.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/json_read.h"
#include "profile/app_bindings.h"
#include "profile/profile_files.h"
#include "profile/profile_list.h"
#include "profile/ui/device_profile_ui.h"
#include "support/desktop_programs.h"
#include "support/fake_focus_watcher.h"
#include "update/ui/set_wnd.h"
// Last: Xlib's macros (None, Bool) would break names in the headers above.
#include "support/x11_session.h"

namespace velqa::test {
namespace {

namespace fs = std::filesystem;
using sim::InProcessSim;
using sim::Link;

// The nodes of two simulators as one backend: the window finds both devices.
class TwoSimBackend : public platform::hid::HidBackend {
  public:
    TwoSimBackend(std::shared_ptr<platform::hid::HidBackend> a,
                  std::shared_ptr<platform::hid::HidBackend> b)
        : a_(std::move(a)), b_(std::move(b)) {}
    const char* name() const override { return "sim"; }
    std::vector<platform::hid::NodeInfo> enumerate() override {
        auto nodes = a_->enumerate();
        for (auto& node : b_->enumerate())
            nodes.push_back(std::move(node));
        return nodes;
    }
    bool describe(const std::string& node, platform::hid::NodeInfo& info) override {
        return a_->describe(node, info) || b_->describe(node, info);
    }
    platform::hid::NodeHandle open(const std::string& node, bool read, bool write, bool exclusive,
                                   std::string* error, int* error_number) override {
        platform::hid::NodeInfo info;
        auto& owner = a_->describe(node, info) ? a_ : b_;
        return owner->open(node, read, write, exclusive, error, error_number);
    }

  private:
    std::shared_ptr<platform::hid::HidBackend> a_, b_;
};

class ProfileSwitcherTest : public AppTest {
  protected:
    void TearDown() override {
        wnd.reset();
        keyboard.reset();
        mouse.reset();
        AppTest::TearDown();
    }
    // `watcher`: the desktop's own; by default a fake the test drives.
    void start(bool with_keyboard = false,
               std::unique_ptr<platform::desktop::FocusWatcher> watcher = nullptr) {
        mouse = std::make_unique<InProcessSim>(dir_ / "mouse");
        ASSERT_TRUE(mouse->started());
        unplug(*mouse, Link::Receiver);
        std::shared_ptr<platform::hid::HidBackend> backend = mouse->backend();
        std::shared_ptr<const link::DeviceCatalog> catalog;
        if (with_keyboard) {
            const auto config = source_dir() / "tests" / "app" / "keyboard_test_config.json";
            auto data = link::load_device_data(factory(), config);
            ASSERT_TRUE(data.problems.empty());
            catalog = std::make_shared<const link::DeviceCatalog>(std::move(data.catalog));
            sim::FirmwareOptions options;
            options.device = sim::SimDevice::Keyboard;
            options.keys = 104;
            keyboard = std::make_unique<InProcessSim>(
                dir_ / "keyboard", options, 0,
                sim::keyboard_identity(*link::read_keyboard_ids(config)));
            ASSERT_TRUE(keyboard->started());
            unplug(*keyboard, Link::Receiver);
            backend = std::make_shared<TwoSimBackend>(backend, keyboard->backend());
        }
        wnd = std::make_unique<app::CMainWnd>(factory(), dir_ / "user", store(), nullptr, backend,
                                              catalog);
        if (watcher == nullptr) {
            auto fake = std::make_unique<FakeFocusWatcher>();
            focus = fake.get();
            watcher = std::move(fake);
        }
        wnd->set_focus_watcher(std::move(watcher));
        QObject::connect(wnd.get(), &app::CMainWnd::settled, [this] { settled = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(1000, 640)));
        ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
        ASSERT_TRUE(wait_until([&] {
            return mouse_page() != nullptr && mouse_page()->device_loaded() &&
                   (!with_keyboard ||
                    (keyboard_page() != nullptr && keyboard_page()->device_loaded()));
        }));
        if (focus != nullptr) {
            ASSERT_TRUE(wait_until([&] { return focus->started(); }));
        }
        switcher = wnd->profile_switcher();
        QObject::connect(switcher, &app::ProfileSwitcher::focus_settled, [this] { ++settles; });
    }
    static void unplug(InProcessSim& sim, Link l) {
        sim.nodes().unplug(l);
        sim.firmware().set_plugged(l, false);
    }

    model::CZentovaMouseDevice* mouse_page() const {
        const auto& pages = wnd->devices().mouse_pages();
        for (auto* page : pages) {
            if (page->device_loaded())
                return page;
        }
        return pages.empty() ? nullptr : pages.front();
    }
    model::CZentovaKeyboardDevice* keyboard_page() const {
        const auto& pages = wnd->devices().keyboard_pages();
        return pages.empty() ? nullptr : pages.front();
    }
    fs::path folder(const char* kind) const { return dir_ / "user" / kind; }

    // The kind's profiles named `names` (the first is the one selected now); `edit` makes each
    // file tell apart on the device. Their uuids, in order.
    std::vector<std::string> make_profiles(const char* kind, const std::vector<std::string>& names,
                                           const std::function<void(Json::Value&, int)>& edit) {
        profile::ProfileList list(folder(kind), factory() / (std::string(kind) + ".Json"));
        EXPECT_TRUE(list.load().ok());
        while (list.size() < static_cast<int>(names.size()))
            EXPECT_TRUE(list.copy(0).ok());
        std::vector<std::string> uuids;
        for (int i = 0; i < static_cast<int>(names.size()); ++i) {
            EXPECT_TRUE(list.rename(i, names[static_cast<std::size_t>(i)]).ok());
            Json::Value doc = platform::read_json_file(list.file_of(i));
            edit(doc["Device"][0], i);
            EXPECT_TRUE(profile::write_json_checked(doc, list.file_of(i)));
            uuids.push_back(list.entries()[static_cast<std::size_t>(i)].uuid);
        }
        return uuids;
    }
    static void stage2(Json::Value& device, int dpi) {
        for (Json::Value& set : device["DPIStages"])
            set["StageDPIs"][2]["StageDPIX"] = dpi;
    }
    // Stage 2's DPI in the active slot's record of the simulated mouse.
    int mouse_dpi() const {
        const auto memory = mouse->firmware().settings_memory();
        link::MouseSettingsRecord record;
        const std::size_t at = memory[0] * link::MouseSlotStride;
        std::copy_n(memory.begin() + static_cast<std::ptrdiff_t>(at), record.bytes.size(),
                    record.bytes.begin());
        return link::decode_mouse_settings(record, {}).stages[2].dpi_x;
    }
    int keyboard_polling() const {
        const auto memory = keyboard->firmware().settings_memory();
        return memory[memory[0] * 33u + 21];
    }
    void bind(const char* kind, const std::string& uuid, const std::string& app) {
        profile::AppBindings store(folder(kind));
        ASSERT_TRUE(store.load().ok());
        ASSERT_TRUE(store.bind(uuid, app).ok());
    }
    void set_default(const char* kind, const std::string& uuid) {
        profile::AppBindings store(folder(kind));
        ASSERT_TRUE(store.load().ok());
        ASSERT_TRUE(store.set_default(uuid).ok());
    }
    // Gives `app` the focus and waits until the switcher has decided on it.
    void focus_on(const std::string& app) {
        const int before = settles;
        focus->focus(app);
        ASSERT_TRUE(wait_until([&] { return settles > before; }));
    }
    // Opens the settings window and hands its switch box to `act`.
    void with_settings(const std::function<void(update::CSetWnd&, QAbstractButton&)>& act) {
        bool opened = false;
        platform::ui::Window::set_modal_test_hook([&](platform::ui::Window& w) {
            auto* settings = qobject_cast<update::CSetWnd*>(&w);
            if (settings == nullptr) {
                w.close_window(0);
                return;
            }
            opened = true;
            EXPECT_TRUE(
                wait_until([&] { return settings->window_status() != update::WindowChecking; }));
            auto* box =
                qobject_cast<QAbstractButton*>(settings->find_control("auto_switch_select"));
            EXPECT_NE(box, nullptr);
            if (box != nullptr)
                act(*settings, *box);
            settings->close_window(0);
        });
        wnd->open_settings(true);
        EXPECT_TRUE(opened);
    }
    QString page_reason() const {
        auto* label = mouse_page()->findChild<QLabel*>("profile_switch_reason_label");
        return label != nullptr && label->isVisible() ? label->toolTip() : QString();
    }

    std::unique_ptr<InProcessSim> mouse;
    std::unique_ptr<InProcessSim> keyboard;
    std::unique_ptr<app::CMainWnd> wnd;
    FakeFocusWatcher* focus = nullptr;
    app::ProfileSwitcher* switcher = nullptr;
    bool settled = false;
    int settles = 0;
};

// The whole road: a bound application brings its profile to the mouse, with the reason on the
// page and in the tray; an unbound one brings the default back; only where a bouncing focus
// rests is applied; a bound profile deleted meanwhile falls back to the default; switching off
// (as velqactl does, in the file) applies nothing.
TEST_F(ProfileSwitcherTest, TheMouseFollowsTheFocusedApplication) {
    start();
    const auto uuids = make_profiles("mouse", {"Desktop", "FPS", "MOBA"},
                                     [](Json::Value& d, int i) { stage2(d, 1000 + 200 * i); });
    bind("mouse", uuids[1], "cs2");
    bind("mouse", uuids[2], "dota2");
    set_default("mouse", uuids[0]);

    focus_on("cs2");
    EXPECT_EQ(mouse_dpi(), 1200);
    EXPECT_EQ(page_reason(), QStringLiteral("FPS — bound to cs2"));
    EXPECT_TRUE(wnd->tray().tool_tip().contains(QStringLiteral("FPS — bound to cs2")));
    EXPECT_EQ(switcher->last_focused_app_source()(), "cs2");
    // The line follows the language; the window is rendered under the build tree for a look.
    QDir().mkpath(QStringLiteral(VELQA_SHOT_DIR));
    wnd->apply_language(1);
    EXPECT_EQ(page_reason(), QStringLiteral("FPS — 绑定到 cs2"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(wnd->grab().save(QStringLiteral(VELQA_SHOT_DIR "/cn_switch_reason.png")));
    wnd->apply_language(0);
    EXPECT_EQ(page_reason(), QStringLiteral("FPS — bound to cs2"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(wnd->grab().save(QStringLiteral(VELQA_SHOT_DIR "/en_switch_reason.png")));

    // Our own window taking the focus changes nothing: the user came to edit.
    focus->focus("velqa");
    focus_on("firefox");
    EXPECT_EQ(mouse_dpi(), 1000);
    EXPECT_EQ(page_reason(), QStringLiteral("Desktop — default"));

    // A burst: the first change may apply at once, the others wait until the focus rests and
    // only the last of them is applied.
    const int switches = switcher->switches();
    focus->focus("dota2");
    focus->focus("cs2");
    focus->focus("dota2");
    ASSERT_TRUE(wait_until([&] { return mouse_dpi() == 1400; }));
    ASSERT_TRUE(wait_until([&] { return !switcher->waiting(); }));
    EXPECT_EQ(switcher->switches(), switches + 1) << "cs2's profile never goes to the mouse";
    EXPECT_EQ(mouse_dpi(), 1400);

    // MOBA deleted by another program: dota2 now gets the default.
    {
        profile::ProfileList list(folder("mouse"), factory() / "mouse.Json");
        ASSERT_TRUE(list.load().ok());
        ASSERT_TRUE(list.remove(2).ok());
    }
    focus_on("cs2");
    focus_on("dota2");
    EXPECT_EQ(mouse_dpi(), 1000);

    // Switched off from the command line: the file is followed and nothing more is applied.
    {
        profile::AppBindings store(folder("mouse"));
        ASSERT_TRUE(store.load().ok());
        ASSERT_TRUE(store.set_auto_switch(false).ok());
    }
    ASSERT_TRUE(wait_until([&] { return !switcher->auto_switch(); }));
    focus_on("cs2");
    EXPECT_EQ(mouse_dpi(), 1000);
    EXPECT_TRUE(page_reason().isEmpty());
}

// Nothing is written while a macro is recorded, a popup is open or a typed value waits in its
// field; the waiting switch is made when they end.
TEST_F(ProfileSwitcherTest, ASwitchWaitsWhileTheUserIsBusy) {
    start();
    const auto uuids = make_profiles("mouse", {"Desktop", "FPS"},
                                     [](Json::Value& d, int i) { stage2(d, 1000 + 200 * i); });
    bind("mouse", uuids[1], "cs2");
    set_default("mouse", uuids[0]);

    emit mouse_page()->recording_started(0);
    ASSERT_TRUE(wnd->recorder().recording());
    focus_on("cs2");
    EXPECT_NE(mouse_dpi(), 1200);
    emit mouse_page()->recording_stopped();
    ASSERT_TRUE(wait_until([&] { return mouse_dpi() == 1200; }));

    QMenu menu;
    menu.addAction(QStringLiteral("x"));
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(wait_until([&] { return QApplication::activePopupWidget() != nullptr; }));
    focus_on("firefox");
    EXPECT_EQ(mouse_dpi(), 1200);
    menu.close();
    ASSERT_TRUE(wait_until([&] { return mouse_dpi() == 1000; }));

    // A DPI typed but not yet committed: the switch waits until the field lets go.
    auto* edit = qobject_cast<QLineEdit*>(mouse_page()->find(QStringLiteral("DPI_edit_1")));
    ASSERT_NE(edit, nullptr);
    wnd->activateWindow();
    edit->setFocus();
    ASSERT_TRUE(wait_until([&] { return QApplication::focusWidget() == edit; }));
    edit->setModified(true);
    focus_on("cs2");
    EXPECT_EQ(mouse_dpi(), 1000);
    edit->clearFocus();
    ASSERT_TRUE(wait_until([&] { return mouse_dpi() == 1200; }));
}

// Unplugged mid-switch: the profile is chosen all the same and reaches the mouse when it is
// back.
TEST_F(ProfileSwitcherTest, AMouseUnpluggedMidSwitchGetsTheProfileWhenItComesBack) {
    start();
    const auto uuids = make_profiles("mouse", {"Desktop", "FPS"},
                                     [](Json::Value& d, int i) { stage2(d, 1000 + 200 * i); });
    bind("mouse", uuids[1], "cs2");
    unplug(*mouse, Link::Cable);
    ASSERT_TRUE(wait_until([&] { return !mouse_page()->channel().link_open(); }));
    focus_on("cs2");
    {
        profile::ProfileList list(folder("mouse"), factory() / "mouse.Json");
        ASSERT_TRUE(list.load().ok());
        EXPECT_EQ(list.selected(), 1);
    }
    mouse->firmware().set_plugged(Link::Cable, true);
    mouse->nodes().plug(Link::Cable);
    ASSERT_TRUE(wait_until([&] { return mouse_dpi() == 1200; }, 20000));
}

// Mouse and keyboard each follow their own bindings.
TEST_F(ProfileSwitcherTest, EachKindFollowsItsOwnBindings) {
    start(true);
    const auto mice = make_profiles("mouse", {"Desktop", "FPS"},
                                    [](Json::Value& d, int i) { stage2(d, 1000 + 200 * i); });
    const auto boards = make_profiles("keyboard", {"Typing", "Games"}, [](Json::Value& d, int i) {
        d["SystemStages"]["PollingRate"] = 2 + i;
    });
    bind("mouse", mice[1], "cs2");
    set_default("mouse", mice[0]);
    bind("keyboard", boards[1], "factorio");
    set_default("keyboard", boards[0]);

    focus_on("cs2");
    EXPECT_EQ(mouse_dpi(), 1200);
    focus_on("factorio");
    EXPECT_EQ(keyboard_polling(), 3);
    EXPECT_EQ(mouse_dpi(), 1000);
    focus_on("cs2");
    EXPECT_EQ(keyboard_polling(), 2);
    EXPECT_EQ(mouse_dpi(), 1200);
}

// The settings window's box and velqactl's "profile auto" agree through the file; on a desktop
// that cannot tell the focus the box is greyed out and says why.
TEST_F(ProfileSwitcherTest, TheSettingsBoxAgreesWithTheCommandLine) {
    start();
    wnd->set_update_options("http://127.0.0.1:9/", nullptr);
    with_settings([&](update::CSetWnd& settings, QAbstractButton& box) {
        EXPECT_TRUE(box.isEnabled());
        EXPECT_TRUE(box.isChecked());
        box.click();
        EXPECT_FALSE(box.isChecked());
        profile::AppBindings store(folder("keyboard"));
        ASSERT_TRUE(store.load().ok());
        EXPECT_FALSE(store.auto_switch()) << "one switch for every kind";
        QDir().mkpath(QStringLiteral(VELQA_SHOT_DIR));
        EXPECT_TRUE(settings.grab().save(QStringLiteral(VELQA_SHOT_DIR "/en_settings_switch.png")));
    });
    // velqactl profile auto on
    {
        profile::AppBindings store(folder("mouse"));
        ASSERT_TRUE(store.load().ok());
        ASSERT_TRUE(store.set_auto_switch(true).ok());
    }
    with_settings([](update::CSetWnd&, QAbstractButton& box) { EXPECT_TRUE(box.isChecked()); });

    const std::string why = "GNOME on Wayland tells no program which window has the focus.";
    wnd->set_focus_watcher(platform::desktop::make_unavailable_focus_watcher(why));
    with_settings([&](update::CSetWnd&, QAbstractButton& box) {
        EXPECT_FALSE(box.isEnabled());
        EXPECT_EQ(box.toolTip().toStdString(), why);
    });
}

// The bindings files are read off the window thread: the store says which thread read a
// damaged file as it keeps it aside. The switcher then follows the file rewritten and switches.
TEST_F(ProfileSwitcherTest, BindingsFilesAreReadOffTheWindowThread) {
    start();
    const auto uuids = make_profiles("mouse", {"Desktop", "FPS"},
                                     [](Json::Value& d, int i) { stage2(d, 1000 + 200 * i); });
    focus_on("firefox");
    std::mutex mutex;
    std::vector<std::thread::id> readers;
    const auto previous = platform::set_debug_sink([&](std::string_view line) {
        if (line.find("AppBindings.json is damaged") != std::string_view::npos) {
            const std::lock_guard<std::mutex> lock(mutex);
            readers.push_back(std::this_thread::get_id());
        }
    });
    auto read_by = [&] {
        const std::lock_guard<std::mutex> lock(mutex);
        return readers;
    };
    ASSERT_TRUE(platform::write_file_atomically(folder("mouse") / "AppBindings.json", "{ nope"));
    const bool kept = wait_until([&] { return !read_by().empty(); });
    platform::set_debug_sink(previous);
    ASSERT_TRUE(kept);
    for (const std::thread::id reader : read_by())
        EXPECT_NE(reader, std::this_thread::get_id());
    EXPECT_TRUE(fs::exists(folder("mouse") / "AppBindings.json.unreadable"));

    bind("mouse", uuids[1], "cs2");
    focus_on("cs2");
    EXPECT_EQ(mouse_dpi(), 1200);
}

// The whole road on X11: a private Xvfb with the small window manager, two applications'
// windows; activating each moves the simulated mouse to its bound profile, and an unbound one
// brings the default back.
TEST_F(ProfileSwitcherTest, X11FocusMovesTheMouseBetweenBoundProfiles) {
    if (!on_path("Xvfb") || !on_path(kWindowManager))
        GTEST_SKIP() << "Xvfb or " << kWindowManager << " is missing (scripts/setup installs them)";
    PrivateXServer server;
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
    X11Client client(server.display().c_str());
    ASSERT_NE(client.display(), nullptr);
    Child wm;
    ASSERT_TRUE(start_window_manager(server.display().c_str(), client, wm));

    start(false, platform::desktop::make_x11_focus_watcher(server.display()));
    const auto uuids = make_profiles("mouse", {"Desktop", "FPS", "MOBA"},
                                     [](Json::Value& d, int i) { stage2(d, 1000 + 200 * i); });
    bind("mouse", uuids[1], "cs2");
    bind("mouse", uuids[2], "dota2");
    set_default("mouse", uuids[0]);

    const Window shooter = client.window("cs2", "cs2");
    const Window moba = client.window("dota2", "dota2");
    const Window browser = client.window("navigator", "firefox");
    for (const Window w : {shooter, moba, browser})
        XMapWindow(client.display(), w);
    XSync(client.display(), False);

    client.activate(shooter);
    EXPECT_TRUE(wait_until([&] { return mouse_dpi() == 1200; }, 20000)) << mouse_dpi();
    client.activate(moba);
    EXPECT_TRUE(wait_until([&] { return mouse_dpi() == 1400; }, 20000)) << mouse_dpi();
    client.activate(browser);
    EXPECT_TRUE(wait_until([&] { return mouse_dpi() == 1000; }, 20000)) << mouse_dpi();
    EXPECT_EQ(switcher->last_focused_app_source()(), "firefox");
}

// A narrow window (a tiling window manager's tile): the note gives up the profile's name first,
// so that what it is bound to stays; the tooltip keeps the whole note.
TEST_F(ProfileSwitcherTest, TheReasonNoteKeepsTheApplicationWhenCut) {
    start();
    const auto uuids = make_profiles("mouse", {"Desktop", "Terminal and shell work"},
                                     [](Json::Value& d, int i) { stage2(d, 1000 + 200 * i); });
    bind("mouse", uuids[1], "cs2");
    focus_on("cs2");
    auto* label = mouse_page()->findChild<QLabel*>("profile_switch_reason_label");
    ASSERT_NE(label, nullptr);
    const QString whole = QStringLiteral("Terminal and shell work — bound to cs2");
    EXPECT_EQ(label->toolTip(), whole);
    label->resize(label->fontMetrics().horizontalAdvance(QStringLiteral("Term… — bound to cs2")),
                  label->height());
    EXPECT_TRUE(label->text().endsWith(QStringLiteral("— bound to cs2")))
        << label->text().toStdString();
    EXPECT_TRUE(label->text().startsWith(QStringLiteral("Te"))) << label->text().toStdString();
    EXPECT_EQ(label->toolTip(), whole);
    // Narrower than the application's part: its end, which names the application, stays.
    label->resize(label->fontMetrics().horizontalAdvance(QStringLiteral("bound to cs2")),
                  label->height());
    EXPECT_TRUE(label->text().endsWith(QStringLiteral("cs2"))) << label->text().toStdString();
}

// The real i3 on Xvfb, with each backend the session can give: the IPC socket (I3SOCK) and
// X11. A bound profile, then the default; after i3 restarts in place the next switch still
// happens. With i3 gone the tray and the settings box say that the focus is not followed, until
// i3 is back.
TEST_F(ProfileSwitcherTest, I3MovesTheMouseThroughItsRestartsWithEitherBackend) {
    if (!on_path("Xvfb"))
        GTEST_SKIP() << "Xvfb is not installed (scripts/setup installs xvfb)";
    PrivateXServer server;
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
    fs::create_directories(dir_ / "i3");
    I3Session i3(server.display(), dir_ / "i3");
    if (!i3.why_not().empty())
        GTEST_SKIP() << i3.why_not();
    X11Client client(server.display().c_str());
    ASSERT_NE(client.display(), nullptr);
    const Window shooter = client.window("cs2", "cs2");
    const Window browser = client.window("navigator", "firefox");
    for (const Window w : {shooter, browser})
        XMapWindow(client.display(), w);
    XSync(client.display(), False);

    platform::desktop::DesktopSession session;
    session.session_type = "x11";
    session.x_display = server.display();
    session.i3_socket = i3.socket();
    start(false, app::focus_backend(session));
    const auto uuids = make_profiles("mouse", {"Desktop", "FPS"},
                                     [](Json::Value& d, int i) { stage2(d, 1000 + 200 * i); });
    bind("mouse", uuids[1], "cs2");
    set_default("mouse", uuids[0]);
    wnd->set_update_options("http://127.0.0.1:9/", nullptr);

    auto moves = [&](const char* app, int dpi) {
        EXPECT_TRUE(i3.msg(std::string("[class=\"^") + app + "$\"] focus"));
        EXPECT_TRUE(wait_until([&] { return mouse_dpi() == dpi; }, 20000))
            << app << ": " << mouse_dpi();
    };
    for (const bool ipc : {true, false}) {
        SCOPED_TRACE(ipc ? "IPC" : "X11");
        if (!ipc) {
            session.i3_socket.clear();
            wnd->set_focus_watcher(app::focus_backend(session));
        }
        moves("cs2", 1200);
        moves("firefox", 1000);
        ASSERT_TRUE(i3.msg("restart"));
        moves("cs2", 1200);
        moves("firefox", 1000);
        if (!ipc)
            continue;
        // i3 gone: the window says the focus is not followed.
        i3.end();
        const auto lost = [&] {
            return wnd->tray().tool_tip().contains(QStringLiteral("window manager is lost"));
        };
        ASSERT_TRUE(wait_until(lost));
        with_settings([&](update::CSetWnd&, QAbstractButton& box) {
            EXPECT_FALSE(box.isEnabled());
            EXPECT_TRUE(box.toolTip().contains(QStringLiteral("window manager is lost")));
        });
        ASSERT_TRUE(i3.start()) << i3.why_not();
        ASSERT_TRUE(wait_until([&] { return !lost(); }, 20000));
        with_settings([](update::CSetWnd&, QAbstractButton& box) { EXPECT_TRUE(box.isEnabled()); });
        moves("cs2", 1200);
        moves("firefox", 1000);
    }
}

// GNOME on Wayland (the real mutter, headless) tells no program the focus: the settings box is
// greyed out and says why, and so does the tray once profiles are bound.
TEST_F(ProfileSwitcherTest, GnomeOnWaylandShowsSwitchingUnavailable) {
    if (!on_path("mutter") || !on_path("dbus-daemon"))
        GTEST_SKIP() << "mutter or dbus-daemon is not installed (scripts/setup installs them)";
    const fs::path runtime = dir_ / "run";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    // mutter on a session bus of its own, as in a GNOME session.
    const fs::path address_file = dir_ / "bus-address";
    Child bus =
        spawn({"dbus-daemon", "--nofork", "--print-address=1",
               "--config-file=" + (source_dir() / "tests/support/session-bus.conf").string()},
              {}, address_file.string());
    std::string address;
    ASSERT_TRUE(wait_until([&] {
        std::getline(std::ifstream(address_file), address);
        return !address.empty();
    }));
    Child mutter =
        spawn({"mutter", "--headless", "--wayland", "--no-x11", "--virtual-monitor", "1024x768",
               "--wayland-display", "velqa-mutter"},
              {"DBUS_SESSION_BUS_ADDRESS=" + address, "XDG_RUNTIME_DIR=" + runtime.string(),
               "HOME=" + dir_.path().string(), "DISPLAY", "WAYLAND_DISPLAY"},
              (dir_ / "mutter.log").string());
    if (!wait_until(
            [&] { return can_connect((runtime / "velqa-mutter").string()) || !mutter.running(); },
            30000) ||
        !mutter.running())
        GTEST_SKIP() << "mutter did not start headless (see " << (dir_ / "mutter.log").string()
                     << ")";

    platform::desktop::DesktopSession session;
    session.current_desktop = "GNOME";
    session.session_type = "wayland";
    session.wayland_display = "velqa-mutter";
    start(false, app::focus_backend(session));
    const std::string why = switcher->unavailable_reason();
    EXPECT_NE(why.find("GNOME"), std::string::npos) << why;
    wnd->set_update_options("http://127.0.0.1:9/", nullptr);
    with_settings([&](update::CSetWnd&, QAbstractButton& box) {
        EXPECT_FALSE(box.isEnabled());
        EXPECT_EQ(box.toolTip().toStdString(), why);
    });
    EXPECT_FALSE(wnd->tray().tool_tip().contains(QString::fromStdString(why)))
        << "nothing bound: nothing to say";
    const auto uuids = make_profiles("mouse", {"Desktop", "FPS"},
                                     [](Json::Value& d, int i) { stage2(d, 1000 + 200 * i); });
    bind("mouse", uuids[1], "cs2");
    EXPECT_TRUE(
        wait_until([&] { return wnd->tray().tool_tip().contains(QString::fromStdString(why)); }));
}

}  // namespace
}  // namespace velqa::test
