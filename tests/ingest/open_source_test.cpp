// Every input file is opened once (without waiting, so that a FIFO is
// refused rather than waited on), checked, told from its first bytes and
// handed open to the reader that takes it; whatever becomes of it (a
// source made and its values read through that descriptor, or the file
// refused at any step, by the check or deep in a reader), no descriptor of
// it is left open once the source is gone.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <typeinfo>

#include "grib_files.hpp"
#include "netcdf_files.hpp"
#include "source/open_source.hpp"
#include "textio/errors.hpp"

using namespace ingesttest;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

std::size_t open_descriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

class OpenSource : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    make_case(dir_->path(), 12, 8, 40.0, 0.0, 1.0, 3);
    grib2_ = case_as_grib(dir_->path());
    grib1_ = case_as_grib(dir_->path(), true);
    NcLayout packed;
    packed.packed = true;
    case_as_netcdf(dir_->path(), *dir_ / "classic.nc", packed);
    case_as_netcdf(dir_->path(), *dir_ / "netcdf4.nc", NcLayout{});
  }
  static void TearDownTestSuite() { delete dir_; }

  static ScratchDir* dir_;
  static std::string grib2_, grib1_;
};

ScratchDir* OpenSource::dir_ = nullptr;
std::string OpenSource::grib2_, OpenSource::grib1_;

TEST_F(OpenSource, EachFileToItsReaderAndNoDescriptorLeftWhateverBecomesOfIt) {
  const std::string classic = testsupport::read_file(*dir_ / "classic.nc");
  struct Row {
    const char* name;
    std::function<void(const std::string&)> make;  // the file at PATH
    std::string format;  // of the source made, or "" for a refusal
    const std::type_info* refusal;
    std::string said;
  };
  const auto bytes = [](std::string b) { return [b](const std::string& p) { write_file(p, b); }; };
  const Row rows[] = {
      {"GRIB 2", bytes(grib2_), "GRIB 2", nullptr, ""},
      {"GRIB 1", bytes(grib1_), "GRIB 1", nullptr, ""},
      {"GRIB 1 and 2 in one file", bytes(grib1_ + grib2_), "GRIB 1 and 2", nullptr, ""},
      {"netCDF 64-bit offset", bytes(classic), "netCDF 64-bit offset", nullptr, ""},
      {"netCDF-4", bytes(testsupport::read_file(*dir_ / "netcdf4.nc")), "netCDF-4", nullptr, ""},
      {"a directory", [](const std::string& p) { std::filesystem::create_directory(p); }, "", &typeid(c2m::CannotOpen),
       ": a directory, not a GRIB or netCDF file"},
      {"a FIFO, not waited on", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, "",
       &typeid(c2m::CannotOpen), ": not a regular file: a GRIB or netCDF file is wanted"},
      {"no such file", [](const std::string&) {}, "", &typeid(c2m::CannotOpen), "No such file"},
      {"an empty file", bytes(""), "", &typeid(c2m::IoFailure), ": neither GRIB nor netCDF"},
      {"a GRIB message cut short", bytes(grib2_.substr(0, grib2_.size() / 3)), "", &typeid(c2m::ShortFile),
       "it is truncated"},
      {"a classic netCDF header cut short", bytes(classic.substr(0, 60)), "", &typeid(c2m::ShortFile),
       "the netCDF header ends with the file"},
      {"the HDF5 mark and nothing of HDF5", bytes(std::string("\x89HDF\r\n\x1a\n", 8) + std::string(600, 'x')), "",
       &typeid(c2m::IoFailure), ": cannot be read as netCDF"},
  };
  int n = 0;
  for (const Row& r : rows) {
    const std::string path = *dir_ / ("input" + std::to_string(++n));
    r.make(path);
    const std::size_t before = open_descriptors();
    try {
      const auto source = c2m::ingest::open_source(path, 0, {});
      EXPECT_EQ(source->format(), r.format) << r.name;
      ASSERT_FALSE(source->fields().empty()) << r.name;
      // The values are read through the descriptor the source was given.
      const c2m::ingest::FieldInfo& f = source->fields().back();
      c2m::ingest::DecodeScratch scratch;
      std::vector<double> values;
      source->read(f, scratch, values);
      EXPECT_EQ(static_cast<std::int64_t>(values.size()), f.points) << r.name;
    } catch (const c2m::RunFailure& e) {
      EXPECT_TRUE(r.format.empty()) << r.name << ": " << e.what();
      if (r.refusal) {
        EXPECT_EQ(typeid(e), *r.refusal) << r.name << ": " << e.what();
      }
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << r.name << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(r.said), std::string::npos) << r.name << ": " << e.what();
    }
    EXPECT_EQ(open_descriptors(), before) << r.name << ": a descriptor is left open";
  }
}

}  // namespace
