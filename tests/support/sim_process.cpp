#include "support/sim_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <thread>

extern char** environ;

namespace velqa::test {

CommandOutcome run_command(const std::string& command) {
    CommandOutcome r;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int status = ::pclose(p);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

bool wait_for_process(const std::function<bool()>& done) {
    // Another process makes the state, so there is nothing to block on but the clock.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool wait_for_file(const std::filesystem::path& file) {
    return wait_for_process([&] { return std::filesystem::exists(file); });
}

bool BackgroundCommand::start(const std::string& command) {
    std::string sh = "/bin/sh", flag = "-c", line = command;
    char* argv[] = {sh.data(), flag.data(), line.data(), nullptr};
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    const int rc = ::posix_spawn(&pid_, sh.c_str(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        pid_ = -1;
    return rc == 0;
}

void BackgroundCommand::stop() {
    if (pid_ <= 0)
        return;
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

bool SimProcess::start(const std::string& exe, const std::filesystem::path& dir,
                       const std::vector<std::string>& args) {
    std::vector<std::string> words = {exe, "--dir", dir.string()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
        return false;
    }
    // Another process makes the files, so there is nothing to block on but the clock; a short
    // pause between looks leaves the cores to the starting simulator.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    // A keyboard's nodes carry the "kbd-" prefix.
    const auto made = [&](const char* stem) {
        return std::filesystem::exists(dir / (std::string(stem) + ".json")) ||
               std::filesystem::exists(dir / ("kbd-" + std::string(stem) + ".json"));
    };
    while (!(std::filesystem::exists(dir / "control.sock") && made("cable-if1") &&
             made("receiver-if1"))) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool SimProcess::stop() {
    if (pid_ <= 0)
        return true;
    ::kill(pid_, SIGTERM);
    int status = 0;
    const pid_t waited = ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return waited > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace velqa::test
