// The simulator's control side: the ReportHandler that puts the firmware model behind the
// virtual nodes, the `ctl` commands, and the control socket they travel through.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "firmware.h"
#include "sim_nodes.h"

namespace velqa::sim {

// Answers vendor reports with the firmware model after `latency_ms`, and forwards the model's
// notifications to the consumer-control collection of interface 1.
class FirmwareHandler : public ReportHandler {
  public:
    explicit FirmwareHandler(Firmware& firmware, int latency_ms = 0);
    ~FirmwareHandler() override;
    // Must be called before the nodes start serving.
    void attach(SimNodes* nodes);
    void on_output(Link link, std::span<const uint8_t> report) override;
    void set_latency(int ms) { latency_ms_.store(ms); }

  private:
    Firmware& firmware_;
    SimNodes* nodes_ = nullptr;
    std::atomic<int> latency_ms_;
};

struct ControlResult {
    int exit_code = 0;  // 0 success, 1 failed, 2 usage error
    std::string output;
};

// Runs one `ctl` command (the words after "ctl --dir DIR") against the model and the nodes.
ControlResult run_control(Firmware& firmware, SimNodes* nodes,
                          const std::vector<std::string>& args);

const char* control_usage();

// The control socket "control.sock" in the nodes' folder: one connection per command (its words
// separated by line breaks, ended by shutting the sending side), answered with the exit code,
// a line break and the output. Connections are served side by side, at most MaxConnections at a
// time; each has `deadline` in all to send its command and take the answer, and is dropped
// when that passes, so a slow or silent client never holds up the others.
class ControlServer {
  public:
    static constexpr size_t MaxConnections = 16;
    static constexpr std::chrono::milliseconds DefaultDeadline{5000};

    ControlServer(Firmware& firmware, SimNodes* nodes, std::filesystem::path dir,
                  std::chrono::milliseconds deadline = DefaultDeadline);
    ~ControlServer();  // stop()
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;
    bool start();
    void stop();
    static std::filesystem::path socket_path(const std::filesystem::path& dir);

  private:
    struct Connection;
    void serve();
    // Reads what a connection has sent; false when it is to be dropped. Answers the command
    // once the client has sent all of it.
    bool take_input(Connection& c);
    // Sends what the socket takes of the answer; false when done or failed.
    bool give_output(Connection& c);

    Firmware& firmware_;
    SimNodes* nodes_;
    std::filesystem::path dir_;
    std::chrono::milliseconds deadline_;
    int listen_fd_ = -1;
    int stop_fd_ = -1;
    std::thread thread_;
};

// Client side of `velqa-sim ctl`: sends the command, returns the simulator's result (exit code
// 1 and a message when the simulator cannot be reached).
ControlResult send_control(const std::filesystem::path& dir, const std::vector<std::string>& args);

}  // namespace velqa::sim
