// The real window managers and compositors the focus watchers are tested against, each in a
// folder of the test's own: i3 on a given X display, Sway headless. Header-only, no Qt and no
// Xlib. A session whose program is missing or does not start says why in why_not().
#pragma once

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/waiting.h"

namespace velqa::test {

// Starting a compositor on 2 busy cores can take seconds.
inline constexpr std::chrono::seconds ProgramStartDeadline{30};

// i3 managing `display`, its IPC socket at a path of its own (kept when it restarts in place).
class I3Session {
  public:
    I3Session(const std::string& display, const std::filesystem::path& dir)
        : display_(display), dir_(dir), socket_((dir / "i3.sock").string()) {
        if (!on_path("i3") || !on_path("i3-msg")) {
            why_not_ = "i3 is not installed (scripts/setup installs i3-wm)";
            return;
        }
        std::ofstream(dir / "i3.config") << "# i3 config file (v4)\n"
                                            "font pango:monospace 8\n"
                                            "ipc-socket "
                                         << socket_
                                         << "\n"
                                            // Activation requests (a pager's, ours) move the focus.
                                            "focus_on_window_activation focus\n";
        start();
    }

    // Starts i3 (again); false with why_not() set when its socket does not come up.
    bool start() {
        i3_ = spawn({"i3", "-c", (dir_ / "i3.config").string()}, {"DISPLAY=" + display_},
                    (dir_ / "i3.log").string());
        if (!eventually([&] { return can_connect(socket_) || !i3_.running(); },
                        ProgramStartDeadline) ||
            !i3_.running()) {
            why_not_ =
                "i3 did not start on " + display_ + " (see " + (dir_ / "i3.log").string() + ")";
            return false;
        }
        why_not_.clear();
        return true;
    }
    void end() { i3_.end(); }

    const std::string& why_not() const { return why_not_; }
    const std::string& socket() const { return socket_; }
    // i3-msg with `command`; true when i3 took it.
    bool msg(const std::string& command) const {
        return run_program({"i3-msg", "-s", socket_, command}) == 0;
    }

  private:
    std::string display_;
    std::filesystem::path dir_;
    std::string socket_;
    std::string why_not_;
    Child i3_;
};

// The unprivileged user a compositor that refuses root runs as when the test is root.
struct SessionUser {
    uid_t uid = 0;
    gid_t gid = 0;
    bool other = false;  // not us: the programs run through setpriv
};
inline SessionUser session_user() {
    if (geteuid() != 0)
        return {geteuid(), getegid(), false};
    const passwd* nobody = getpwnam("nobody");
    return nobody != nullptr ? SessionUser{nobody->pw_uid, nobody->pw_gid, true} : SessionUser{};
}

// Sway on the headless backend (pixman, no input devices), with Xwayland on demand. Its runtime
// folder is `dir`/run, shared by every Sway started on `dir`, so that a Sway started anew
// listens beside the one it replaces.
class SwaySession {
  public:
    explicit SwaySession(const std::filesystem::path& dir) : dir_(dir), user_(session_user()) {
        namespace fs = std::filesystem;
        if (!on_path("sway") || !on_path("swaymsg")) {
            why_not_ = "sway is not installed (scripts/setup installs it)";
            return;
        }
        if (geteuid() == 0 && !user_.other) {
            why_not_ = "Sway refuses root and there is no user \"nobody\" to run it as";
            return;
        }
        if (user_.other && !on_path("setpriv")) {
            why_not_ = "Sway refuses root and setpriv (util-linux) is missing";
            return;
        }
        // The user Sway runs as reads its config and owns its runtime and home folders.
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec,
                        ec);
        for (const char* sub : {"run", "home"}) {
            fs::create_directories(dir / sub, ec);
            fs::permissions(dir / sub, fs::perms::owner_all, ec);
            if (user_.other && chown((dir / sub).c_str(), user_.uid, user_.gid) != 0) {
                why_not_ = "the folders for Sway cannot be given to the unprivileged user";
                return;
            }
        }
        std::ofstream(dir / "sway.config") << "output HEADLESS-1 resolution 1024x768\n"
                                              "xwayland enable\n";
        fs::permissions(dir / "sway.config",
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read,
                        ec);
        start();
    }

    // Starts Sway (again): false with why_not() set when its socket does not come up.
    bool start() {
        std::vector<std::string> argv;
        if (user_.other)
            argv = {"setpriv", "--reuid=" + std::to_string(user_.uid),
                    "--regid=" + std::to_string(user_.gid), "--clear-groups", "--"};
        for (const std::string& a :
             {std::string("sway"), std::string("-c"), (dir_ / "sway.config").string()})
            argv.push_back(a);
        sway_ =
            spawn(argv,
                  {"XDG_RUNTIME_DIR=" + (dir_ / "run").string(), "HOME=" + (dir_ / "home").string(),
                   "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman",
                   "WAYLAND_DISPLAY", "DISPLAY", "SWAYSOCK", "I3SOCK"},
                  (dir_ / "sway.log").string());
        // setpriv executes Sway in its own process, so the socket names this pid.
        socket_ = (dir_ / "run" /
                   ("sway-ipc." + std::to_string(user_.uid) + "." + std::to_string(sway_.pid()) +
                    ".sock"))
                      .string();
        if (!eventually([&] { return can_connect(socket_) || !sway_.running(); },
                        ProgramStartDeadline) ||
            !sway_.running()) {
            why_not_ = "sway did not start headless (see " + (dir_ / "sway.log").string() + ")";
            return false;
        }
        why_not_.clear();
        return true;
    }
    void end() { sway_.end(); }

    const std::string& why_not() const { return why_not_; }
    const std::string& socket() const { return socket_; }
    const std::filesystem::path& runtime_folder() const { return runtime_; }
    // swaymsg with `command`; true when Sway took it.
    bool msg(const std::string& command) const {
        return run_program({"swaymsg", "-s", socket_, command}) == 0;
    }

  private:
    std::filesystem::path dir_;
    std::filesystem::path runtime_ = dir_ / "run";
    SessionUser user_;
    std::string socket_;
    std::string why_not_;
    Child sway_;
};

}  // namespace velqa::test
