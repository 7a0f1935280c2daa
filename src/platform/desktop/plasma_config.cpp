#include "platform/desktop/plasma_config.h"

#include <system_error>
#include <vector>

#include "platform/atomic_file.h"

namespace velqa::platform::desktop {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

struct Line {
    std::string_view text;
    std::size_t begin;  // offset in the whole text
    std::size_t end;    // offset past the line's '\n' (or the text's end)
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

// "[Group]" (a nested "[A][B]" header is its own group).
std::optional<std::string_view> header(std::string_view line) {
    line = trim(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']')
        return std::nullopt;
    return line.substr(1, line.size() - 2);
}

// The key of a "key=value" line without its "[...]" suffix, and where its value starts.
std::optional<std::pair<std::string_view, std::size_t>> entry(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    std::string_view key = trim(line.substr(0, eq));
    if (const std::size_t bracket = key.find('['); bracket != std::string_view::npos)
        key = trim(key.substr(0, bracket));
    if (key.empty() || key.front() == '#')
        return std::nullopt;
    return std::make_pair(key, eq + 1);
}

}  // namespace

std::optional<std::string> ini_value(std::string_view text, std::string_view group,
                                     std::string_view key) {
    bool in_group = false;
    for (const Line& line : lines_of(text)) {
        if (const auto h = header(line.text)) {
            in_group = *h == group;
            continue;
        }
        if (!in_group)
            continue;
        if (const auto e = entry(line.text); e && e->first == key)
            return std::string(trim(line.text.substr(e->second)));
    }
    return std::nullopt;
}

std::string with_ini_value(std::string_view text, std::string_view group, std::string_view key,
                           std::string_view value) {
    const std::string new_line = std::string(key) + "=" + std::string(value) + "\n";
    bool in_group = false;
    std::optional<std::size_t> group_end;  // past the group's last non-empty line
    for (const Line& line : lines_of(text)) {
        if (const auto h = header(line.text)) {
            if (in_group)
                break;
            in_group = *h == group;
            if (in_group)
                group_end = line.end;
            continue;
        }
        if (!in_group)
            continue;
        if (const auto e = entry(line.text); e && e->first == key) {
            return std::string(text.substr(0, line.begin)) + new_line +
                   std::string(text.substr(line.end));
        }
        if (!trim(line.text).empty())
            group_end = line.end;
    }
    std::string out(text);
    if (group_end) {
        std::string before(text.substr(0, *group_end));
        if (!before.empty() && before.back() != '\n')
            before += '\n';
        return before + new_line + std::string(text.substr(*group_end));
    }
    if (!out.empty() && out.back() != '\n')
        out += '\n';
    if (!out.empty())
        out += '\n';
    return out + "[" + std::string(group) + "]\n" + new_line;
}

bool set_ini_values(const std::filesystem::path& file, std::string_view group,
                    const std::vector<IniEntry>& entries, std::string* error) {
    std::string text;
    std::error_code ec;
    if (std::filesystem::exists(file, ec) && !read_whole_file(file, text, error))
        return false;
    for (const IniEntry& e : entries)
        text = with_ini_value(text, group, e.key, e.value);
    std::filesystem::create_directories(file.parent_path(), ec);
    return write_file_atomically(file, text, error);
}

std::string kde_group_name(const std::vector<std::string_view>& parts) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            name += "][";
        for (const char c : parts[i]) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '\\') {
                name += "\\\\";
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

namespace {

// "[$i]" among the flags that follow a header's name or a key.
bool immutable_flags(std::string_view flags) {
    std::size_t at = 0;
    while ((at = flags.find("[$", at)) != std::string_view::npos) {
        const std::size_t end = flags.find(']', at);
        if (end == std::string_view::npos)
            return false;
        if (flags.substr(at + 2, end - at - 2).find('i') != std::string_view::npos)
            return true;
        at = end + 1;
    }
    return false;
}

}  // namespace

bool ini_immutable(std::string_view text, std::string_view group, std::string_view key) {
    bool before_groups = true;
    bool in_group = false;
    for (const Line& line : lines_of(text)) {
        const std::string_view t = trim(line.text);
        if (t.empty() || t.front() == '#')
            continue;
        if (t.front() == '[') {
            // "[$i]" alone before the first group locks the whole file.
            if (before_groups && t == "[$i]")
                return true;
            before_groups = false;
            // The header's name ends before a trailing run of "[$...]" flags.
            std::string_view name = t;
            std::string_view flags;
            if (const std::size_t f = t.find("[$"); f != std::string_view::npos) {
                name = t.substr(0, f);
                flags = t.substr(f);
            }
            in_group =
                name.size() >= 2 && name.back() == ']' && name.substr(1, name.size() - 2) == group;
            if (in_group && immutable_flags(flags))
                return true;
            continue;
        }
        before_groups = false;
        if (!in_group || key.empty())
            continue;
        const std::size_t eq = t.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string_view name = trim(t.substr(0, eq));
        std::string_view flags;
        if (const std::size_t bracket = name.find('['); bracket != std::string_view::npos) {
            flags = name.substr(bracket);
            name = trim(name.substr(0, bracket));
        }
        if (name == key && immutable_flags(flags))
            return true;
    }
    return false;
}

}  // namespace velqa::platform::desktop
