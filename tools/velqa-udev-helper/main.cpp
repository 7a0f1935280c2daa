// velqa-udev-helper: lets the user at the seat open the mouse, in one step run as root through
// pkexec. It installs our udev rule into /etc/udev/rules.d when the package's rule is absent,
// reloads udev and re-triggers only the hidraw nodes of our vendor, so that the running program
// finds the mouse without a re-plug.
//
// It runs with root's rights on behalf of whoever asked, so it takes nothing from its caller:
// no path, no rule text (the rule is compiled in), no environment. `--root DIR` exists for tests
// only: every path is taken under DIR and the udevadm calls are printed instead of run; it is
// refused under pkexec or setuid, where the caller could point it anywhere.
//
// Exit codes: 0 done, 1 failed (why on stderr), 2 usage.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/diagnostics.h"
#include "udev_rule.h"

namespace {

using velqa::platform::kUdevRuleName;

constexpr int Done = 0;
constexpr int Failed = 1;
constexpr int Usage = 2;

// Rule and uevent files are a few hundred bytes; anything larger is not ours.
constexpr std::size_t MaxReadSize = 64 * 1024;

// Only these programs are started, and with an environment of our own: nothing the caller's
// PATH names.
constexpr const char* kUdevadmCandidates[] = {"/usr/bin/udevadm", "/bin/udevadm",
                                              "/usr/sbin/udevadm", "/sbin/udevadm"};
char kSafePath[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: velqa-udev-helper\n"
                 "Run as root (pkexec velqa-udev-helper): installs the ZARN VELQA R260 udev rule\n"
                 "into /etc/udev/rules.d when the package's rule is absent, reloads udev and\n"
                 "re-triggers the mouse's hidraw nodes.\n");
}

int fail(const std::string& why) {
    std::fprintf(stderr, "velqa-udev-helper: %s\n", why.c_str());
    return Failed;
}

std::string errno_text(int error_number) {
    return std::strerror(error_number);
}

// Reads a small regular file below `dirfd` (AT_FDCWD: an absolute name) without following a
// link in its last component when `nofollow`. Nothing when it cannot be read or is too large.
std::optional<std::string> read_small_file(int dirfd, const char* name, bool nofollow) {
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (nofollow ? O_NOFOLLOW : 0);
    const int fd = ::openat(dirfd, name, flags);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<std::string> text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        std::string data;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n == 0)
                    text = std::move(data);
                break;
            }
            data.append(buffer, static_cast<std::size_t>(n));
            if (data.size() > MaxReadSize)
                break;
        }
    }
    ::close(fd);
    return text;
}

bool is_regular_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The vendor IDs a rule grants access to: its ATTRS{idVendor}=="vvvv" matches outside comments.
std::vector<unsigned> rule_vendors(std::string_view rule) {
    std::vector<unsigned> vendors;
    constexpr std::string_view Key = "ATTRS{idVendor}==\"";
    while (!rule.empty()) {
        const auto end = rule.find('\n');
        std::string_view line = rule.substr(0, end);
        rule = end == std::string_view::npos ? std::string_view() : rule.substr(end + 1);
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#')
            continue;
        for (auto at = line.find(Key); at != std::string_view::npos; at = line.find(Key, at + 1)) {
            const std::string_view value = line.substr(at + Key.size(), 4);
            if (value.size() != 4 || !std::all_of(value.begin(), value.end(), [](char c) {
                    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                }))
                continue;
            const unsigned vendor =
                static_cast<unsigned>(std::strtoul(std::string(value).c_str(), nullptr, 16));
            if (std::find(vendors.begin(), vendors.end(), vendor) == vendors.end())
                vendors.push_back(vendor);
        }
    }
    return vendors;
}

// The vendor in a hid device's uevent: HID_ID=BBBB:VVVVVVVV:PPPPPPPP.
std::optional<unsigned> uevent_vendor(std::string_view uevent) {
    constexpr std::string_view Key = "HID_ID=";
    std::size_t at = 0;
    while (at < uevent.size()) {
        const auto end = std::min(uevent.find('\n', at), uevent.size());
        const std::string_view line = uevent.substr(at, end - at);
        at = end + 1;
        if (line.substr(0, Key.size()) != Key)
            continue;
        const std::string_view id = line.substr(Key.size());
        if (id.size() < 14 || id[4] != ':' || id[13] != ':')
            return std::nullopt;
        const std::string_view vendor = id.substr(5, 8);
        if (!std::all_of(vendor.begin(), vendor.end(),
                         [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }))
            return std::nullopt;
        return static_cast<unsigned>(std::strtoul(std::string(vendor).c_str(), nullptr, 16));
    }
    return std::nullopt;
}

bool is_hidraw_name(std::string_view name) {
    constexpr std::string_view Prefix = "hidraw";
    if (name.size() <= Prefix.size() || name.size() > Prefix.size() + 6 ||
        name.substr(0, Prefix.size()) != Prefix)
        return false;
    const std::string_view number = name.substr(Prefix.size());
    return std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The sysfs paths (as udevadm takes them) of the hidraw nodes whose HID device has one of
// `vendors`, in name order.
std::vector<std::string> our_hidraw_nodes(const std::string& root,
                                          const std::vector<unsigned>& vendors) {
    std::vector<std::string> nodes;
    const std::string folder = "/sys/class/hidraw";
    DIR* dir = ::opendir((root + folder).c_str());
    if (dir == nullptr)
        return nodes;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!is_hidraw_name(name))
            continue;
        const std::string uevent = root + folder + "/" + name + "/device/uevent";
        const auto text = read_small_file(AT_FDCWD, uevent.c_str(), false);
        if (!text)
            continue;
        const auto vendor = uevent_vendor(*text);
        if (vendor && std::find(vendors.begin(), vendors.end(), *vendor) != vendors.end())
            nodes.push_back(folder + "/" + name);
    }
    ::closedir(dir);
    std::sort(nodes.begin(), nodes.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return nodes;
}

enum class RuleOutcome { Installed, AlreadyInstalled, PackageProvides, OtherRuleKept };

struct RuleResult {
    std::optional<RuleOutcome> outcome;  // nothing: failed, `error` says why
    std::string error;
    std::string effective_rule;  // the text udev now reads under our rule's name
};

// Writes the rule as a new file: a temporary file created exclusively, linked to its name only
// when that name is still free, so neither a link nor a file that appeared meanwhile is ever
// written through or replaced.
bool write_new_rule(int dirfd, const std::string& folder, std::string* error) {
    const std::string temporary = std::string(".") + kUdevRuleName + ".new";
    int fd = -1;
    for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
        fd = ::openat(dirfd, temporary.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        // Left by an earlier run that did not finish: ours to remove, in a root-only folder.
        if (fd < 0 && errno == EEXIST && attempt == 0)
            ::unlinkat(dirfd, temporary.c_str(), 0);
    }
    if (fd < 0) {
        *error = "cannot create a file in " + folder + ": " + errno_text(errno);
        return false;
    }
    const std::string_view text = kUdevRuleText;
    std::size_t written = 0;
    bool ok = true;
    while (ok && written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = "cannot write " + folder + "/" + temporary + ": " + errno_text(errno);
            ok = false;
        } else {
            written += static_cast<std::size_t>(n);
        }
    }
    // The umask must not narrow it: udev runs as root, but the rule is meant to be readable.
    if (ok && (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0)) {
        *error = "cannot finish " + folder + "/" + temporary + ": " + errno_text(errno);
        ok = false;
    }
    ::close(fd);
    if (ok && ::linkat(dirfd, temporary.c_str(), dirfd, kUdevRuleName, 0) != 0) {
        *error = "cannot install " + folder + "/" + kUdevRuleName + ": " + errno_text(errno);
        ok = false;
    }
    ::unlinkat(dirfd, temporary.c_str(), 0);
    if (ok)
        ::fsync(dirfd);
    return ok;
}

RuleResult install_rule(const std::string& root) {
    RuleResult result;
    // The package's rule works by itself; a copy in /etc would only hide later updates of it.
    for (const char* packaged : {"/usr/lib/udev/rules.d/", "/lib/udev/rules.d/"}) {
        const std::string file = root + packaged + kUdevRuleName;
        if (is_regular_file(file)) {
            result.outcome = RuleOutcome::PackageProvides;
            result.effective_rule = read_small_file(AT_FDCWD, file.c_str(), false).value_or("");
            // A rule of the same name in /etc overrides the package's one.
            const std::string local = root + "/etc/udev/rules.d/" + kUdevRuleName;
            if (auto text = read_small_file(AT_FDCWD, local.c_str(), true))
                result.effective_rule = *text;
            return result;
        }
    }

    const std::string folder = root + "/etc/udev/rules.d";
    const int dirfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirfd < 0) {
        result.error = "cannot open " + folder + ": " + errno_text(errno);
        return result;
    }
    struct stat st {};
    if (::fstatat(dirfd, kUdevRuleName, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(st.st_mode)) {
            result.error = folder + "/" + kUdevRuleName + " is " +
                           (S_ISLNK(st.st_mode) ? "a symbolic link" : "not a regular file") +
                           "; it was left as it is";
        } else if (auto text = read_small_file(dirfd, kUdevRuleName, true); !text) {
            result.error = "cannot read " + folder + "/" + kUdevRuleName;
        } else {
            // A different rule is the administrator's (another vendor ID, say): kept as it is.
            result.outcome = *text == std::string_view(kUdevRuleText)
                                 ? RuleOutcome::AlreadyInstalled
                                 : RuleOutcome::OtherRuleKept;
            result.effective_rule = *text;
        }
    } else if (errno != ENOENT) {
        result.error = "cannot look at " + folder + "/" + kUdevRuleName + ": " + errno_text(errno);
    } else if (write_new_rule(dirfd, folder, &result.error)) {
        result.outcome = RuleOutcome::Installed;
        result.effective_rule = kUdevRuleText;
    }
    ::close(dirfd);
    return result;
}

std::optional<std::string> find_udevadm() {
    for (const char* candidate : kUdevadmCandidates) {
        if (is_regular_file(candidate) && ::access(candidate, X_OK) == 0)
            return std::string(candidate);
    }
    return std::nullopt;
}

// Runs udevadm with `arguments` and waits for it; its output goes where ours goes.
bool run_udevadm(const std::string& udevadm, const std::vector<std::string>& arguments,
                 std::string* error) {
    std::vector<char*> argv;
    std::string name = "udevadm";
    argv.push_back(name.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    char* envp[] = {kSafePath, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, udevadm.c_str(), &actions, nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    std::string command = "udevadm";
    for (const std::string& argument : arguments)
        command += " " + argument;
    if (rc != 0) {
        *error = "cannot start " + udevadm + ": " + errno_text(rc);
        return false;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            *error = command + ": " + errno_text(errno);
            return false;
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *error = command + " failed" +
                 (WIFEXITED(status) ? " (exit code " + std::to_string(WEXITSTATUS(status)) + ")"
                                    : std::string(" (killed)"));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root;
    bool dry_run = false;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return Done;
    }
    if (argc == 3 && std::strcmp(argv[1], "--root") == 0) {
        // Under pkexec (or setuid) the caller chose the arguments: a root of theirs would make
        // us write as root wherever they like.
        if (std::getenv("PKEXEC_UID") != nullptr || ::getuid() != ::geteuid()) {
            std::fprintf(stderr,
                         "velqa-udev-helper: --root is for tests and not taken under "
                         "pkexec\n");
            return Usage;
        }
        char resolved[PATH_MAX];
        struct stat st {};
        if (::realpath(argv[2], resolved) == nullptr || ::stat(resolved, &st) != 0 ||
            !S_ISDIR(st.st_mode) || std::strcmp(resolved, "/") == 0) {
            std::fprintf(stderr, "velqa-udev-helper: --root needs a scratch folder other than /\n");
            return Usage;
        }
        root = resolved;
        dry_run = true;
    } else if (argc != 1) {
        usage(stderr);
        return Usage;
    }
    if (!dry_run && ::geteuid() != 0)
        return fail("must run as root: pkexec velqa-udev-helper");
    ::umask(022);

    const RuleResult rule = install_rule(root);
    if (!rule.outcome)
        return fail(rule.error);
    const std::string rule_file = std::string("/etc/udev/rules.d/") + kUdevRuleName;
    switch (*rule.outcome) {
        case RuleOutcome::Installed:
            std::printf("installed %s\n", rule_file.c_str());
            break;
        case RuleOutcome::AlreadyInstalled:
            std::printf("%s is already installed\n", rule_file.c_str());
            break;
        case RuleOutcome::PackageProvides:
            std::printf("the package's udev rule is installed\n");
            break;
        case RuleOutcome::OtherRuleKept:
            std::fprintf(stderr,
                         "velqa-udev-helper: %s differs from the package's rule; it was kept\n",
                         rule_file.c_str());
            break;
    }

    // The nodes of the vendors the rule in force grants, so an edited vendor ID counts too.
    std::vector<unsigned> vendors = rule_vendors(rule.effective_rule);
    if (vendors.empty())
        vendors = rule_vendors(kUdevRuleText);
    const std::vector<std::string> nodes = our_hidraw_nodes(root, vendors);
    std::vector<std::vector<std::string>> calls = {{"control", "--reload"}};
    if (!nodes.empty()) {
        std::vector<std::string> trigger = {"trigger", "--action=change", "--settle"};
        trigger.insert(trigger.end(), nodes.begin(), nodes.end());
        calls.push_back(std::move(trigger));
    }
    if (dry_run) {
        for (const auto& call : calls) {
            std::string line = "udevadm";
            for (const std::string& argument : call)
                line += " " + argument;
            std::printf("%s\n", line.c_str());
        }
        return Done;
    }
    const auto udevadm = find_udevadm();
    if (!udevadm)
        return fail("udevadm is not installed; is udev running here?");
    std::fflush(stdout);
    for (const auto& call : calls) {
        std::string error;
        if (!run_udevadm(*udevadm, call, &error))
            return fail(error);
    }
    return Done;
}
