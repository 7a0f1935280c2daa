#include "platform/hid/node_watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace velqa::platform::hid {

namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

NodeWatcher::NodeWatcher(const std::filesystem::path& folder) : folder_(folder) {
    cancel_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (cancel_fd_ < 0)
        error_ = std::string("eventfd: ") + std::strerror(errno);
    inotify_fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_fd_ < 0) {
        error_ = std::string("inotify: ") + std::strerror(errno);
        return;
    }
    add_watch();
}

NodeWatcher::~NodeWatcher() {
    if (inotify_fd_ >= 0)
        ::close(inotify_fd_);
    if (cancel_fd_ >= 0)
        ::close(cancel_fd_);
}

void NodeWatcher::add_watch() {
    if (folder_.empty()) {
        error_ = "no folder to watch";
        return;
    }
    watch_fd_ = ::inotify_add_watch(inotify_fd_, folder_.c_str(), kWatchMask);
    if (watch_fd_ < 0)
        error_ = folder_.string() + ": " + std::strerror(errno);
    else
        error_.clear();
}

bool NodeWatcher::drain_changes() {
    // Large enough for many events per read; events are never split across reads.
    alignas(inotify_event) char buffer[8192];
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(inotify_fd_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        any = true;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            // The folder went away or was moved: its watch is gone; a later wait adds it again
            // once the folder is back.
            if (event->wd == watch_fd_ &&
                (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF))) {
                if (event->mask & IN_MOVE_SELF)
                    ::inotify_rm_watch(inotify_fd_, watch_fd_);
                watch_fd_ = -1;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return any;
}

NodeWatcher::Wait NodeWatcher::wait(std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    if (watch_fd_ < 0 && inotify_fd_ >= 0)
        add_watch();
    for (;;) {
        pollfd fds[2];
        nfds_t count = 0;
        const int cancel_index = cancel_fd_ >= 0 ? static_cast<int>(count) : -1;
        if (cancel_fd_ >= 0)
            fds[count++] = {cancel_fd_, POLLIN, 0};
        const int change_index = inotify_fd_ >= 0 ? static_cast<int>(count) : -1;
        if (inotify_fd_ >= 0)
            fds[count++] = {inotify_fd_, POLLIN, 0};

        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int rc = ::poll(fds, count, left > 0 ? static_cast<int>(left) : 0);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0)
            return Wait::TimedOut;  // nothing better to do than wait for the next deadline
        if (cancel_index >= 0 && (fds[cancel_index].revents & POLLIN)) {
            uint64_t value = 0;
            [[maybe_unused]] const ssize_t n = ::read(cancel_fd_, &value, sizeof value);
            return Wait::Cancelled;
        }
        if (change_index >= 0 && (fds[change_index].revents & POLLIN) && drain_changes())
            return Wait::Changed;
        if (rc == 0 || Clock::now() >= deadline)
            return Wait::TimedOut;
    }
}

void NodeWatcher::cancel() {
    if (cancel_fd_ < 0)
        return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(cancel_fd_, &one, sizeof one);
}

}  // namespace velqa::platform::hid
