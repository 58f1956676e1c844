#include "index_source.hpp"

#include <stdexcept>

namespace c2m::fetch {

ingest::GridInfo provider_grid(const Resolution& res) {
  ingest::GridInfo g;
  g.type = "regular_ll";
  g.ni = res.ni;
  g.nj = res.nj;
  g.lat_first = res.lat_first;
  g.lon_first = res.lon_first;
  g.lat_last = res.lat_first - static_cast<double>(res.nj - 1) * res.step;
  g.lon_last = res.lon_first + static_cast<double>(res.ni - 1) * res.step;
  g.di = res.step;
  g.dj = res.step;
  return g;
}

IndexSource::IndexSource(std::string url, const Index& index, const Provider& p, const ingest::GridInfo& grid,
                         const ingest::ValidTime& valid, const std::string& run)
    : url_(std::move(url)), messages_(index.messages) {
  for (const IndexEntry& e : index.entries) {
    const auto d = describe(p, e.name, e.level);
    if (!d) continue;
    ingest::FieldInfo f;
    f.file = 0;
    f.message = e.message;
    f.subfield = e.subfield;
    f.edition = 2;
    f.centre = p.centre;
    f.centre_name = std::string(p.centre_name);
    f.param_id = d->param_id;
    f.short_name = d->short_name;
    f.level_type = d->level_type;
    f.pressure_hpa = d->pressure_hpa;
    f.depth_top_m = d->depth_top_m;
    f.depth_bottom_m = d->depth_bottom_m;
    f.valid = valid;
    f.run = run;
    f.grid = grid;
    f.points = grid.ni * grid.nj;
    f.offset = e.offset;
    f.length = e.length.value_or(0);
    fields_.push_back(std::move(f));
    entries_.push_back(e);
  }
}

void IndexSource::read(const ingest::FieldInfo&, ingest::DecodeScratch&, std::vector<double>&) const {
  throw std::logic_error("the fields of an index have no values before they are downloaded");
}

const IndexEntry& IndexSource::entry_of(const ingest::FieldInfo& f) const {
  return entries_.at(static_cast<std::size_t>(&f - fields_.data()));
}

}  // namespace c2m::fetch
