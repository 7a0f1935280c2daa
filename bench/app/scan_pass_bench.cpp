// One device-scan pass with the simulated mouse and 200 unrelated HID nodes present: a pass
// that reads the whole list (a slot is free), and a pass that only checks the linked slots'
// nodes (every slot of the mouse linked).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "app/device_scan.h"
#include "in_process_sim.h"
#include "support/shipped_devices.h"
#include "support/temp_dir.h"
#include "support/test_hid_nodes.h"

namespace {

using velqa::sim::Link;

class NullListener : public velqa::app::ScanListener {
  public:
    void device_arrived(std::size_t) override {}
    void device_lost(std::size_t) override {}
    void first_pass_done() override {}
    void access_denied(const std::vector<std::string>&) override {}
};

struct Machine {
    velqa::test::TempDir dir;
    velqa::sim::InProcessSim sim{dir.path()};
    std::vector<std::unique_ptr<velqa::test::FakeSimNode>> others;

    Machine() {
        const auto descriptor = velqa::sim::SimNodes::report_descriptor(1);
        for (int i = 0; i < 200; ++i) {
            velqa::platform::hid::NodeInfo info;
            info.vendor_id = 0x1234;
            info.product_id = static_cast<uint16_t>(0x1000 + i);
            info.interface_number = 1;
            info.product = "Other HID device";
            info.descriptor.assign(descriptor.begin(), descriptor.end());
            others.push_back(std::make_unique<velqa::test::FakeSimNode>(
                dir.path(), "other" + std::to_string(1000 + i), info));
        }
    }
};

// The receiver unplugged: its two slots stay free, so every pass reads the list of 204 nodes
// (816 interfaces) and checks the cable's two slots.
void BM_PassReadingTheList(benchmark::State& state) {
    Machine machine;
    machine.sim.nodes().unplug(Link::Receiver);
    velqa::app::DeviceSlots slots(velqa::test::shipped_interfaces());
    velqa::app::DeviceScanner scanner(machine.sim.backend(), slots,
                                      velqa::test::shipped_interfaces());
    NullListener listener;
    if (scanner.run_pass(listener).claimed.size() != 2)
        state.SkipWithError("the cable was not claimed");
    for (auto _ : state) {
        auto result = scanner.run_pass(listener);
        if (!result.scanned || !result.lost.empty())
            state.SkipWithError("unexpected pass");
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_PassReadingTheList)->Unit(benchmark::kMillisecond);

// Both links plugged and all four slots linked: a pass is the presence check alone.
void BM_PresenceOnlyPass(benchmark::State& state) {
    Machine machine;
    velqa::app::DeviceSlots slots(velqa::test::shipped_interfaces());
    velqa::app::DeviceScanner scanner(machine.sim.backend(), slots,
                                      velqa::test::shipped_interfaces());
    NullListener listener;
    if (scanner.run_pass(listener).claimed.size() != 4)
        state.SkipWithError("the mouse was not claimed");
    for (auto _ : state) {
        auto result = scanner.run_pass(listener);
        if (result.scanned || !result.lost.empty())
            state.SkipWithError("unexpected pass");
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_PresenceOnlyPass)->Unit(benchmark::kMicrosecond);

// A pass that finds the mouse on both links: the list, four probing opens and the claims.
void BM_PassClaimingTheMouse(benchmark::State& state) {
    Machine machine;
    velqa::app::DeviceSlots slots(velqa::test::shipped_interfaces());
    velqa::app::DeviceScanner scanner(machine.sim.backend(), slots,
                                      velqa::test::shipped_interfaces());
    NullListener listener;
    for (auto _ : state) {
        auto result = scanner.run_pass(listener);
        if (result.claimed.size() != 4)
            state.SkipWithError("the mouse was not claimed");
        state.PauseTiming();
        for (auto slot : result.claimed)
            slots.release(slot);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PassClaimingTheMouse)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
