#include "plan/field_table.hpp"

#include <algorithm>

#include "fileio/small_file.hpp"
#include "kit/numbers.hpp"
#include "textio/errors.hpp"
#include "textio/quote.hpp"

namespace c2m::ingest {

namespace {

// A table is a few dozen lines; a file far larger is not one.
constexpr std::size_t largest_table = 16 * 1024 * 1024;

// The built-in entries, in the order they win.  Geopotential of a level is
// taken as geopotential (m2 s-2), else as geopotential height (gpm) times
// standard gravity; pressures go from Pa to hPa; soil moisture given as a
// mass per volume of soil becomes a volume fraction.  ECMWF's soil
// parameters name their layer; NCEP's temperature and moisture of layers
// below the land surface, and the single-layer soil fields, are ranked by
// the depth of the layer.
constexpr std::string_view built_in_text =
    "# FIELD  PARAMID  LEVELTYPE            SCALE     OFFSET\n"
    "z        129      isobaricInhPa\n"
    "z        129      isobaricInPa\n"
    "z        156      isobaricInhPa        9.80665\n"
    "z        156      isobaricInPa         9.80665\n"
    "q        133      isobaricInhPa\n"
    "q        133      isobaricInPa\n"
    "r        157      isobaricInhPa\n"
    "r        157      isobaricInPa\n"
    "t        130      isobaricInhPa\n"
    "t        130      isobaricInPa\n"
    "u        131      isobaricInhPa\n"
    "u        131      isobaricInPa\n"
    "v        132      isobaricInhPa\n"
    "v        132      isobaricInPa\n"
    "lsm      172      *\n"
    "msl      151      *                    0.01\n"
    "msl      260074   *                    0.01\n"
    "msl      260317   *                    0.01\n"
    "sp       134      *                    0.01\n"
    "orog     129      surface\n"
    "orog     228002   *                    9.80665\n"
    "orog     156      surface              9.80665\n"
    "stl1     139      *\n"
    "stl2     170      *\n"
    "stl3     183      *\n"
    "stl4     236      *\n"
    "swvl1    39       *\n"
    "swvl2    40       *\n"
    "swvl3    41       *\n"
    "swvl4    42       *\n"
    "stl      130      depthBelowLandLayer\n"
    "stl      228139   *\n"
    "swvl     260185   depthBelowLandLayer\n"
    "swvl     228039   *                    0.001\n";

// What the built-in scales mean, for the report.
std::string conversion_words(long param_id, double scale) {
  if (scale == 9.80665) return param_id == 228002 ? "m x 9.80665" : "gpm x 9.80665";
  if (scale == 0.01) return "Pa to hPa";
  if (scale == 0.001) return "kg m-3 / 1000 to m3 m-3";
  return "";
}

bool parse_real(std::string_view s, double& v) {
  return read_real(s, v) == NumberRead::done && v == v && v - v == 0.0;  // finite
}

std::vector<std::string_view> words_of(std::string_view line) {
  std::vector<std::string_view> w;
  std::size_t a = 0;
  while (a < line.size()) {
    while (a < line.size() && (line[a] == ' ' || line[a] == '\t' || line[a] == '\r')) ++a;
    if (a >= line.size()) break;
    std::size_t b = a;
    while (b < line.size() && line[b] != ' ' && line[b] != '\t' && line[b] != '\r') ++b;
    w.push_back(line.substr(a, b - a));
    a = b;
  }
  return w;
}

// The PARAMID word "nc:NAME" of an entry that takes a netCDF variable by
// its name: the name, or nothing when the word is not one.  A name is
// what netCDF allows and a table can hold: no blank, no '#', no control
// character.
std::optional<std::string> variable_word(std::string_view w) {
  constexpr std::string_view prefix = "nc:";
  if (!w.starts_with(prefix)) return std::nullopt;
  w.remove_prefix(prefix.size());
  if (w.empty() || w.size() > 256) return std::nullopt;
  for (const char c : w)
    if (static_cast<unsigned char>(c) < 0x21 || c == 0x7f) return std::nullopt;
  return std::string(w);
}

// A kind of level as ecCodes names them (typeOfLevel: isobaricInhPa,
// depthBelowLandLayer, surface), or * for any.
bool level_type_word(std::string_view w) {
  if (w == "*") return true;
  if (w.empty() || w.size() > 64) return false;
  return std::all_of(w.begin(), w.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

bool same_key(const TableEntry& a, const TableEntry& b) {
  return a.param_id == b.param_id && a.variable == b.variable && a.level_type == b.level_type;
}

std::vector<TableEntry> parse(std::string_view text, const std::string& origin, bool built_in) {
  std::vector<TableEntry> out;
  long line_no = 0;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++line_no;
    if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    const auto w = words_of(line);
    if (w.empty()) {
      if (end == text.size()) break;
      continue;
    }
    const std::string where = origin + " line " + decimal(line_no);
    auto fail = [&](const std::string& why) -> void { throw IoFailure(where + ": " + why); };
    if (w.size() < 3 || w.size() > 5)
      fail("wants FIELD PARAMID LEVELTYPE [SCALE [OFFSET]], found " + decimal(w.size()) +
           " words");
    TableEntry e;
    if (w[0] == "-") {
      e.ignore = true;
    } else if (const auto f = field_by_name(w[0])) {
      e.what = f->first;
      e.layer = f->second;
    } else {
      fail("no case field " + quote(w[0]) +
           " (z r q t u v lsm msl sp orog stl1..stl4 stl swvl1..swvl4 swvl, or - to pass over)");
    }
    if (const auto variable = variable_word(w[1])) {
      e.variable = *variable;
    } else {
      if (read_integer(w[1], e.param_id) != NumberRead::done || e.param_id < 0)
        fail("the paramId " + quote(w[1]) + " is not a whole number (nor nc:NAME, a netCDF variable)");
    }
    if (!level_type_word(w[2]))
      fail("the level type " + quote(w[2]) + " is not one (a word of at most 64 letters, digits or _, or *)");
    e.level_type = std::string(w[2]);
    if (w.size() > 3 && !parse_real(w[3], e.scale))
      fail("the scale " + quote(w[3]) + " is not a number");
    if (w.size() > 4 && !parse_real(w[4], e.offset))
      fail("the offset " + quote(w[4]) + " is not a number");
    if (built_in) {
      e.conversion = conversion_words(e.param_id, e.scale);
      e.origin = "built in";
    } else {
      if (e.scale != 1.0) e.conversion = "x " + shortest_double(e.scale);
      if (e.offset != 0.0) e.conversion += (e.conversion.empty() ? "+ " : " + ") + shortest_double(e.offset);
      e.origin = where;
    }
    out.push_back(std::move(e));
    if (end == text.size()) break;
  }
  return out;
}

}  // namespace

std::string field_name(Quantity q, int layer) {
  static constexpr const char* names[] = {"z",   "r",  "q",  "t",    "u",   "v",
                                          "lsm", "msl", "sp", "orog", "stl", "swvl"};
  std::string n = names[static_cast<int>(q)];
  if ((q == Quantity::stl || q == Quantity::swvl) && layer > 0) n += decimal(layer);
  return n;
}

std::optional<std::pair<Quantity, int>> field_by_name(std::string_view name) {
  for (int q = 0; q <= static_cast<int>(Quantity::swvl); ++q) {
    const auto quantity = static_cast<Quantity>(q);
    const int last_layer = (quantity == Quantity::stl || quantity == Quantity::swvl) ? 4 : 0;
    for (int layer = 0; layer <= last_layer; ++layer)
      if (field_name(quantity, layer) == name) return std::pair{quantity, layer};
  }
  return std::nullopt;
}

FieldTable FieldTable::built_in() {
  FieldTable t;
  t.entries_ = parse(built_in_text, "the built-in table", true);
  return t;
}

void FieldTable::add_text(std::string_view text, const std::string& origin) {
  std::vector<TableEntry> added = parse(text, origin, false);
  std::vector<TableEntry> kept;
  for (TableEntry& e : entries_) {
    const bool replaced =
        std::any_of(added.begin(), added.end(), [&](const TableEntry& a) { return same_key(a, e); });
    if (!replaced) kept.push_back(std::move(e));
  }
  added.insert(added.end(), std::make_move_iterator(kept.begin()),
               std::make_move_iterator(kept.end()));
  entries_ = std::move(added);
}

void FieldTable::add_file(const std::string& path) {
  add_text(read_small_file(path, largest_table, "the field table"), path);
}

std::optional<std::size_t> FieldTable::match(const FieldInfo& f) const {
  for (std::size_t n = 0; n < entries_.size(); ++n) {
    const TableEntry& e = entries_[n];
    if (e.variable.empty() ? e.param_id != f.param_id : e.variable != f.variable) continue;
    if (e.level_type != "*" && e.level_type != f.level_type) continue;
    if (e.ignore) return std::nullopt;
    if (upper_air(e.what) && !f.pressure_hpa) continue;
    return n;
  }
  return std::nullopt;
}

std::string table_text() { return std::string(built_in_text); }

}  // namespace c2m::ingest
