#include "firmware.h"

#include <algorithm>
#include <cstdio>

namespace velqa::sim {

namespace {

using link::Report;
namespace bp = link::byte_pos;
namespace code = link::code;

std::string hex(std::span<const uint8_t> bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0xF]);
    }
    return out;
}

void put16(uint8_t* p, unsigned v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

// One factory record: lighting, polling 1000 Hz on both links, six enabled stages with colours,
// 300 s sleep, key delay code 4.
void factory_record(uint8_t* r, size_t slot) {
    static const uint8_t colours[6][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                                          {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
    static const unsigned dpis[6] = {400, 800, 1600, 3200, 6400, 12800};
    r[0] = static_cast<uint8_t>(slot);
    r[1] = 0x01;  // lighting mode
    r[2] = 4;     // brightness
    r[3] = 2;     // speed code
    r[4] = 0;
    r[5] = 1;
    r[6] = 255;
    r[7] = 64;
    r[8] = 0;
    r[10] = 5;
    r[11] = 5;
    r[12] = 1;  // active stage
    r[13] = 0;
    for (size_t i = 0; i < 6; ++i) {
        uint8_t* s = r + 14 + i * 9;
        s[0] = 1;
        s[1] = 0;
        put16(s + 2, dpis[i]);
        put16(s + 4, dpis[i]);
        std::copy_n(colours[i], 3, s + 6);
    }
    put16(r + 68, 300);
    r[70] = 4;
    r[71] = 0;
    r[72] = 1;
    r[73] = 0x5A;  // the firmware's own byte; the program must keep it
}

// The keyboard's factory record: spectrum at full brightness, 1000 Hz, repeat and delay at
// their middle settings. Byte 30 is the firmware's own and must survive every write.
void keyboard_record(uint8_t* r, size_t slot) {
    r[0] = static_cast<uint8_t>(slot);
    r[1] = 3;  // lighting mode
    r[2] = 4;  // brightness
    r[3] = 2;  // speed code
    r[4] = 1;
    r[5] = 1;
    r[6] = 0;
    r[7] = 128;
    r[8] = 255;
    r[19] = 0;  // six-key mode off
    r[20] = 3;  // repeat
    r[21] = 3;  // polling rate: 1000 Hz
    r[22] = 2;  // repeat delay
    r[25] = 0;  // colour group
    r[30] = 0xA5;
}

}  // namespace

std::optional<Fault> parse_fault(const std::string& name) {
    if (name == "drop")
        return Fault::Drop;
    if (name == "status-ff")
        return Fault::StatusFF;
    if (name == "status-fe")
        return Fault::StatusFE;
    if (name == "wrong-echo")
        return Fault::WrongEcho;
    if (name == "slow")
        return Fault::Slow;
    return std::nullopt;
}

Firmware::Firmware(FirmwareOptions options)
    : options_(options),
      settings_(SettingsMemorySize, 0),
      key_table_(size_t{3} * options.keys, 0),
      key_bank_(size_t{3} * options.keys, 0),
      key_table_2_(size_t{3} * options.keys, 0),
      indexed_(IndexedMemorySize, 0),
      macro_(size_t{128} * options.macro_units, 0),
      shooting_(ShootingMemorySize, 0),
      lighting_(LightingMemorySize, 0),
      memory_(MemorySpaceSize, 0) {
    key_thirds_.assign(options.keys, 0);
    for (size_t s = 0; s < Slots; ++s) {
        if (options.device == SimDevice::Keyboard)
            keyboard_record(&settings_[s * slot_stride()], s);
        else
            factory_record(&settings_[s * 96], s);
    }
    settings_[0] = 0;  // the active slot
    if (options.device == SimDevice::Keyboard) {
        // Key codes: class 0x02 (keyboard key) with the usage; the second table one byte each.
        for (size_t k = 0; k < options.keys; ++k) {
            key_table_[3 * k] = 0x02;
            key_table_[3 * k + 1] = static_cast<uint8_t>(4 + k);
            key_table_[3 * k + 2] = 0;
            key_thirds_[k] = static_cast<uint8_t>(k);
            // Colour group 0 holds a gradient, so a read of the custom colours shows something.
            indexed_[3 * k] = static_cast<uint8_t>(255 - k);
            indexed_[3 * k + 1] = static_cast<uint8_t>(k * 2);
            indexed_[3 * k + 2] = 0x40;
        }
        key_bank_ = key_table_;
        memory_[0] = options.battery;
        return;
    }
    // The buttons as the mouse leaves the factory, in the program's key codes: the five mouse
    // buttons, DPI up, down and cycle, the two wheel directions and a media key; further keys
    // (a larger --keys) are mouse buttons again.
    static constexpr std::array<std::array<uint8_t, 3>, 11> kFactoryKeys = {{{0x10, 0x01, 0x00},
                                                                             {0x10, 0x02, 0x00},
                                                                             {0x10, 0x04, 0x00},
                                                                             {0x10, 0x08, 0x00},
                                                                             {0x10, 0x10, 0x00},
                                                                             {0x13, 0x01, 0x00},
                                                                             {0x13, 0x02, 0x00},
                                                                             {0x13, 0x03, 0x00},
                                                                             {0x12, 0x00, 0x01},
                                                                             {0x12, 0x00, 0xFF},
                                                                             {0x30, 0xCD, 0x00}}};
    for (size_t k = 0; k < options.keys; ++k) {
        const std::array<uint8_t, 3> code =
            k < kFactoryKeys.size() ? kFactoryKeys[k]
                                    : std::array<uint8_t, 3>{0x10, uint8_t(1u << (k % 5)), 0x00};
        std::copy(code.begin(), code.end(), key_table_.begin() + static_cast<long>(3 * k));
    }
    key_bank_ = key_table_;
    memory_[0] = options.battery;
}

void Firmware::set_notify_sink(NotifySink sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}

void Firmware::set_plugged(Link l, bool plugged) {
    std::lock_guard lock(mutex_);
    (l == Link::Cable ? cable_plugged_ : receiver_plugged_) = plugged;
}

bool Firmware::plugged(Link l) const {
    std::lock_guard lock(mutex_);
    return l == Link::Cable ? cable_plugged_ : receiver_plugged_;
}

void Firmware::set_linked(bool linked) {
    std::lock_guard lock(mutex_);
    linked_ = linked;
}

bool Firmware::linked() const {
    std::lock_guard lock(mutex_);
    return linked_;
}

void Firmware::notify(uint16_t event) {
    const std::array<uint8_t, 3> report = {SimNodes::ConsumerReportId,
                                           static_cast<uint8_t>(event & 0xFF),
                                           static_cast<uint8_t>(event >> 8)};
    if (cable_plugged_)
        outbox_.emplace_back(Link::Cable, report);
    if (receiver_plugged_ && linked_)
        outbox_.emplace_back(Link::Receiver, report);
}

// Notifications raised under the lock go to the sink outside it, so the sink may block on
// the node server without holding up request handling.
void Firmware::flush() {
    std::vector<std::pair<Link, std::array<uint8_t, 3>>> out;
    NotifySink sink;
    {
        std::lock_guard lock(mutex_);
        out.swap(outbox_);
        sink = sink_;
    }
    if (!sink)
        return;
    for (const auto& [l, report] : out)
        sink(l, report);
}

void Firmware::press_dpi() {
    if (options_.device == SimDevice::Keyboard)
        return;  // no DPI button
    {
        std::lock_guard lock(mutex_);
        const uint8_t slot = static_cast<uint8_t>(settings_[0] % Slots);
        uint8_t* rec = &settings_[slot * 96];
        uint8_t stage = static_cast<uint8_t>(rec[12] % 6);
        for (int step = 1; step <= 6; ++step) {
            const auto next = static_cast<uint8_t>((stage + step) % 6);
            if (rec[14 + next * 9] != 0) {
                stage = next;
                break;
            }
        }
        rec[12] = stage;
        notify(static_cast<uint16_t>(0x1100 | (stage << 4) | slot));
    }
    flush();
}

bool Firmware::set_slot(int slot) {
    if (slot < 0 || slot >= static_cast<int>(Slots))
        return false;
    {
        std::lock_guard lock(mutex_);
        settings_[0] = static_cast<uint8_t>(slot);
        notify(static_cast<uint16_t>(0x1000 | slot));
    }
    flush();
    return true;
}

void Firmware::set_battery(int percent, int charging) {
    std::lock_guard lock(mutex_);
    memory_[0] = static_cast<uint8_t>(std::clamp(percent, 0, 100));
    memory_[1] = static_cast<uint8_t>(std::clamp(charging, 0, 2));
}

size_t Firmware::record_size() const {
    return options_.device == SimDevice::Keyboard ? 34 : 74;
}

size_t Firmware::slot_stride() const {
    return options_.device == SimDevice::Keyboard ? 33 : 96;
}

bool Firmware::press_key(int position, int kind) {
    if (options_.device != SimDevice::Keyboard || position < 0 || position > 0xFF ||
        position >= options_.keys || (kind != 1 && kind != 2))
        return false;
    {
        std::lock_guard lock(mutex_);
        const uint16_t event = static_cast<uint16_t>((kind == 1 ? 0x500 : 0x600) + position);
        const std::array<uint8_t, 3> report = {SimNodes::ConsumerReportId,
                                               static_cast<uint8_t>(event & 0xFF),
                                               static_cast<uint8_t>(event >> 8)};
        // Reactive lighting is reported on the cable only.
        if (cable_plugged_)
            outbox_.emplace_back(Link::Cable, report);
    }
    flush();
    return true;
}

bool Firmware::set_key(size_t position, uint8_t function_class, uint8_t first, uint8_t second) {
    {
        std::lock_guard lock(mutex_);
        if (3 * position + 3 > key_table_.size())
            return false;
        for (auto* table : {&key_table_, &key_bank_}) {
            (*table)[3 * position] = function_class;
            (*table)[3 * position + 1] = first;
            (*table)[3 * position + 2] = second;
        }
    }
    flush();
    return true;
}

bool Firmware::change_setting(size_t offset, uint8_t value) {
    if (offset < 1 || offset >= record_size() - (options_.device == SimDevice::Keyboard ? 1 : 0))
        return false;
    {
        std::lock_guard lock(mutex_);
        const size_t slot = settings_[0] % Slots;
        settings_[slot * slot_stride() + offset] = value;
        notify(0x401);
    }
    flush();
    return true;
}

void Firmware::inject_fault(Fault fault, int count, int delay_ms) {
    std::lock_guard lock(mutex_);
    if (count > 0)
        faults_.push_back(PendingFault{fault, count, delay_ms});
}

void Firmware::clear_faults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::vector<uint8_t> Firmware::info_block(Link l) const {
    std::vector<uint8_t> b(34, 0);
    b[0] = 0x01;  // firmware version 1.0.3
    b[1] = 0x00;
    b[2] = 0x03;
    b[5] = options_.keys;
    b[6] = options_.macro_units;
    b[7] = (l == Link::Receiver && !linked_) ? 1 : 0;
    put16(&b[9], options_.sensor);
    b[11] = static_cast<uint8_t>(Slots);
    return b;
}

bool Firmware::read_region(const std::vector<uint8_t>& mem, size_t offset, size_t length,
                           size_t room, Report& reply) const {
    if (length > room || offset + length > mem.size())
        return false;
    std::copy_n(mem.begin() + static_cast<long>(offset), length,
                reply.begin() + link::PayloadOffset);
    return true;
}

bool Firmware::write_region(std::vector<uint8_t>& mem, size_t offset, size_t length,
                            const Report& req, bool needs_config) {
    if (length > link::WiredPayload || offset + length > mem.size())
        return false;
    // Outside a begin/end pair the mouse acknowledges a configuration write but keeps its memory.
    if (needs_config && !config_open_)
        return true;
    std::copy_n(req.begin() + link::PayloadOffset, length, mem.begin() + static_cast<long>(offset));
    return true;
}

Report Firmware::answer(Link l, const Report& req, uint8_t& status) {
    Report reply{};
    reply[bp::Id] = link::ReportId;
    reply[bp::Code] = req[bp::Code];
    reply[bp::Length] = req[bp::Length];
    reply[bp::OffsetLow] = req[bp::OffsetLow];
    reply[bp::OffsetHigh] = req[bp::OffsetHigh];
    const size_t length = req[bp::Length];
    const size_t offset = req[bp::OffsetLow] | (req[bp::OffsetHigh] << 8);
    const size_t room = l == Link::Receiver ? link::ReceiverPayload : link::WiredPayload;
    bool ok = true;
    status = 0;
    switch (req[bp::Code]) {
        case code::BeginConfig:
            config_open_ = true;
            break;
        case code::EndConfig:
            config_open_ = false;
            break;
        case code::ReadDeviceInfo:
            ok = read_region(info_block(l), offset, length, room, reply);
            break;
        case code::ReadSettings:
            ok = read_region(settings_, offset, length, room, reply);
            break;
        case code::WriteSettings:
            ok = write_region(settings_, offset, length, req, true);
            break;
        case code::ReadKeyTable:
            ok = read_region(key_table_, offset, length, room, reply);
            break;
        case code::ReadKeyTableThirds:
            ok = options_.device == SimDevice::Keyboard
                     ? read_region(key_thirds_, offset, length, room, reply)
                     : read_region(key_table_, offset, length, room, reply);
            break;
        case code::ReadKeyTableBank:
            ok = read_region(key_bank_, offset, length, room, reply);
            break;
        case code::WriteKeyTable:
            // The bank read back is the table in force.
            ok = write_region(key_table_, offset, length, req, true) &&
                 write_region(key_bank_, offset, length, req, true);
            break;
        case code::WriteKeyTable2:
            ok = write_region(key_table_2_, offset, length, req, true);
            break;
        case code::ReadIndexed:
            ok = read_region(indexed_, offset, length, room, reply);
            break;
        case code::WriteIndexed:
            ok = write_region(indexed_, offset, length, req, false);
            break;
        case code::StreamLighting:
            ok = write_region(lighting_, offset, length, req, false);
            break;
        case code::WriteMacroData:
            ok = write_region(macro_, offset, length, req, true);
            break;
        case code::WriteShootingData:
            ok = write_region(shooting_, offset, length, req, true);
            break;
        case code::ReadMemory:
            ok = read_region(memory_, offset, length, room, reply);
            break;
        case code::LightingControlOn:
            lighting_control_ = true;
            break;
        default:
            status = link::StatusUnknown;
            return reply;
    }
    if (!ok)
        status = link::StatusOutOfRange;
    return reply;
}

Firmware::Outcome Firmware::handle(Link l, std::span<const uint8_t> request) {
    Outcome out;
    if (request.empty() || request[0] != link::ReportId)
        return out;
    Report req{};
    std::copy_n(request.begin(), std::min(request.size(), link::ReportSize), req.begin());
    const uint8_t command = req[bp::Code];
    const bool receiver = l == Link::Receiver;

    std::lock_guard lock(mutex_);
    ++counts_[command];
    if (log_.size() >= 100000)
        log_.erase(log_.begin(), log_.begin() + 50000);
    log_.push_back(req);
    Report reply{};
    if (receiver && command == code::ReceiverPresence) {
        // Answered by the receiver itself.
        reply[bp::Id] = link::ReportId;
        reply[bp::Code] = command;
        reply[link::PayloadOffset] = linked_ ? 0xFF : 0x00;
    } else if (receiver && !linked_) {
        reply[bp::Id] = link::ReportId;
        reply[bp::Code] = code::ReceiverPresence;
    } else {
        // Wrong check value: CRC on the receiver's lighting stream, the sum everywhere else.
        const uint16_t expected = (receiver && command == code::StreamLighting)
                                      ? link::report_crc_check(req)
                                      : link::report_sum_check(req);
        const uint16_t got = static_cast<uint16_t>(req[bp::CheckLow] | (req[bp::CheckHigh] << 8));
        uint8_t status = 0;
        if (got != expected) {
            reply[bp::Id] = link::ReportId;
            reply[bp::Code] = command;
            status = link::StatusUnknown;
        } else {
            reply = answer(l, req, status);
        }
        reply[bp::Status] = status;
        if (!faults_.empty()) {
            PendingFault& f = faults_.front();
            switch (f.fault) {
                case Fault::Drop:
                    break;
                case Fault::StatusFF:
                    reply[bp::Status] = link::StatusUnknown;
                    break;
                case Fault::StatusFE:
                    reply[bp::Status] = link::StatusOutOfRange;
                    break;
                case Fault::WrongEcho:
                    reply[bp::Code] = static_cast<uint8_t>(command ^ 0x40);
                    break;
                case Fault::Slow:
                    out.delay_ms = f.delay_ms;
                    break;
            }
            const bool drop = f.fault == Fault::Drop;
            if (--f.remaining <= 0)
                faults_.erase(faults_.begin());
            if (drop)
                return out;
        }
    }
    if (receiver) {
        // The receiver carries payload bytes 8-31 only.
        std::fill(reply.begin() + link::ReceiverReportEnd, reply.end(), 0);
        link::put_check(reply, command == code::StreamLighting ? link::report_crc_check(reply)
                                                               : link::report_sum_check(reply));
    } else {
        link::put_check(reply, link::report_sum_check(reply));
    }
    out.reply = reply;
    return out;
}

Json::Value Firmware::dump() const {
    std::lock_guard lock(mutex_);
    Json::Value v(Json::objectValue);
    std::string links;
    if (cable_plugged_ && receiver_plugged_) {
        links = "both";
    } else if (cable_plugged_) {
        links = "cable";
    } else if (receiver_plugged_) {
        links = "receiver";
    } else {
        links = "none";
    }
    v["link"] = links;
    v["linked"] = linked_;
    v["active_slot"] = settings_[0];
    Json::Value slots(Json::arrayValue);
    for (size_t s = 0; s < Slots; ++s) {
        slots.append(
            hex(std::span<const uint8_t>(settings_).subspan(s * slot_stride(), record_size())));
    }
    v["slots"] = slots;
    if (options_.device == SimDevice::Keyboard) {
        v["device"] = "keyboard";
        v["key_table_thirds"] = hex(key_thirds_);
        Json::Value groups(Json::arrayValue);
        for (size_t g = 0; g < IndexedMemorySize / 512; ++g) {
            groups.append(hex(std::span<const uint8_t>(indexed_).subspan(
                g * 512, std::min<size_t>(512, size_t{3} * options_.keys))));
        }
        v["colour_groups"] = groups;
        v["lighting_frame"] = hex(std::span<const uint8_t>(lighting_).subspan(
            0, std::min(lighting_.size(), size_t{3} * options_.keys)));
    } else {
        v["device"] = "mouse";
    }
    v["key_table"] = hex(key_table_);
    v["key_bank"] = hex(key_bank_);
    v["key_table_2"] = hex(key_table_2_);
    v["macro_data"] = hex(macro_);
    v["shooting_data"] = hex(shooting_);
    v["power"] = hex(std::span<const uint8_t>(memory_).subspan(0, 6));
    v["config_open"] = config_open_;
    v["lighting_control"] = lighting_control_;
    v["sensor"] = options_.sensor;
    v["keys"] = options_.keys;
    v["macro_units"] = options_.macro_units;
    Json::Value counts(Json::objectValue);
    for (const auto& [c, n] : counts_) {
        char name[8];
        std::snprintf(name, sizeof name, "0x%02x", c);
        counts[name] = static_cast<Json::UInt64>(n);
    }
    v["command_counts"] = counts;
    return v;
}

std::vector<uint8_t> Firmware::settings_memory() const {
    std::lock_guard lock(mutex_);
    return settings_;
}
std::vector<uint8_t> Firmware::key_table() const {
    std::lock_guard lock(mutex_);
    return key_table_;
}
std::vector<uint8_t> Firmware::macro_memory() const {
    std::lock_guard lock(mutex_);
    return macro_;
}
std::vector<uint8_t> Firmware::shooting_memory() const {
    std::lock_guard lock(mutex_);
    return shooting_;
}
std::vector<uint8_t> Firmware::lighting_memory() const {
    std::lock_guard lock(mutex_);
    return lighting_;
}
std::vector<uint8_t> Firmware::indexed_memory() const {
    std::lock_guard lock(mutex_);
    return indexed_;
}
std::vector<uint8_t> Firmware::key_table_thirds() const {
    std::lock_guard lock(mutex_);
    return key_thirds_;
}
uint64_t Firmware::command_count(uint8_t c) const {
    std::lock_guard lock(mutex_);
    auto it = counts_.find(c);
    return it == counts_.end() ? 0 : it->second;
}
std::vector<link::Report> Firmware::requests() const {
    std::lock_guard lock(mutex_);
    return log_;
}
void Firmware::clear_requests() {
    std::lock_guard lock(mutex_);
    log_.clear();
}
bool Firmware::config_open() const {
    std::lock_guard lock(mutex_);
    return config_open_;
}
uint8_t Firmware::active_stage() const {
    std::lock_guard lock(mutex_);
    if (options_.device == SimDevice::Keyboard)
        return 0;
    return settings_[(settings_[0] % Slots) * 96 + 12];
}

}  // namespace velqa::sim
