// Fixed-length text fields: every text of the system (paths, the run label,
// the date, the output names) lives in a blank-padded field of set length.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace c2m {

// Lengths of the fields.
inline constexpr std::size_t path_length = 255;
inline constexpr std::size_t label_length = 20;
inline constexpr std::size_t date_length = 8;

// TEXT placed in a field of LENGTH characters: padded with blanks on the
// right, or cut after LENGTH characters.
std::string fixed_field(std::string_view text, std::size_t length);

// The characters of FIELD before its first blank.  Empty when the field
// begins with a blank, and also when it holds no blank at all (a field
// filled to its last character carries no name).
std::string_view text_before_blank(std::string_view field);

}  // namespace c2m
