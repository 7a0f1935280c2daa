#include "completion.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/number_text.h"

namespace velqa::ctl {
namespace {

// One word of a form: a literal subcommand, or a placeholder (FILE, N, 0|1) for a value.
struct Arg {
    std::string text;
    bool literal = false;
    bool repeats = false;  // EVENT...: takes every further word
};

struct Option {
    std::string name;   // --link
    std::string value;  // its placeholder ("cable|receiver"); empty for a flag
};

struct Form {
    std::vector<Arg> args;
    std::vector<Option> options;
};

struct Grammar {
    std::vector<Form> forms;
    std::vector<Option> common;  // "every key command takes [--link ...]"
};

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

const Arg* arg_at(const Form& form, std::size_t index) {
    if (index < form.args.size())
        return &form.args[index];
    if (!form.args.empty() && form.args.back().repeats)
        return &form.args.back();
    return nullptr;
}

std::vector<Candidate> range(int from, int to) {
    std::vector<Candidate> values;
    for (int i = from; i <= to; ++i)
        values.push_back({std::to_string(i), {}});
    return values;
}

// The values a placeholder stands for, where they are known.
std::vector<Candidate> values_of(const std::string& placeholder, const std::string& command,
                                 const ProfileSource& profiles) {
    if (placeholder.find('|') != std::string::npos) {
        std::vector<Candidate> values;
        for (const std::string& choice : split(placeholder, '|'))
            values.push_back({choice, {}});
        return values;
    }
    if (placeholder == "FILE" || placeholder == "PATH")
        return {{kFileCandidates, {}}};
    if (placeholder == "GUN")
        return range(0, 3);
    if (placeholder == "STAGE")
        return range(0, 5);
    if (placeholder == "N" && command == "profile")
        return profiles ? profiles() : std::vector<Candidate>{};
    // A numeric range such as "0-5".
    if (const auto dash = placeholder.find('-'); dash != std::string::npos) {
        const std::string_view text(placeholder);
        const auto low = platform::parse_number(text.substr(0, dash), 0, 99);
        const auto high = platform::parse_number(text.substr(dash + 1), 0, 99);
        if (low && high)
            return range(static_cast<int>(*low), static_cast<int>(*high));
    }
    return {};
}

std::vector<Candidate> narrowed(const std::vector<Candidate>& all, const std::string& prefix) {
    std::vector<Candidate> out;
    for (const Candidate& c : all) {
        // A profile is also found by the start of its name, and completes to its number.
        const bool wanted = c.value == kFileCandidates || starts_with(c.value, prefix) ||
                            (!prefix.empty() && starts_with(c.description, prefix));
        const bool repeat = std::any_of(out.begin(), out.end(),
                                        [&](const Candidate& o) { return o.value == c.value; });
        if (wanted && !repeat)
            out.push_back(c);
    }
    return out;
}

const Option* find_option(const Grammar& grammar, const std::string& name) {
    for (const Form& form : grammar.forms) {
        for (const Option& option : form.options) {
            if (option.name == name)
                return &option;
        }
    }
    for (const Option& option : grammar.common) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

}  // namespace

std::vector<Candidate> complete(const std::vector<Command>& table,
                                const std::vector<std::string>& words,
                                const ProfileSource& profiles) {
    const std::string current = words.empty() ? std::string() : words.back();
    if (words.size() <= 1) {
        std::vector<Candidate> all{{"--help", {}}, {"--version", {}}};
        for (const Command& c : table)
            all.push_back({c.word, {}});
        std::sort(all.begin(), all.end(),
                  [](const Candidate& a, const Candidate& b) { return a.value < b.value; });
        return narrowed(all, current);
    }
    const auto command = std::find_if(table.begin(), table.end(),
                                      [&](const Command& c) { return c.word == words[0]; });
    if (command == table.end())
        return {};
    const Grammar grammar = grammar_of(*command);

    // The words before the current one: options (with their values) and positional words.
    std::vector<std::string> positional;
    const Option* pending = nullptr;
    for (std::size_t i = 1; i + 1 < words.size(); ++i) {
        if (pending != nullptr) {
            pending = nullptr;
            continue;
        }
        if (starts_with(words[i], "--")) {
            const Option* option = find_option(grammar, words[i]);
            if (option != nullptr && !option->value.empty())
                pending = option;
            continue;
        }
        positional.push_back(words[i]);
    }
    if (pending != nullptr)
        return narrowed(values_of(pending->value, command->word, profiles), current);

    std::vector<const Form*> matching;
    for (const Form& form : grammar.forms) {
        bool fits = true;
        for (std::size_t i = 0; i < positional.size() && fits; ++i) {
            const Arg* arg = arg_at(form, i);
            fits = arg != nullptr && (!arg->literal || arg->text == positional[i]);
        }
        if (fits)
            matching.push_back(&form);
    }

    std::vector<Candidate> all;
    if (starts_with(current, "-")) {
        for (const Form* form : matching) {
            for (const Option& option : form->options)
                all.push_back({option.name, {}});
        }
        for (const Option& option : grammar.common)
            all.push_back({option.name, {}});
        return narrowed(all, current);
    }
    for (const Form* form : matching) {
        const Arg* arg = arg_at(*form, positional.size());
        if (arg == nullptr)
            continue;
        if (arg->literal) {
            all.push_back({arg->text, {}});
        } else {
            for (Candidate& c : values_of(arg->text, command->word, profiles))
                all.push_back(std::move(c));
        }
    }
    return narrowed(all, current);
}

}  // namespace velqa::ctl
