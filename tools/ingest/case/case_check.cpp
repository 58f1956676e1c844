#include "case/case_check.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "case/case_dir.hpp"
#include "case/plan_words.hpp"
#include "driver/input_driver.hpp"
#include "kit/file_descriptor.hpp"
#include "kit/numbers.hpp"
#include "layout/byte_order.hpp"
#include "layout/records.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

using layout::InputUpper;

constexpr const char* block_names[] = {"z", "r", "q", "t", "u", "v"};

// The input grid file of a case, read back record by record.
class CaseFile {
 public:
  CaseFile(const std::string& path, const Plan& plan)
      : path_(path), fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)), cols_(plan.cut.cols), rows_(plan.cut.rows) {
    if (!fd_.is_open()) throw CannotOpen(system_reason(path, errno) + " (reading the case back to check it)");
  }

  // COUNT values of record R from value AT on (rows north to south).
  void read(std::int64_t r, std::int64_t at, std::span<float> into) const {
    const auto bytes = static_cast<std::size_t>(into.size_bytes());
    const std::int64_t offset = ((r - 1) * rows_ * cols_ + at) * 4;
    std::size_t got = 0;
    while (got < bytes) {
      const ssize_t n = ::pread(fd_.get(), reinterpret_cast<char*>(into.data()) + got, bytes - got,
                                static_cast<off_t>(offset) + static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw ReadFailure(path_ + ": cannot read record " + decimal(r) + " back to check it");
      got += static_cast<std::size_t>(n);
    }
    little_endian_to_host(into);
  }

  // Point (1, 1) of record R: the first of its southernmost row.
  float corner(std::int64_t r) const {
    float v = 0;
    read(r, (rows_ - 1) * cols_, std::span<float>(&v, 1));
    return v;
  }

 private:
  std::string path_;
  FileDescriptor fd_;
  std::int64_t cols_, rows_;
};

// "z at 1000 hPa" for upper-air record R.
std::string record_words(const Plan& plan, std::int64_t r) {
  const std::int64_t lm = plan.lm();
  const auto block = static_cast<std::size_t>((r - 1) / lm);
  return std::string(block_names[block]) + " at " + hpa_words(plan.pressures[static_cast<std::size_t>((r - 1) % lm)]);
}

// The records the converter needs defined at every point: every upper-air
// level written (a level written missing is the converter's to patch), the
// mean sea-level and surface pressures and the surface geopotential.  The
// land-sea mask and the soil may be undefined (over sea, say): the
// converter takes such points as sea and fills the soil.
std::vector<std::int64_t> required_records(const Plan& plan, const CaseFile& f) {
  std::vector<std::int64_t> r;
  const std::int64_t lm = plan.lm();
  for (std::int64_t n = 1; n <= layout::input_upper_count * lm; ++n)
    if (f.corner(n) != missing_value) r.push_back(n);
  for (const int p : {layout::sfc::msl, layout::sfc::sp, layout::sfc::orog}) r.push_back(layout::input_surface_record(p, lm));
  return r;
}

// The largest area over which every required record is defined.
std::optional<Area> defined_area(const Plan& plan, const CaseFile& f) {
  const std::int64_t rows = plan.cut.rows, cols = plan.cut.cols;
  std::vector<unsigned char> defined(static_cast<std::size_t>(rows * cols), 1);
  std::vector<float> row(static_cast<std::size_t>(cols));
  for (const std::int64_t r : required_records(plan, f))
    for (std::int64_t j = 0; j < rows; ++j) {
      f.read(r, j * cols, row);
      for (std::int64_t i = 0; i < cols; ++i)
        if (row[static_cast<std::size_t>(i)] == undefined_value) defined[static_cast<std::size_t>(j * cols + i)] = 0;
    }
  const bool global = plan.grid.global && cols == plan.grid.ni;
  const auto rect = largest_defined(defined, rows, cols, global);
  if (!rect) return std::nullopt;
  const LatLon& g = plan.grid;
  auto lat = [&](std::int64_t r) { return std::round((g.north - static_cast<double>(plan.cut.row0 + r) * g.dlat) * 1e6) / 1e6; };
  const std::int64_t width = (rect->c1 - rect->c0 + cols) % cols;
  double west = std::fmod(g.west + static_cast<double>(plan.cut.col0 + rect->c0) * g.dlon, 360.0);
  if (west >= 180.0) west -= 360.0;
  west = std::round(west * 1e6) / 1e6;
  const double east = std::round((west + static_cast<double>(width) * g.dlon) * 1e6) / 1e6;
  return Area{lat(rect->r1), west, lat(rect->r0), east};
}

std::string area_words(const Area& a) {
  return shortest_double(a.south) + "," + shortest_double(a.west) + "," + shortest_double(a.north) + "," +
         shortest_double(a.east);
}

// Largest rectangle under the histogram HEIGHTS (the run of defined points
// above each column ending at row R), by a stack of rising bars.
void best_in_row(const std::vector<std::int64_t>& heights, std::int64_t r, std::int64_t& best, GridRect& out) {
  std::vector<std::int64_t> stack;
  const auto cols = static_cast<std::int64_t>(heights.size());
  for (std::int64_t c = 0; c <= cols; ++c) {
    const std::int64_t h = c < cols ? heights[static_cast<std::size_t>(c)] : 0;
    while (!stack.empty() && heights[static_cast<std::size_t>(stack.back())] >= h) {
      const std::int64_t top = heights[static_cast<std::size_t>(stack.back())];
      stack.pop_back();
      const std::int64_t left = stack.empty() ? 0 : stack.back() + 1;
      if (top * (c - left) > best) {
        best = top * (c - left);
        out = {r - top + 1, r, left, c - 1};
      }
    }
    stack.push_back(c);
  }
}

}  // namespace

std::optional<GridRect> largest_defined(const std::vector<unsigned char>& defined, std::int64_t rows,
                                        std::int64_t cols, bool global) {
  // Round the earth the columns are turned so that they begin after a
  // column with no defined point, if there is one: no rectangle crosses it.
  std::int64_t shift = 0;
  if (global)
    for (std::int64_t c = 0; c < cols; ++c) {
      bool none = true;
      for (std::int64_t r = 0; r < rows && none; ++r) none = defined[static_cast<std::size_t>(r * cols + c)] == 0;
      if (none) {
        shift = (c + 1) % cols;
        break;
      }
    }
  std::vector<std::int64_t> heights(static_cast<std::size_t>(cols), 0);
  std::int64_t best = 0;
  GridRect rect;
  for (std::int64_t r = 0; r < rows; ++r) {
    for (std::int64_t c = 0; c < cols; ++c) {
      auto& h = heights[static_cast<std::size_t>(c)];
      h = defined[static_cast<std::size_t>(r * cols + (c + shift) % cols)] != 0 ? h + 1 : 0;
    }
    best_in_row(heights, r, best, rect);
  }
  if (best == 0) return std::nullopt;
  rect.c0 = (rect.c0 + shift) % cols;
  rect.c1 = (rect.c1 + shift) % cols;
  return rect;
}

CaseVerdict check_written_case(const Plan& plan, const std::string& outdir, const std::string& name) {
  CaseVerdict v;
  // The notes that mean the case is almost certainly wrong as it stands.
  for (const Note& n : plan.notes)
    if (std::holds_alternative<note::WindsRelativeToGrid>(n) || std::holds_alternative<note::IncrementBelowResolution>(n))
      v.warnings.push_back(note_words(n, plan.files));
  // The case is written through descriptors of its directory, so it is
  // whole even when that directory was moved during the run; it cannot then
  // be read back by its name, which is no failure of the case.
  const std::string path = joined(outdir, name);
  if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) {
    v.warnings.push_back(path + " is no longer there (its directory was moved or removed during the run): the "
                         "case was written but not checked");
    return v;
  }
  const CaseCheck c = check_case(outdir, name);
  v.status = c.status;
  v.reason = c.reason;
  for (const std::string& w : c.warnings) v.warnings.push_back(name + " as the converter reads it: " + w);
  const CaseFile f(path, plan);
  std::vector<std::string> corners;
  for (std::int64_t r = 1; r <= layout::input_upper_count * plan.lm(); ++r)
    if (f.corner(r) == undefined_value) corners.push_back(record_words(plan, r));
  if (!corners.empty()) {
    v.undefined_corners = true;
    std::string list;
    for (std::size_t n = 0; n < corners.size() && n < 4; ++n) list += (n > 0 ? ", " : "") + corners[n];
    if (corners.size() > 4) list += " and " + decimal(corners.size() - 4) + " more (ingest.txt lists them)";
    v.warnings.push_back(path + ": the south-west corner of " + decimal(corners.size()) +
                         " record" + (corners.size() == 1 ? "" : "s") + " is undefined (" + list +
                         "): the converter takes each such level as missing");
  }
  if (v.status == status_data_stop && v.undefined_corners) v.defined_area = defined_area(plan, f);
  return v;
}

void say_verdict(const CaseVerdict& v, const std::string& outdir, const std::string& name, std::FILE* err,
                 const std::string& program) {
  for (const std::string& w : v.warnings) {
    const std::string line = program + ": warning: " + w + "\n";
    std::fwrite(line.data(), 1, line.size(), err);
  }
  std::fflush(err);
  if (v.status == 0) return;
  std::string why = joined(outdir, name) + " would not convert: the converter stops with \"" + v.reason + "\"";
  if (v.defined_area)
    why += "; every field it needs is defined over the area " + area_words(*v.defined_area) +
           " (south, west, north, east): make the case again with --area " + area_words(*v.defined_area);
  else if (v.undefined_corners)
    why += "; no area of the grid has every field it needs defined";
  why += "; the case is kept in " + outdir + " for inspection";
  if (v.status == status_data_stop) throw DataStop(why);
  throw IoFailure(why);
}

}  // namespace c2m::ingest
