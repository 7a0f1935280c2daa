// The lock that keeps the exchanges of all our programs on one device node apart. hidraw (and
// the simulator) hands every opener a copy of every reply, so while the window and velqactl
// both talk to the mouse, one program's request must never fall between the other's write and
// the read of its reply, nor into the other's begin ... end sequence.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>

namespace velqa::link {

// The file whose flock stands for `node`, in `folder` (a private folder of this user, so no
// other user can hold or replace it): "<node's file name>-<16 hex digits>.lock", the digits a
// hash of the node's absolute path, so that every program of this user finds one file per node
// however it names the node's folder. Empty when `folder` is empty. The node's own open lock
// (NodeHandle) is a different lock.
std::string link_lock_file(const std::filesystem::path& folder, const std::string& node);

// Recursive across the threads of one process, exclusive across processes (flock on the lock
// file of the node). One side per link of a channel: the side locked is chosen at lock time.
// Holding it never takes another of the channel's locks, so it can be the outermost lock.
class LinkLock {
  public:
    static constexpr int Sides = 2;
    // Longer than the longest sequence (a whole macro memory over the receiver), so only a
    // holder that is stuck makes a waiter give up.
    static constexpr std::chrono::milliseconds DefaultWait{10000};

    LinkLock() = default;
    ~LinkLock();
    LinkLock(const LinkLock&) = delete;
    LinkLock& operator=(const LinkLock&) = delete;

    // Opens `file` (link_lock_file) for `side`, closing the one before. Only a regular file
    // that this user owns is used, opened without following a link and without waiting (a
    // FIFO never blocks us). Without one (empty name, no room, anything else at that path) the
    // lock still orders the threads of this process, and a debug line says so.
    void attach(int side, const std::string& file);
    void detach(int side);

    // How long lock() waits, for the threads of this process and the lock file together.
    void set_wait(std::chrono::milliseconds wait);

    // Waits until this thread holds the lock of `side`; nested calls only count. False, with
    // nothing held (no unlock() due), when the wait ran out. After such a time-out the next
    // calls try once without waiting until one succeeds, so a stuck holder costs one wait, not
    // one per exchange.
    bool lock(int side);
    // False at once when another thread or program holds it.
    bool try_lock(int side);
    void unlock();

    // The in-process part alone: held while a channel swaps an interface, so that no exchange
    // of that process runs meanwhile (other programs have their own copy of the node).
    std::recursive_timed_mutex& mutex() { return mutex_; }

  private:
    enum class Take { Taken, Busy, Failed };
    Take take_file(int side, std::chrono::steady_clock::time_point deadline);

    std::recursive_timed_mutex mutex_;
    // Guarded by mutex_.
    int depth_ = 0;
    int held_fd_ = -1;
    int fds_[Sides] = {-1, -1};
    bool gave_up_ = false;
    std::atomic<std::chrono::milliseconds::rep> wait_ms_{DefaultWait.count()};
};

}  // namespace velqa::link
