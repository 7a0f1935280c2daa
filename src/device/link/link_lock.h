// The lock that keeps the exchanges of all our programs on one device node apart. hidraw (and
// the simulator) hands every opener a copy of every reply, so while the window and velqactl
// both talk to the mouse, one program's request must never fall between the other's write and
// the read of its reply, nor into the other's begin ... end sequence.
#pragma once

#include <mutex>
#include <string>

namespace velqa::link {

// The file whose flock stands for a node: for a node in /dev, /tmp/velqa-link-<name>.lock (the
// same for every user and program); for any other node (the simulator's sockets, test nodes)
// "<node>.lock" beside it. The node's own open lock (NodeHandle) is a different lock.
std::string link_lock_file(const std::string& node);

// Recursive across the threads of one process, exclusive across processes (flock on the lock
// file of the node). One side per link of a channel: the side locked is chosen at lock time.
// Holding it never takes another of the channel's locks, so it can be the outermost lock.
class LinkLock {
  public:
    static constexpr int Sides = 2;

    LinkLock() = default;
    ~LinkLock();
    LinkLock(const LinkLock&) = delete;
    LinkLock& operator=(const LinkLock&) = delete;

    // Opens the lock file of `node` for `side`, closing the one before. Without a lock file
    // (no room in /tmp, a file of another user we may not open) the lock still orders the
    // threads of this process, and a debug line says so.
    void attach(int side, const std::string& node);
    void detach(int side);

    // Blocks until this thread holds the lock of `side`; nested calls only count.
    void lock(int side);
    // False at once when another thread or program holds it.
    bool try_lock(int side);
    void unlock();

    // The in-process part alone: held while a channel swaps an interface, so that no exchange
    // of that process runs meanwhile (other programs have their own copy of the node).
    std::recursive_mutex& mutex() { return mutex_; }

  private:
    bool take_file(int side, bool wait);

    std::recursive_mutex mutex_;
    // Guarded by mutex_.
    int depth_ = 0;
    int held_fd_ = -1;
    int fds_[Sides] = {-1, -1};
};

}  // namespace velqa::link
