// The device scan: finds the supported interfaces among the HID nodes, claims a slot for each,
// and notices when a claimed interface goes away. A pass runs when the set of nodes may have
// changed (the backend's node folder changed) and at least every SafetyPass, never in a loop
// of its own. No UI: the window learns of arrivals and losses through a ScanListener.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "app/device_slots.h"
#include "platform/hid/hid_backend.h"
#include "platform/worker_thread.h"

namespace velqa::app {

// What a pass reports, called on the scan thread in pass order.
class ScanListener {
  public:
    virtual ~ScanListener() = default;
    // A slot was claimed (0xC12); returns once the window has handled it.
    virtual void device_arrived(std::size_t slot) = 0;
    // A claimed slot's node went away and the slot was freed (0xC13); returns once handled.
    virtual void device_lost(std::size_t slot) = 0;
    // The first pass is over (the identity message); called once.
    virtual void first_pass_done() = 0;
    // The supported interfaces that were found but may not be opened by this user (EACCES or
    // EPERM), as interface paths; called after a pass whenever the set differs from the last
    // one reported (an empty set once they can be opened or are gone).
    virtual void access_denied(const std::vector<std::string>& paths) = 0;
};

struct PassResult {
    bool scanned = false;      // the HID list was scanned (some slot was free)
    bool scan_failed = false;  // the list could not be read (retried on the next pass)
    std::vector<std::size_t> claimed;
    std::vector<std::size_t> lost;
    std::vector<std::string> denied;  // supported interfaces this user may not open
};

// One pass over the HID list and the linked slots. Not thread-safe on its own: one thread runs
// the passes (the slots themselves are shared safely).
class DeviceScanner {
  public:
    DeviceScanner(std::shared_ptr<platform::hid::HidBackend> backend, DeviceSlots& slots,
                  const link::SupportedDeviceTable& table);
    ~DeviceScanner();
    DeviceScanner(const DeviceScanner&) = delete;
    DeviceScanner& operator=(const DeviceScanner&) = delete;

    // When some slot is free: scans the interfaces; each candidate (a row and a free slot with
    // its vendor ID, product ID, collection and interface) is opened for reading, identified
    // (attributes, capabilities, product string) and closed again; a match claims a slot and
    // is reported to `listener` at once. Then the presence check: every linked slot whose node
    // is gone (or is now another node) is freed and reported. A failed list read is written to
    // the debug output and retried on the next pass.
    PassResult run_pass(ScanListener& listener);

  private:
    std::shared_ptr<platform::hid::HidBackend> backend_;
    DeviceSlots& slots_;
    const link::SupportedDeviceTable& table_;
    // The probing HidDevice (kept for the scanner's life), the denied set last reported and
    // whether the first pass has been reported.
    class State;
    std::unique_ptr<State> state_;
};

// The scan thread: a pass at start, then one whenever the backend's node folder changes, at
// least every `safety_pass`, or when rescan() asks; it waits on the folder, a deadline and its
// stop event and never polls.
class DeviceScanThread {
  public:
    static constexpr std::chrono::milliseconds SafetyPass{2000};

    DeviceScanThread(std::shared_ptr<platform::hid::HidBackend> backend, DeviceSlots& slots,
                     const link::SupportedDeviceTable& table, ScanListener& listener,
                     std::chrono::milliseconds safety_pass = SafetyPass);
    ~DeviceScanThread();

    bool start();
    // Sets the stop event and ends the wait at once; writes "抓取设备线程设定退出" from the
    // thread as it ends. Bounded wait as WorkerThread::stop.
    platform::StopOutcome stop(std::chrono::milliseconds bounded = platform::DefaultStopWait);
    // Sets the stop event (and ends the thread's wait) without waiting: the first half of a
    // stop of many workers at once.
    void request_stop();
    bool running() const;
    // Asks for a pass now.
    void rescan();
    // Passes run so far.
    std::uint64_t passes() const { return passes_.load(); }

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
    std::atomic<std::uint64_t> passes_{0};
};

}  // namespace velqa::app
