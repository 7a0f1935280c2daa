// velqa-sim: the simulated mouse and 2.4G receiver behind virtual HID nodes.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim_nodes.h"

namespace {

// Until the firmware model exists every vendor report is answered with a copy of itself.
class EchoHandler : public velqa::sim::ReportHandler {
  public:
    void set_nodes(velqa::sim::SimNodes* nodes) { nodes_ = nodes; }
    void on_output(velqa::sim::Link link, std::span<const uint8_t> report) override {
        if (!nodes_ || report.empty() || report[0] != velqa::sim::SimNodes::VendorReportId)
            return;
        std::vector<uint8_t> reply(64, 0);
        std::memcpy(reply.data(), report.data(), std::min(report.size(), reply.size()));
        nodes_->send_input(link, 1, reply);
    }

  private:
    velqa::sim::SimNodes* nodes_ = nullptr;
};

void usage(FILE* out) {
    std::fprintf(out, "usage: velqa-sim --dir DIR [--link cable|receiver|both]\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    std::string link = "both";
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--dir" || arg == "--link") && i + 1 < argc) {
            (arg == "--dir" ? dir : link) = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (dir.empty() || (link != "cable" && link != "receiver" && link != "both")) {
        usage(stderr);
        return 2;
    }

    // Block the stop signals before any thread starts so only sigwait below sees them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    EchoHandler handler;
    velqa::sim::SimNodes nodes(dir, &handler);
    handler.set_nodes(&nodes);
    if (!nodes.start(link != "receiver", link != "cable")) {
        std::fprintf(stderr, "velqa-sim: cannot create the nodes in %s\n", dir.c_str());
        return 1;
    }
    std::fprintf(stderr, "velqa-sim: serving %s link(s) in %s\n", link.c_str(), dir.c_str());
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    nodes.stop();
    return 0;
}
