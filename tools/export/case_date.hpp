// The date of a case as the export takes it: the word of the date file
// adate.txt beside the model data file, or --date, written YYYYMMDDHH (or
// YYYYMMDD for 00 UTC).  The converter checks the date file but does not use
// it; the descriptor and the netCDF file give it as their one time step.
#pragma once

#include <optional>
#include <string>

namespace c2m::exporter {

struct CaseDate {
  std::string year, month, day, hour;  // "2024", "01", "31", "06": the digits as given
  int month_number = 1;                // 1 .. 12
};

// TEXT as a date: eight or ten digits naming a day that exists in the
// proleptic Gregorian calendar (year 1 to 9999, 1900 not a leap year, 2000
// one) and an hour 00 .. 23; nothing otherwise.
std::optional<CaseDate> parse_case_date(const std::string& text);

// The units of a CF time coordinate whose one value 0 is DATE:
// "hours since 2024-01-31 06:00:00".
std::string cf_time_units(const CaseDate& date);

}  // namespace c2m::exporter
