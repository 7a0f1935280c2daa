// What a command's usage lines say about the words it takes: its forms (subcommand words and
// placeholders, up to the two spaces before the description) and their options. Dispatch,
// --help, the did-you-mean suggestions and the shell completion all read the table through
// this one reader, so that what the help shows is what the program accepts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "command_registry.h"

namespace velqa::ctl {

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

    // The option `name` of any form, or of every form; nullptr when the command has none.
    const Option* option(std::string_view name) const;
    // The words one of which must come first, when every form starts with a subcommand word;
    // empty when the first word is a value (raw CODE) or the command takes no words.
    std::vector<std::string> subcommands() const;
};

Grammar grammar_of(const Command& command);

// The command of `table` called `word`; nullptr when there is none.
const Command* find_command(const std::vector<Command>& table, std::string_view word);

// The arguments with each "--name=value" of an option that takes a value written as the two
// words "--name value", so that every command reads both spellings alike. Other words, and a
// flag given "=value", stay as they are (the command refuses them).
std::vector<std::string> split_option_values(const Grammar& grammar,
                                             const std::vector<std::string>& args);

// The first word of `args` that is neither an option nor an option's value; empty when none.
std::string first_positional(const Grammar& grammar, const std::vector<std::string>& args);

// The word of `known` a mistyped `word` was most likely meant to be (edit distance, with a
// swap of two neighbours counting once); empty when none is close enough to suggest.
std::string closest_word(std::string_view word, const std::vector<std::string>& known);

}  // namespace velqa::ctl
