#include "platform/desktop/plasma_config.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/atomic_file.h"

namespace velqa::platform::desktop {
namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_space(s.back()))
        s.remove_suffix(1);
    return s;
}

struct Line {
    std::string_view text;  // without its '\n'
    std::size_t begin;      // offset in the whole text
    std::size_t end;        // offset past the line's '\n' (or the text's end)
};

std::vector<Line> lines_of(std::string_view text) {
    std::vector<Line> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t nl = text.find('\n', at);
        const std::size_t stop = nl == std::string_view::npos ? text.size() : nl;
        lines.push_back(
            {text.substr(at, stop - at), at, nl == std::string_view::npos ? stop : nl + 1});
        at = lines.back().end;
    }
    return lines;
}

// A "[A][B]" header (trimmed): the group's name, its parts joined by '\x1d' as KConfig joins
// them, and a last "[$i]" part. Nothing for a header without its ']', which KConfig skips.
struct Header {
    std::string name;
    bool locked = false;  // ends in [$i]: the group, or with no name the whole file
};
std::optional<Header> header(std::string_view line) {
    Header h;
    std::size_t start = 1;
    for (;;) {
        const std::size_t end = line.find(']', start);
        if (end == std::string_view::npos)
            return std::nullopt;
        const std::string_view part = line.substr(start, end - start);
        if (end + 1 == line.size() && part == "$i") {
            h.locked = true;
        } else {
            if (!h.name.empty())
                h.name += '\x1d';
            h.name += part;
        }
        if (end + 2 > line.size() || line[end + 1] != '[')
            return h;
        start = end + 2;
    }
}

// A "key[locale][$flags]=value" line (trimmed), taken apart as KConfig does.
struct Entry {
    std::string_view key;
    std::string_view flags;   // the letters of every [$...] suffix
    bool translated = false;  // has a [locale] suffix: another key than the plain one
    bool has_value = false;   // has its '='
    std::string_view value;
};
std::optional<Entry> entry(std::string_view line) {
    Entry e;
    const std::size_t eq = line.find('=');
    e.has_value = eq != std::string_view::npos;
    e.key = e.has_value ? trim(line.substr(0, eq)) : line;
    if (e.has_value)
        e.value = trim(line.substr(eq + 1));
    std::size_t start = 0;
    while ((start = e.key.rfind('[')) != std::string_view::npos) {
        const std::size_t end = e.key.find(']', start);
        if (end == std::string_view::npos)
            return std::nullopt;
        if (end > start + 1 && e.key[start + 1] == '$')
            e.flags = e.key.substr(start + 2, end - start - 2);
        else
            e.translated = true;
        e.key = e.key.substr(0, start);
    }
    if (e.key.empty())
        return std::nullopt;
    return e;
}

bool has_flag(const Entry& e, char flag) {
    return e.flags.find(flag) != std::string_view::npos;
}

// What the text holds of one key of one group.
struct Found {
    bool file_locked = false;
    bool group_locked = false;
    bool group_present = false;
    std::size_t group_end = 0;  // past the header or last entry of the group's last section
    struct Use {
        const Line* line;
        Entry entry;
        bool locked;
    };
    std::vector<Use> uses;  // the key's lines in the group, in order
};

Found find(const std::vector<Line>& lines, std::string_view group, std::string_view key) {
    Found found;
    bool in_group = false;
    bool section_locked = false;
    for (const Line& line : lines) {
        const std::string_view text = trim(line.text);
        if (text.empty() || text.front() == '#')
            continue;
        if (text.front() == '[') {
            const auto h = header(text);
            if (!h)
                continue;
            // A file lock covers every section after it.
            section_locked = found.file_locked;
            if (h->locked && h->name.empty())
                found.file_locked = true;
            else if (h->locked)
                section_locked = true;
            in_group = h->name == group;
            if (in_group) {
                found.group_present = true;
                found.group_locked = found.group_locked || section_locked;
                found.group_end = line.end;
            }
            continue;
        }
        if (!in_group)
            continue;
        const auto e = entry(text);
        if (!e)
            continue;
        if (e->has_value || has_flag(*e, 'd'))
            found.group_end = line.end;
        if (e->key == key && !e->translated && (e->has_value || has_flag(*e, 'd')))
            found.uses.push_back({&line, *e, section_locked || has_flag(*e, 'i')});
    }
    return found;
}

}  // namespace

std::optional<std::string> ini_value(std::string_view text, std::string_view group,
                                     std::string_view key) {
    const std::vector<Line> lines = lines_of(text);
    std::optional<std::string> value;
    bool locked = false;
    for (const Found::Use& use : find(lines, group, key).uses) {
        if (locked)
            break;  // an immutable value stands against later ones
        locked = use.locked;
        if (has_flag(use.entry, 'd'))
            value.reset();
        else
            value = std::string(use.entry.value);
    }
    return value;
}

std::optional<std::string> with_ini_value(std::string_view text, std::string_view group,
                                          std::string_view key, std::string_view value,
                                          std::string* error) {
    const std::vector<Line> lines = lines_of(text);
    const Found found = find(lines, group, key);
    auto refuse = [&](std::string why) -> std::optional<std::string> {
        if (error != nullptr)
            *error = std::move(why);
        return std::nullopt;
    };
    const std::string where = std::string(key) + " in [" + std::string(group) + "]";
    if (found.file_locked)
        return refuse(where + " is immutable: the file is marked [$i]");
    if (found.group_locked)
        return refuse(where + " is immutable: its group is marked [$i]");
    for (const Found::Use& use : found.uses) {
        if (use.locked)
            return refuse(where + " is immutable: it is marked [$i]");
    }
    const std::string new_line = std::string(key) + "=" + std::string(value);

    if (!found.uses.empty()) {
        // The line KDE reads now: its value is replaced, its key and flags (such as [$e]) stay.
        // A deleted key ([$d]) gets a plain line.
        const Found::Use& last = found.uses.back();
        const Line& line = *last.line;
        std::string edited = new_line;
        if (!has_flag(last.entry, 'd')) {
            std::size_t at = line.text.find('=') + 1;
            while (at < line.text.size() && (line.text[at] == ' ' || line.text[at] == '\t'))
                ++at;
            edited = std::string(line.text.substr(0, at)) + std::string(value);
        }
        if (!line.text.empty() && line.text.back() == '\r')
            edited += '\r';
        return std::string(text.substr(0, line.begin)) + edited +
               std::string(text.substr(line.begin + line.text.size()));
    }
    if (found.group_present) {
        std::string before(text.substr(0, found.group_end));
        if (!before.empty() && before.back() != '\n')
            before += '\n';
        return before + new_line + "\n" + std::string(text.substr(found.group_end));
    }
    std::string out(text);
    if (!out.empty() && out.back() != '\n')
        out += '\n';
    if (!out.empty())
        out += '\n';
    // A nested group's parts each get their brackets.
    std::string head(group);
    for (std::size_t at = 0; (at = head.find('\x1d', at)) != std::string::npos; at += 2)
        head.replace(at, 1, "][");
    return out + "[" + head + "]\n" + new_line + "\n";
}

bool set_ini_values(const std::filesystem::path& file, std::string_view group,
                    const std::vector<IniEntry>& entries, std::string* error) {
    auto fail = [&](std::string why) {
        if (error != nullptr)
            *error = std::move(why);
        return false;
    };
    std::string text;
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) {
        // Made read-only by its owner (or an administrator): not ours to replace, even where the
        // folder would let us.
        if (S_ISREG(st.st_mode) && ((st.st_mode & 0222) == 0 || ::access(file.c_str(), W_OK) != 0))
            return fail(file.string() + " is read-only; it was left as it is");
        if (!read_whole_file(file, text, error))
            return false;
    } else if (errno != ENOENT) {
        return fail("cannot inspect " + file.string() + ": " + std::strerror(errno));
    }
    std::string refused;
    const std::string before = text;
    for (const IniEntry& e : entries) {
        std::string why;
        if (auto edited = with_ini_value(text, group, e.key, e.value, &why)) {
            text = std::move(*edited);
            continue;
        }
        refused += (refused.empty() ? "" : "; ") + why;
    }
    if (text != before) {
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        if (!write_file_atomically(file, text, error))
            return false;
    }
    if (!refused.empty())
        return fail(file.string() + ": " + refused);
    return true;
}

std::string kde_group_name(const std::vector<std::string_view>& parts) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            name += '\x1d';
        for (const char c : parts[i]) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '\\') {
                name += "\\\\";
            } else if (c == '\t' || c == '\n' || c == '\r') {
                name += c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
            } else if (c == '[' || c == ']' || u < 0x20) {
                name += "\\x";
                name += kHex[u >> 4];
                name += kHex[u & 0xF];
            } else {
                name += c;
            }
        }
    }
    return name;
}

}  // namespace velqa::platform::desktop
