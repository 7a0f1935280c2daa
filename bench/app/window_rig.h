// The main window offscreen over the in-process simulated mouse (on the cable, answering after
// 1 ms), in a private folder laid out as the program's: what the benches that drive the whole
// window share. The data folder may be filled before the window starts.
#pragma once

#include <sys/stat.h>

#include <QComboBox>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/main_wnd.h"
#include "in_process_sim.h"
#include "macro/macro_files.h"
#include "platform/folders.h"
#include "platform/ui/settings_store.h"
#include "profile/profile_list.h"
#include "profile/ui/device_profile_ui.h"
#include "window_bench.h"

namespace velqa::bench {

namespace fs = std::filesystem;

inline fs::path default_data() {
    return fs::path(VELQA_SOURCE_DIR) / "DefaultData";
}

// The profile kinds, each with its own folder and factory profile.
inline const char* const ProfileKinds[] = {"mouse", "keyboard", "MousePad", "HD"};

// `steps` macro events: key presses and releases of A..Z in turn, 10 ms apart.
inline std::vector<macro::MacroEvent> macro_steps(int steps) {
    std::vector<macro::MacroEvent> events;
    for (int i = 0; i < steps; ++i) {
        const auto key = static_cast<std::uint8_t>(0x04 + (i / 2) % 26);
        events.push_back({i % 2 == 0, key, macro::TypeKey, 10});
    }
    return events;
}

// Fills the user data folder `user` (…/ZARN_VELQA_R260) as a user's: `profiles` profiles of each
// kind (none: the folders stay empty), and `macros` macros of `steps` events in the mouse's.
inline void fill_folders(const fs::path& user, int profiles, int macros, int steps) {
    if (profiles > 0) {
        for (const char* kind : ProfileKinds) {
            profile::ProfileList list(user / kind, default_data() / (std::string(kind) + ".Json"));
            list.load();
            while (list.size() < profiles) {
                if (!list.copy(0).ok())
                    std::abort();
            }
        }
    }
    if (macros > 0) {
        macro::MacroLibrary library(user / "mouse");
        library.load();
        const std::vector<macro::MacroEvent> events = macro_steps(steps);
        while (library.size() < macros) {
            const macro::MacroResult r = library.create();
            if (!r.ok() || !library.save_events(r.index, events).ok())
                std::abort();
        }
    }
}

class WindowRig {
  public:
    // `fill` prepares the user data folder before the window starts.
    explicit WindowRig(const std::function<void(const fs::path& user)>& fill = {}) {
        window_bench_app();
        char tmpl[] = "/tmp/velqa-bench-XXXXXX";
        dir_ = ::mkdtemp(tmpl);
        fs::create_directories(dir_ / "run");
        ::chmod((dir_ / "run").c_str(), 0700);
        if (fill)
            fill(user());
        sim_ = std::make_unique<sim::InProcessSim>(dir_ / "sim", sim::FirmwareOptions{}, 1);
        sim_->backend()->set_lock_folder(platform::runtime_folder((dir_ / "run").string()));
        sim_->nodes().unplug(sim::Link::Receiver);
        sim_->firmware().set_plugged(sim::Link::Receiver, false);
        wnd_ = std::make_unique<app::CMainWnd>(
            default_data(), user(),
            platform::SettingsStore(QString::fromStdString((dir_ / "config/velqa.conf").string())),
            nullptr, sim_->backend());
        bool settled = false;
        QObject::connect(wnd_.get(), &app::CMainWnd::settled, [&] { settled = true; });
        wnd_->create(QStringLiteral("ZARN_VELQA_R260"), QSize(800, 572));
        if (!run_until([&] { return settled; }))
            std::abort();
    }
    ~WindowRig() {
        wnd_.reset();
        sim_.reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    WindowRig(const WindowRig&) = delete;
    WindowRig& operator=(const WindowRig&) = delete;

    const fs::path& dir() const { return dir_; }
    fs::path user() const { return dir_ / "data" / "ZARN_VELQA_R260"; }
    sim::InProcessSim& sim() { return *sim_; }
    app::CMainWnd& window() { return *wnd_; }
    profile::CDeviceProfileUI& profiles() {
        auto* control = wnd_->devices().selected_profile_control();
        if (control == nullptr)
            std::abort();
        return *control;
    }
    QComboBox* profile_combo() {
        return profiles().findChild<QComboBox*>(QStringLiteral("device_profile_combo"));
    }

  private:
    fs::path dir_;
    std::unique_ptr<sim::InProcessSim> sim_;
    std::unique_ptr<app::CMainWnd> wnd_;
};

// Runs every pending event, then paints the window as its next frame would.
inline void settle_and_paint(QWidget& window) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    window.repaint();
}

}  // namespace velqa::bench
