// The simulated mouse's firmware and its 2.4G receiver: request report in, reply report out,
// plus the notifications the mouse sends when it is used. No I/O, so tests run it in-process.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <json/value.h>

#include "device/link/report.h"
#include "sim_nodes.h"

namespace velqa::sim {

// Which device the firmware answers as. The keyboard keeps a 34-byte record at slot x 33, a
// key table of 3 x K bytes and one of K bytes, per-key colour groups of 512 bytes, and takes
// the lighting stream.
enum class SimDevice { Mouse, Keyboard };

struct FirmwareOptions {
    uint16_t sensor = 0x3395;
    uint8_t keys = 8;
    uint8_t macro_units = 32;
    uint8_t battery = 85;
    SimDevice device = SimDevice::Mouse;
};

// The keyboard's usual key count, when none is asked for.
constexpr uint8_t KeyboardDefaultKeys = 104;

enum class Fault { Drop, StatusFF, StatusFE, WrongEcho, Slow };

// Parses "drop", "status-ff", "status-fe", "wrong-echo", "slow".
std::optional<Fault> parse_fault(const std::string& name);

class Firmware {
  public:
    static constexpr size_t Slots = 4;
    static constexpr size_t SettingsMemorySize = 512;
    static constexpr size_t IndexedMemorySize = 4096;
    static constexpr size_t ShootingMemorySize = 4096;
    static constexpr size_t LightingMemorySize = 2048;
    static constexpr size_t MemorySpaceSize = 256;  // read by 0x1A; the power status at 0

    explicit Firmware(FirmwareOptions options = {});

    struct Outcome {
        std::optional<link::Report> reply;  // nullopt: the request goes unanswered
        int delay_ms = 0;                   // extra delay of a "slow" fault
    };
    // One output report (report ID first) written to the link's vendor collection.
    Outcome handle(Link link, std::span<const uint8_t> request);

    // Consumer-control input reports (report ID 3, 16-bit event code) for the given link.
    using NotifySink = std::function<void(Link, std::span<const uint8_t>)>;
    void set_notify_sink(NotifySink sink);

    // Which links have nodes; notifications go to plugged links (the receiver only while linked).
    void set_plugged(Link link, bool plugged);
    bool plugged(Link link) const;
    void set_linked(bool linked);
    bool linked() const;

    // Things the user does on the mouse. False when not possible (bad slot or offset).
    void press_dpi();
    bool set_slot(int slot);
    void set_battery(int percent, int charging);
    // A setting changed on the mouse itself: byte `offset` (1-73; keyboard 1-33) of the active
    // slot's record.
    bool change_setting(size_t offset, uint8_t value);
    // A button given another function on the mouse itself (by another program): the 3-byte code
    // at key `position` of the key table and of its bank. False beyond the keys.
    bool set_key(size_t position, uint8_t function_class, uint8_t first, uint8_t second);
    // A key pressed on the keyboard: event 0x500 + position (kind 1) or 0x600 + position
    // (kind 2) on the cable. False for a mouse, a position beyond the keys or another kind.
    bool press_key(int position, int kind);
    SimDevice device() const { return options_.device; }
    // Settings record size and slot stride of the device.
    size_t record_size() const;
    size_t slot_stride() const;

    // The next `count` device requests (the receiver's presence query excluded) meet the fault.
    void inject_fault(Fault fault, int count, int delay_ms = 0);
    void clear_faults();

    Json::Value dump() const;

    // Direct views for tests.
    std::vector<uint8_t> settings_memory() const;
    std::vector<uint8_t> key_table() const;
    std::vector<uint8_t> macro_memory() const;
    std::vector<uint8_t> shooting_memory() const;
    std::vector<uint8_t> lighting_memory() const;
    // The keyboard's per-key colour groups (512 bytes apart) and its K-byte key table.
    std::vector<uint8_t> indexed_memory() const;
    std::vector<uint8_t> key_table_thirds() const;
    uint64_t command_count(uint8_t code) const;
    // Every request handled (up to the most recent 100000), for tests of chunking.
    std::vector<link::Report> requests() const;
    void clear_requests();
    bool config_open() const;
    uint8_t active_stage() const;

  private:
    struct PendingFault {
        Fault fault;
        int remaining;
        int delay_ms;
    };
    link::Report answer(Link link, const link::Report& req, uint8_t& status);
    bool read_region(const std::vector<uint8_t>& mem, size_t offset, size_t length, size_t room,
                     link::Report& reply) const;
    bool write_region(std::vector<uint8_t>& mem, size_t offset, size_t length,
                      const link::Report& req, bool needs_config);
    void notify(uint16_t event);
    void flush();
    std::vector<uint8_t> info_block(Link link) const;

    mutable std::mutex mutex_;
    FirmwareOptions options_;
    std::vector<uint8_t> settings_;
    std::vector<uint8_t> key_table_;
    std::vector<uint8_t> key_bank_;
    std::vector<uint8_t> key_table_2_;
    std::vector<uint8_t> key_thirds_;
    std::vector<uint8_t> indexed_;
    std::vector<uint8_t> macro_;
    std::vector<uint8_t> shooting_;
    std::vector<uint8_t> lighting_;
    std::vector<uint8_t> memory_;
    bool config_open_ = false;
    bool lighting_control_ = false;
    bool linked_ = true;
    bool cable_plugged_ = false;
    bool receiver_plugged_ = false;
    std::vector<PendingFault> faults_;
    std::map<uint8_t, uint64_t> counts_;
    std::vector<link::Report> log_;
    NotifySink sink_;
    // Notifications raised under the lock, sent after it is released.
    std::vector<std::pair<Link, std::array<uint8_t, 3>>> outbox_;
};

}  // namespace velqa::sim
