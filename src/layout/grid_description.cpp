#include "layout/grid_description.hpp"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string_view>

#include "kit/input_file.hpp"
#include "kit/numbers.hpp"
#include "textio/errors.hpp"

namespace c2m::layout {

namespace {

// A description of even a thousand levels is some 40 kB; anything far
// larger is another kind of file, and is not read into memory whole.
constexpr std::size_t largest_description = 4u << 20;

std::string_view trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

bool ends_with(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The text of a line as a diagnostic quotes it: cut short, and with bytes
// that are not printable (a binary file given by mistake) shown as '?'.
std::string shown(std::string_view line) {
  constexpr std::size_t longest = 60;
  std::string q = "\"";
  for (std::size_t n = 0; n < line.size() && n < longest; ++n) {
    const auto c = static_cast<unsigned char>(line[n]);
    q += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
  }
  if (line.size() > longest) q += "...";
  return q + "\"";
}

// Walks the lines of the description, counting them for the diagnostics.
class Lines {
 public:
  Lines(std::istream& in, const std::string& name) : in_(in), name_(name) {}

  // The next line, without its line end (LF, or CR LF).
  std::string_view next(std::string_view expected) {
    if (!std::getline(in_, line_)) {
      throw IoFailure(name_ + ": ends after line " + decimal(number_) +
                          ", where " + std::string(expected) + " should follow");
    }
    ++number_;
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    return line_;
  }

  [[noreturn]] void malformed(std::string_view expected) const {
    throw IoFailure(name_ + ", line " + decimal(number_) + ": expected " +
                        std::string(expected) + ", found " + shown(line_));
  }

  // A line that must read TEXT, blanks around it aside.
  void expect_text(std::string_view text, std::string_view expected) {
    if (trim(next(expected)) != text) malformed(expected);
  }

  // A line that starts with an integer; the rest of the line is returned.
  std::int32_t integer(std::string_view expected, std::string_view& rest) {
    const std::string_view line = trim(next(expected));
    std::int32_t value = 0;
    const std::size_t digits = read_leading_integer(line, value);
    if (digits == 0 || (digits != line.size() && line[digits] != ' ')) malformed(expected);
    rest = trim(line.substr(digits));
    return value;
  }

  float real(std::string_view expected) {
    const std::string_view line = trim(next(expected));
    float value = 0.0f;
    if (read_real(line, value) != NumberRead::done) malformed(expected);
    return value;
  }

  // "Zonal wind                (m/s)": the name, then the unit in
  // parentheses at the end of the line.
  ListedName field_name(std::string_view expected) {
    const std::string_view line = trim(next(expected));
    const auto open = line.rfind('(');
    if (open == std::string_view::npos || open == 0 || line.back() != ')') malformed(expected);
    const std::string_view name = trim(line.substr(0, open));
    if (name.empty()) malformed(expected);
    return {std::string(name), std::string(trim(line.substr(open + 1, line.size() - open - 2)))};
  }

  // After the last field name only empty lines may follow.
  void expect_end() {
    while (std::getline(in_, line_)) {
      ++number_;
      if (!line_.empty() && line_.back() == '\r') line_.pop_back();
      if (!trim(line_).empty())
        malformed("the end of the file after the last surface field name");
    }
  }

 private:
  std::istream& in_;
  const std::string& name_;
  std::string line_;
  int number_ = 0;
};

// A level's pressure, from which the vertical coordinate is made: a
// level lies at some pressure above nothing, so only a finite number above
// 0 can be one.
void check_pressure(const Lines& lines, float pa, std::string_view expected) {
  if (!(std::isfinite(pa) && pa > 0.0f))
    lines.malformed(std::string(expected) + ", a finite number above 0");
}

// The grid integers that the coordinates are made of must place every
// point: latitudes within the poles (thousandths of a degree), increments
// other than 0 (every row or column at one place otherwise), and rows that
// the first latitude and the increment along j keep within the poles, for
// the latitude of row j is kgds(4) + (j - 1) x kgds(10).  The latitude of
// the last point, kgds(7), is only shown, and judged only on a
// latitude/longitude grid (kgds(1) = 0), where it is one.  Longitudes go
// round and any value has a place.
void check_grid_integer(const Lines& lines, const GridDescription& g, int n,
                        const std::string& label) {
  const std::int64_t v = g.kgds(n);
  const auto beyond_poles = [](std::int64_t lat) { return lat < -90000 || lat > 90000; };
  if ((n == 4 || (n == 7 && g.kgds(1) == 0)) && beyond_poles(v))
    lines.malformed("a latitude from -90000 to 90000 (thousandths of a degree) for " + label);
  if ((n == 9 || n == 10) && v == 0) lines.malformed("an increment other than 0 for " + label);
  if (n == 10) {
    const std::int64_t last = g.kgds(4) + (std::int64_t{g.jm()} - 1) * v;
    if (beyond_poles(last))
      lines.malformed("an increment along j for kgds(10) that keeps the " +
                      decimal(g.jm()) + " rows from latitude kgds(4) = " +
                      decimal(g.kgds(4)) + " within -90000 to 90000 (row " +
                      decimal(g.jm()) + " would lie at " + decimal(last) + ")");
  }
}

}  // namespace

std::string ListedName::with_unit() const {
  return unit.empty() ? name : name + " (" + unit + ")";
}

GridDescription parse_grid_description(std::istream& in, const std::string& name) {
  Lines lines(in, name);
  GridDescription g;

  std::string_view rest;
  g.lm = lines.integer("the number of levels and \"=> Number of Levels\"", rest);
  if (rest != "=> Number of Levels")
    lines.malformed("the number of levels and \"=> Number of Levels\"");
  if (g.lm < 1 || g.lm > most_levels)
    lines.malformed("a number of levels from 1 to " + decimal(most_levels));

  lines.expect_text("Pressure in Pa", "\"Pressure in Pa\"");
  // The file lists the top level first; the records go bottom first.
  std::vector<float> top_down;
  for (std::int32_t n = 0; n < g.lm; ++n) {
    const std::string expected =
        "the pressure in Pa of level " + decimal(g.lm - n) + " of " + decimal(g.lm);
    top_down.push_back(lines.real(expected));
    check_pressure(lines, top_down.back(), expected);
  }
  g.pressure_pa.assign(top_down.rbegin(), top_down.rend());

  for (int n = 1; n <= 12; ++n) {
    const std::string label = "kgds(" + decimal(n) + ")";
    const std::string expected = "an integer and \"" + label + "\"";
    g.kgds_values[static_cast<std::size_t>(n - 1)] = lines.integer(expected, rest);
    if (rest != label) lines.malformed(expected);
    if ((n == 2 || n == 3) && g.kgds(n) < 1)
      lines.malformed("a number of points (at least 1) for " + label);
    check_grid_integer(lines, g, n, label);
  }

  lines.expect_text("", "an empty line");
  lines.expect_text("Fields names and writing order", "\"Fields names and writing order\"");
  lines.expect_text("", "an empty line");
  lines.expect_text("3D", "\"3D\"");
  {
    const std::string_view expected = "\"first written record: botton of the atmosphere\"";
    if (trim(lines.next(expected)).substr(0, 20) != "first written record") lines.malformed(expected);
  }
  for (int f = 0; f < upper_count; ++f)
    g.listed[static_cast<std::size_t>(f)] =
        lines.field_name("an upper-air field name with its unit in parentheses");
  lines.expect_text("", "an empty line");
  lines.expect_text("2D", "\"2D\"");
  for (int f = upper_count; f < field_count; ++f)
    g.listed[static_cast<std::size_t>(f)] =
        lines.field_name("a surface field name with its unit in parentheses");
  lines.expect_end();
  return g;
}

std::string grid_description_path(const std::string& data_path) { return data_path + ".gdsinfo"; }

namespace {

// The diagnostic of a grid description that cannot be opened: the
// system's reason and, for the usual slips, what was probably meant.
std::string cannot_open(const std::string& data_path, const std::string& path, int err) {
  std::string message = path + ": cannot open the grid description: " + std::strerror(err);
  std::error_code ec;
  if (ends_with(data_path, ".gdsinfo")) {
    message += " (give the model data file, not its grid description: " +
               data_path.substr(0, data_path.size() - 8) + ")";
  } else if (std::filesystem::exists(data_path + ".KVOwrk.gdsinfo", ec)) {
    message += " (" + data_path + " looks like the converter's input; its model data file is " +
               data_path + ".KVOwrk)";
  }
  return message;
}

// The bytes of the open description PATH, at most largest_description.
std::string read_all(const FileDescriptor& fd, const std::string& path) {
  std::string text;
  char buf[65536];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buf, sizeof buf);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw ReadFailure(system_reason(path, errno) + " (reading the grid description)");
    if (got == 0) return text;
    text.append(buf, static_cast<std::size_t>(got));
    if (text.size() > largest_description)
      throw IoFailure(path + ": larger than " + decimal(largest_description) +
                      " bytes: not a grid description");
  }
}

}  // namespace

GridDescription read_grid_description(const std::string& data_path) {
  const std::string path = grid_description_path(data_path);
  // Opened without waiting (a FIFO at the name must not hang the reader)
  // and taken only when it is a regular file.
  const InputFile file = open_input(path);
  if (file.refusal == InputFile::Refusal::open) throw CannotOpen(cannot_open(data_path, path, file.error));
  if (!file.taken()) throw CannotOpen(path + ": cannot read the grid description: not a regular file");
  std::istringstream in(read_all(file.fd, path));
  return parse_grid_description(in, path);
}

}  // namespace c2m::layout
