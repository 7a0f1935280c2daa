// A device's command link: its wired and receiver command interfaces, the report exchange
// with check values, time-outs and reply matching, and one operation per device command.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "device/link/hid_device.h"
#include "device/link/link_lock.h"
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

    // Both interfaces open through `backend` (the one the program chose in main), and the link
    // lock files lie in its lock folder. Without a backend no link can be opened.
    explicit CommandChannel(std::shared_ptr<platform::hid::HidBackend> backend = nullptr);
    ~CommandChannel();
    CommandChannel(const CommandChannel&) = delete;
    CommandChannel& operator=(const CommandChannel&) = delete;

    // ---- Opening a link ----
    // The one way to open a device's command interface: opens `path` (a vendor collection
    // path from the scan) as the wired or the receiver interface (read and write, overlapped,
    // shared), attaches the node's link lock, sets the link-open flag and selects the path
    // (wired: chunk 56; receiver: chunk 24). Opening one link again, or the other link of the
    // same channel (switching between cable and receiver), is allowed; the other interface
    // stays as it is. False when the open fails: that interface is closed, the flag and the
    // path are unchanged, and wired().last_failure() / receiver().last_failure() say why.
    // Takes the link lock and the I/O lock itself: call it without holding either.
    bool open_wired(const std::string& path);
    bool open_receiver(const std::string& path);
    // Clears the link-open flag, then closes both interfaces (ending a blocked read at once).
    void close_link();

    // ---- Exchange ----
    // One request; the reply is the first report that echoes the command code, read within
    // two read time-outs. Input still queued from earlier is discarded before the write. The
    // reply must be a whole report. Returns a result code; *bytes_read gets the reply's byte
    // count, and `reply` the reply, only when one was accepted (or on -101, the receiver's
    // answer); else 0 and untouched. A request shorter than 64 bytes is zero-padded; bytes
    // beyond 64 are not sent. Holds the link lock for the exchange.
    int exchange(const uint8_t* request, size_t request_length, uint8_t* reply, size_t reply_length,
                 size_t* bytes_read);
    // The same without dump and without the sleep after the write; on the receiver path the
    // request carries the CRC of bytes 3-31 and the reply's CRC is checked (-101 when wrong).
    // The reply must also echo the request's length and offset (bytes 4-6).
    int exchange_crc(const uint8_t* request, size_t request_length, uint8_t* reply,
                     size_t reply_length, size_t* bytes_read);

    // Why the last exchange that failed with 0 or -1 failed: the HID failure of the write or
    // the read; TimedOut when replies came but none was the request's; IoError for a reply
    // shorter than a report; NotOpen for a closed link.
    HidFailure last_failure() const { return last_failure_.load(); }

    // ---- The link lock ----
    // Keeps every other exchange of this channel, and of every program of ours on the same
    // device node, out while held; the lock follows the path selected when it is taken. Each
    // exchange holds it; a ConfigSession (config_session.h) holds it from a sequence's first
    // step to its last. It is the outermost lock: take it before the command or lighting lock
    // (a caller of exchange() that holds the command lock itself takes this first).
    // The wait is bounded (LinkLock::DefaultWait, or set_lock_wait): when it runs out the guard
    // holds nothing, last_failure() is LockTimedOut, and the steps it was to cover must not
    // run; exchanges under such a guard fail at once with WriteFailed.
    class LinkGuard {
      public:
        explicit LinkGuard(CommandChannel& channel);
        ~LinkGuard();
        LinkGuard(const LinkGuard&) = delete;
        LinkGuard& operator=(const LinkGuard&) = delete;
        bool held() const { return held_; }
        explicit operator bool() const { return held_; }

      private:
        CommandChannel& channel_;
        bool held_ = false;
    };
    [[nodiscard]] LinkGuard hold_link() { return LinkGuard(*this); }
    // How long hold_link() and each exchange wait for the link lock.
    void set_lock_wait(std::chrono::milliseconds wait) { link_lock_.set_wait(wait); }

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
    // Run through a ConfigSession, which holds the link lock around them and always ends.
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
    // `transfer`: the request carries a length and an offset, which the reply must echo.
    int exchange_impl(const uint8_t* request, size_t request_length, uint8_t* reply,
                      size_t reply_length, size_t* bytes_read, bool crc, bool transfer);
    int fail(int result, HidFailure why);
    bool open_link(bool receiver, const std::string& path);
    int link_side() const { return receiver_path() ? 1 : 0; }
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
    LinkLock link_lock_;
    std::filesystem::path lock_folder_;
    std::atomic<HidFailure> last_failure_{HidFailure::None};
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
// CRC over bytes 3-31 must be in bytes 1-2. `transfer`: the request carries a length (byte 4)
// and an offset (bytes 5-6), and only a reply echoing both is its reply.
ReplyVerdict classify_reply(const Report& request, const Report& reply, bool receiver_path,
                            bool crc, bool transfer = false);

}  // namespace velqa::link
