// One scan pass over a machine with 200 hidraw nodes of four collections each (800 interface
// paths): sysfs reads, descriptor parsing and path building.
#include <benchmark/benchmark.h>

#include "device/link/hid_device.h"
#include "platform/hid/hid_backend.h"
#include "platform/hid/sysfs_fixture.h"
#include "support/temp_dir.h"

namespace {

const velqa::test::TempDir& fixture_tree() {
    static velqa::test::TempDir dir;
    static const bool built = [] {
        const auto descriptor = velqa::test::four_collection_descriptor();
        for (int i = 0; i < 200; ++i) {
            velqa::test::FixtureNode n;
            n.name = "hidraw" + std::to_string(i);
            n.vendor_id = 0xFA2E;
            n.product_id = static_cast<uint16_t>(0x2000 + i);
            n.interface_number = 1;
            n.usb_product = "VELQA-R260";
            n.hid_name = "ZARN VELQA-R260";
            n.hid_phys = "usb-0000:00:14.0-1/input1";
            n.descriptor = descriptor;
            velqa::test::add_hidraw_node(dir.path(), n);
        }
        return true;
    }();
    (void)built;
    return dir;
}

void BM_ScanInterfaces(benchmark::State& state) {
    auto backend = velqa::platform::hid::make_hidraw_backend(fixture_tree().path());
    for (auto _ : state) {
        auto result = velqa::platform::hid::scan_interfaces(*backend);
        if (result.interfaces.size() != 800)
            state.SkipWithError("fixture tree incomplete");
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_ScanInterfaces)->Unit(benchmark::kMillisecond);

// The device manager's view: HidDevice::scan and walking the list.
void BM_HidDeviceScan(benchmark::State& state) {
    velqa::link::HidDevice device(velqa::platform::hid::make_hidraw_backend(fixture_tree().path()));
    for (auto _ : state) {
        device.scan();
        size_t n = 0;
        while (device.next_path())
            ++n;
        if (n != 800)
            state.SkipWithError("fixture tree incomplete");
        device.clear_scan();
    }
}
BENCHMARK(BM_HidDeviceScan)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
