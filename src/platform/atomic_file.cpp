#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace velqa::platform {
namespace fs = std::filesystem;

namespace {

bool fail(std::string* error, const std::string& what) {
    if (error != nullptr)
        *error = what + ": " + std::strerror(errno);
    return false;
}

// Closes fd and removes the temporary file without losing the errno that says why.
bool fail_and_remove(std::string* error, const std::string& what, int fd, const std::string& tmp) {
    const int saved = errno;
    if (fd >= 0)
        ::close(fd);
    ::unlink(tmp.c_str());
    errno = saved;
    return fail(error, what);
}

// The kernel's protected_symlinks rule, applied to the links we follow ourselves: a link in a
// sticky, world-writable folder is followed only when it is ours or the folder owner's. Anyone
// may plant a link there, and writing through it would replace whatever file it names.
bool may_follow(const fs::path& link, const struct stat& link_st, std::string* error) {
    fs::path folder = link.parent_path();
    if (folder.empty())
        folder = ".";
    struct stat folder_st {};
    if (::stat(folder.c_str(), &folder_st) != 0)
        return fail(error, "cannot inspect " + folder.string());
    constexpr mode_t Shared = S_ISVTX | S_IWOTH;
    if ((folder_st.st_mode & Shared) != Shared || link_st.st_uid == ::geteuid() ||
        link_st.st_uid == folder_st.st_uid) {
        return true;
    }
    errno = EACCES;
    return fail(error, "refusing to write through " + link.string() +
                           ": a link of another user in the shared folder " + folder.string());
}

// The path with every symbolic link in it resolved, folders included: renaming over a link would
// replace the link and leave the file it names stale, so the writer follows links itself, and
// checks each one it follows.
bool resolve_links(const fs::path& target, fs::path& resolved, std::string* error) {
    std::vector<fs::path> pending;  // components still to walk, the next one last
    auto push_front = [&pending](const fs::path& p) {
        std::vector<fs::path> parts(p.begin(), p.end());
        for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
            if (!it->empty() && *it != "." && *it != "/")
                pending.push_back(*it);
        }
    };
    resolved = target.is_absolute() ? fs::path("/") : fs::path();
    push_front(target);
    int hops = 0;
    while (!pending.empty()) {
        const fs::path next = resolved / pending.back();
        pending.pop_back();
        struct stat st {};
        if (::lstat(next.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            resolved = next;  // a file, a folder, or a name still to be created
            continue;
        }
        if (++hops > 40) {
            errno = ELOOP;
            return fail(error, "cannot follow " + target.string());
        }
        if (!may_follow(next, st, error))
            return false;
        std::error_code ec;
        const fs::path link = fs::read_symlink(next, ec);
        if (ec) {
            errno = ec.value();
            return fail(error, "cannot follow " + next.string());
        }
        if (link.is_absolute())
            resolved = "/";
        push_front(link);
    }
    if (resolved.empty())
        resolved = target;
    return true;
}

// Creates a fresh temporary file beside `target`. Mode 0666 lets the umask (or the folder's
// default ACL) decide a new file's permissions, as for any file a program creates.
int create_temporary(const fs::path& folder, const fs::path& target, std::string& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        char suffix[40];
        std::snprintf(suffix, sizeof suffix, ".%x.%x.%llx", static_cast<unsigned>(::getpid()),
                      counter.fetch_add(1), static_cast<unsigned long long>(ticks) & 0xFFFFFF);
        name = (folder / ("." + target.filename().string() + suffix)).string();
        const int fd =
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// write_file_atomically; `forced_mode` (>= 0): the permissions the file gets in any case.
bool write_atomically(const fs::path& requested, std::string_view data, std::string* error,
                      int forced_mode) {
    fs::path target;
    if (!resolve_links(requested, target, error))
        return false;
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::string tmp;
    const int fd = create_temporary(folder, target, tmp);
    if (fd < 0)
        return fail(error, "cannot create temporary file in " + folder.string());

    // An existing file keeps its permissions. lstat: the target is no link by now, and one
    // planted since must not lend us the mode of the file it names.
    struct stat st {};
    if (forced_mode >= 0) {
        if (::fchmod(fd, static_cast<mode_t>(forced_mode) & 07777) != 0)
            return fail_and_remove(error, "cannot set the permissions of " + tmp, fd, tmp);
    } else if (::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        ::fchmod(fd, st.st_mode & 07777);
    }

    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail_and_remove(error, "cannot write " + tmp, fd, tmp);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0)
        return fail_and_remove(error, "cannot flush " + tmp, fd, tmp);
    if (::close(fd) != 0)
        return fail_and_remove(error, "cannot close " + tmp, -1, tmp);
    if (::rename(tmp.c_str(), target.c_str()) != 0)
        return fail_and_remove(error, "cannot replace " + target.string(), -1, tmp);
    // Make the rename itself durable.
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

// read_whole_file; `mode` (when given) gets the permissions of the file read.
bool read_whole(const fs::path& file, std::string& out, std::string* error, mode_t* mode) {
    // O_NONBLOCK: opening a FIFO without a writer must not wait for one. It is refused below.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fail(error, "cannot open " + file.string());
    auto give_up = [&](int code, const std::string& what) {
        ::close(fd);
        errno = code;
        return fail(error, what);
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return give_up(errno, "cannot inspect " + file.string());
    if (!S_ISREG(st.st_mode)) {
        return give_up(S_ISDIR(st.st_mode) ? EISDIR : EINVAL,
                       "not a regular file: " + file.string());
    }
    if (static_cast<std::uintmax_t>(st.st_size) > MaxReadFileSize)
        return give_up(EFBIG, "too large: " + file.string());
    if (mode != nullptr)
        *mode = st.st_mode & 07777;
    std::string text;
    text.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return give_up(errno, "cannot read " + file.string());
        }
        if (n == 0)
            break;
        // The file may grow while it is read.
        if (text.size() + static_cast<size_t>(n) > MaxReadFileSize)
            return give_up(EFBIG, "too large: " + file.string());
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    out = std::move(text);
    return true;
}

}  // namespace

bool write_file_atomically(const fs::path& target, std::string_view data, std::string* error) {
    return write_atomically(target, data, error, -1);
}

bool read_whole_file(const fs::path& file, std::string& out, std::string* error) {
    return read_whole(file, out, error, nullptr);
}

bool keep_copy(const fs::path& source, const fs::path& copy, std::string* error) {
    std::string bytes;
    mode_t mode = 0600;
    if (!read_whole(source, bytes, error, &mode))
        return false;
    return bytes.empty() || write_atomically(copy, bytes, error, static_cast<int>(mode));
}

}  // namespace velqa::platform
