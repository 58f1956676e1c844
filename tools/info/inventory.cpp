#include "inventory.hpp"

#include <algorithm>

#include "grid_text.hpp"
#include "kit/numbers.hpp"
#include "numbers.hpp"
#include "textio/errors.hpp"

namespace c2m::info {

namespace {

using md::left;
using md::right;

// Column widths of the text lines, from the sizes of this file.
struct Columns {
  std::size_t record, offset, name = 5, level = 5, number = 14, missing, count;

  explicit Columns(const md::ModelFile& f) {
    const auto& g = f.grid();
    record = std::max<std::size_t>(3, decimal(g.record_count()).size());
    offset = std::max<std::size_t>(6, decimal(f.size()).size());
    for (std::int64_t k = 1; k <= g.lm; ++k)
      level = std::max(level, shortest_float(g.level_hpa(k)).size());
    count = std::max<std::size_t>(3, decimal(g.points()).size());
    missing = std::max<std::size_t>(7, count);
  }
};

// A CSV field, quoted when it holds a comma, a quote or a line end.
std::string csv(const std::string& v) {
  if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
  std::string q = "\"";
  for (const char c : v) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

}  // namespace

std::string header_line(const md::ModelFile& file, Format format) {
  if (format == Format::csv)
    return "record,offset,name,level_hpa,min,max,mean,stddev,valid,missing,nan,inf,long_name,"
           "units";
  const Columns c(file);
  return right("rec", c.record) + "  " + right("offset", c.offset) + "  " + left("name", c.name) +
         "  " + right("level", c.level) + right("min", c.number) + right("max", c.number) +
         right("mean", c.number) + right("stddev", c.number) + "  " + right("missing", c.missing) +
         "  " + right("nan", c.count) + "  " + right("inf", c.count) + "  description";
}

std::string record_line(const md::ModelFile& file, std::int64_t n, const md::RecordStats& s,
                        Format format) {
  const auto& g = file.grid();
  const md::RecordLabel label = md::label_record(g, n, file.path());
  const layout::FieldInfo& f = label.info();
  const bool any = s.valid > 0;
  const std::string offset = decimal(g.record_offset(n));
  if (format == Format::csv) {
    const auto stat = [&](double v) { return any ? significant_digits(v, 9) : std::string(); };
    return decimal(n) + "," + offset + "," + std::string(f.short_name) + "," +
           (label.surface ? std::string() : shortest_float(label.level_hpa)) + "," +
           (any ? shortest_float(s.min) : "") + "," + (any ? shortest_float(s.max) : "") + "," +
           stat(s.mean) + "," + stat(s.stddev) + "," + decimal(s.valid) + "," +
           decimal(s.missing) + "," + decimal(s.nan) + "," +
           decimal(s.infinite) + "," + csv(std::string(f.long_name)) + "," +
           csv(std::string(f.unit));
  }
  const Columns c(file);
  const auto stat = [&](double v) { return right(any ? significant_digits(v, 7) : "-", c.number); };
  std::string line = right(decimal(n), c.record) + "  " + right(offset, c.offset) + "  " +
                     left(std::string(f.short_name), c.name) + "  " +
                     right(md::level_text(label), c.level) + stat(s.min) + stat(s.max) +
                     stat(s.mean) + stat(s.stddev) + "  " +
                     right(decimal(s.missing), c.missing) + "  " +
                     right(decimal(s.nan), c.count) + "  " +
                     right(decimal(s.infinite), c.count) + "  " + md::description(f);
  if (!any) line += " (no valid point)";
  return line;
}

void write_inventory(std::FILE* out, std::FILE* notes, md::ModelFile& file,
                     std::span<const std::int64_t> records, Format format) {
  const auto put = [](std::FILE* f, const std::string& line) {
    std::fputs(line.c_str(), f);
    std::fputc('\n', f);
  };
  const auto& g = file.grid();
  if (format == Format::text) {
    put(out, md::grid_summary(g));
    for (const auto& note : md::grid_notes(g)) put(out, "note: " + note);
  } else {
    for (const auto& note : md::grid_notes(g)) put(notes, "note: " + note);
  }
  put(out, header_line(file, format));
  const std::int64_t whole = file.whole_records();
  for (const std::int64_t n : records) {
    if (n > whole) continue;
    md::RecordStats s;
    file.scan(n, [&](std::span<const float> part) { s.add(part); });
    put(out, record_line(file, n, s, format));
  }
  if (!file.complete()) {
    std::fflush(out);
    throw SizeFailure(md::size_mismatch_message(file.path(), file.size(), g) +
                      (whole > 0 ? " (the records asked for that lie whole in it are listed)"
                                 : ""));
  }
}

}  // namespace c2m::info
