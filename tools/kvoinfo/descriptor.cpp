#include "descriptor.hpp"

#include <algorithm>
#include <filesystem>

#include "inventory.hpp"
#include "model_file.hpp"
#include "numbers.hpp"

namespace kvo {

void write_descriptor(std::ostream& out, const std::string& data_path, const GridInfo& g) {
  const std::string name = std::filesystem::path(data_path).filename().string();
  out << "dset ^" << name << '\n';
  out << "title " << name << ": model initial data, " << g.im() << " x " << g.jm() << " points, "
      << g.lm << (g.lm == 1 ? " level" : " levels") << '\n';
  for (const auto& note : grid_notes(g)) out << "* " << note << '\n';
  out << "* the model data file carries no date: the time axis below is a placeholder\n";
  out << "options little_endian\n";
  out << "undef -99999.0\n";
  out << "xdef " << g.im() << " linear " << degrees(g.kgds(5)) << ' ' << degrees(g.kgds(9)) << '\n';
  out << "ydef " << g.jm() << " linear " << degrees(g.kgds(4)) << ' ' << degrees(g.kgds(10)) << '\n';
  out << "zdef " << g.lm << " levels";
  for (const float p : g.pressure_pa) out << ' ' << shortest(p / 100.0f);  // hPa, bottom first
  out << '\n';
  out << "tdef 1 linear 00z01jan2000 1dy\n";
  out << "vars " << upper_field_count + surface_field_count << '\n';

  const auto line = [&](int field, std::int32_t levels, const FieldName& f) {
    out << left(std::string(short_name(field)), 5) << ' ' << right(std::to_string(levels), 4)
        << " 99 " << f.name;
    if (!f.unit.empty()) out << " [" << f.unit << ']';
    out << '\n';
  };
  for (int n = 0; n < upper_field_count; ++n) line(n, g.lm, g.upper[static_cast<std::size_t>(n)]);
  for (int n = 0; n < surface_field_count; ++n)
    line(upper_field_count + n, 0, g.surface[static_cast<std::size_t>(n)]);
  out << "endvars\n";
}

}  // namespace kvo
