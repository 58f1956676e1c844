// Fuzz target: the free-format reader on arbitrary bytes.
//
// The bytes are read twice: once as a run description (the label, the
// three sizes, the seven grid integers, up to 16 pressures) followed by a
// date word, and once as a date file.  A read either gives what it
// promises or throws a RunFailure whose message names the file; nothing
// else may leave the reader.  The whole input is also taken as one value
// token: an integer must read as the same real, and its text as the same
// integer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.hpp"
#include "textio/errors.hpp"
#include "textio/free_format.hpp"

namespace {

constexpr std::int32_t max_pressures = 16;

bool names_file(const c2m::RunFailure& e, std::string_view name) {
  return std::string_view(e.what()).starts_with(std::string(name) + ": ");
}

// The reads of a run description, then those of a date file, on one reader.
void read_run_description(std::FILE* in) {
  const std::string name = "InputModelInf.txt";
  c2m::FreeFormatReader reader(in, name);
  try {
    FUZZ_CHECK(reader.read_text_line(20, "the run label").size() == 20);
    const auto sizes = reader.read_integers(3, "the grid sizes");
    FUZZ_CHECK(sizes.size() == 3);
    for (int n = 0; n < 7; ++n) reader.read_integer("a grid integer");
    const std::int32_t levels = std::clamp(sizes[2], 0, max_pressures);
    for (std::int32_t k = 0; k < levels; ++k) reader.read_real("a pressure");
  } catch (const c2m::RunFailure& e) {
    FUZZ_CHECK(names_file(e, name));
  }
  const long line = reader.line_number();
  try {
    FUZZ_CHECK(reader.read_word(8, "the date word").size() == 8);
    FUZZ_CHECK(reader.line_number() > line);
  } catch (const c2m::RunFailure& e) {
    FUZZ_CHECK(names_file(e, name));
  }
}

void read_date_file(std::FILE* in) {
  const std::string name = "adate.txt";
  c2m::FreeFormatReader reader(in, name);
  try {
    FUZZ_CHECK(reader.read_word(8, "the date word").size() == 8);
  } catch (const c2m::RunFailure& e) {
    FUZZ_CHECK(names_file(e, name));
  }
}

void check_token(std::string_view token) {
  const auto integer = c2m::parse_integer(token);
  if (!integer) return;
  const auto real = c2m::parse_real(token);
  FUZZ_CHECK(real.has_value());
  FUZZ_CHECK(*real == static_cast<float>(*integer));
  FUZZ_CHECK(c2m::parse_integer(std::to_string(*integer)) == integer);
}

template <typename Read>
void over_bytes(std::vector<char>& bytes, std::size_t size, Read read) {
  std::FILE* in = fmemopen(bytes.data(), size, "r");
  FUZZ_CHECK(in != nullptr);
  read(in);
  std::fclose(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy with room for one more byte: fmemopen wants a buffer even when
  // the input is empty.
  std::vector<char> bytes(data, data + size);
  bytes.push_back('\0');
  over_bytes(bytes, size, read_run_description);
  over_bytes(bytes, size, read_date_file);
  if (size <= 64) check_token(std::string_view(bytes.data(), size));
  return 0;
}
