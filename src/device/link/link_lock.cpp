#include "device/link/link_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/debug_output.h"
#include "platform/folder_lock.h"

namespace velqa::link {

namespace {

using Clock = std::chrono::steady_clock;

// FNV-1a: stable across programs and builds, which std::hash does not promise.
uint64_t path_hash(const std::string& text) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    return h;
}

int open_lock_file(const std::string& file) {
    if (file.empty()) {
        platform::debug_output(
            "link lock: no private folder for lock files; exchanges are ordered in this program "
            "only");
        return -1;
    }
    // O_NONBLOCK: a FIFO put at this path must not stop us in open().
    const int fd =
        ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        platform::debug_printf("%s: %s; exchanges are ordered in this program only", file.c_str(),
                               std::strerror(errno));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        platform::debug_printf(
            "%s: not a regular file of ours; exchanges are ordered in this program only",
            file.c_str());
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

std::string link_lock_file(const std::filesystem::path& folder, const std::string& node) {
    if (folder.empty())
        return {};
    // One name for one node, whether a program reached it through a relative or linked folder.
    std::error_code ec;
    std::filesystem::path full = std::filesystem::weakly_canonical(node, ec);
    if (ec)
        full = std::filesystem::absolute(node, ec).lexically_normal();
    std::string name = std::filesystem::path(node).filename().string();
    std::replace_if(
        name.begin(), name.end(),
        [](char c) {
            return !(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_');
        },
        '_');
    name = name.substr(0, 64);
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016" PRIx64, path_hash(full.string()));
    return (folder / (name + "-" + digits + ".lock")).string();
}

LinkLock::~LinkLock() {
    for (int side = 0; side < Sides; ++side)
        detach(side);
}

void LinkLock::attach(int side, const std::string& file) {
    const int fd = open_lock_file(file);
    std::lock_guard lock(mutex_);
    if (fds_[side] >= 0 && fds_[side] != held_fd_)
        ::close(fds_[side]);
    fds_[side] = fd;
}

void LinkLock::detach(int side) {
    std::lock_guard lock(mutex_);
    if (fds_[side] < 0)
        return;
    // A holder on this thread keeps its descriptor until it unlocks.
    if (fds_[side] != held_fd_)
        ::close(fds_[side]);
    fds_[side] = -1;
}

void LinkLock::set_wait(std::chrono::milliseconds wait) {
    wait_ms_.store(wait.count());
}

LinkLock::Take LinkLock::take_file(int side, Clock::time_point deadline) {
    const int fd = fds_[side];
    if (fd >= 0) {
        platform::FlockResult r = platform::flock_until(fd, Clock::now());
        if (r == platform::FlockResult::Busy && Clock::now() < deadline) {
            platform::debug_output("link lock: held by another program; waiting");
            r = platform::flock_until(fd, deadline);
        }
        switch (r) {
            case platform::FlockResult::Busy:
                return Take::Busy;
            case platform::FlockResult::Failed:
                // No lock to take: this program's threads are still ordered.
                platform::debug_printf("link lock: %s", std::strerror(errno));
                break;
            case platform::FlockResult::Taken:
                break;
        }
    }
    held_fd_ = fd;
    return Take::Taken;
}

bool LinkLock::lock(int side) {
    const auto start = Clock::now();
    const std::chrono::milliseconds wait(wait_ms_.load());
    // Another thread of ours that holds it is bounded by its own wait and its exchanges.
    // Against the system clock: libstdc++ then waits with pthread_mutex_timedlock, which
    // ThreadSanitizer follows (the steady clock's pthread_mutex_clocklock it does not, and every
    // unlock was reported). A clock step only lengthens or shortens this one bounded wait.
    if (!mutex_.try_lock_until(std::chrono::system_clock::now() + wait)) {
        platform::debug_output("link lock: timed out waiting for another thread");
        return false;
    }
    if (depth_ > 0) {
        ++depth_;
        return true;
    }
    const auto deadline = gave_up_ ? Clock::now() : start + wait;
    if (take_file(side, deadline) == Take::Busy) {
        if (!gave_up_)
            platform::debug_output("link lock: timed out waiting for the device lock");
        gave_up_ = true;
        mutex_.unlock();
        return false;
    }
    gave_up_ = false;
    depth_ = 1;
    return true;
}

bool LinkLock::try_lock(int side) {
    if (!mutex_.try_lock())
        return false;
    if (depth_ == 0) {
        if (take_file(side, Clock::now()) == Take::Busy) {
            mutex_.unlock();
            return false;
        }
        gave_up_ = false;
    }
    ++depth_;
    return true;
}

void LinkLock::unlock() {
    if (--depth_ == 0 && held_fd_ >= 0) {
        const bool detached = held_fd_ != fds_[0] && held_fd_ != fds_[1];
        if (detached) {
            ::close(held_fd_);  // closing drops the flock too
        } else {
            ::flock(held_fd_, LOCK_UN);
        }
        held_fd_ = -1;
    }
    mutex_.unlock();
}

}  // namespace velqa::link
