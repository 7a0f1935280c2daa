#include "device/link/link_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/debug_output.h"

namespace velqa::link {

std::string link_lock_file(const std::string& node) {
    const std::filesystem::path path(node);
    if (path.parent_path() == "/dev")
        return "/tmp/velqa-link-" + path.filename().string() + ".lock";
    return node + ".lock";
}

namespace {

int open_lock_file(const std::string& node) {
    const std::string file = link_lock_file(node);
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) {
        // Every user's programs share it, whatever the creator's umask.
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 0777) != 0666)
            ::fchmod(fd, 0666);
        return fd;
    }
    // flock needs no write access; a file another user created may be read-only for us.
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        platform::debug_printf("%s: no lock file (%s); exchanges are ordered in this program only",
                               file.c_str(), std::strerror(errno));
    }
    return fd;
}

}  // namespace

LinkLock::~LinkLock() {
    for (int side = 0; side < Sides; ++side)
        detach(side);
}

void LinkLock::attach(int side, const std::string& node) {
    const int fd = open_lock_file(node);
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

bool LinkLock::take_file(int side, bool wait) {
    const int fd = fds_[side];
    if (fd >= 0) {
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            if (!wait && errno == EWOULDBLOCK)
                return false;
            platform::debug_printf("link lock: %s", std::strerror(errno));
        }
    }
    held_fd_ = fd;
    return true;
}

void LinkLock::lock(int side) {
    mutex_.lock();
    if (depth_++ == 0)
        take_file(side, true);
}

bool LinkLock::try_lock(int side) {
    if (!mutex_.try_lock())
        return false;
    if (depth_ == 0 && !take_file(side, false)) {
        mutex_.unlock();
        return false;
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
