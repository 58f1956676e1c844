#include "descriptor.hpp"

#include <array>

#include "grid_text.hpp"
#include "kit/numbers.hpp"
#include "numbers.hpp"

namespace c2m::exporter {

std::string descriptor_time(const CaseDate& date) {
  static constexpr std::array<const char*, 12> months = {"jan", "feb", "mar", "apr", "may", "jun",
                                                         "jul", "aug", "sep", "oct", "nov", "dec"};
  return date.hour + "z" + date.day + months[static_cast<std::size_t>(date.month_number - 1)] +
         date.year;
}

std::optional<std::string> descriptor_time(const std::string& text) {
  const auto date = parse_case_date(text);
  if (!date) return std::nullopt;
  return descriptor_time(*date);
}

std::string data_title(const layout::GridDescription& g, const std::string& data_name) {
  return data_name + ": model initial data, " + decimal(g.im()) + " x " +
         decimal(g.jm()) + " points, " + decimal(g.lm) +
         (g.lm == 1 ? " level" : " levels");
}

std::string descriptor_text(const layout::GridDescription& g, const std::string& data_name,
                            const std::string& dset, const std::optional<std::string>& time) {
  std::string t;
  const auto line = [&](const std::string& s) { t += s + "\n"; };
  line("dset " + dset);
  line("title " + data_title(g, data_name));
  for (const auto& note : md::grid_notes(g)) line("* " + note);
  if (!time)
    line("* the model data file carries no date: the time axis below is a placeholder");
  line("options little_endian");
  line("undef -99999.0");
  line("xdef " + decimal(g.im()) + " linear " + md::degrees(g.kgds(5)) + " " +
       md::degrees(g.kgds(9)));
  line("ydef " + decimal(g.jm()) + " linear " + md::degrees(g.kgds(4)) + " " +
       md::degrees(g.kgds(10)));
  std::string z = "zdef " + decimal(g.lm) + " levels";
  for (std::int64_t k = 1; k <= g.lm; ++k) z += " " + shortest_float(g.level_hpa(k));  // bottom first
  line(z);
  line("tdef 1 linear " + time.value_or(placeholder_time) + " 1dy");
  line("vars " + decimal(layout::field_count));
  for (int f = 0; f < layout::field_count; ++f) {
    const layout::FieldInfo& info = layout::fields[static_cast<std::size_t>(f)];
    const std::int64_t levels = f < layout::upper_count ? g.lm : 0;
    line(md::left(std::string(info.short_name), 5) + " " + md::right(decimal(levels), 4) +
         " 99 " + std::string(info.long_name) +
         (info.unit.empty() ? "" : " [" + std::string(info.unit) + "]"));
  }
  line("endvars");
  return t;
}

}  // namespace c2m::exporter
