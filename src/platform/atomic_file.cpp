#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace velqa::platform {
namespace fs = std::filesystem;

namespace {
bool fail(std::string* error, const std::string& what) {
    if (error != nullptr) *error = what + ": " + std::strerror(errno);
    return false;
}
}  // namespace

bool write_file_atomically(const fs::path& target, std::string_view data, std::string* error) {
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::string tmpl = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return fail(error, "cannot create temporary file in " + folder.string());

    // Keep the permissions of an existing file; new files get the usual 0644.
    struct stat st {};
    mode_t mode = (::stat(target.c_str(), &st) == 0) ? (st.st_mode & 07777) : 0644;
    ::fchmod(fd, mode);

    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            int saved = errno;
            ::close(fd);
            ::unlink(tmpl.c_str());
            errno = saved;
            return fail(error, "cannot write " + tmpl);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        int saved = errno;
        ::close(fd);
        ::unlink(tmpl.c_str());
        errno = saved;
        return fail(error, "cannot flush " + tmpl);
    }
    if (::close(fd) != 0) {
        int saved = errno;
        ::unlink(tmpl.c_str());
        errno = saved;
        return fail(error, "cannot close " + tmpl);
    }
    if (::rename(tmpl.c_str(), target.c_str()) != 0) {
        int saved = errno;
        ::unlink(tmpl.c_str());
        errno = saved;
        return fail(error, "cannot replace " + target.string());
    }
    // Make the rename itself durable.
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool read_whole_file(const fs::path& file, std::string& out) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace velqa::platform
