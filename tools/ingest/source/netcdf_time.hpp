// The time of a netCDF file as CF states it: a coordinate whose units are
// "UNIT since DATE [TIME [ZONE]]" (seconds, minutes, hours or days) in the
// standard (mixed Julian and Gregorian), gregorian or proleptic_gregorian
// calendar, each value of it a validity time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "source/fields.hpp"

namespace c2m::ingest::netcdf {

struct TimeUnits {
  double seconds = 0;            // of one unit
  std::int64_t epoch_days = 0;   // the reference date, days from 1970-01-01
  double epoch_seconds = 0;      // its time of day, less its zone's offset
};

// The units of TEXT, or nothing when they are none of these.
std::optional<TimeUnits> time_units(const std::string& text);

// One value of a time coordinate as a validity time, or the reason it is
// none.  MIXED_CALENDAR: the standard calendar, Julian before 1582-10-15,
// whose dates before then are refused.
std::variant<ValidTime, std::string> valid_time(double value, const TimeUnits& u, bool mixed_calendar);

}  // namespace c2m::ingest::netcdf
