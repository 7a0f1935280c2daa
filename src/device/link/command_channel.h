// A device's command link: its wired and receiver command interfaces, the report exchange
// with check values, time-outs and reply matching, and one operation per device command.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "device/link/hid_device.h"
#include "device/link/report.h"

namespace velqa::link {

class CommandChannel {
  public:
    static constexpr uint16_t MaxBlockSize = 512;
    static constexpr int WiredTimeoutMs = 1000;
    static constexpr int ReceiverWriteTimeoutMs = 5000;
    static constexpr int ReceiverReadTimeoutMs = 500;
    static constexpr int CrcWriteTimeoutMs = 500;
    // The device needs these pauses; they are real waits.
    static constexpr int AfterWriteSleepMs = 20;
    static constexpr int BeforeEndConfigSleepMs = 10;
    static constexpr uint8_t ShootingChunk = 56;

    CommandChannel();
    ~CommandChannel();
    CommandChannel(const CommandChannel&) = delete;
    CommandChannel& operator=(const CommandChannel&) = delete;

    // ---- Exchange ----
    // One request, up to two reads for the reply with the same command code. Returns a result
    // code; *bytes_read gets the reply's byte count (0 when nothing was read). A request shorter
    // than 64 bytes is zero-padded; bytes beyond 64 are not sent.
    int exchange(const uint8_t* request, size_t request_length, uint8_t* reply, size_t reply_length,
                 size_t* bytes_read);
    // The same without dump and without the sleep after the write; on the receiver path the
    // request carries the CRC of bytes 3-31 and the reply's CRC is checked (-101 when wrong).
    int exchange_crc(const uint8_t* request, size_t request_length, uint8_t* reply,
                     size_t reply_length, size_t* bytes_read);

    // ---- Configuration ----
    // mode 2: receiver path (chunk 24); anything else: wired path (chunk 56).
    void set_path(int mode);
    // 0 and unchanged when n is above 512, else 1.
    int set_block_size(uint16_t n);
    uint16_t block_size() const { return block_size_.load(); }
    bool is_busy() const { return busy_.load() != 0; }
    bool receiver_path() const { return receiver_path_.load() != 0; }
    uint8_t chunk_size() const { return chunk_size_.load(); }
    int link_open() const { return link_open_.load(); }
    void set_link_open(int open) { link_open_.store(open); }
    int preview_pause() const { return preview_pause_.load(); }
    void set_preview_pause(int pause) { preview_pause_.store(pause); }

    HidDevice& wired() { return wired_; }
    HidDevice& receiver() { return receiver_; }
    std::recursive_mutex& io_lock() { return io_lock_; }
    std::recursive_mutex& io_lock2() { return io_lock2_; }
    std::recursive_mutex& command_lock() { return command_lock_; }
    std::recursive_mutex& lighting_lock() { return lighting_lock_; }

    // ---- Commands (result codes as exchange; status 0xFF gives -102, 0xFE -103) ----
    int begin_config();
    int end_config();
    int read_device_info(std::span<uint8_t> out);  // 34 bytes
    int read_settings(std::span<uint8_t> out, uint16_t length, uint16_t base);
    int write_settings(std::span<const uint8_t> data, uint16_t length, uint16_t base);
    int read_key_table(std::span<uint8_t> out);  // block size bytes
    int read_key_table_bank(std::span<uint8_t> out, int bank);
    int write_key_table(std::span<const uint8_t> data, int bank);
    int read_indexed(std::span<uint8_t> out, uint16_t length, uint16_t index, uint16_t stride);
    int write_indexed(std::span<const uint8_t> data, uint16_t length, uint16_t index,
                      uint16_t stride);
    int stream_lighting(std::span<const uint8_t> data, uint16_t length);
    int write_macro_data(std::span<const uint8_t> data, uint16_t length);
    int write_shooting_data(std::span<const uint8_t> data, uint16_t length);
    // One report; L bytes (at most one report's payload) from reply byte 8. The reply status
    // is not examined.
    int read_memory(std::span<uint8_t> out, uint8_t length, uint16_t address);
    int read_key_table_thirds(std::span<uint8_t> out);
    int lighting_control_on();
    int write_key_table_2(std::span<const uint8_t> data, int bank);
    // Wired path: true without I/O. Receiver path: the mouse answers through the receiver.
    bool receiver_present();

    // Chunks dropped by the lighting stream because another exchange was running.
    uint64_t dropped_lighting_chunks() const { return dropped_lighting_.load(); }

  private:
    enum class Lock { Command, Lighting, None };
    enum class Direction { Read, Write };
    int exchange_impl(const uint8_t* request, size_t request_length, uint8_t* reply,
                      size_t reply_length, size_t* bytes_read, bool crc);
    // One report of a block transfer at `offset_field` (bytes 5-6) carrying `count` bytes.
    int block_transfer(uint8_t command, Direction dir, uint8_t* in, const uint8_t* out,
                       size_t total, uint8_t chunk, Lock lock, uint32_t base_offset,
                       bool lighting_stream = false);
    int simple_command(uint8_t command);
    HidDevice& active() { return receiver_path() ? receiver_ : wired_; }

    std::atomic<uint16_t> block_size_{MaxBlockSize};
    std::atomic<uint8_t> busy_{0};
    std::atomic<int> link_open_{0};
    std::atomic<int> preview_pause_{0};
    HidDevice wired_;
    HidDevice receiver_;
    std::recursive_mutex io_lock_;
    std::recursive_mutex io_lock2_;
    std::recursive_mutex command_lock_;
    std::recursive_mutex lighting_lock_;
    std::atomic<int> receiver_path_{0};
    std::atomic<uint8_t> chunk_size_{static_cast<uint8_t>(ReceiverPayload)};
    std::atomic<uint64_t> dropped_lighting_{0};
};

// Judges a reply's status byte after a successful exchange: -102, -103 or 1.
int judge_status(const Report& reply);

// What one report read during an exchange means for it.
enum class ReplyVerdict {
    Matches,           // the reply to this request: the exchange ends with success
    Other,             // some other report: read again if a read is left
    ReceiverAnswered,  // the receiver answered for the mouse, or the CRC is wrong: -101
};
// `crc`: the request went through the CRC exchange, so on the receiver path the reply's own
// CRC over bytes 3-31 must be in bytes 1-2.
ReplyVerdict classify_reply(const Report& request, const Report& reply, bool receiver_path,
                            bool crc);

}  // namespace velqa::link
