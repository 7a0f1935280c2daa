#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

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

// The file a chain of symbolic links finally names (the target itself when it is no link).
// Renaming over the link would replace the link and leave the file it names stale.
bool resolve_links(const fs::path& target, fs::path& resolved, std::string* error) {
    resolved = target;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(resolved.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;  // the file itself, or a name still to be created
        std::error_code ec;
        const fs::path next = fs::read_symlink(resolved, ec);
        if (ec) {
            errno = ec.value();
            return fail(error, "cannot follow " + resolved.string());
        }
        resolved = next.is_absolute() ? next : resolved.parent_path() / next;
    }
    errno = ELOOP;
    return fail(error, "cannot follow " + target.string());
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

}  // namespace

bool write_file_atomically(const fs::path& requested, std::string_view data, std::string* error) {
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

    // An existing file keeps its permissions.
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0)
        ::fchmod(fd, st.st_mode & 07777);

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

bool read_whole_file(const fs::path& file, std::string& out, std::string* error) {
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

}  // namespace velqa::platform
