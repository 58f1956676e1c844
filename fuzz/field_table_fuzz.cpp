// Fuzz target: the text of a field table (--table FILE), read after the
// table built in.  Pass: the text is taken, or refused with an IoFailure
// whose one-line message names the table and the line; what is taken is
// usable (a kind of level that is a word or *, a finite scale and
// offset, the line it came from) and matching a field against it works.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.hpp"
#include "plan/field_table.hpp"
#include "textio/errors.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  c2m::ingest::FieldTable table = c2m::ingest::FieldTable::built_in();
  const std::size_t built_in = table.entries().size();
  try {
    table.add_text(text, "fuzz.table");
  } catch (const c2m::IoFailure& e) {
    const std::string what = e.what();
    FUZZ_CHECK(what.rfind("fuzz.table line ", 0) == 0);
    FUZZ_CHECK(what.find('\n') == std::string::npos && what.find('\0') == std::string::npos);
    FUZZ_CHECK(what.size() < 400);
    return 0;
  }
  FUZZ_CHECK(table.entries().size() >= built_in);
  for (const c2m::ingest::TableEntry& e : table.entries()) {
    FUZZ_CHECK(std::isfinite(e.scale) && std::isfinite(e.offset));
    FUZZ_CHECK(!e.level_type.empty() && e.level_type.size() <= 64);
    FUZZ_CHECK(e.layer >= 0 && e.layer <= 4);
    FUZZ_CHECK(e.origin == "built in" || e.origin.rfind("fuzz.table line ", 0) == 0);
  }
  // Every entry's own kind of field is found again by matching.
  for (const c2m::ingest::TableEntry& e : table.entries()) {
    c2m::ingest::FieldInfo f;
    f.param_id = e.param_id;
    f.variable = e.variable;
    f.level_type = e.level_type == "*" ? "surface" : e.level_type;
    f.pressure_hpa = 500.0f;
    if (const auto n = table.match(f)) FUZZ_CHECK(*n < table.entries().size());
  }
  return 0;
}
