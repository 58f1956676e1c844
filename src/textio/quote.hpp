// Quoting what a user's file holds inside a diagnostic: the text a reader
// needs to find it, never more.  A token of a hundred megabytes is cut,
// and a byte that a terminal would act on or hide (NUL, CR, ESC, ...) is
// written as an escape, so that the message stays one readable line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace c2m {

// At most this many characters of a token are quoted; "..." marks the cut.
inline constexpr std::size_t quoted_length = 60;

// TEXT between single quotes, cut after quoted_length characters, with
// control bytes written as \0, \t, \n, \r or \xNN.
std::string quote(std::string_view text);

// TEXT cut and escaped as quote() does, without the quotes.
std::string printable(std::string_view text);

// A line that still holds a CR after its line end was taken off: the file
// ends its lines with CR alone, so everything reads as one line.
bool has_bare_cr(std::string_view line);

// The hint that goes with a diagnostic about such a file.
inline constexpr const char* cr_only_hint =
    " (the file's lines end in CR alone, as some old editors write them: "
    "convert the line ends to LF, for example with tr '\\r' '\\n')";

}  // namespace c2m
