#include "app/device_scan.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "device/link/hid_device.h"
#include "platform/debug_output.h"
#include "platform/hid/node_watcher.h"

namespace velqa::app {

namespace {

struct NodeId {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    std::int64_t birth = 0;
    bool operator==(const NodeId&) const = default;
};

// The node behind an interface path, as the file system knows it now. Inode numbers alone are
// not enough: a node removed and made again often gets the same one.
std::optional<NodeId> node_id(const std::string& path) {
    struct statx st {};
    if (::statx(AT_FDCWD, platform::hid::node_of(path).c_str(), 0, STATX_INO | STATX_BTIME, &st) !=
        0) {
        return std::nullopt;
    }
    NodeId id;
    id.dev = (std::uint64_t{st.stx_dev_major} << 32) | st.stx_dev_minor;
    id.ino = st.stx_ino;
    if (st.stx_mask & STATX_BTIME)
        id.birth = st.stx_btime.tv_sec * 1'000'000'000LL + st.stx_btime.tv_nsec;
    return id;
}

// Node creation comes as several events (the node, then its permissions or, for the
// simulator, its sidecar): a pass waits for this much quiet, up to SettleLimit, so that it
// sees the node complete rather than half made.
constexpr std::chrono::milliseconds SettleQuiet{15};
constexpr std::chrono::milliseconds SettleLimit{150};

}  // namespace

class DeviceScanner::State {
  public:
    explicit State(std::shared_ptr<platform::hid::HidBackend> backend)
        : device_(std::move(backend)) {}
    link::HidDevice device_;
    std::vector<std::string> reported_denied_;
    bool first_pass_reported_ = false;
};

DeviceScanner::DeviceScanner(std::shared_ptr<platform::hid::HidBackend> backend, DeviceSlots& slots,
                             const link::SupportedDeviceTable& table)
    : backend_(backend),
      slots_(slots),
      table_(table),
      state_(std::make_unique<State>(std::move(backend))) {}

DeviceScanner::~DeviceScanner() = default;

PassResult DeviceScanner::run_pass(ScanListener& listener) {
    PassResult result;
    auto& device = state_->device_;
    if (slots_.any_free()) {
        result.scanned = true;
        if (!device.scan()) {
            result.scan_failed = true;
            platform::debug_output(
                "device scan: the HID list could not be read; next pass retries");
        } else {
            while (auto path = device.next_path()) {
                const auto vid = link::HidDevice::vendor_id_of(*path);
                const auto pid = link::HidDevice::product_id_of(*path);
                const auto mi = link::HidDevice::interface_of(*path);
                const auto col = link::HidDevice::collection_of(*path);
                if (!link::match_path(table_, *path) ||
                    !slots_.has_free_candidate(vid, pid, col, mi)) {
                    continue;
                }
                const auto before = node_id(*path);
                if (!before)
                    continue;  // gone since the list was read
                if (!device.open(*path, true, false, true, false)) {
                    if (device.last_failure() == link::HidFailure::PermissionDenied)
                        result.denied.push_back(*path);
                    continue;  // tried again on the next pass
                }
                link::DeviceIdentity identity = link::identity_of(device);
                identity.device_path = *path;
                device.close();
                // A node replaced while it was being identified is left to the next pass
                // rather than claimed with the numbers of another node.
                if (node_id(*path) != before)
                    continue;
                if (!link::match_identity(table_, identity))
                    continue;
                if (const auto slot =
                        slots_.claim(identity, before->dev, before->ino, before->birth)) {
                    result.claimed.push_back(*slot);
                    listener.device_arrived(*slot);
                }
            }
            device.clear_scan();
        }
    }

    for (const auto index : slots_.linked_slots()) {
        const auto slot = slots_.slot(index);
        if (node_id(slot.path) == NodeId{slot.node_dev, slot.node_ino, slot.node_birth})
            continue;
        slots_.release(index);
        result.lost.push_back(index);
        listener.device_lost(index);
    }

    if (!state_->first_pass_reported_) {
        state_->first_pass_reported_ = true;
        listener.first_pass_done();
    }
    // Only a complete scan knows the denied set; otherwise the last report stands.
    if (result.scanned && !result.scan_failed) {
        auto denied = result.denied;
        std::sort(denied.begin(), denied.end());
        if (denied != state_->reported_denied_) {
            state_->reported_denied_ = denied;
            listener.access_denied(denied);
        }
    }
    return result;
}

class DeviceScanThread::Impl {
  public:
    Impl(std::shared_ptr<platform::hid::HidBackend> backend, DeviceSlots& slots,
         const link::SupportedDeviceTable& table, ScanListener& listener,
         std::chrono::milliseconds safety_pass, std::atomic<std::uint64_t>& passes)
        : watcher_(backend->node_folder()),
          scanner_(backend, slots, table),
          listener_(listener),
          safety_pass_(safety_pass),
          passes_(passes) {
        if (!watcher_.watching()) {
            platform::debug_printf(
                "device scan: not watching the node folder (%s); a pass every %lld ms",
                watcher_.error().c_str(), static_cast<long long>(safety_pass.count()));
        }
    }

    void run(platform::StopEvent& stop) {
        using Clock = std::chrono::steady_clock;
        auto next_pass = Clock::now();
        for (;;) {
            if (stop.is_set())
                break;
            const auto result = scanner_.run_pass(listener_);
            passes_.fetch_add(1);
            next_pass = Clock::now() + safety_pass_;
            // A freed slot's node may already stand again under the same name (a re-plug
            // between two passes): look at once rather than at the next safety pass.
            if (!result.lost.empty() && !stop.is_set()) {
                scanner_.run_pass(listener_);
                passes_.fetch_add(1);
            }

            const auto left = std::max(Clock::duration::zero(), next_pass - Clock::now());
            const auto woke = watcher_.wait(std::chrono::ceil<std::chrono::milliseconds>(left));
            if (stop.is_set())
                break;
            if (woke == platform::hid::NodeWatcher::Wait::Changed)
                settle(stop);
        }
        platform::debug_output("抓取设备线程设定退出");
    }

    void settle(platform::StopEvent& stop) {
        const auto until = std::chrono::steady_clock::now() + SettleLimit;
        while (!stop.is_set() && std::chrono::steady_clock::now() < until) {
            if (watcher_.wait(SettleQuiet) != platform::hid::NodeWatcher::Wait::Changed)
                return;
        }
    }

    platform::hid::NodeWatcher watcher_;
    DeviceScanner scanner_;
    ScanListener& listener_;
    const std::chrono::milliseconds safety_pass_;
    std::atomic<std::uint64_t>& passes_;
    platform::WorkerThread worker_;
};

DeviceScanThread::DeviceScanThread(std::shared_ptr<platform::hid::HidBackend> backend,
                                   DeviceSlots& slots, const link::SupportedDeviceTable& table,
                                   ScanListener& listener, std::chrono::milliseconds safety_pass)
    : impl_(std::make_unique<Impl>(std::move(backend), slots, table, listener, safety_pass,
                                   passes_)) {}

DeviceScanThread::~DeviceScanThread() {
    stop();
}

bool DeviceScanThread::start() {
    return impl_->worker_.start(
        [impl = impl_.get()](platform::StopEvent& stop) { impl->run(stop); });
}

platform::StopOutcome DeviceScanThread::stop(std::chrono::milliseconds bounded) {
    return impl_->worker_.stop(bounded, [this] { impl_->watcher_.cancel(); });
}

void DeviceScanThread::request_stop() {
    impl_->worker_.stop_event().set();
    impl_->watcher_.cancel();
}

bool DeviceScanThread::running() const {
    return impl_->worker_.running();
}

void DeviceScanThread::rescan() {
    impl_->watcher_.cancel();
}

}  // namespace velqa::app
