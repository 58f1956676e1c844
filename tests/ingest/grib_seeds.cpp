// Writes the seed corpus of the GRIB ingest fuzz target: small whole cases
// (4 x 3 points, 2 levels) as synth writes them, in both editions and both
// packings, with NCEP's winds of a level in one message; and the first
// messages of the real files of python-grib-doc whose message is small
// (GRIB 1 and 2; simple, complex, spectral and JPEG 2000 packing; regular,
// reduced, rotated, Lambert and polar stereographic grids), each alone or
// in a few.  grib_seeds DIR (fuzz/corpus/grib_ingest_fuzz).
#include <cstdio>
#include <fstream>
#include <string>

#include "grib_files.hpp"

namespace {

// The first COUNT messages of FILE whose length is at most LIMIT bytes.
std::string first_messages(const std::string& file, int count, std::size_t limit) {
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) return "";
  std::string out;
  int err = 0;
  for (int n = 0; n < count;) {
    codes_handle* h = codes_handle_new_from_file(nullptr, f, PRODUCT_GRIB, &err);
    if (!h) break;
    const void* msg = nullptr;
    std::size_t size = 0;
    if (codes_get_message(h, &msg, &size) == 0 && size <= limit) {
      out.append(static_cast<const char*>(msg), size);
      ++n;
    }
    codes_handle_delete(h);
  }
  std::fclose(f);
  return out;
}

void write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: grib_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1] + std::string("/");
  testsupport::ScratchDir work;
  ingesttest::make_case(work.path(), 4, 3, 40.0, -1.0, 1.0, 2);
  int seeds = 0;
  auto seed = [&](const std::string& name, const std::string& bytes) {
    if (bytes.empty()) return;
    write(dir + name, bytes);
    ++seeds;
  };
  seed("synth_grib2_ieee", ingesttest::case_as_grib(work.path()));
  seed("synth_grib2_simple16", ingesttest::case_as_grib(work.path(), false, true));
  seed("synth_grib1_ieee", ingesttest::case_as_grib(work.path(), true));
  seed("synth_grib1_simple16", ingesttest::case_as_grib(work.path(), true, true));
  seed("synth_grib2_winds_in_one_message", ingesttest::winds_together(ingesttest::case_as_grib(work.path())));
  // The packings ingest decodes itself besides simple packing: complex
  // (GFS's), CCSDS (ECMWF's open data) and JPEG 2000.
  for (const char* packing : {"grid_complex_spatial_differencing", "grid_ccsds", "grid_jpeg"}) {
    const std::string name = std::string(packing).substr(5, 5) == "compl" ? "complex" : std::string(packing).substr(5);
    seed("synth_grib2_" + name, ingesttest::rewrite(ingesttest::case_as_grib(work.path()), [&](ingesttest::Message& m) {
           const auto v = m.values();
           m.set("packingType", std::string(packing));
           m.set("bitsPerValue", 16L);
           m.set_values(v);
           return true;
         }));
  }

  const std::string ex = GRIB_EXAMPLES "/";
  const struct {
    const char* name;
    const char* file;
    int count;
  } real[] = {
      {"gfs_grib2_complex_packing", "gfs.t12z.pgrbf120.2p5deg.grib2", 3},
      {"gfs_grib1", "gfs.grb", 2},
      {"regular_ll_grib1", "regular_latlon_surface.grib1", 1},
      {"regular_ll_grib2", "regular_latlon_surface.grib2", 1},
      {"spectral_grib1", "spherical_pressure_level.grib1", 1},
      {"jpeg2000_polar_stereographic", "safrica.grib2", 2},
      {"jpeg2000_gaussian", "flux.grb", 2},
      {"lambert", "eta.grb", 2},
      {"lambert_no_radius", "no-radius-shapeOfEarth-7.grb2", 1},
      {"polar_stereographic_grib1", "ngm.grb", 2},
      {"polar_stereographic_cmc", "CMC_reg_WIND_ISBL_300_ps60km_2010052400_P012.grib", 1},
  };
  for (const auto& r : real) seed(r.name, first_messages(ex + r.file, r.count, 40000));
  std::printf("%d seeds written in %s\n", seeds, dir.c_str());
  return 0;
}
