// velqa-sim as a separate process for command-line tests, and running a shell command line.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace velqa::test {

struct CommandOutcome {
    int exit_code = -1;  // -1 when the command did not exit normally
    std::string out;     // its standard output
};

// Runs `command` with the shell and captures its standard output.
CommandOutcome run_command(const std::string& command);

// A velqa-sim process serving `dir`; stopped with SIGTERM by stop() or the destructor.
class SimProcess {
  public:
    SimProcess() = default;
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts `exe --dir DIR ARGS...` and waits (20 s at most) until its control socket and both
    // vendor sidecars exist. False when it could not be started or did not get ready.
    bool start(const std::string& exe, const std::filesystem::path& dir,
               const std::vector<std::string>& args);
    // SIGTERM and wait; true when it exited with status 0 (also true when it was not running).
    bool stop();
    bool running() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
};

// A shell command line left running in its own process group (a lock holder, a program that
// hangs); stop() or the destructor kills the whole group.
class BackgroundCommand {
  public:
    BackgroundCommand() = default;
    ~BackgroundCommand() { stop(); }
    BackgroundCommand(const BackgroundCommand&) = delete;
    BackgroundCommand& operator=(const BackgroundCommand&) = delete;

    bool start(const std::string& command);
    void stop();

  private:
    pid_t pid_ = -1;
};

// Waits (20 s at most) until `done()` holds, for a state another process makes; false when it
// did not come.
bool wait_for_process(const std::function<bool()>& done);
// wait_for_process until `file` exists.
bool wait_for_file(const std::filesystem::path& file);

}  // namespace velqa::test
