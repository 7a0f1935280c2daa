#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace velqa::platform {

namespace fs = std::filesystem;

namespace {

// The locks this process holds, by lock file: flock does not nest within one process (a second
// open file would wait for the first), so a thread that holds a folder's lock counts its nested
// holds here instead.
struct Held {
    unsigned long long dev;
    unsigned long long ino;
    std::thread::id owner;
    int depth;
};

std::mutex& held_mutex() {
    static std::mutex m;
    return m;
}

std::vector<Held>& held_locks() {
    static std::vector<Held> held;
    return held;
}

Held* find_held(unsigned long long dev, unsigned long long ino) {
    auto& held = held_locks();
    const auto it = std::find_if(held.begin(), held.end(),
                                 [&](const Held& h) { return h.dev == dev && h.ino == ino; });
    return it == held.end() ? nullptr : &*it;
}

std::string why(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

FolderLock::FolderLock(const fs::path& folder, std::chrono::milliseconds wait) {
    // No folder (no data folder of ours): never a lock file in the working folder.
    if (folder.empty()) {
        error_ = "no folder to lock";
        return;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path file = folder / FolderLockName;
    // O_NONBLOCK: a FIFO planted there must not hold the open.
    const int fd = ::open(file.c_str(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) {
        error_ = why("cannot open the lock file " + file.string());
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        error_ = "the lock file " + file.string() + " is not a regular file of ours";
        return;
    }
    dev_ = static_cast<unsigned long long>(st.st_dev);
    ino_ = static_cast<unsigned long long>(st.st_ino);
    {
        std::lock_guard guard(held_mutex());
        if (Held* h = find_held(dev_, ino_);
            h != nullptr && h->owner == std::this_thread::get_id()) {
            ++h->depth;
            ::close(fd);
            held_ = true;
            return;
        }
    }
    // A bounded wait: flock itself would wait for good behind a hung holder.
    if (const FlockResult r = flock_until(fd, std::chrono::steady_clock::now() + wait);
        r != FlockResult::Taken) {
        error_ = r == FlockResult::Busy ? "another program holds " + file.string()
                                        : why("cannot lock " + file.string());
        ::close(fd);
        return;
    }
    std::lock_guard guard(held_mutex());
    held_locks().push_back({dev_, ino_, std::this_thread::get_id(), 1});
    fd_ = fd;
    held_ = true;
}

bool folder_lock_busy(const fs::path& folder) {
    const fs::path file = folder / FolderLockName;
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;  // no lock file: nobody holds it
    // A shared lock conflicts only with a holder's exclusive one, and is let go at once. A lock
    // file that is no regular file is no lock of ours: it counts as held.
    struct stat st {};
    const bool busy = ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
                      (::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK);
    ::close(fd);
    return busy;
}

bool holds_folder_lock() {
    std::lock_guard guard(held_mutex());
    const auto& held = held_locks();
    return std::any_of(held.begin(), held.end(),
                       [](const Held& h) { return h.owner == std::this_thread::get_id(); });
}

FlockResult flock_until(int fd, std::chrono::steady_clock::time_point deadline) {
    auto pause = std::chrono::milliseconds(1);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return FlockResult::Failed;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return FlockResult::Busy;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(8));
    }
    return FlockResult::Taken;
}

FolderLock::~FolderLock() {
    if (!held_)
        return;
    std::lock_guard guard(held_mutex());
    Held* h = find_held(dev_, ino_);
    if (h != nullptr && --h->depth > 0)
        return;
    auto& held = held_locks();
    held.erase(std::remove_if(held.begin(), held.end(),
                              [&](const Held& x) { return x.dev == dev_ && x.ino == ino_; }),
               held.end());
    // Closing the last descriptor of the open file releases the flock.
    if (fd_ >= 0)
        ::close(fd_);
}

}  // namespace velqa::platform
