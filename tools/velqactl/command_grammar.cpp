#include "command_grammar.h"

#include <algorithm>
#include <cctype>

namespace velqa::ctl {
namespace {

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool is_literal(const std::string& word) {
    if (word.empty() || !std::islower(static_cast<unsigned char>(word[0])))
        return false;
    return std::all_of(word.begin(), word.end(), [](char c) {
        return std::islower(static_cast<unsigned char>(c)) ||
               std::isdigit(static_cast<unsigned char>(c)) || c == '-';
    });
}

std::vector<std::string> words_of(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ') {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

// Words with bracketed groups kept whole: "raw CODE [LENGTH [OFFSET]]" -> raw, CODE,
// "[LENGTH [OFFSET]]".
std::vector<std::string> groups_of(std::string_view text) {
    std::vector<std::string> groups;
    int depth = 0;
    for (const std::string& word : words_of(text)) {
        if (depth > 0)
            groups.back() += " " + word;
        else
            groups.push_back(word);
        for (char c : word)
            depth += c == '[' ? 1 : c == ']' ? -1 : 0;
        depth = std::max(depth, 0);
    }
    return groups;
}

std::string strip_brackets(std::string text) {
    text.erase(
        std::remove_if(text.begin(), text.end(), [](char c) { return c == '[' || c == ']'; }),
        text.end());
    return text;
}

// "[--link cable|receiver]" (possibly followed by "...") as an option; false for anything else.
bool parse_option(const std::string& group, Option& option) {
    if (!starts_with(group, "[--"))
        return false;
    const auto words = words_of(strip_brackets(group));
    option.name = words[0];
    option.value = words.size() > 1 ? words[1] : "";
    if (option.value.size() > 3 && option.value.ends_with("..."))
        option.value.resize(option.value.size() - 3);
    return true;
}

void add_args(const std::string& group, Form& form) {
    Option option;
    if (parse_option(group, option)) {
        form.options.push_back(option);
        return;
    }
    for (std::string word : words_of(strip_brackets(group))) {
        Arg arg;
        if (word.size() > 3 && word.ends_with("...")) {
            word.resize(word.size() - 3);
            arg.repeats = true;
        }
        arg.literal = is_literal(word);
        arg.text = word;
        form.args.push_back(arg);
    }
}

}  // namespace

// A usage line of the command ("  profile copy N | delete N") holds its forms up to the two
// spaces before the description; an indented note adds the options it names to every form.
Grammar grammar_of(const Command& command) {
    Grammar grammar;
    std::string_view usage = command.usage;
    while (!usage.empty()) {
        const auto end = usage.find('\n');
        std::string_view line = usage.substr(0, end);
        usage = end == std::string_view::npos ? std::string_view() : usage.substr(end + 1);
        const auto indent = line.find_first_not_of(' ');
        if (indent == std::string_view::npos)
            continue;
        line.remove_prefix(indent);
        const bool form_line =
            indent == 2 && starts_with(line, command.word) &&
            (line.size() == command.word.size() || line[command.word.size()] == ' ');
        if (!form_line) {
            for (const std::string& group : groups_of(line)) {
                Option option;
                if (parse_option(group, option))
                    grammar.common.push_back(option);
            }
            continue;
        }
        line.remove_prefix(command.word.size());
        line = line.substr(0, line.find("  ", 1));
        std::size_t from = 0;
        while (from != std::string_view::npos) {
            const auto bar = line.find(" | ", from);
            Form form;
            for (const std::string& group : groups_of(line.substr(from, bar - from)))
                add_args(group, form);
            grammar.forms.push_back(std::move(form));
            from = bar == std::string_view::npos ? bar : bar + 3;
        }
    }
    return grammar;
}

const Option* Grammar::option(std::string_view name) const {
    for (const Form& form : forms) {
        for (const Option& o : form.options) {
            if (o.name == name)
                return &o;
        }
    }
    for (const Option& o : common) {
        if (o.name == name)
            return &o;
    }
    return nullptr;
}

std::vector<std::string> Grammar::subcommands() const {
    std::vector<std::string> words;
    for (const Form& form : forms) {
        if (form.args.empty() || !form.args[0].literal)
            return {};
        if (std::find(words.begin(), words.end(), form.args[0].text) == words.end())
            words.push_back(form.args[0].text);
    }
    return words;
}

const Command* find_command(const std::vector<Command>& table, std::string_view word) {
    for (const Command& c : table) {
        if (c.word == word)
            return &c;
    }
    return nullptr;
}

std::vector<std::string> split_option_values(const Grammar& grammar,
                                             const std::vector<std::string>& args) {
    std::vector<std::string> out;
    for (const std::string& word : args) {
        const auto equals = word.find('=');
        const Option* option = starts_with(word, "--") && equals != std::string::npos
                                   ? grammar.option(std::string_view(word).substr(0, equals))
                                   : nullptr;
        if (option == nullptr || option->value.empty()) {
            out.push_back(word);
            continue;
        }
        out.push_back(option->name);
        out.push_back(word.substr(equals + 1));
    }
    return out;
}

std::string first_positional(const Grammar& grammar, const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!starts_with(args[i], "--"))
            return args[i];
        const Option* option = grammar.option(args[i]);
        if (option != nullptr && !option->value.empty())
            ++i;
    }
    return {};
}

namespace {

// Optimal string alignment distance: insertions, deletions, substitutions and swaps of two
// neighbours each count one.
std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

std::string closest_word(std::string_view word, const std::vector<std::string>& known) {
    // Close enough: two edits at most, and fewer than half the typed word, so that a short
    // word is not "corrected" into an unrelated one.
    const std::size_t limit = std::min<std::size_t>(2, (word.size() + 1) / 2);
    std::string best;
    std::size_t best_distance = limit + 1;
    for (const std::string& candidate : known) {
        const std::size_t d = edit_distance(word, candidate);
        if (d < best_distance) {
            best = candidate;
            best_distance = d;
        }
    }
    return best;
}

}  // namespace velqa::ctl
