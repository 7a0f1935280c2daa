// One user's lock over the files of a folder, shared by all of our programs: an exclusive flock
// on FolderLockName in that folder. Holders run a whole read-modify-write of a list file and the
// files it names, so concurrent programs never lose each other's changes.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace velqa::platform {

inline constexpr char FolderLockName[] = ".lock";
// Holders keep the lock for a few file writes; a holder that keeps it longer than this is hung,
// and the waiter gives up rather than freeze a window.
inline constexpr std::chrono::milliseconds FolderLockWait{5000};

enum class FlockResult { Taken, Busy, Failed };

// An exclusive flock on `fd`, waiting at most until `deadline`. flock has no time limit of its
// own, so while another holder has it this looks again at growing intervals (1 to 8 ms); it
// costs nothing when the lock is free. Failed (errno kept) when the file cannot be locked at all.
FlockResult flock_until(int fd, std::chrono::steady_clock::time_point deadline);

// True when another holder has the lock of `folder` now. Creates nothing and never waits: a
// missing folder or lock file is free. For readers that would rather give up than wait.
bool folder_lock_busy(const std::filesystem::path& folder);

// Whether the calling thread holds some folder's lock. Work it hands to another thread and waits
// for must then take no folder lock: that thread would wait for this one.
bool holds_folder_lock();

class FolderLock {
  public:
    // Takes the lock of `folder` (created when absent), waiting at most `wait`. The lock file
    // is opened without following a link and without blocking, and must be a regular file that
    // we own. The thread that holds a folder's lock may take it again (nested operations); other
    // threads and processes wait. ok() says whether the lock is held, error() why not.
    explicit FolderLock(const std::filesystem::path& folder,
                        std::chrono::milliseconds wait = FolderLockWait);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool ok() const { return held_; }
    const std::string& error() const { return error_; }

  private:
    bool held_ = false;
    int fd_ = -1;  // ours to close; -1 when a nested hold borrowed the outer one's
    unsigned long long dev_ = 0;
    unsigned long long ino_ = 0;
    std::string error_;
};

}  // namespace velqa::platform
