#include "source/open_source.hpp"

#include <algorithm>

#include "source/grib_source.hpp"
#include "source/source_file.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

// The fields that hold at any time stated at the times of the others, or
// at CHOSEN.
void give_times(Sources& sources, const std::optional<ValidTime>& chosen) {
  std::vector<ValidTime> times;
  bool timeless = false;
  for (const auto& s : sources)
    for (const FieldInfo& f : s->fields()) {
      if (f.timeless) timeless = true;
      else if (std::find(times.begin(), times.end(), f.valid) == times.end()) times.push_back(f.valid);
    }
  if (!timeless) return;
  if (times.empty() && chosen) times.push_back(*chosen);
  std::sort(times.begin(), times.end());
  for (auto& s : sources) s->valid_at(times);
  if (times.empty())
    for (const auto& s : sources)
      if (std::any_of(s->fields().begin(), s->fields().end(), [](const FieldInfo& f) { return f.timeless; }))
        throw IoFailure(s->path() + ": its variables have no time axis, and no other file states a validity "
                        "time: give it with --time YYYYMMDDHH");
}

}  // namespace

std::unique_ptr<FieldSource> open_source(const std::string& path, int index, const SourceOptions& options) {
  SourceFile file(path);
  if (netcdf_format(file.head().data(), file.head().size()))
    return std::make_unique<NetcdfSource>(std::move(file), index, options.centre);
  return std::make_unique<GribSource>(std::move(file), index, options.threads, options.partial);
}

Sources open_sources(const std::vector<std::string>& files, const SourceOptions& options,
                     const std::optional<ValidTime>& chosen) {
  Sources sources;
  for (std::size_t n = 0; n < files.size(); ++n)
    sources.push_back(open_source(files[n], static_cast<int>(n), options));
  give_times(sources, chosen);
  return sources;
}

}  // namespace c2m::ingest
