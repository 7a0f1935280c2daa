#include "support/private_dconf.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/sim_process.h"

namespace velqa::test {

namespace {

// dconf-service's place in Debian; the bus starts it through its service file.
constexpr char kDconfService[] = "/usr/libexec/dconf-service";

bool on_path(const char* program) {
    return run_command(std::string("command -v ") + program + " >/dev/null").exit_code == 0;
}

std::string quoted(const std::string& text) {
    std::string q = "'";
    for (const char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

PrivateDconf::PrivateDconf() : config_(dir_ / "config") {
    if (!on_path("dbus-daemon") || !on_path("gsettings") || access(kDconfService, X_OK) != 0) {
        why_not_ =
            "dbus-daemon, gsettings or dconf-service is missing (scripts/setup installs "
            "dbus-daemon, libglib2.0-bin and dconf-service)";
        return;
    }
    const auto runtime = dir_ / "runtime";
    std::filesystem::create_directories(config_);
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("GSETTINGS_BACKEND", "dconf", 1);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=1",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string address;
    if (pid > 0) {
        pid_ = pid;
        char c = 0;
        pollfd p{out[0], POLLIN, 0};
        while (poll(&p, 1, 10000) == 1 && read(out[0], &c, 1) == 1 && c != '\n')
            address += c;
    }
    close(out[0]);
    if (address.empty()) {
        why_not_ = "dbus-daemon did not start";
        return;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
}

PrivateDconf::~PrivateDconf() {
    if (pid_ <= 0)
        return;
    // dconf-service leaves with its bus.
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

std::string PrivateDconf::get(const std::string& schema, const std::string& key) {
    const CommandOutcome r = run_command("gsettings get " + quoted(schema) + " " + quoted(key));
    if (r.exit_code != 0)
        return "<failed>";
    std::string out = r.out;
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

bool PrivateDconf::set(const std::string& schema, const std::string& key,
                       const std::string& value) {
    return run_command("gsettings set " + quoted(schema) + " " + quoted(key) + " " + quoted(value))
               .exit_code == 0;
}

}  // namespace velqa::test
