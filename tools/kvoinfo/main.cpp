// kvoinfo: shows what a model data file written by conv2model holds.
// Reads the arguments, runs the request and turns failures into exit
// status 2; everything else is in the library.
#include <cerrno>
#include <charconv>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "errors.hpp"
#include "kvoinfo.hpp"

namespace {

constexpr int status_ok = 0;
constexpr int status_failure = 2;

constexpr std::string_view synopsis =
    "usage: kvoinfo [--record N [--png PICTURE]] MODEL_DATA_FILE\n"
    "       kvoinfo --ctl MODEL_DATA_FILE\n"
    "       kvoinfo --help\n";

constexpr std::string_view help =
    "\n"
    "Shows what a model data file NAME.KVOwrk written by conv2model holds.  Its\n"
    "grid description NAME.KVOwrk.gdsinfo must lie beside it.  The file size is\n"
    "checked against the grid: (5 x lm + 12) records of im x jm x 4 bytes.\n"
    "\n"
    "  (no option)      inventory: the grid, then one line per record with its\n"
    "                   field, level (hPa, or sfc), minimum, maximum, mean and the\n"
    "                   number of missing (-99999.0), NaN and infinite points,\n"
    "                   which are left out of minimum, maximum and mean\n"
    "  --record N       the inventory line of record N alone\n"
    "  --png PICTURE    with --record N: write a PNG of record N, one pixel per\n"
    "                   grid point, north at the top, missing points grey, a colour\n"
    "                   bar below with the minimum and maximum (a grid narrower\n"
    "                   than the two labels gets a white margin on the right)\n"
    "  --ctl            print a GrADS-style data descriptor; save it beside the\n"
    "                   model data file\n"
    "  -h, --help       this text\n"
    "\n"
    "Records: 1..lm zonal wind (level 1 the bottom), lm+1..2lm meridional wind,\n"
    "2lm+1..3lm geopotential height, 3lm+1..4lm specific humidity, 4lm+1..5lm\n"
    "temperature, then the surface fields: 5lm+1 land-sea mask, 5lm+2 MSL pressure,\n"
    "5lm+3 surface pressure, 5lm+4 topography, 5lm+5..5lm+12 soil temperature and\n"
    "soil moisture of layers 1 to 4.\n"
    "\n"
    "Examples (a run with lm = 4):\n"
    "  kvoinfo case.bin.KVOwrk\n"
    "  kvoinfo --record 24 --png topography.png case.bin.KVOwrk\n"
    "  kvoinfo --record 17 --png t_bottom.png case.bin.KVOwrk\n"
    "  kvoinfo --ctl case.bin.KVOwrk > case.bin.KVOwrk.ctl\n"
    "\n"
    "Exit status: 0 done; 2 wrong usage, or a file that cannot be read or written.\n";

struct UsageError {
  std::string message;
};

// "--name VALUE" or "--name=VALUE"; ARG is at index I, which moves past VALUE.
bool option_value(std::string_view arg, std::string_view name, int argc, char** argv, int& i,
                  std::string& value) {
  if (arg == name) {
    if (i + 1 >= argc) throw UsageError{std::string(name) + " needs a value"};
    value = argv[++i];
    return true;
  }
  if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=') {
    value = std::string(arg.substr(name.size() + 1));
    return true;
  }
  return false;
}

kvo::Request parse(int argc, char** argv, bool& wants_help) {
  kvo::Request request;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::string value;
    if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
      if (!request.data_path.empty())
        throw UsageError{"one model data file at a time (got " + request.data_path + " and " +
                         std::string(arg) + ")"};
      request.data_path = arg;
    } else if (arg == "--") {
      options_done = true;
    } else if (arg == "-h" || arg == "--help") {
      wants_help = true;
    } else if (arg == "--ctl") {
      request.descriptor = true;
    } else if (option_value(arg, "--record", argc, argv, i, value)) {
      if (request.record) throw UsageError{"--record given twice"};
      std::int64_t n = 0;
      const auto r = std::from_chars(value.data(), value.data() + value.size(), n);
      if (r.ec != std::errc() || r.ptr != value.data() + value.size())
        throw UsageError{"--record wants a record number, not \"" + value + "\""};
      request.record = n;
    } else if (option_value(arg, "--png", argc, argv, i, value)) {
      if (request.png_path) throw UsageError{"--png given twice"};
      if (value.empty()) throw UsageError{"--png needs a file name"};
      request.png_path = value;
    } else {
      throw UsageError{"unknown option " + std::string(arg)};
    }
  }
  if (wants_help) return request;
  if (request.data_path.empty()) throw UsageError{"no model data file given"};
  if (request.png_path && !request.record)
    throw UsageError{"--png needs --record N: which record to draw"};
  if (request.descriptor && (request.record || request.png_path))
    throw UsageError{"--ctl describes the whole file: it takes neither --record nor --png"};
  return request;
}

}  // namespace

int main(int argc, char** argv) {
  bool wants_help = false;
  kvo::Request request;
  try {
    request = parse(argc, argv, wants_help);
  } catch (const UsageError& e) {
    std::cerr << "kvoinfo: " << e.message << '\n'
              << synopsis << "Try 'kvoinfo --help' for more.\n";
    return status_failure;
  }
  if (wants_help) {
    std::cout << synopsis << help;
    return status_ok;
  }

  try {
    kvo::run(request, std::cout);
  } catch (const kvo::Error& e) {
    std::cout.flush();
    std::cerr << "kvoinfo: " << e.what() << '\n';
    return status_failure;
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << "kvoinfo: " << request.data_path << ": not enough memory for one record\n";
    return status_failure;
  }

  errno = 0;
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "kvoinfo: standard output: cannot write"
              << (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()) << '\n';
    return status_failure;
  }
  return status_ok;
}
