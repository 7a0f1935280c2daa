// Characters that act on a terminal or reorder text rather than show as text: refused where a
// name is made, escaped where a stored name is printed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velqa::platform {

// The length of the well-formed UTF-8 sequence at `text[at]` (1 to 4), or 0 when the byte there
// begins none (a stray continuation byte, an overlong form, a surrogate, a cut sequence).
std::size_t utf8_sequence_length(std::string_view text, std::size_t at);

// True for C0 controls (U+0000-U+001F), DEL, C1 controls (U+0080-U+009F) and the bidirectional
// embeddings, overrides and isolates (U+202A-U+202E, U+2066-U+2069).
bool is_control_code_point(char32_t c);

// True when `text` holds a code point that is_control_code_point refuses. A byte that begins no
// well-formed UTF-8 sequence counts as the code point of its value, as a terminal reading 8-bit
// controls takes it: a lone 0x9B is CSI.
bool has_control_characters(std::string_view text);

// `text` with every refused code point written as \uXXXX (inside a JSON string that reads back
// as the same text), and every byte that begins no well-formed UTF-8 sequence as \u00XX, so the
// output is well-formed UTF-8. Line ends are kept when `keep_line_breaks` (multi-line output
// such as a JSON document). Everything else is kept as it is.
std::string escape_for_terminal(std::string_view text, bool keep_line_breaks = false);

}  // namespace velqa::platform
