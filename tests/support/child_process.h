// Programs a test starts: the real desktop programs (window managers, compositors, clients) that
// the desktop backends are tested against. Header-only, no Qt and no Xlib.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace velqa::test {

// The full path of `program` on PATH; empty when it is not there.
inline std::string find_program(const char* program) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path != nullptr ? path : "";
    for (std::size_t begin = 0; begin <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', begin), dirs.size());
        const std::string candidate = dirs.substr(begin, end - begin) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        begin = end + 1;
    }
    return {};
}
inline bool on_path(const char* program) {
    return !find_program(program).empty();
}

// A child process ended (SIGTERM, then reaped) with its owner.
class Child {
  public:
    Child() = default;
    explicit Child(pid_t pid) : pid_(pid) {}
    Child(Child&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }
    Child& operator=(Child&& other) noexcept {
        std::swap(pid_, other.pid_);
        return *this;
    }
    ~Child() { end(); }
    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
    // SIGTERM (or `signal`), then waits for it.
    void end(int signal = SIGTERM) {
        if (pid_ > 0) {
            kill(pid_, signal);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
};

// Our environment with `changes` ("NAME=value" sets, "NAME" removes).
inline std::vector<std::string> environment_with(const std::vector<std::string>& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('='));
        std::erase_if(env, [&](const std::string& v) { return v.starts_with(name + "="); });
        if (change.find('=') != std::string::npos)
            env.push_back(change);
    }
    return env;
}

// Starts `argv` (looked up on PATH) with our environment changed by `env`, its output to `log`
// (appended). An invalid Child when it cannot be started.
inline Child spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                   const std::string& log = "/dev/null") {
    std::vector<std::string> vars = environment_with(env);
    std::vector<char*> args, envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (std::string& v : vars)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in >= 0)
            dup2(in, 0);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    return Child(pid);
}

// Runs `argv` to its end; its exit status, or -1.
inline int run_program(const std::vector<std::string>& argv,
                       const std::vector<std::string>& env = {},
                       const std::string& log = "/dev/null") {
    Child child = spawn(argv, env, log);
    const pid_t pid = child.pid();
    if (pid <= 0)
        return -1;
    int status = 0;
    const pid_t done = waitpid(pid, &status, 0);
    child = Child();  // reaped
    return done == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// True when a Unix stream socket listens at `path`.
inline bool can_connect(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok =
        fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
}

}  // namespace velqa::test
