#include "device/link/command_channel.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/debug_output.h"

namespace velqa::link {

namespace {

// Raises the exchange-in-progress count for the lifetime of one exchange. A count rather than a
// plain flag, so that an exchange ending on one thread (the shooting write runs without the
// command lock) does not clear the flag under another thread's running exchange.
class BusyScope {
  public:
    explicit BusyScope(std::atomic<uint8_t>& busy) : busy_(busy) { busy_.fetch_add(1); }
    ~BusyScope() { busy_.fetch_sub(1); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    std::atomic<uint8_t>& busy_;
};

// Key tables and macros can hold what the user typed: their payload is printed for debugging
// but left out of the lines the diagnostic report shows.
bool payload_is_private(uint8_t command) {
    switch (command) {
        case code::ReadKeyTable:
        case code::ReadKeyTableBank:
        case code::WriteKeyTable:
        case code::WriteKeyTable2:
        case code::ReadKeyTableThirds:
        case code::WriteMacroData:
            return true;
        default:
            return false;
    }
}

// `command` is the request's: a reply that went missing still belongs to it.
void dump_report(const char* title, const Report& r, uint8_t command) {
    platform::debug_output(title);
    const bool withheld = payload_is_private(command);
    for (size_t half = 0; half < 2; ++half) {
        const uint8_t* p = r.data() + half * 32;
        char line[128];
        std::snprintf(
            line, sizeof line,
            "%02x %02x %02x %02x   %02x %02x %02x %02x   %02x %02x %02x %02x   %02x %02x %02x "
            "%02x  %02x %02x %02x %02x  %02x %02x %02x %02x  %02x %02x %02x %02x  %02x %02x "
            "%02x %02x",
            p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12], p[13],
            p[14], p[15], p[16], p[17], p[18], p[19], p[20], p[21], p[22], p[23], p[24], p[25],
            p[26], p[27], p[28], p[29], p[30], p[31]);
        if (!withheld) {
            platform::debug_output(line);
        } else if (half == 0) {
            // The header (id, check, code, length, offset, status) stays: it tells what failed.
            const std::string kept = std::string(line, 4 * 3 + 2 + 4 * 3 + 2) +
                                     "(key table or macro bytes left out of the report)";
            platform::debug_output(line, kept);
        } else {
            platform::debug_output(line, {});
        }
    }
}

void sleep_ms(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

int judge_status(const Report& reply) {
    if (reply[byte_pos::Status] == StatusUnknown)
        return result::StatusFF;
    if (reply[byte_pos::Status] == StatusOutOfRange)
        return result::StatusFE;
    return result::Success;
}

ReplyVerdict classify_reply(const Report& request, const Report& reply, bool receiver_path,
                            bool crc, bool transfer) {
    if (receiver_path && reply[byte_pos::Code] == code::ReceiverPresence &&
        request[byte_pos::Code] != code::ReceiverPresence) {
        return ReplyVerdict::ReceiverAnswered;
    }
    if (crc && receiver_path) {
        // Either byte wrong means the reply is damaged.
        const uint16_t check = report_crc_check(reply);
        if (reply[byte_pos::CheckLow] != (check & 0xFF) ||
            reply[byte_pos::CheckHigh] != (check >> 8)) {
            return ReplyVerdict::ReceiverAnswered;
        }
    }
    if (reply[byte_pos::Code] != request[byte_pos::Code])
        return ReplyVerdict::Other;
    // A late reply to an earlier transfer of the same command carries another offset or length.
    if (transfer && (reply[byte_pos::Length] != request[byte_pos::Length] ||
                     reply[byte_pos::OffsetLow] != request[byte_pos::OffsetLow] ||
                     reply[byte_pos::OffsetHigh] != request[byte_pos::OffsetHigh])) {
        return ReplyVerdict::Other;
    }
    return ReplyVerdict::Matches;
}

CommandChannel::CommandChannel(std::shared_ptr<platform::hid::HidBackend> backend)
    : wired_(backend),
      receiver_(backend),
      lock_folder_(backend ? backend->lock_folder() : std::filesystem::path()) {}

CommandChannel::~CommandChannel() {
    close_link();
}

CommandChannel::LinkGuard::LinkGuard(CommandChannel& channel)
    : channel_(channel), held_(channel.link_lock_.lock(channel.link_side())) {
    if (!held_)
        channel_.last_failure_ = HidFailure::LockTimedOut;
}

CommandChannel::LinkGuard::~LinkGuard() {
    if (held_)
        channel_.link_lock_.unlock();
}

bool CommandChannel::open_link(bool receiver, const std::string& path) {
    const int side = receiver ? 1 : 0;
    // No exchange of this channel runs while an interface changes under it.
    std::lock_guard link(link_lock_.mutex());
    std::lock_guard io(io_lock_);
    HidDevice& dev = receiver ? receiver_ : wired_;
    if (!dev.open(path, true, true, true, false)) {
        link_lock_.detach(side);
        return false;
    }
    link_lock_.attach(side, link_lock_file(lock_folder_, platform::hid::node_of(path)));
    set_link_open(1);
    set_path(receiver ? 2 : 1);
    return true;
}

bool CommandChannel::open_wired(const std::string& path) {
    return open_link(false, path);
}

bool CommandChannel::open_receiver(const std::string& path) {
    return open_link(true, path);
}

void CommandChannel::close_link() {
    // Flag first, so that nothing new starts; the closes end a read that is still waiting.
    set_link_open(0);
    wired_.close();
    receiver_.close();
    std::lock_guard link(link_lock_.mutex());
    std::lock_guard io(io_lock_);
    link_lock_.detach(0);
    link_lock_.detach(1);
}

int CommandChannel::fail(int result, HidFailure why) {
    last_failure_ = why;
    return result;
}

void CommandChannel::set_path(int mode) {
    const bool receiver = mode == 2;
    receiver_path_.store(receiver ? 1 : 0);
    chunk_size_.store(static_cast<uint8_t>(receiver ? ReceiverPayload : WiredPayload));
}

int CommandChannel::set_block_size(uint16_t n) {
    if (n > MaxBlockSize)
        return 0;
    block_size_.store(n);
    return 1;
}

int CommandChannel::exchange(const uint8_t* request, size_t request_length, uint8_t* reply,
                             size_t reply_length, size_t* bytes_read) {
    return exchange_impl(request, request_length, reply, reply_length, bytes_read, false, false);
}

int CommandChannel::exchange_crc(const uint8_t* request, size_t request_length, uint8_t* reply,
                                 size_t reply_length, size_t* bytes_read) {
    return exchange_impl(request, request_length, reply, reply_length, bytes_read, true, true);
}

int CommandChannel::exchange_impl(const uint8_t* request, size_t request_length, uint8_t* reply,
                                  size_t reply_length, size_t* bytes_read, bool crc,
                                  bool transfer) {
    BusyScope busy(busy_);
    if (bytes_read)
        *bytes_read = 0;
    if (link_open_.load() == 0)
        return fail(result::ReadFailed, HidFailure::NotOpen);

    LinkGuard link(*this);
    if (!link)
        return fail(result::WriteFailed, HidFailure::LockTimedOut);
    const bool receiver = receiver_path();
    HidDevice& dev = receiver ? receiver_ : wired_;
    Report req{};
    if (request)
        std::copy_n(request, std::min(request_length, ReportSize), req.begin());
    if (crc && receiver)
        put_check(req, report_crc_check(req));
    if (!crc)
        dump_report("命令", req, req[byte_pos::Code]);

    int write_ok = 0;
    {
        std::lock_guard io(io_lock_);
        // Whatever is queued now answers nothing of ours: an earlier exchange gave up on it,
        // or another program's exchange left it in our copy of the node's input.
        if (const size_t stale = dev.drain_input(); stale > 0)
            platform::debug_printf("%zu stale report(s) discarded", stale);
        size_t written = 0;
        const int timeout =
            receiver ? (crc ? CrcWriteTimeoutMs : ReceiverWriteTimeoutMs) : WiredTimeoutMs;
        write_ok = dev.write(req.data(), req.size(), &written, timeout);
        if (!crc)
            sleep_ms(AfterWriteSleepMs);
    }
    if (!write_ok)
        return fail(result::WriteFailed, dev.last_failure());

    int res = result::ReadFailed;
    HidFailure why = HidFailure::TimedOut;
    Report got{};
    {
        std::lock_guard io(io_lock_);
        // Two reads' worth of waiting, however many reports that are not the reply arrive.
        const int timeout = receiver ? ReceiverReadTimeoutMs : WiredTimeoutMs;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(2 * timeout);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            got.fill(0);
            size_t n = 0;
            if (!dev.read(got.data(), got.size(), &n, static_cast<int>(left.count()))) {
                why = dev.last_failure();
                if (why == HidFailure::TimedOut)
                    continue;  // the deadline ends the loop
                break;         // cancelled or unplugged: no reply can come
            }
            const ReplyVerdict verdict = classify_reply(req, got, receiver, crc, transfer);
            if (verdict == ReplyVerdict::Other)
                continue;
            if (n < ReportSize) {
                why = HidFailure::IoError;  // a cut reply is no reply
                break;
            }
            res = verdict == ReplyVerdict::ReceiverAnswered ? result::ReceiverAnswered
                                                            : result::Success;
            if (bytes_read)
                *bytes_read = n;
            if (reply)
                std::copy_n(got.begin(), std::min(reply_length, ReportSize), reply);
            break;
        }
    }
    if (!crc)
        dump_report("返回", got, req[byte_pos::Code]);
    if (res == result::ReadFailed)
        return fail(res, why);
    return res;
}

int CommandChannel::simple_command(uint8_t command) {
    LinkGuard link(*this);
    if (!link)
        return result::WriteFailed;
    std::lock_guard lock(command_lock_);
    const Report req = make_request(command);
    Report reply{};
    size_t n = 0;
    const int res = exchange(req.data(), req.size(), reply.data(), reply.size(), &n);
    if (res != result::Success)
        return res;
    return judge_status(reply);
}

int CommandChannel::begin_config() {
    return simple_command(code::BeginConfig);
}

int CommandChannel::end_config() {
    sleep_ms(BeforeEndConfigSleepMs);
    return simple_command(code::EndConfig);
}

int CommandChannel::lighting_control_on() {
    return simple_command(code::LightingControlOn);
}

int CommandChannel::block_transfer(uint8_t command, Direction dir, uint8_t* in, const uint8_t* out,
                                   size_t total, uint8_t chunk, Lock lock, uint32_t base_offset,
                                   bool lighting_stream) {
    if (chunk == 0)
        return result::BadArgument;
    // Offsets travel in 16 bits; a transfer reaching past them would land on wrong memory.
    if (total > 0 && base_offset + total - 1 > 0xFFFF)
        return result::BadArgument;
    for (size_t offset = 0; offset < total; offset += chunk) {
        const size_t count = std::min<size_t>(chunk, total - offset);
        const auto field = static_cast<uint16_t>(base_offset + offset);
        const std::span<const uint8_t> payload = dir == Direction::Write
                                                     ? std::span<const uint8_t>(out + offset, count)
                                                     : std::span<const uint8_t>();
        const Report req = make_request(command, static_cast<uint8_t>(count), field, payload);
        Report reply{};
        size_t n = 0;
        int res;
        if (lighting_stream) {
            // The stream does not wait for anyone's exchange, ours or another program's.
            if (is_busy() || !link_lock_.try_lock(link_side())) {
                platform::debug_output("放弃灯光数据");
                dropped_lighting_.fetch_add(1);
                continue;  // counted as sent
            }
            {
                std::lock_guard l(lighting_lock_);
                res = exchange_impl(req.data(), req.size(), reply.data(), reply.size(), &n, true,
                                    true);
            }
            link_lock_.unlock();
        } else if (lock == Lock::Command) {
            LinkGuard link(*this);
            if (!link)
                return result::WriteFailed;
            std::lock_guard l(command_lock_);
            res =
                exchange_impl(req.data(), req.size(), reply.data(), reply.size(), &n, false, true);
        } else if (lock == Lock::Lighting) {
            LinkGuard link(*this);
            if (!link)
                return result::WriteFailed;
            std::lock_guard l(lighting_lock_);
            res =
                exchange_impl(req.data(), req.size(), reply.data(), reply.size(), &n, false, true);
        } else {
            res =
                exchange_impl(req.data(), req.size(), reply.data(), reply.size(), &n, false, true);
        }
        if (res == result::Success)
            res = judge_status(reply);
        if (res != result::Success)
            return res;
        if (dir == Direction::Read) {
            std::copy_n(reply.begin() + PayloadOffset, count, in + offset);
        }
    }
    return result::Success;
}

int CommandChannel::read_device_info(std::span<uint8_t> out) {
    if (out.size() < 34)
        return result::BadArgument;
    return block_transfer(code::ReadDeviceInfo, Direction::Read, out.data(), nullptr, 34,
                          chunk_size(), Lock::Command, 0);
}

int CommandChannel::read_settings(std::span<uint8_t> out, uint16_t length, uint16_t base) {
    if (out.size() < length)
        return result::BadArgument;
    return block_transfer(code::ReadSettings, Direction::Read, out.data(), nullptr, length,
                          chunk_size(), Lock::Command, base);
}

int CommandChannel::write_settings(std::span<const uint8_t> data, uint16_t length, uint16_t base) {
    if (data.size() < length)
        return result::BadArgument;
    return block_transfer(code::WriteSettings, Direction::Write, nullptr, data.data(), length,
                          chunk_size(), Lock::Command, base);
}

int CommandChannel::read_key_table(std::span<uint8_t> out) {
    const uint16_t n = block_size();
    if (out.size() < n)
        return result::BadArgument;
    return block_transfer(code::ReadKeyTable, Direction::Read, out.data(), nullptr, n, chunk_size(),
                          Lock::Command, 0);
}

int CommandChannel::read_key_table_bank(std::span<uint8_t> out, int bank) {
    if (bank != 0)
        return result::BadBank;
    const uint16_t n = block_size();
    if (out.size() < n)
        return result::BadArgument;
    return block_transfer(code::ReadKeyTableBank, Direction::Read, out.data(), nullptr, n,
                          chunk_size(), Lock::Command, 0);
}

int CommandChannel::write_key_table(std::span<const uint8_t> data, int bank) {
    if (bank != 0)
        return result::BadBank;
    const uint16_t n = block_size();
    if (data.size() < n)
        return result::BadArgument;
    return block_transfer(code::WriteKeyTable, Direction::Write, nullptr, data.data(), n,
                          chunk_size(), Lock::Command, 0);
}

int CommandChannel::write_key_table_2(std::span<const uint8_t> data, int bank) {
    if (bank != 0)
        return result::BadBank;
    const uint16_t n = block_size();
    if (data.size() < n)
        return result::BadArgument;
    return block_transfer(code::WriteKeyTable2, Direction::Write, nullptr, data.data(), n,
                          chunk_size(), Lock::Command, 0);
}

int CommandChannel::read_key_table_thirds(std::span<uint8_t> out) {
    const uint16_t n = static_cast<uint16_t>(block_size() / 3);
    if (out.size() < n)
        return result::BadArgument;
    return block_transfer(code::ReadKeyTableThirds, Direction::Read, out.data(), nullptr, n,
                          chunk_size(), Lock::Command, 0);
}

int CommandChannel::read_indexed(std::span<uint8_t> out, uint16_t length, uint16_t index,
                                 uint16_t stride) {
    if (out.size() < length)
        return result::BadArgument;
    return block_transfer(code::ReadIndexed, Direction::Read, out.data(), nullptr, length,
                          chunk_size(), Lock::Command, uint32_t{index} * stride);
}

int CommandChannel::write_indexed(std::span<const uint8_t> data, uint16_t length, uint16_t index,
                                  uint16_t stride) {
    if (data.size() < length)
        return result::BadArgument;
    return block_transfer(code::WriteIndexed, Direction::Write, nullptr, data.data(), length,
                          chunk_size(), Lock::Lighting, uint32_t{index} * stride);
}

int CommandChannel::stream_lighting(std::span<const uint8_t> data, uint16_t length) {
    if (data.size() < length)
        return result::BadArgument;
    return block_transfer(code::StreamLighting, Direction::Write, nullptr, data.data(), length,
                          chunk_size(), Lock::Lighting, 0, true);
}

int CommandChannel::write_macro_data(std::span<const uint8_t> data, uint16_t length) {
    if (data.size() < length)
        return result::BadArgument;
    return block_transfer(code::WriteMacroData, Direction::Write, nullptr, data.data(), length,
                          chunk_size(), Lock::Command, 0);
}

int CommandChannel::write_shooting_data(std::span<const uint8_t> data, uint16_t length) {
    if (data.size() < length)
        return result::BadArgument;
    return block_transfer(code::WriteShootingData, Direction::Write, nullptr, data.data(), length,
                          ShootingChunk, Lock::None, 0);
}

int CommandChannel::read_memory(std::span<uint8_t> out, uint8_t length, uint16_t address) {
    if (out.size() < length || length > chunk_size())
        return result::BadArgument;
    LinkGuard link(*this);
    if (!link)
        return result::WriteFailed;
    std::lock_guard lock(command_lock_);
    const Report req = make_request(code::ReadMemory, length, address);
    Report reply{};
    size_t n = 0;
    const int res =
        exchange_impl(req.data(), req.size(), reply.data(), reply.size(), &n, false, true);
    if (res != result::Success)
        return res;
    std::copy_n(reply.begin() + PayloadOffset, length, out.begin());
    return result::Success;
}

bool CommandChannel::receiver_present() {
    if (!receiver_path())
        return true;
    LinkGuard link(*this);
    if (!link)
        return false;
    std::lock_guard lock(command_lock_);
    const Report req = make_request(code::ReceiverPresence);
    Report reply{};
    size_t n = 0;
    const int res = exchange(req.data(), req.size(), reply.data(), reply.size(), &n);
    return res == result::Success && reply[PayloadOffset] == 0xFF &&
           judge_status(reply) == result::Success;
}

}  // namespace velqa::link
