#include "model_data_cases.hpp"

#include <bit>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "textio/free_line.hpp"

namespace md_test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "c2m-look-XXXXXX").string();
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
  const auto& names = c2m::layout::listed_field_names;
  for (int f = 0; f < c2m::layout::upper_count; ++f) put(FreeLine(names[static_cast<std::size_t>(f)]));
  put(FreeLine());
  put(FreeLine("        2D"));
  for (int f = c2m::layout::upper_count; f < c2m::layout::field_count; ++f)
    put(FreeLine(names[static_cast<std::size_t>(f)]));
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

c2m::layout::GridDescription parsed(const CaseGrid& grid) {
  std::istringstream in(grid_description_text(grid));
  return c2m::layout::parse_grid_description(in, "made.gdsinfo");
}

}  // namespace md_test
