#include "platform/desktop/focus_common.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "platform/json_read.h"

namespace velqa::platform::desktop {

std::string clean_app_id(std::string_view text) {
    std::string kept;
    kept.reserve(std::min(text.size(), MaxAppIdBytes));
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            kept.push_back(c);
        if (kept.size() > MaxAppIdBytes * 2)
            break;
    }
    std::string id = valid_utf8(kept);
    if (id.size() > MaxAppIdBytes) {
        std::size_t end = MaxAppIdBytes;
        // Back up over continuation bytes so the cut falls between characters.
        while (end > 0 && (static_cast<unsigned char>(id[end]) & 0xC0) == 0x80)
            --end;
        id.resize(end);
    }
    return id;
}

std::string executable_name(long pid) {
    if (pid <= 0)
        return {};
    const std::filesystem::path process = "/proc/" + std::to_string(pid);
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink(process / "exe", ec);
    if (!ec && !exe.filename().empty()) {
        std::string name = exe.filename().string();
        // A replaced executable reads as "name (deleted)".
        constexpr std::string_view Deleted = " (deleted)";
        if (name.size() > Deleted.size() && name.ends_with(Deleted))
            name.resize(name.size() - Deleted.size());
        return clean_app_id(name);
    }
    std::ifstream comm(process / "comm");
    std::string name;
    std::getline(comm, name);
    return clean_app_id(name);
}

StopDescriptor::StopDescriptor() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopDescriptor::~StopDescriptor() {
    if (fd_ >= 0)
        close(fd_);
}

void StopDescriptor::signal() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(fd_, &one, sizeof one);
}

void StopDescriptor::clear() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(fd_, &count, sizeof count);
}

bool StopDescriptor::wait_for(int fd, short events) const {
    pollfd fds[2] = {{fd, events, 0}, {fd_, POLLIN, 0}};
    for (;;) {
        const int n = poll(fds, 2, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || fds[1].revents != 0)
            return false;
        // A hang-up or error on the source counts as ready: the read that follows says which.
        if (fds[0].revents != 0)
            return true;
    }
}

}  // namespace velqa::platform::desktop
