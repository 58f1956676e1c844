#include "synth.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <system_error>

#include "atmosphere.hpp"
#include "fileio/output_file.hpp"
#include "kit/numbers.hpp"
#include "layout/byte_order.hpp"
#include "layout/run_description_text.hpp"
#include "textio/errors.hpp"

namespace synth {

namespace {

// One record of 4-byte reals, little-endian whatever the host, appended to
// the input grid file.
void write_record(c2m::OutputFile& out, std::vector<float>& values, int n) {
  c2m::little_endian_to_host(values);  // the swap is its own inverse
  out.write(std::as_bytes(std::span<const float>(values)), "record " + c2m::decimal(n));
}

}  // namespace

std::vector<float> standard_pressures(int lm) {
  static constexpr std::array<float, 26> levels26 = {
      1000, 975, 950, 925, 900, 850, 800, 750, 700, 650, 600, 550, 500,
      450,  400, 350, 300, 250, 200, 150, 100, 70,  50,  30,  20,  10};
  static constexpr std::array<float, 17> levels17 = {
      1000, 925, 850, 700, 600, 500, 400, 300, 250, 200, 150, 100, 70, 50, 30, 20, 10};
  if (lm == 17) return {levels17.begin(), levels17.end()};
  std::vector<float> p;
  if (lm <= 0) return p;
  if (lm == 1) return {1000.0f};
  if (lm <= 26) {
    for (int k = 0; k < lm; ++k) p.push_back(levels26[static_cast<std::size_t>(std::lround(25.0 * k / (lm - 1)))]);
    return p;
  }
  // Beyond 26 levels: evenly spaced in ln p from 1000 to 1 hPa, rounded to
  // whole hPa above 100, tenths above 10 and hundredths above that.
  for (int k = 0; k < lm; ++k) {
    const double v = 1000.0 * std::pow(1.0e-3, static_cast<double>(k) / (lm - 1));
    const double step = v >= 100.0 ? 1.0 : v >= 10.0 ? 0.1 : 0.01;
    p.push_back(static_cast<float>(std::round(v / step) * step));
  }
  return p;
}

std::int64_t record_count(const CaseSettings& s) {
  return 6 * static_cast<std::int64_t>(s.pressures.size()) + 12;
}

std::int64_t file_bytes(const CaseSettings& s) {
  return record_count(s) * s.grid.im * static_cast<std::int64_t>(s.grid.jm) * 4;
}

std::string run_description(const CaseSettings& s) {
  c2m::layout::RunGrid g;
  g.im = s.grid.im;
  g.jm = s.grid.jm;
  g.grid = {0, s.grid.lat_first, s.grid.lon_first, s.grid.lat_last(), s.grid.lon_last(),
            s.grid.di, s.grid.dj};
  return c2m::layout::run_description_text(s.label, g, s.pressures);
}

namespace {

// The three files of the case, each under a temporary name until all are
// whole, then moved into place together.
void write_files(const std::filesystem::path& dir, const CaseSettings& s) {
  c2m::OutputFile description((dir / c2m::layout::run_description_file).string());
  c2m::OutputFile date((dir / c2m::layout::date_file).string());
  c2m::OutputFile out((dir / s.file_name).string());
  description.write(run_description(s), "the run description");
  date.write(s.date + "\n", "the date");

  const Atmosphere atm(s);
  const std::size_t n = atm.points();
  const int lm = atm.levels();
  std::vector<float> record(n), a(n), b(n), c(n);
  int number = 0;

  // Geopotential, integrated upward level by level.
  for (int k = 0; k < lm; ++k) {
    atm.geopotential_next(k, a.data(), b.data(), c.data());
    std::copy(a.begin(), a.end(), record.begin());
    write_record(out, record, ++number);
  }
  for (int k = 0; k < lm; ++k) {
    atm.relative_humidity(k, record.data());
    write_record(out, record, ++number);
  }
  for (int k = 0; k < lm; ++k) {
    atm.specific_humidity(k, record.data(), a.data());
    write_record(out, record, ++number);
  }
  for (int k = 0; k < lm; ++k) {
    atm.temperature(k, record.data());
    write_record(out, record, ++number);
  }
  for (int k = 0; k < lm; ++k) {
    atm.zonal_wind(k, record.data());
    write_record(out, record, ++number);
  }
  for (int k = 0; k < lm; ++k) {
    atm.meridional_wind(k, record.data());
    write_record(out, record, ++number);
  }
  for (int plane = 1; plane <= 12; ++plane) {
    atm.surface(plane, record.data());
    write_record(out, record, ++number);
  }
  c2m::commit_together({&description, &date, &out});
}

}  // namespace

void write_case(const std::filesystem::path& dir, const CaseSettings& s) {
  std::error_code ec;
  const bool made_dir = std::filesystem::create_directories(dir, ec);
  if (ec) throw c2m::CannotOpen(dir.string() + ": cannot create the directory: " + ec.message());
  if (!std::filesystem::is_directory(dir, ec))
    throw c2m::CannotOpen(dir.string() + ": cannot create the directory: it exists and is not a directory");
  try {
    write_files(dir, s);
  } catch (...) {
    // A directory made for this case goes again with it (only if empty).
    if (made_dir) std::filesystem::remove(dir, ec);
    throw;
  }
}

}  // namespace synth
