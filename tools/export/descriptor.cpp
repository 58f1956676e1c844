#include "descriptor.hpp"

#include <array>

#include "grid_text.hpp"
#include "numbers.hpp"

namespace c2m::exporter {

std::optional<std::string> descriptor_time(const std::string& text) {
  if (text.size() != 8 && text.size() != 10) return std::nullopt;
  for (const char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  const auto number = [&](std::size_t at, std::size_t n) { return std::stoi(text.substr(at, n)); };
  const int year = number(0, 4), month = number(4, 2), day = number(6, 2);
  const int hour = text.size() == 10 ? number(8, 2) : 0;
  static constexpr std::array<int, 12> days = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  static constexpr std::array<const char*, 12> months = {"jan", "feb", "mar", "apr", "may", "jun",
                                                         "jul", "aug", "sep", "oct", "nov", "dec"};
  if (year < 1 || month < 1 || month > 12 || day < 1 || hour > 23) return std::nullopt;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int last = month == 2 && !leap ? 28 : days[static_cast<std::size_t>(month - 1)];
  if (day > last) return std::nullopt;
  const std::string hour_text = text.size() == 10 ? text.substr(8, 2) : "00";
  return hour_text + "z" + text.substr(6, 2) + months[static_cast<std::size_t>(month - 1)] +
         text.substr(0, 4);
}

std::string descriptor_text(const layout::GridDescription& g, const std::string& data_name,
                            const std::string& dset, const std::optional<std::string>& time) {
  std::string t;
  const auto line = [&](const std::string& s) { t += s + "\n"; };
  line("dset " + dset);
  line("title " + data_name + ": model initial data, " + std::to_string(g.im()) + " x " +
       std::to_string(g.jm()) + " points, " + std::to_string(g.lm) +
       (g.lm == 1 ? " level" : " levels"));
  for (const auto& note : md::grid_notes(g)) line("* " + note);
  if (!time)
    line("* the model data file carries no date: the time axis below is a placeholder");
  line("options little_endian");
  line("undef -99999.0");
  line("xdef " + std::to_string(g.im()) + " linear " + md::degrees(g.kgds(5)) + " " +
       md::degrees(g.kgds(9)));
  line("ydef " + std::to_string(g.jm()) + " linear " + md::degrees(g.kgds(4)) + " " +
       md::degrees(g.kgds(10)));
  std::string z = "zdef " + std::to_string(g.lm) + " levels";
  for (std::int64_t k = 1; k <= g.lm; ++k) z += " " + md::shortest(g.level_hpa(k));  // bottom first
  line(z);
  line("tdef 1 linear " + time.value_or(placeholder_time) + " 1dy");
  line("vars " + std::to_string(layout::field_count));
  for (int f = 0; f < layout::field_count; ++f) {
    const layout::FieldInfo& info = layout::fields[static_cast<std::size_t>(f)];
    const std::int64_t levels = f < layout::upper_count ? g.lm : 0;
    line(md::left(std::string(info.short_name), 5) + " " + md::right(std::to_string(levels), 4) +
         " 99 " + std::string(info.long_name) +
         (info.unit.empty() ? "" : " [" + std::string(info.unit) + "]"));
  }
  line("endvars");
  return t;
}

}  // namespace c2m::exporter
