#include "kvoinfo_cases.hpp"

#include <bit>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "textio/free_line.hpp"

namespace kvo_test {

namespace {

const std::array<const char*, 5> upper_names = {
    "Zonal wind                (m/s)", "Meridional wind           (m/s)",
    "Geopotential height       (m)", "Specific humidity         (kg/kg)",
    "Temperature               (K)"};
const std::array<const char*, 12> surface_names = {
    "Land-sea mask             ( )",   "M S L Pressure            (hPa)",
    "Surface Pressure          (hPa)", "Topography                (m)",
    "Soil Temperature  layer 1 (K)",   "Soil Moisture layer 1     (0-1)",
    "Soil Temperature  layer 2 (K)",   "Soil Moisture layer 2     (0-1)",
    "Soil Temperature  layer 3 (K)",   "Soil Moisture layer 3     (0-1)",
    "Soil Temperature  layer 4 (K)",   "Soil Moisture layer 4     (0-1)"};

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kvoinfo-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string grid_description_text(const CaseGrid& g) {
  using c2m::FreeLine;
  std::ostringstream out;
  const auto put = [&](const FreeLine& line) { out << line.str() << '\n'; };
  put(FreeLine().integer(g.lm()).text(" => Number of Levels"));
  put(FreeLine("Pressure in Pa"));
  for (auto p = g.pressure_hpa.rbegin(); p != g.pressure_hpa.rend(); ++p)
    put(FreeLine().real(*p * 100.0f));
  const std::array<std::int32_t, 11> kgds = {g.type, g.im,  g.jm, g.lat1, g.lon1, 128,
                                             g.lat2, g.lon2, g.di, g.dj,   64};
  for (std::size_t n = 0; n < kgds.size(); ++n)
    put(FreeLine().integer(kgds[n]).text("kgds(" + std::to_string(n + 1) + ")"));
  put(FreeLine().integer(255).text("kgds(12)"));
  put(FreeLine());
  put(FreeLine("Fields names and writing order"));
  put(FreeLine());
  put(FreeLine("        3D "));
  put(FreeLine("first written record: botton of the atmosphere"));
  for (const char* name : upper_names) put(FreeLine(name));
  put(FreeLine());
  put(FreeLine("        2D"));
  for (const char* name : surface_names) put(FreeLine(name));
  return out.str();
}

void write_text(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

void write_floats(const std::string& path, const std::vector<float>& values) {
  std::string bytes;
  for (const float v : values) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    for (int b = 0; b < 4; ++b) bytes += static_cast<char>((bits >> (8 * b)) & 0xffu);  // little-endian
  }
  write_text(path, bytes);
}

void write_case(const std::string& data_path, const CaseGrid& g,
                const std::function<float(int n, int i, int j)>& value) {
  write_text(data_path + ".gdsinfo", grid_description_text(g));
  std::vector<float> values;
  for (int n = 1; n <= 5 * g.lm() + 12; ++n)
    for (int j = 1; j <= g.jm; ++j)
      for (int i = 1; i <= g.im; ++i) values.push_back(value(n, i, j));
  write_floats(data_path, values);
}

kvo::GridInfo parsed(const CaseGrid& grid) {
  std::istringstream in(grid_description_text(grid));
  return kvo::parse_grid_info(in, "made.gdsinfo");
}

}  // namespace kvo_test
