// The providers fetch downloads from, as one table: where a cycle's files
// lie below a root (URL templates), the format of the index published
// beside each GRIB file, and the provider's names of the messages it
// lists mapped to what ecCodes calls them (paramId and kind of level),
// which ingest's field table then chooses from as it chooses from a file.
// A new provider, or a name a provider changed, is one entry here.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "source/fields.hpp"

namespace c2m::fetch {

enum class IndexFormat {
  ncep,  // N:OFFSET:d=YYYYMMDDHH:VAR:LEVEL:FORECAST: a line per message
  mars,  // a JSON object per line: MARS keys, _offset and _length
};

// The kinds of level an index names, in the provider's words.
enum class LevelKind {
  isobaric,    // NCEP "500 mb"; MARS levtype pl, levelist 500 (hPa)
  surface,     // NCEP "surface"; MARS levtype sfc
  mean_sea,    // NCEP "mean sea level"; MARS levtype sfc (msl)
  soil_layer,  // NCEP "0-0.1 m below ground"
};

// A provider's name of a quantity at a kind of level, as ecCodes decodes
// such a message.
struct NameEntry {
  std::string_view name;  // NCEP's VAR, MARS's param
  LevelKind level;
  long param_id;
  std::string_view short_name;
  std::string_view level_type;  // ecCodes' typeOfLevel ("isobaricInhPa" for whole hPa)
};

// A horizontal resolution the provider publishes, and its grid as the
// provider states it (regular latitude/longitude from the north-west).
struct Resolution {
  std::string_view option;  // the value of --res: "0.25"
  std::string_view word;    // in the file names: "0p25"
  std::int64_t ni, nj;
  double lat_first, lon_first, step;
};

struct Provider {
  std::string_view name;   // --source
  std::string_view title;  // in words
  // Templates: {root} {date} (YYYYMMDD) {hh} {res} {fff} (the step in
  // three digits) {step} (the step as it is) {stream}.
  std::string_view data_template;
  std::string_view index_template;
  IndexFormat format;
  std::span<const Resolution> resolutions;  // the first is the default
  std::span<const std::string_view> roots;  // the public servers, tried in order
  std::span<const NameEntry> names;
  long centre;
  std::string_view centre_name;  // the centre's abbreviation, as ecCodes gives it
  // {stream} of the runs at 00 and 12 UTC, and of those at 06 and 18.
  std::string_view stream_main = {}, stream_short = {};
  std::string_view notes = {};  // for --help: what a case lacks from it
};

std::span<const Provider> providers();
const Provider* provider_by_name(std::string_view name);
// "gfs|ifs", for the option table.
std::string_view provider_choices();

// Where a cycle's file and its index lie below ROOT.
struct CycleFiles {
  std::string data_url, index_url;
};
CycleFiles cycle_files(const Provider& p, const Resolution& res, std::string_view root,
                       const ingest::ValidTime& cycle, int step);

// The ecCodes description of a message the index names: NAME at the
// level in the provider's words (LEVEL as NCEP writes it, or MARS's
// levtype and levelist joined by a blank).  Nothing for a message that no
// entry of P names (it is never a field of a case).
struct Described {
  long param_id = 0;
  std::string short_name, level_type;
  std::optional<float> pressure_hpa;
  std::optional<double> depth_top_m, depth_bottom_m;
};
std::optional<Described> describe(const Provider& p, std::string_view name, std::string_view level);

// The provider's table in words, for --help.
std::string providers_help();

}  // namespace c2m::fetch
