// A provider's index as a source of fields, so that ingest's own planning
// (the field table, the levels, the humidity, the surface and the soil)
// chooses the messages a case needs before any GRIB byte is downloaded.
//
// The index does not state the grid: its fields are given the grid the
// provider publishes at the resolution asked for (or that of the other
// files of the case, which every field must share anyway).  The grid of
// the messages themselves is checked once they are downloaded, when the
// case is made from them.
#pragma once

#include <string>
#include <vector>

#include "index.hpp"
#include "providers.hpp"
#include "source/fields.hpp"

namespace c2m::fetch {

// The grid RES of a provider states, as a file would.
ingest::GridInfo provider_grid(const Resolution& res);

class IndexSource : public ingest::FieldSource {
 public:
  // The entries of INDEX (at URL) that P names, as fields of input file 0
  // on GRID, valid at VALID (the cycle's RUN and step, in words).
  IndexSource(std::string url, const Index& index, const Provider& p, const ingest::GridInfo& grid,
              const ingest::ValidTime& valid, const std::string& run);

  const std::string& path() const override { return url_; }
  std::string format() const override { return "index"; }
  int messages() const override { return messages_; }
  const std::vector<ingest::FieldInfo>& fields() const override { return fields_; }
  // Its fields have no values here: they are downloaded first.
  void read(const ingest::FieldInfo& f, ingest::DecodeScratch& scratch, std::vector<double>& values) const override;

  // The index entry of F, one of fields().
  const IndexEntry& entry_of(const ingest::FieldInfo& f) const;

 private:
  std::string url_;
  int messages_ = 0;
  std::vector<ingest::FieldInfo> fields_;
  std::vector<IndexEntry> entries_;  // of fields_[n] at [n]
};

}  // namespace c2m::fetch
