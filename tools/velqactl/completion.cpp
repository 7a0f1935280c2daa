#include "completion.h"

#include <algorithm>
#include <string_view>

#include "command_grammar.h"
#include "platform/number_text.h"

namespace velqa::ctl {
namespace {

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
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

// The values a placeholder stands for, where they are known: the command's own first, then
// what the placeholder itself says (choices, a range, a file).
std::vector<Candidate> values_of(const Command& command, const std::vector<std::string>& before,
                                 const std::string& placeholder, const std::string& typed) {
    if (command.values) {
        if (auto values = command.values(before, placeholder, typed); !values.empty())
            return values;
    }
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
        // A profile or macro is also found by the start of its name, and completes to its
        // number.
        const bool wanted = c.value == kFileCandidates || starts_with(c.value, prefix) ||
                            (!prefix.empty() && starts_with(c.description, prefix));
        const bool repeat = std::any_of(out.begin(), out.end(),
                                        [&](const Candidate& o) { return o.value == c.value; });
        if (wanted && !repeat)
            out.push_back(c);
    }
    return out;
}

}  // namespace

std::vector<Candidate> complete(const std::vector<Command>& table,
                                const std::vector<std::string>& words) {
    const std::string current = words.empty() ? std::string() : words.back();
    if (words.size() <= 1) {
        std::vector<Candidate> all{{"--help", {}}, {"--version", {}}};
        for (const Command& c : table)
            all.push_back({c.word, {}});
        std::sort(all.begin(), all.end(),
                  [](const Candidate& a, const Candidate& b) { return a.value < b.value; });
        return narrowed(all, current);
    }
    if (words[0] == "help") {
        if (words.size() != 2)
            return {};
        std::vector<Candidate> all;
        for (const Command& c : table)
            all.push_back({c.word, {}});
        return narrowed(all, current);
    }
    const Command* command = find_command(table, words[0]);
    if (command == nullptr)
        return {};
    const Grammar grammar = grammar_of(*command);

    // The words before the current one: options (with their values) and positional words.
    std::vector<std::string> positional;
    const Option* pending = nullptr;
    for (const std::string& word :
         split_option_values(grammar, {words.begin() + 1, words.end() - 1})) {
        if (pending != nullptr) {
            pending = nullptr;
            continue;
        }
        if (starts_with(word, "--")) {
            const Option* option = grammar.option(word);
            if (option != nullptr && !option->value.empty())
                pending = option;
            continue;
        }
        positional.push_back(word);
    }
    if (pending != nullptr)
        return narrowed(values_of(*command, positional, pending->value, current), current);
    // "--link=re": the option's values, written as the whole word.
    if (const auto equals = current.find('=');
        starts_with(current, "--") && equals != std::string::npos) {
        const std::string name = current.substr(0, equals);
        const Option* option = grammar.option(name);
        if (option == nullptr || option->value.empty())
            return {};
        std::vector<Candidate> all;
        for (const Candidate& c : values_of(*command, positional, option->value, {})) {
            if (c.value != kFileCandidates)
                all.push_back({name + "=" + c.value, c.description});
        }
        return narrowed(all, current);
    }

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
        all.push_back({"--help", {}});
        return narrowed(all, current);
    }
    for (const Form* form : matching) {
        const Arg* arg = arg_at(*form, positional.size());
        if (arg == nullptr)
            continue;
        if (arg->literal) {
            all.push_back({arg->text, {}});
        } else {
            for (Candidate& c : values_of(*command, positional, arg->text, current))
                all.push_back(std::move(c));
        }
    }
    return narrowed(all, current);
}

}  // namespace velqa::ctl
