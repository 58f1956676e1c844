#include "source/netcdf_source.hpp"

#include <fcntl.h>
#include <netcdf.h>
#include <netcdf_filter.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <variant>

#include "source/netcdf_classic.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

// libnetcdf (and the HDF5 library under it) keeps global state that no
// two threads may touch at once.
std::mutex& library() {
  static std::mutex m;
  return m;
}

std::string decimal(long long v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string real(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string trimmed(const std::string& s) {
  const auto a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

bool one_of(const std::string& s, std::initializer_list<const char*> words) {
  return std::any_of(words.begin(), words.end(), [&](const char* w) { return s == w; });
}

// Longest text attribute read; identifying attributes are far shorter.
constexpr std::size_t max_text = 4096;

// A text attribute (characters, or one netCDF-4 string), or nothing.
std::optional<std::string> text_att(int ncid, int varid, const char* name) {
  nc_type type = 0;
  std::size_t len = 0;
  if (nc_inq_att(ncid, varid, name, &type, &len) != NC_NOERR) return std::nullopt;
  if (type == NC_CHAR) {
    if (len > max_text) return std::nullopt;
    std::string s(len, '\0');
    if (len > 0 && nc_get_att_text(ncid, varid, name, s.data()) != NC_NOERR) return std::nullopt;
    s.resize(::strnlen(s.c_str(), s.size()));
    return s;
  }
  if (type == NC_STRING && len == 1) {
    char* p = nullptr;
    if (nc_get_att_string(ncid, varid, name, &p) != NC_NOERR) return std::nullopt;
    std::string s = p ? std::string(p, ::strnlen(p, max_text)) : std::string();
    nc_free_string(1, &p);
    return s;
  }
  return std::nullopt;
}

bool numeric_type(nc_type t) { return t >= NC_BYTE && t <= NC_UINT64 && t != NC_CHAR; }

// The values of a numeric attribute (at most MAX of them) as doubles.
std::vector<double> numeric_att(int ncid, int varid, const char* name, std::size_t max) {
  nc_type type = 0;
  std::size_t len = 0;
  if (nc_inq_att(ncid, varid, name, &type, &len) != NC_NOERR) return {};
  if (!numeric_type(type) || len == 0 || len > max) return {};
  std::vector<double> v(len);
  if (nc_get_att_double(ncid, varid, name, v.data()) != NC_NOERR) return {};
  return v;
}

std::size_t bytes_of(nc_type t) {
  switch (t) {
    case NC_BYTE: case NC_UBYTE: case NC_CHAR: return 1;
    case NC_SHORT: case NC_USHORT: return 2;
    case NC_INT: case NC_UINT: case NC_FLOAT: return 4;
    case NC_DOUBLE: case NC_INT64: case NC_UINT64: return 8;
    default: return 0;
  }
}

std::string type_words(nc_type t) {
  switch (t) {
    case NC_BYTE: return "byte";
    case NC_UBYTE: return "ubyte";
    case NC_CHAR: return "char";
    case NC_SHORT: return "short";
    case NC_USHORT: return "ushort";
    case NC_INT: return "int";
    case NC_UINT: return "uint";
    case NC_FLOAT: return "float";
    case NC_DOUBLE: return "double";
    case NC_INT64: return "int64";
    case NC_UINT64: return "uint64";
    case NC_STRING: return "string";
    default: return "a type of its own (" + decimal(t) + ")";
  }
}

// The types a field may be stored in.
bool field_type(nc_type t) {
  return t == NC_BYTE || t == NC_UBYTE || t == NC_SHORT || t == NC_USHORT || t == NC_INT || t == NC_UINT ||
         t == NC_FLOAT || t == NC_DOUBLE;
}

// ---------------------------------------------------------------------------
// The axes.

enum class Role { none, lat, lon, pressure, time, member };

// Factor from a pressure unit to hPa, or 0 for a unit that is not one.
double hpa_per(const std::string& units) {
  const std::string u = lower(trimmed(units));
  if (one_of(u, {"hpa", "mbar", "millibar", "millibars", "mb", "hectopascal", "hectopascals"})) return 1.0;
  if (one_of(u, {"pa", "pascal", "pascals"})) return 0.01;
  if (one_of(u, {"kpa", "kilopascal", "kilopascals"})) return 10.0;
  return 0.0;
}

// A pressure in the coordinate's unit as hPa, through its decimal text
// so that 85000 Pa is exactly 850 hPa.
std::optional<float> pressure_hpa(double v, double per) {
  if (!std::isfinite(v) || !(v > 0)) return std::nullopt;
  const int shift = per == 1.0 ? 0 : per == 0.01 ? -2 : 1;
  char buf[48];
  const auto sci = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);  // d.ddde+XX
  const std::string mantissa_exponent(buf, sci.ptr);
  const auto e = mantissa_exponent.find('e');
  int exponent = 0;
  const char* x = mantissa_exponent.data() + e + 1;
  if (*x == '+') ++x;
  std::from_chars(x, mantissa_exponent.data() + mantissa_exponent.size(), exponent);
  const std::string text = mantissa_exponent.substr(0, e) + "e" + decimal(exponent + shift);
  float p = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), p);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !(p > 0.0f) || !std::isfinite(p))
    return std::nullopt;
  return p;
}

// Time: CF "UNIT since DATE [TIME [ZONE]]" and a calendar.
struct TimeUnits {
  double seconds = 0;            // of one unit
  std::int64_t epoch_days = 0;   // the reference date, days from 1970-01-01
  double epoch_seconds = 0;      // its time of day, less its zone's offset
};

using std::chrono::day;
using std::chrono::month;
using std::chrono::year;
using std::chrono::year_month_day;
using std::chrono::sys_days;

// Reads digits at S[AT..]: at most MAX of them, at least one.
bool digits(const std::string& s, std::size_t& at, int max, long& v) {
  const std::size_t start = at;
  v = 0;
  while (at < s.size() && s[at] >= '0' && s[at] <= '9' && static_cast<int>(at - start) < max)
    v = v * 10 + (s[at++] - '0');
  return at > start;
}

std::optional<TimeUnits> time_units(const std::string& text) {
  const std::string t = lower(trimmed(text));
  const auto since = t.find(" since ");
  if (since == std::string::npos) return std::nullopt;
  const std::string unit = trimmed(t.substr(0, since));
  TimeUnits u;
  if (one_of(unit, {"seconds", "second", "secs", "sec", "s"})) u.seconds = 1;
  else if (one_of(unit, {"minutes", "minute", "mins", "min"})) u.seconds = 60;
  else if (one_of(unit, {"hours", "hour", "hrs", "hr", "h"})) u.seconds = 3600;
  else if (one_of(unit, {"days", "day", "d"})) u.seconds = 86400;
  else return std::nullopt;
  const std::string ref = trimmed(t.substr(since + 7));
  std::size_t at = 0;
  long y = 0, mo = 0, d = 0, h = 0, mi = 0;
  if (!digits(ref, at, 4, y) || at >= ref.size() || ref[at++] != '-' || !digits(ref, at, 2, mo) ||
      at >= ref.size() || ref[at++] != '-' || !digits(ref, at, 2, d))
    return std::nullopt;
  const year_month_day ymd{year(static_cast<int>(y)), month(static_cast<unsigned>(mo)), day(static_cast<unsigned>(d))};
  if (!ymd.ok()) return std::nullopt;
  u.epoch_days = sys_days(ymd).time_since_epoch().count();
  double secs = 0;
  if (at < ref.size() && (ref[at] == 't' || ref[at] == ' ')) {
    while (at < ref.size() && (ref[at] == 't' || ref[at] == ' ')) ++at;
    if (at < ref.size() && ref[at] >= '0' && ref[at] <= '9') {
      if (!digits(ref, at, 2, h) || h > 24) return std::nullopt;
      if (at < ref.size() && ref[at] == ':') {
        ++at;
        if (!digits(ref, at, 2, mi) || mi > 59) return std::nullopt;
        if (at < ref.size() && ref[at] == ':') {
          ++at;
          const std::size_t start = at;
          while (at < ref.size() && ((ref[at] >= '0' && ref[at] <= '9') || ref[at] == '.')) ++at;
          double s = 0;
          const auto r = std::from_chars(ref.data() + start, ref.data() + at, s);
          if (r.ec != std::errc() || r.ptr != ref.data() + at || !(s >= 0 && s < 61)) return std::nullopt;
          secs = s;
        }
      }
      secs += static_cast<double>(h * 3600 + mi * 60);
    }
  }
  // A zone: Z, UTC, GMT, or +HH[:MM] / -HH[:MM] (the time is local to it).
  while (at < ref.size() && ref[at] == ' ') ++at;
  const std::string zone = ref.substr(at);
  if (!zone.empty() && !one_of(zone, {"z", "utc", "gmt"})) {
    if (zone[0] != '+' && zone[0] != '-') return std::nullopt;
    std::size_t z = 1;
    long zh = 0, zm = 0;
    if (!digits(zone, z, 2, zh) || zh > 14) return std::nullopt;
    if (z < zone.size() && zone[z] == ':') ++z;
    if (z < zone.size() && !digits(zone, z, 2, zm)) return std::nullopt;
    if (z != zone.size() || zm > 59) return std::nullopt;
    const double offset = static_cast<double>(zh * 3600 + zm * 60);
    secs += zone[0] == '+' ? -offset : offset;
  }
  u.epoch_seconds = secs;
  return u;
}

// The first day of the Gregorian calendar, before which the standard
// calendar is the Julian one.
const std::int64_t gregorian_start =
    sys_days(year_month_day{year(1582), month(10), day(15)}).time_since_epoch().count();

// One value of a time coordinate as a validity time, or the reason it is
// none.
std::variant<ValidTime, std::string> valid_time(double value, const TimeUnits& u, bool mixed_calendar) {
  if (!std::isfinite(value)) return std::string("a value that is not a number");
  const double total = value * u.seconds + u.epoch_seconds;
  // Within years 1 to 9999 (about 3.2e11 s either way of 1970).
  if (!(std::fabs(total + static_cast<double>(u.epoch_days) * 86400.0) < 2.5e11))
    return "the value " + real(value) + ", far outside years 1 to 9999";
  double days = std::floor(total / 86400.0);
  double minutes = std::round((total - days * 86400.0) / 60.0);
  if (minutes >= 1440.0) {
    days += 1;
    minutes -= 1440.0;
  }
  const std::int64_t day_number = u.epoch_days + static_cast<std::int64_t>(days);
  if (mixed_calendar && (day_number < gregorian_start || u.epoch_days < gregorian_start))
    return std::string("a date before 1582-10-15, where the standard calendar is the Julian one; ingest "
                       "reads Gregorian dates only");
  const year_month_day ymd{sys_days(std::chrono::days(day_number))};
  const int y = static_cast<int>(ymd.year());
  if (y < 1 || y > 9999) return "the value " + real(value) + ", which is in the year " + decimal(y);
  ValidTime v;
  v.date = static_cast<std::int64_t>(y) * 10000 + static_cast<unsigned>(ymd.month()) * 100 +
           static_cast<unsigned>(ymd.day());
  const int m = static_cast<int>(minutes);
  v.hhmm = m / 60 * 100 + m % 60;
  return v;
}

struct Axis {
  std::string name;
  std::size_t length = 0;
  int coordinate = -1;  // its coordinate variable
  Role role = Role::none;
  std::string units;
  std::string failure;   // why a field cannot be on it (thrown when one is)
  std::string unusable;  // why it is no axis of a field (the variable passed over)
  bool loaded = false;
  std::vector<double> values;     // latitude, longitude: degrees
  std::vector<float> pressures;   // hPa
  std::vector<ValidTime> times;
  std::vector<std::string> time_words;
  std::vector<long> members;
};

// ---------------------------------------------------------------------------
// The quantities.

struct Known {
  const char* name;
  long param;
  int soil = 0;  // ECMWF's soil layer 1 .. 4
};

// ERA5's variable names (ECMWF's short names) and the CF standard names,
// as ECMWF parameter numbers.  Surface geopotential and geopotential on
// pressure levels share the name z; the axes tell them apart.
constexpr Known short_names[] = {
    {"z", 129},  {"r", 157},       {"q", 133},       {"t", 130},       {"u", 131},      {"v", 132},
    {"lsm", 172}, {"msl", 151},    {"sp", 134},      {"stl1", 139, 1}, {"stl2", 170, 2}, {"stl3", 183, 3},
    {"stl4", 236, 4}, {"swvl1", 39, 1}, {"swvl2", 40, 2}, {"swvl3", 41, 3}, {"swvl4", 42, 4},
};
constexpr Known standard_names[] = {
    {"geopotential", 129},
    {"geopotential_height", 156},
    {"relative_humidity", 157},
    {"specific_humidity", 133},
    {"air_temperature", 130},
    {"eastward_wind", 131},
    {"northward_wind", 132},
    {"land_binary_mask", 172},
    {"land_area_fraction", 172},
    {"air_pressure_at_mean_sea_level", 151},
    {"surface_air_pressure", 134},
    {"surface_geopotential", 129},
    {"surface_altitude", 228002},
};

// The depths (m) of ECMWF's four soil layers.
constexpr double soil_depths[5] = {0.0, 0.07, 0.28, 1.0, 2.89};

// What brings the values of parameter PARAM stated in UNITS into the
// parameter's own units (Pa, %, K): value x scale + offset.
struct UnitChange {
  double scale = 1, offset = 0;
  std::string words;
};

UnitChange unit_change(long param, const std::string& units) {
  const std::string u = lower(trimmed(units));
  if (param == 151 || param == 134) {
    const double per = hpa_per(u);
    if (per == 1.0) return {100.0, 0.0, "hPa to Pa"};
    if (per == 10.0) return {1000.0, 0.0, "kPa to Pa"};
  } else if (param == 157) {
    if (one_of(u, {"1", "fraction", "0-1"})) return {100.0, 0.0, "fraction to %"};
  } else if (param == 130) {
    if (one_of(u, {"degc", "deg_c", "celsius", "degrees_celsius", "degree_celsius", "c"}))
      return {1.0, 273.15, "deg C to K"};
  }
  return {};
}

// The centre of words such as an institution attribute, if they name one.
std::optional<Centre> centre_in(const std::string& text) {
  const std::string t = lower(text);
  if (t.find("ecmwf") != std::string::npos || t == "ecmf" ||
      t.find("european centre for medium-range weather forecasts") != std::string::npos)
    return Centre{98, "ecmf"};
  if (t.find("ncep") != std::string::npos || t == "kwbc" ||
      t.find("national centers for environmental prediction") != std::string::npos)
    return Centre{7, "kwbc"};
  return std::nullopt;
}

std::string shape_words(const std::vector<std::size_t>& shape) {
  std::string s;
  for (const std::size_t n : shape) s += (s.empty() ? "" : " x ") + decimal(static_cast<long long>(n));
  return s.empty() ? "1" : s;
}

}  // namespace

// How one variable's planes are found and turned into values.
struct NetcdfSource::Variable {
  int id = 0;
  std::string name;
  nc_type type = 0;
  std::size_t value_bytes = 0;
  std::vector<std::size_t> shape;
  int lat = -1, lon = -1, time = -1, level = -1, member = -1;  // positions among its dimensions
  std::size_t times = 1, levels = 1, members = 1;
  std::int64_t points = 0;
  bool packed = false;
  double scale = 1, offset = 0;
  std::vector<double> fills;  // in the stored values' terms
  UnitChange units;
};

std::optional<NetcdfFormat> netcdf_format(const unsigned char* head, std::size_t n) {
  if (n >= 4 && head[0] == 'C' && head[1] == 'D' && head[2] == 'F') {
    if (head[3] == 1) return NetcdfFormat::classic;
    if (head[3] == 2) return NetcdfFormat::offset64;
    if (head[3] == 5) return NetcdfFormat::data64;
  }
  static constexpr unsigned char hdf5[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
  if (n >= 8 && std::memcmp(head, hdf5, 8) == 0) return NetcdfFormat::hdf5;
  return std::nullopt;
}

std::optional<Centre> centre_by_name(const std::string& word) {
  if (word == "ecmwf") return Centre{98, "ecmf"};
  if (word == "ncep") return Centre{7, "kwbc"};
  if (word == "none") return Centre{0, ""};
  return std::nullopt;
}

NetcdfSource::NetcdfSource(std::string path, int index, const std::optional<Centre>& centre)
    : path_(std::move(path)), index_(index) {
  const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw CannotOpen(system_reason(path_, errno));
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw CannotOpen(system_reason(path_, errno));
  if (!S_ISREG(st.st_mode)) throw CannotOpen(path_ + ": not a regular file");
  size_ = static_cast<std::int64_t>(st.st_size);
  unsigned char head[8] = {};
  const ssize_t got = ::pread(fd, head, sizeof head, 0);
  if (got < 0) throw ReadFailure(system_reason(path_, errno));
  const auto format = netcdf_format(head, static_cast<std::size_t>(got));
  if (!format) throw IoFailure(path_ + ": not a netCDF file (it starts with neither CDF nor the HDF5 mark)");
  format_ = *format;
  // A classic header is checked whole before libnetcdf sees it.
  if (format_ != NetcdfFormat::hdf5) read_classic_header(path_, fd, size_);

  // libnetcdf opens the file by name: the very file checked, through its
  // descriptor where the system offers one, and never a name that it
  // could take for a URL.
  std::string open_name = "/proc/self/fd/" + decimal(fd);
  if (::access(open_name.c_str(), R_OK) != 0) open_name = path_.starts_with("/") ? path_ : "./" + path_;
  std::lock_guard<std::mutex> lock(library());
  if (format_ == NetcdfFormat::hdf5) probe(open_name, centre);
  const int status = nc_open(open_name.c_str(), NC_NOWRITE, &ncid_);
  if (status != NC_NOERR) {
    ncid_ = -1;
    throw IoFailure(path_ + ": cannot be read as netCDF (" + nc_strerror(status) + ")");
  }
  try {
    scan(centre);
  } catch (...) {
    nc_close(ncid_);
    ncid_ = -1;
    throw;
  }
}

NetcdfSource::~NetcdfSource() {
  if (ncid_ < 0) return;
  std::lock_guard<std::mutex> lock(library());
  nc_close(ncid_);
}

namespace {
std::atomic<unsigned> probe_seconds{120};
}  // namespace

void set_netcdf_probe_seconds(unsigned seconds) { probe_seconds = std::max(1u, seconds); }

// A netCDF-4 file is an HDF5 file, whose structure (a graph of object
// headers, B-trees and heaps) is far too rich to check before the HDF5
// library reads it, and that library can crash on a corrupt one.  So the
// file is opened and scanned first in a child process, exactly as it is
// then opened and scanned here: a child that does not come back whole (a
// signal, or no end within the time allowed) means a file this process
// must not open.  The child dumps no core, writes no diagnostic and runs no exit
// handler.
void NetcdfSource::probe(const std::string& open_name, const std::optional<Centre>& centre) {
  const unsigned seconds = probe_seconds.load();
  const pid_t pid = ::fork();
  if (pid < 0) return;  // no process to spare: opened here, as without the probe
  if (pid == 0) {
    // A fatal signal ends it plainly, through no handler of this process
    // (a sanitizer's, a fuzzer's, the removal of partial outputs).
    for (const int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGALRM, SIGINT, SIGTERM, SIGHUP})
      std::signal(sig, SIG_DFL);
    const struct rlimit no_core = {0, 0};
    ::setrlimit(RLIMIT_CORE, &no_core);
    // What it would say is said again by this process, or replaced by the
    // refusal.
    if (const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC); null >= 0) ::dup2(null, 2);
    ::alarm(seconds);
    int id = -1;
    if (nc_open(open_name.c_str(), NC_NOWRITE, &id) == NC_NOERR) {
      ncid_ = id;
      try {
        scan(centre);
      } catch (...) {
        // Refused: the parent refuses it the same way.
      }
      nc_close(id);
    }
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
  std::string how;
  if (WIFSIGNALED(status))
    how = WTERMSIG(status) == SIGALRM ? "did not end within " + decimal(seconds) + " seconds"
                                      : std::string("ended by signal ") + decimal(WTERMSIG(status)) + " (" +
                                            ::strsignal(WTERMSIG(status)) + ")";
  else
    how = "ended with status " + decimal(WEXITSTATUS(status));
  throw IoFailure(path_ + ": the HDF5 library cannot read this netCDF-4 file (opening it in a separate process " +
                  how + "): the file is corrupt");
}

int NetcdfSource::messages() const { return static_cast<int>(vars_.size()); }

std::string NetcdfSource::format() const {
  switch (format_) {
    case NetcdfFormat::classic: return "netCDF classic";
    case NetcdfFormat::offset64: return "netCDF 64-bit offset";
    case NetcdfFormat::data64: return "netCDF 64-bit data";
    case NetcdfFormat::hdf5: return "netCDF-4";
  }
  return "netCDF";
}

void NetcdfSource::scan(const std::optional<Centre>& centre_option) {
  const int ncid = ncid_;
  auto fail = [&](const std::string& why) { return IoFailure(path_ + ": " + why); };
  auto check = [&](int status, const std::string& what) {
    if (status != NC_NOERR) throw fail(what + " cannot be read (" + nc_strerror(status) + ")");
  };

  // The file's centre.
  Centre centre;
  if (centre_option) {
    centre = *centre_option;
  } else {
    for (const char* att : {"institution", "source", "GRIB_centre", "centre"})
      if (const auto text = text_att(ncid, NC_GLOBAL, att))
        if (const auto c = centre_in(*text)) {
          centre = *c;
          break;
        }
  }

  int ndims = 0, nvars = 0;
  check(nc_inq_dimids(ncid, &ndims, nullptr, 0), "the dimensions");
  check(nc_inq_varids(ncid, &nvars, nullptr), "the variables");
  if (ndims < 0 || nvars < 0) throw fail("the header claims a negative number of dimensions or variables");
  std::vector<int> dimids(static_cast<std::size_t>(ndims)), varids(static_cast<std::size_t>(nvars));
  if (ndims > 0) check(nc_inq_dimids(ncid, &ndims, dimids.data(), 0), "the dimensions");
  if (nvars > 0) check(nc_inq_varids(ncid, &nvars, varids.data()), "the variables");

  std::map<int, Axis> axes;
  for (const int d : dimids) {
    char name[NC_MAX_NAME + 1] = {};
    std::size_t len = 0;
    check(nc_inq_dim(ncid, d, name, &len), "dimension " + decimal(d));
    Axis& a = axes[d];
    a.name = name;
    a.length = len;
  }

  // Bytes a variable of SHAPE and VALUE bytes claims; refused when the
  // file cannot hold them (compressed, at most deflate's 1032 to 1).
  auto check_extent = [&](int varid, const std::string& name, const std::vector<std::size_t>& shape,
                          std::size_t value_bytes) {
    constexpr double deflate_ratio = 1032.0;
    bool filtered = false;
    if (format_ == NetcdfFormat::hdf5) {
      std::size_t filters = 0;
      if (nc_inq_var_filter_ids(ncid, varid, &filters, nullptr) == NC_NOERR && filters > 0) filtered = true;
    }
    long double bytes = static_cast<long double>(value_bytes);
    for (const std::size_t n : shape) bytes *= static_cast<long double>(n);
    const long double held = static_cast<long double>(size_) * (filtered ? deflate_ratio : 1.0);
    if (bytes > held) {
      const std::string claim = shape_words(shape) + " values of " + decimal(static_cast<long long>(value_bytes)) +
                                " bytes (" +
                                (bytes < 9e18L ? decimal(static_cast<long long>(bytes)) : real(static_cast<double>(bytes))) +
                                " bytes)";
      throw SizeFailure(path_ + ": variable " + name + " claims " + claim + ", more than the file of " +
                        decimal(size_) + " bytes can hold" +
                        (filtered ? " even compressed (deflate packs at most 1032 to 1)" : "") +
                        ": it is truncated or its header is corrupt");
    }
  };

  // Each dimension's coordinate variable and what it makes of the axis.
  for (auto& [d, a] : axes) {
    int vid = -1;
    if (nc_inq_varid(ncid, a.name.c_str(), &vid) != NC_NOERR) continue;
    int rank = 0, dim0 = -1;
    nc_type type = 0;
    if (nc_inq_varndims(ncid, vid, &rank) != NC_NOERR || rank != 1) continue;
    if (nc_inq_vardimid(ncid, vid, &dim0) != NC_NOERR || dim0 != d) continue;
    if (nc_inq_vartype(ncid, vid, &type) != NC_NOERR || !numeric_type(type)) continue;
    a.coordinate = vid;
    a.units = text_att(ncid, vid, "units").value_or("");
    const std::string units = lower(trimmed(a.units));
    const std::string standard = lower(text_att(ncid, vid, "standard_name").value_or(""));
    const std::string name = lower(a.name);
    if (one_of(units, {"degrees_north", "degree_north", "degree_n", "degrees_n", "degreen", "degreesn"}) ||
        standard == "latitude" || (units.empty() && one_of(name, {"latitude", "lat"}))) {
      a.role = Role::lat;
    } else if (one_of(units, {"degrees_east", "degree_east", "degree_e", "degrees_e", "degreee", "degreese"}) ||
               standard == "longitude" || (units.empty() && one_of(name, {"longitude", "lon"}))) {
      a.role = Role::lon;
    } else if (hpa_per(units) != 0.0) {
      a.role = Role::pressure;
    } else if (standard == "air_pressure") {
      a.role = Role::pressure;
      a.failure = "the pressure coordinate " + a.name + " has the units '" + a.units +
                  "', not hPa, millibars or Pa";
    } else if (one_of(name, {"level", "pressure_level", "plev", "lev", "pressure", "isobaric", "isobaricinhpa"})) {
      a.unusable = "its coordinate " + a.name + " has the units '" + a.units + "', not those of a pressure";
    } else if (units.find(" since ") != std::string::npos || standard == "time" ||
               one_of(name, {"time", "valid_time"})) {
      a.role = Role::time;
    } else if (one_of(name, {"number", "realization", "member", "ensemble_member"}) || standard == "realization") {
      a.role = Role::member;
    }
  }

  // Loads the coordinate values of axis A, checking its length first.
  auto load = [&](Axis& a) {
    if (a.loaded) return;
    a.loaded = true;
    const std::int64_t limit = a.role == Role::pressure ? max_levels
                               : a.role == Role::time   ? max_times
                               : a.role == Role::member ? 100000
                                                        : max_plane_points;
    const char* what = a.role == Role::pressure ? "levels"
                       : a.role == Role::time   ? "times"
                       : a.role == Role::member ? "members"
                                                : "points";
    if (a.length > static_cast<std::size_t>(limit))
      throw SizeFailure(path_ + ": dimension " + a.name + " claims " + decimal(static_cast<long long>(a.length)) +
                        " " + what + ", more than the limit of " + decimal(limit));
    nc_type type = 0;
    check(nc_inq_vartype(ncid, a.coordinate, &type), "coordinate variable " + a.name);
    check_extent(a.coordinate, a.name, {a.length}, bytes_of(type));
    std::vector<double> v(a.length);
    if (a.length > 0) check(nc_get_var_double(ncid, a.coordinate, v.data()), "coordinate variable " + a.name);
    for (const double x : v)
      if (!std::isfinite(x) && a.role != Role::time) {
        a.failure = "the coordinate " + a.name + " holds a value that is not a number";
        return;
      }
    switch (a.role) {
      case Role::lat:
      case Role::lon:
        a.values = std::move(v);
        return;
      case Role::pressure: {
        const double per = hpa_per(a.units);
        for (const double x : v) {
          const auto p = pressure_hpa(x, per);
          if (!p) {
            a.failure = "the pressure coordinate " + a.name + " holds the level " + real(x) + " " + a.units;
            return;
          }
          a.pressures.push_back(*p);
        }
        return;
      }
      case Role::member:
        for (const double x : v) {
          if (!(x >= 0 && x <= 100000 && x == std::floor(x))) {
            a.failure = "the member coordinate " + a.name + " holds " + real(x) + ", not a member number";
            return;
          }
          a.members.push_back(static_cast<long>(x));
        }
        return;
      case Role::time: {
        const auto u = time_units(a.units);
        if (!u) {
          a.failure = "the time coordinate " + a.name + " has the units '" + a.units +
                      "', not seconds, minutes, hours or days since a date (such as 'hours since "
                      "1900-01-01 00:00:00')";
          return;
        }
        const std::string calendar = lower(trimmed(text_att(ncid, a.coordinate, "calendar").value_or("standard")));
        const bool mixed = one_of(calendar, {"standard", "gregorian", ""});
        if (!mixed && calendar != "proleptic_gregorian") {
          a.failure = "the time coordinate " + a.name + " is in the calendar '" + calendar +
                      "'; ingest reads the standard (gregorian) and proleptic_gregorian calendars only";
          return;
        }
        const auto fills = numeric_att(ncid, a.coordinate, "_FillValue", 1);
        for (const double x : v) {
          if (!fills.empty() && x == fills[0]) {
            a.failure = "the time coordinate " + a.name + " holds its fill value: a time is missing";
            return;
          }
          auto t = valid_time(x, *u, mixed);
          if (auto* why = std::get_if<std::string>(&t)) {
            a.failure = "the time coordinate " + a.name + " (" + a.units + ") holds " + *why;
            return;
          }
          a.times.push_back(std::get<ValidTime>(t));
          a.time_words.push_back(a.name + " " + real(x) + " " + trimmed(a.units));
        }
        return;
      }
      case Role::none:
        return;
    }
  };

  // Grids already worked out, by their latitude and longitude dimensions.
  std::map<std::pair<int, int>, GridInfo> grids;
  auto grid_of = [&](int lat_dim, int lon_dim) -> GridInfo {
    if (auto it = grids.find({lat_dim, lon_dim}); it != grids.end()) return it->second;
    Axis& la = axes[lat_dim];
    Axis& lo = axes[lon_dim];
    if (la.length * lo.length > static_cast<std::size_t>(max_plane_points) ||
        (lo.length != 0 && la.length > static_cast<std::size_t>(max_plane_points) / lo.length))
      throw SizeFailure(path_ + ": the grid of " + la.name + " and " + lo.name + " claims " +
                        decimal(static_cast<long long>(lo.length)) + " x " + decimal(static_cast<long long>(la.length)) +
                        " points, more than the limit of " + decimal(max_plane_points) + " a plane");
    load(la);
    load(lo);
    for (const Axis* a : {&la, &lo})
      if (!a->failure.empty()) throw fail(a->failure);
    GridInfo g;
    g.type = "regular_ll";
    g.ni = static_cast<std::int64_t>(lo.length);
    g.nj = static_cast<std::int64_t>(la.length);
    if (g.ni < 1 || g.nj < 1) {
      grids[{lat_dim, lon_dim}] = g;
      return g;
    }
    // Evenly spaced, within what 4-byte coordinates can state.
    auto even = [](const std::vector<double>& v, bool wrap, double& step) {
      if (v.size() < 2) return true;
      auto diff = [&](std::size_t k) {
        double d = v[k] - v[k - 1];
        if (wrap) d = std::remainder(d, 360.0);
        return d;
      };
      double sum = 0;
      for (std::size_t k = 1; k < v.size(); ++k) sum += diff(k);
      step = sum / static_cast<double>(v.size() - 1);
      if (!(std::fabs(step) > 0)) return false;
      const double tol = 2e-4 + 1e-3 * std::fabs(step);
      double at = v[0];
      for (std::size_t k = 1; k < v.size(); ++k) {
        at += diff(k);
        if (std::fabs(at - (v[0] + static_cast<double>(k) * step)) > tol) return false;
      }
      return true;
    };
    double dlat = 0, dlon = 0;
    const bool lat_even = even(la.values, false, dlat), lon_even = even(lo.values, true, dlon);
    if (!lat_even || !lon_even) {
      g.type = !lat_even ? "unevenly spaced latitudes" : "unevenly spaced longitudes";
      grids[{lat_dim, lon_dim}] = g;
      return g;
    }
    g.lat_first = la.values.front();
    g.lat_last = g.nj > 1 ? la.values.front() + static_cast<double>(g.nj - 1) * dlat : g.lat_first;
    g.lon_first = lo.values.front();
    g.lon_last = g.ni > 1 ? lo.values.front() + static_cast<double>(g.ni - 1) * dlon : g.lon_first;
    if (g.nj > 1) g.dj = std::fabs(dlat);
    if (g.ni > 1) g.di = std::fabs(dlon);
    g.j_positive = dlat > 0;
    g.i_negative = dlon < 0;
    grids[{lat_dim, lon_dim}] = g;
    return g;
  };

  std::int64_t total_fields = 0;
  for (const int vid : varids) {
    char cname[NC_MAX_NAME + 1] = {};
    nc_type type = 0;
    int rank = 0;
    check(nc_inq_varname(ncid, vid, cname), "variable " + decimal(vid));
    const std::string name = cname;
    check(nc_inq_vartype(ncid, vid, &type), "variable " + name);
    check(nc_inq_varndims(ncid, vid, &rank), "variable " + name);
    if (rank < 2) continue;  // scalars, coordinates, labels
    if (rank > NC_MAX_VAR_DIMS) throw fail("variable " + name + " claims " + decimal(rank) + " dimensions");
    std::vector<int> vdims(static_cast<std::size_t>(rank));
    check(nc_inq_vardimid(ncid, vid, vdims.data()), "variable " + name);
    Variable v;
    v.id = vid;
    v.name = name;
    v.type = type;
    std::string dims_words;
    std::string passed;  // why it holds no field
    for (int k = 0; k < rank; ++k) {
      const auto it = axes.find(vdims[static_cast<std::size_t>(k)]);
      if (it == axes.end()) throw fail("variable " + name + " is on a dimension the file does not have");
      Axis& a = it->second;
      v.shape.push_back(a.length);
      dims_words += (dims_words.empty() ? "" : ", ") + a.name + " " + decimal(static_cast<long long>(a.length));
      int* slot = a.role == Role::lat        ? &v.lat
                  : a.role == Role::lon      ? &v.lon
                  : a.role == Role::pressure ? &v.level
                  : a.role == Role::time     ? &v.time
                  : a.role == Role::member   ? &v.member
                                             : nullptr;
      if (slot && *slot < 0) {
        *slot = k;
      } else if (a.length != 1 && passed.empty()) {
        passed = slot ? "on two dimensions of one kind" :
                 !a.unusable.empty() ? "on dimension " + a.name + ", where " + a.unusable
                                     : "on dimension " + a.name + " of " + decimal(static_cast<long long>(a.length)) +
                                           ", which is no latitude, longitude, pressure, time or member axis";
      }
    }
    if (passed.empty() && (v.lat < 0 || v.lon < 0)) passed = "not on a latitude and a longitude axis";
    if (passed.empty() && !field_type(type)) passed = "of type " + type_words(type);
    if (!passed.empty()) {
      others_.push_back(name + " (" + dims_words + ": " + passed + ")");
      continue;
    }
    v.value_bytes = bytes_of(type);
    check_extent(vid, name, v.shape, v.value_bytes);

    Axis& lat = axes[vdims[static_cast<std::size_t>(v.lat)]];
    Axis& lon = axes[vdims[static_cast<std::size_t>(v.lon)]];
    GridInfo grid = grid_of(vdims[static_cast<std::size_t>(v.lat)], vdims[static_cast<std::size_t>(v.lon)]);
    grid.j_consecutive = v.lon < v.lat;  // stored column by column
    v.points = static_cast<std::int64_t>(lat.length * lon.length);
    Axis* time = v.time >= 0 ? &axes[vdims[static_cast<std::size_t>(v.time)]] : nullptr;
    Axis* level = v.level >= 0 ? &axes[vdims[static_cast<std::size_t>(v.level)]] : nullptr;
    Axis* member = v.member >= 0 ? &axes[vdims[static_cast<std::size_t>(v.member)]] : nullptr;
    for (Axis* a : {time, level, member}) {
      if (!a) continue;
      if (a->coordinate < 0) throw fail("variable " + name + " is on dimension " + a->name + ", which has no coordinate");
      load(*a);
      if (!a->failure.empty()) throw fail(a->failure + " (the axis of variable " + name + ")");
    }
    v.times = time ? time->length : 1;
    v.levels = level ? level->length : 1;
    v.members = member ? member->length : 1;
    const auto planes = static_cast<std::int64_t>(v.times * v.levels * v.members);
    if (planes > max_netcdf_fields - total_fields)
      throw SizeFailure(path_ + ": variable " + name + " brings the fields of the file to more than the limit of " +
                        decimal(max_netcdf_fields) + "; cut the file into fewer times or levels first");
    total_fields += planes;

    // The quantity.
    const std::string standard = text_att(ncid, vid, "standard_name").value_or("");
    const std::string units = text_att(ncid, vid, "units").value_or("");
    const Known* known = nullptr;
    for (const Known& k : short_names)
      if (name == k.name) known = &k;
    if (!known)
      for (const Known& k : standard_names)
        if (standard == k.name) known = &k;
    const long param = known ? known->param : 0;
    v.units = unit_change(param, units);

    // Packing and missing points.
    const auto scale = numeric_att(ncid, vid, "scale_factor", 1);
    const auto offset = numeric_att(ncid, vid, "add_offset", 1);
    if (!scale.empty() || !offset.empty()) {
      v.packed = true;
      v.scale = scale.empty() ? 1.0 : scale[0];
      v.offset = offset.empty() ? 0.0 : offset[0];
      if (!std::isfinite(v.scale) || !std::isfinite(v.offset))
        throw fail("variable " + name + " has a scale_factor or add_offset that is not a number");
    }
    const auto fill = numeric_att(ncid, vid, "_FillValue", 1);
    const auto missing = numeric_att(ncid, vid, "missing_value", 16);
    v.fills.insert(v.fills.end(), fill.begin(), fill.end());
    v.fills.insert(v.fills.end(), missing.begin(), missing.end());
    // Without a _FillValue of its own, a real's unwritten points hold
    // libnetcdf's default fill, a value no data has.
    if (fill.empty() && type == NC_FLOAT) v.fills.push_back(static_cast<double>(NC_FILL_FLOAT));
    if (fill.empty() && type == NC_DOUBLE) v.fills.push_back(NC_FILL_DOUBLE);

    const int number = static_cast<int>(vars_.size()) + 1;
    vars_.push_back(std::move(v));
    const Variable& var = vars_.back();

    FieldInfo base;
    base.file = index_;
    base.message = number;
    base.centre = centre.number;
    base.centre_name = centre.name;
    base.param_id = param;
    base.short_name = name;
    base.variable = name;
    base.unit_conversion = var.units.words;
    base.grid = grid;
    base.points = var.points;
    base.length = var.points * static_cast<std::int64_t>(var.value_bytes);
    if (level) {
      base.level_type = "isobaricInhPa";
    } else if (known && known->soil > 0) {
      base.level_type = "depthBelowLandLayer";
      base.depth_top_m = soil_depths[known->soil - 1];
      base.depth_bottom_m = soil_depths[known->soil];
    } else {
      base.level_type = "surface";
    }
    base.timeless = time == nullptr;
    if (base.timeless) base.run = "no time axis";
    for (std::size_t t = 0; t < var.times; ++t)
      for (std::size_t l = 0; l < var.levels; ++l)
        for (std::size_t m = 0; m < var.members; ++m) {
          FieldInfo f = base;
          f.offset = static_cast<std::int64_t>((t * var.levels + l) * var.members + m);
          if (time) {
            f.valid = time->times[t];
            f.run = time->time_words[t];
          }
          if (level) f.pressure_hpa = level->pressures[l];
          if (member) f.member = member->members[m];
          fields_.push_back(std::move(f));
        }
  }
}

void NetcdfSource::valid_at(const std::vector<ValidTime>& times) {
  if (times.empty()) return;
  std::vector<FieldInfo> all;
  for (FieldInfo& f : fields_) {
    if (!f.timeless) {
      all.push_back(std::move(f));
      continue;
    }
    for (const ValidTime& t : times) {
      FieldInfo g = f;
      g.valid = t;
      g.timeless = false;
      all.push_back(std::move(g));
    }
  }
  fields_ = std::move(all);
}

namespace {

template <class T>
void unpack(const unsigned char* bytes, std::size_t n, const NetcdfSource::Variable& v, double* out);

}  // namespace

void NetcdfSource::read(const FieldInfo& f, DecodeScratch& scratch, std::vector<double>& values) const {
  const std::string where = path_ + ": variable " + f.variable + " (" + f.level_words() + ", " + f.valid.words() + ")";
  if (f.message < 1 || f.message > static_cast<int>(vars_.size()) || f.file != index_)
    throw IoFailure(where + ": not a field of this file");
  const Variable& v = vars_[static_cast<std::size_t>(f.message - 1)];
  if (v.points < 1 || v.points > max_plane_points)
    throw SizeFailure(where + ": claims " + decimal(v.points) + " values, more than the limit of " +
                      decimal(max_plane_points) + " a plane");
  // The plane's place along the variable's other axes.
  const auto plane = static_cast<std::size_t>(f.offset);
  std::vector<std::size_t> start(v.shape.size(), 0), count(v.shape.size(), 1);
  count[static_cast<std::size_t>(v.lat)] = v.shape[static_cast<std::size_t>(v.lat)];
  count[static_cast<std::size_t>(v.lon)] = v.shape[static_cast<std::size_t>(v.lon)];
  if (v.member >= 0) start[static_cast<std::size_t>(v.member)] = plane % v.members;
  if (v.level >= 0) start[static_cast<std::size_t>(v.level)] = plane / v.members % v.levels;
  if (v.time >= 0) start[static_cast<std::size_t>(v.time)] = plane / v.members / v.levels;
  const auto n = static_cast<std::size_t>(v.points);
  scratch.bytes.resize(n * v.value_bytes);
  int status = 0;
  {
    std::lock_guard<std::mutex> lock(library());
    status = nc_get_vara(ncid_, v.id, start.data(), count.data(), scratch.bytes.data());
  }
  if (status != NC_NOERR) throw IoFailure(where + ": cannot be read (" + nc_strerror(status) + ")");
  values.resize(n);
  const unsigned char* b = scratch.bytes.data();
  switch (v.type) {
    case NC_BYTE: unpack<signed char>(b, n, v, values.data()); break;
    case NC_UBYTE: unpack<unsigned char>(b, n, v, values.data()); break;
    case NC_SHORT: unpack<short>(b, n, v, values.data()); break;
    case NC_USHORT: unpack<unsigned short>(b, n, v, values.data()); break;
    case NC_INT: unpack<int>(b, n, v, values.data()); break;
    case NC_UINT: unpack<unsigned int>(b, n, v, values.data()); break;
    case NC_FLOAT: unpack<float>(b, n, v, values.data()); break;
    case NC_DOUBLE: unpack<double>(b, n, v, values.data()); break;
    default: throw IoFailure(where + ": is of type " + type_words(v.type));
  }
}

namespace {

// Stored values (native byte order, as libnetcdf gives them) to values in
// the parameter's units; fill and missing values, and NaN, undefined.
template <class T>
void unpack(const unsigned char* bytes, std::size_t n, const NetcdfSource::Variable& v, double* out) {
  const double* fills = v.fills.data();
  const std::size_t nfills = v.fills.size();
  const bool packed = v.packed, units = v.units.scale != 1.0 || v.units.offset != 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    T raw;
    std::memcpy(&raw, bytes + k * sizeof(T), sizeof(T));
    const auto r = static_cast<double>(raw);
    bool undefined = r != r;
    for (std::size_t m = 0; m < nfills && !undefined; ++m) undefined = r == fills[m];
    if (undefined) {
      out[k] = undefined_double;
      continue;
    }
    double x = packed ? r * v.scale + v.offset : r;
    if (units) x = x * v.units.scale + v.units.offset;
    out[k] = x;
  }
}

}  // namespace

}  // namespace c2m::ingest
