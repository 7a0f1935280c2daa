#include "app/application.h"

#include <json/json.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "app/audio_companion.h"
#include "app/automation.h"
#include "app/focus_backend.h"
#include "app/main_wnd.h"
#include "app/messages.h"
#include "app/startup.h"
#include "platform/access_helper.h"
#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/folders.h"
#include "platform/hid/hid_backend.h"
#include "platform/input/input_capture.h"
#include "platform/ipc/plasma_pointer.h"
#include "platform/ipc/program_channel.h"
#include "platform/ipc/sleep_monitor.h"
#include "platform/ui/language.h"
#include "platform/ui/png_reader.h"
#include "platform/ui/window.h"
#include "ui/msg_wnd.h"
#include "update/ui/set_wnd.h"
#include "velqa_version.h"

namespace velqa::app {
namespace {

constexpr char kUsage[] =
    "Usage: velqa [--simulate] [--hidden] [--screenshot FILE [--tab TAB]] [--automation]\n"
    "  or:  velqa --help | --version\n"
    "Configuration utility for the ZARN VELQA R260 wireless gaming mouse.\n"
    "\n"
    "Options:\n"
    "  --simulate         use the simulated mouse of velqa-sim instead of a real one\n"
    "  --hidden           start in the tray without showing the window (minimised when\n"
    "                     the desktop has no tray); the autostart entry uses it\n"
    "  --screenshot FILE  render the main window once start-up has settled, save it as\n"
    "                     PNG to FILE and exit (works without a display)\n"
    "  --tab TAB          the tab the screenshot shows: performance (default), keys,\n"
    "                     shooting, macros, system, about or settings (the settings\n"
    "                     window over the main window, once its update check is over)\n"
    "  --automation       offer the scripting interface com.zarn.VelqaR260.Automation on\n"
    "                     the session bus, through which scripts drive the window\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n";

struct Options {
    bool help = false;
    bool version = false;
    bool simulate = false;
    bool automation = false;
    bool hidden = false;
    std::optional<std::string> screenshot;
    std::string tab;  // the tab control a screenshot shows; empty: the start-up tab
    std::string error;
};

// The --tab value that shows the settings window rather than a tab of the main window.
constexpr char kSettingsShot[] = "settings";

// The tab names of --tab and their tab controls.
constexpr std::pair<const char*, const char*> kScreenshotTabs[] = {
    {"performance", "performance_Op_tab"}, {"keys", "key_Op_tab"},
    {"shooting", "key_Op_tab:1"},          {"macros", "macro_Op_tab"},
    {"system", "system_Op_tab"},           {"about", "About_Op_tab"},
    {"settings", kSettingsShot},
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--simulate") {
            o.simulate = true;
        } else if (arg == "--automation") {
            o.automation = true;
        } else if (arg == "--hidden") {
            o.hidden = true;
        } else if (arg == "--screenshot") {
            if (i + 1 >= argc) {
                o.error = "--screenshot needs a file name";
                return o;
            }
            o.screenshot = argv[++i];
        } else if (arg.rfind("--screenshot=", 0) == 0) {
            o.screenshot = arg.substr(13);
        } else if (arg == "--tab" || arg.rfind("--tab=", 0) == 0) {
            std::string name;
            if (arg == "--tab") {
                if (i + 1 >= argc) {
                    o.error = "--tab needs a tab name";
                    return o;
                }
                name = argv[++i];
            } else {
                name = arg.substr(6);
            }
            for (const auto& [tab, control] : kScreenshotTabs) {
                if (name == tab)
                    o.tab = control;
            }
            if (o.tab.empty()) {
                o.error =
                    "--tab takes performance, keys, shooting, macros, system, about or "
                    "settings, not \"" +
                    name + "\"";
                return o;
            }
        } else {
            o.error = "unknown option " + arg;
            return o;
        }
    }
    if (o.screenshot && o.screenshot->empty())
        o.error = "--screenshot needs a file name";
    if (!o.tab.empty() && !o.screenshot)
        o.error = "--tab goes with --screenshot";
    return o;
}

// The simulated mouse: velqa-sim serving its nodes in a private folder while the program runs.
class Simulator {
  public:
    bool start() {
        const auto sim = platform::executable_folder() / "velqa-sim";
        if (!QFileInfo(QString::fromStdString(sim.string())).isExecutable()) {
            std::fprintf(stderr,
                         "velqa: --simulate: %s was not found; running without the simulated "
                         "mouse\n",
                         sim.string().c_str());
            return false;
        }
        if (!dir_.isValid()) {
            std::fprintf(stderr, "velqa: --simulate: no temporary folder; running without it\n");
            return false;
        }
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        // The simulator goes with us even when we are killed: the kernel sends it SIGTERM when
        // this thread ends. A parent that died before the prctl is caught by the getppid check.
        const pid_t parent = ::getpid();
        process_.setChildProcessModifier([parent] {
            if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent)
                ::_exit(1);
        });
        process_.start(QString::fromStdString(sim.string()), {"--dir", dir_.path()});
        if (!process_.waitForStarted(5000)) {
            std::fprintf(stderr,
                         "velqa: --simulate: velqa-sim did not start; running without it\n");
            return false;
        }
        backend_ = platform::hid::make_sim_backend(dir_.path().toStdString());
        return true;
    }
    // The simulator's nodes once it has started, else null.
    const std::shared_ptr<platform::hid::HidBackend>& backend() const { return backend_; }
    ~Simulator() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(1000);
        }
    }

  private:
    QTemporaryDir dir_{QDir::tempPath() + "/velqa-sim-XXXXXX"};
    QProcess process_;
    std::shared_ptr<platform::hid::HidBackend> backend_;
};

// Resident memory of this process (0 when unknown).
long resident_kb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    }
    return 0;
}

// SIGTERM, SIGINT and SIGHUP as a Qt signal on the window thread: the handler only writes a
// byte to a pipe that the event loop watches.
class TerminationSignals : public QObject {
    Q_OBJECT

  public:
    TerminationSignals() {
        if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        write_fd_ = fds_[1];
        notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            char byte = 0;
            while (::read(fds_[0], &byte, 1) > 0) {
            }
            emit received();
        });
        struct sigaction action {};
        action.sa_handler = [](int) {
            const char byte = 1;
            [[maybe_unused]] const auto n = ::write(write_fd_, &byte, 1);
            // A second signal ends the program at once, even when the window thread is stuck.
            struct sigaction fallback {};
            fallback.sa_handler = SIG_DFL;
            for (int other : {SIGTERM, SIGINT, SIGHUP})
                ::sigaction(other, &fallback, nullptr);
        };
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(sig, &action, nullptr);
    }
    ~TerminationSignals() override {
        if (write_fd_ < 0)
            return;
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            ::signal(sig, SIG_DFL);
        write_fd_ = -1;
        ::close(fds_[0]);
        ::close(fds_[1]);
    }

  signals:
    void received();

  private:
    static inline volatile int write_fd_ = -1;
    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};

bool has_display() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// A start that cannot show its window says why on stderr and, where a person sees a screen,
// in a message box, rather than leaving an empty window or waiting for ever.
void refuse_start(const QString& why, bool screenshot) {
    std::fprintf(stderr, "velqa: %s\n", why.toUtf8().constData());
    const QString platform = QGuiApplication::platformName();
    if (screenshot || platform == QLatin1String("offscreen") ||
        platform == QLatin1String("minimal"))
        return;
    QMessageBox::critical(nullptr, QStringLiteral("ZARN VELQA R260"),
                          QStringLiteral("The program cannot start: %1").arg(why));
}

}  // namespace

namespace {

// Plasma: Wayland or X11, our mouse's USB IDs (KWin's devices are matched by them) and the
// system's configuration folders.
platform::ipc::PlasmaPointerSetup plasma_setup(const platform::desktop::DesktopSession& session,
                                               const link::DeviceCatalog* devices) {
    platform::ipc::PlasmaPointerSetup setup;
    setup.wayland = session.session_type == "wayland";
    if (devices != nullptr) {
        for (const link::DeviceModel& model : devices->models()) {
            if (model.kind != "mouse")
                continue;
            for (const link::DeviceLink& l : model.links) {
                if (l.vendor_id != 0 && l.product_id != 0)
                    setup.mice.push_back({l.vendor_id, l.product_id});
            }
        }
    }
    std::string_view dirs = session.config_dirs;
    if (dirs.empty())
        dirs = "/etc/xdg";
    while (!dirs.empty()) {
        const auto end = dirs.find(':');
        if (const auto dir = dirs.substr(0, end); !dir.empty())
            setup.system_folders.emplace_back(dir);
        dirs = end == std::string_view::npos ? std::string_view() : dirs.substr(end + 1);
    }
    return setup;
}

// The desktop's pointer settings, by the session the program runs in.
std::shared_ptr<platform::desktop::PointerSettings> pointer_backend(
    const platform::desktop::DesktopSession& session, const link::DeviceCatalog* devices) {
    using platform::desktop::DesktopKind;
    switch (platform::desktop::desktop_kind(session)) {
        case DesktopKind::Gnome:
            return platform::desktop::make_gnome_pointer_settings();
        case DesktopKind::Plasma:
            if (session.config_home.empty())
                return nullptr;
            return platform::ipc::make_plasma_pointer_settings(session.config_home,
                                                               plasma_setup(session, devices));
        case DesktopKind::X11:
            return platform::desktop::make_x11_pointer_settings(session.x_display);
        case DesktopKind::Unknown:
            break;
    }
    return nullptr;
}

}  // namespace

int run(int argc, char** argv, std::string update_url, std::filesystem::path lock_folder,
        std::shared_ptr<const link::DeviceCatalog> devices, platform::SessionFacts session,
        platform::desktop::DesktopSession desktop, StartupTrace trace, std::string lock_refusal) {
    const Options options = parse(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "velqa: %s\n%s", options.error.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("velqa %s\n", VELQA_VERSION_TEXT);
        return 0;
    }
    // A screenshot needs no screen.
    if (options.screenshot && !has_display())
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velqa"));
    // Before the first picture: the skin's PNG files are read without loading every image plugin.
    platform::ui::register_png_reader();
    QApplication::setQuitOnLastWindowClosed(false);
    trace.mark("qt");
    const auto resources = platform::resources_folder();

    load_private_fonts(resources);
    trace.mark("fonts");

    const RegisteredMessages& ids = registered_messages();
    platform::debug_printf("软件标示：%u", ids.identity);
    if (ids.identity < 0xC000 || ids.identity > 0xFFFF) {
        remove_private_fonts();
        return 0;
    }

    // A screenshot is a render of its own and never defers to (or blocks) a running instance.
    std::unique_ptr<platform::ipc::ProgramChannel> channel;
    Automation* automation = nullptr;  // owned by the channel
    if (!options.screenshot) {
        channel = std::make_unique<platform::ipc::ProgramChannel>();
        // The adaptor must exist when claim() exports the channel's object.
        if (options.automation)
            automation = new Automation(channel.get());
        const auto role = channel->claim();
        if (role == platform::ipc::ProgramChannel::Role::Secondary) {
            QString why;
            const bool answered =
                channel->post_to_primary(QLatin1String(kIdentityName), 0, 1, 3000, &why);
            remove_private_fonts();
            if (answered)
                return 0;
            // The name is held by a program that does not answer: hung, or not us.
            std::fprintf(stderr,
                         "velqa: another instance holds %s but does not answer (%s); not "
                         "starting a second one\n",
                         platform::ipc::kServiceName, why.toUtf8().constData());
            return 1;
        }
        if (automation != nullptr && role == platform::ipc::ProgramChannel::Role::Alone) {
            std::fprintf(stderr,
                         "velqa: --automation: no session bus; the scripting interface is off\n");
        }
    } else if (options.automation) {
        std::fprintf(stderr, "velqa: --automation is ignored with --screenshot\n");
    }

    trace.mark("single instance");
    // Without its skin there is no window to show.
    if (!load_resources(resources)) {
        refuse_start(QStringLiteral("cannot load the skin from %1")
                         .arg(QString::fromStdString((resources / "skin").string())),
                     options.screenshot.has_value());
        remove_private_fonts();
        return 1;
    }

    trace.mark("resources");
    // The stored language, else the one the session's locale asks for.
    platform::SettingsStore language_store;
    language_store.set_locale_language(language_id_for_locale(session.messages_locale));
    // Without a home folder the profiles would be kept in the shared temporary folder: only in
    // a private folder of ours, and when another user holds its name, not at all.
    if (const std::string why = platform::user_data_refusal(); !why.empty()) {
        std::fprintf(stderr, "velqa: no private folder for the profiles: %s\n", why.c_str());
        if (!options.screenshot) {
            load_stored_language_texts(language_store, default_data_folder());
            const QString text = platform::ui::LanguageTexts::instance()
                                     .text(QStringLiteral("data_folder_refused_text"))
                                     .arg(QString::fromStdString(why));
            ui::show_message(nullptr, QString(), text, 96, 0, 0);
        }
        remove_private_fonts();
        return 1;
    }
    std::unique_ptr<Simulator> simulator;
    if (options.simulate) {
        simulator = std::make_unique<Simulator>();
        simulator->start();
    }
    // The HID backend is chosen here, once, and handed down; nothing reads VELQA_HID later.
    std::shared_ptr<platform::hid::HidBackend> hid =
        simulator && simulator->backend() ? simulator->backend()
                                          : platform::hid::backend_from_environment();
    const bool locks_off = lock_folder.empty() && !lock_refusal.empty();
    hid->set_lock_folder(std::move(lock_folder));

    const std::shared_ptr<const link::DeviceCatalog> catalog = devices;
    auto wnd = std::make_unique<CMainWnd>(default_data_folder(), user_data_folder(), language_store,
                                          channel.get(), hid, std::move(devices));
    wnd->set_update_options(std::move(update_url), nullptr, platform::download_folder());
    wnd->set_start_hidden(options.hidden && !options.screenshot);
    // Another user's folder at our name must not switch the device locks off unnoticed.
    if (locks_off) {
        std::fprintf(stderr, "velqa: the device is not locked against our other programs: %s\n",
                     lock_refusal.c_str());
        if (!options.screenshot)
            wnd->add_start_notice("lock_folder_refused_text", lock_refusal);
    }
    // "Allow access" for a mouse this user may not open: pkexec and the package's udev helper.
    wnd->devices().set_access_helper(platform::find_access_helper(platform::executable_folder()));
    wnd->set_diagnostics(std::move(session));
    wnd->set_desktop_pointer(pointer_backend(desktop, catalog.get()));
    // Profiles follow the focused application; a screenshot is a render, not a session.
    if (!options.screenshot)
        wnd->set_focus_watcher(focus_backend(desktop));
    wnd->set_startup_trace(&trace);
    // The session's displays are read here, once: X11 records the whole desktop, otherwise
    // only what reaches our window.
    wnd->recorder().set_input_capture(
        platform::input::make_input_capture(platform::input::session_displays_from_environment()));
    if (channel) {
        // Messages from other programs arrive as the window messages they stand for.
        // Only names we know are looked up: a caller's name is never registered or kept.
        const std::pair<const char*, unsigned> accepted[] = {{kIdentityName, ids.identity},
                                                             {kRelayAName, ids.relay_a},
                                                             {kRelayBName, ids.relay_b},
                                                             {kAnnounceName, ids.announce},
                                                             {kLightControlName, ids.light_control},
                                                             {kToolQueryName, ids.tool_query},
                                                             {kGameStartName, ids.game_start},
                                                             {kGameEndName, ids.game_end},
                                                             {kGameKillName, ids.game_kill},
                                                             {kGameDeathName, ids.game_death}};
        CMainWnd* target = wnd.get();
        channel->set_receiver([target, accepted](const QString& name, qlonglong w, qlonglong l) {
            for (const auto& [known, message] : accepted) {
                if (name == QLatin1String(known)) {
                    target->post_message(message, static_cast<platform::ui::WParam>(w),
                                         static_cast<platform::ui::LParam>(l));
                }
            }
        });
    }

    if (automation != nullptr) {
        CMainWnd* target = wnd.get();
        automation->set_state_provider([target] { return target->automation_state(); });
    }
    if (channel) {
        // Data blocks (audio levels, the keyboard's block) are copied on the window thread.
        CMainWnd* target = wnd.get();
        channel->set_data_receiver(
            [target](quint32 kind, const QByteArray& block) {
                target->devices().receive_data_block(kind, block);
            },
            DeviceManager::kDataBlockBytes);
    }
    // Music lighting's levels come from the companion, over the bus like any other program's;
    // it runs only while a music effect is selected. A screenshot is a render, not a session.
    if (!options.screenshot) {
        wnd->devices().set_audio_companion(
            std::make_unique<AudioCompanion>(find_audio_companion(platform::executable_folder())));
    }
    // Sleep and resume reach the window as the power messages they stand for.
    std::unique_ptr<platform::ipc::SleepMonitor> sleep;
    if (!options.screenshot) {
        sleep = std::make_unique<platform::ipc::SleepMonitor>();
        CMainWnd* target = wnd.get();
        QObject::connect(
            sleep.get(), &platform::ipc::SleepMonitor::sleeping, target, [target](bool asleep) {
                target->post_message(kMsgPowerBroadcast, asleep ? kPowerSuspend : kPowerResume, 0);
            });
    }
    // A terminating signal (logout, kill) ends the program the orderly way, so that the workers
    // stop and the simulator goes with it.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, wnd.get(),
                     [target = wnd.get()] { target->post_message(platform::ui::kMsgClose, 0, 0); });

    int screenshot_code = 0;
    if (options.screenshot) {
        const QString file = QString::fromStdString(*options.screenshot);
        const QString tab = QString::fromStdString(options.tab);
        auto save = [&screenshot_code, file](QWidget& window) {
            // Pending layouts run before the picture is taken.
            QCoreApplication::sendPostedEvents();
            const QPixmap shot = window.grab();
            // Through the atomic writer, as every file at a path the user names: it refuses
            // another user's link in a shared folder.
            QByteArray png;
            QBuffer buffer(&png);
            std::string error;
            if (!buffer.open(QIODevice::WriteOnly) || !shot.save(&buffer, "PNG") ||
                !platform::write_file_atomically(
                    file.toStdString(),
                    std::string_view(png.constData(), static_cast<size_t>(png.size())), &error)) {
                std::fprintf(stderr, "velqa: cannot save the screenshot to %s %s\n",
                             file.toUtf8().constData(), error.c_str());
                screenshot_code = 1;
            }
        };
        QObject::connect(wnd.get(), &CMainWnd::settled, &app, [&wnd, save, tab] {
            platform::debug_printf("settled: rss %ld kB", resident_kb());
            if (tab == QLatin1String(kSettingsShot)) {
                // The settings window is taken once its check has ended.
                wnd->open_settings(true, [save](update::CSetWnd& settings) {
                    auto take = [&settings, save] {
                        save(settings);
                        settings.close_window(0);
                    };
                    if (settings.window_status() != update::WindowChecking) {
                        take();
                    } else {
                        QObject::connect(&settings, &update::CSetWnd::check_finished, &settings,
                                         take);
                    }
                });
                QCoreApplication::quit();
                return;
            }
            if (!tab.isEmpty())
                wnd->show_tab(tab);
            save(*wnd);
            QCoreApplication::quit();
        });
    }

    int exit_code = 0;
    if (wnd->create(QStringLiteral("ZARN_VELQA_R260"), QSize(800, 572))) {
        wnd->center_window();
        trace.mark("window layout");
        app.exec();
    } else {
        refuse_start(QStringLiteral("cannot build the main window: %1").arg(wnd->layout_error()),
                     options.screenshot.has_value());
        exit_code = 1;
    }

    if (channel) {
        channel->set_receiver({});
        channel->set_data_receiver({});
    }
    if (automation != nullptr)
        automation->set_state_provider({});
    wnd.reset();
    simulator.reset();
    remove_private_fonts();
    return exit_code != 0 ? exit_code : screenshot_code;
}

}  // namespace velqa::app

#include "application.moc"
