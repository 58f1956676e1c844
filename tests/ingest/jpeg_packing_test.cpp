// The decoder of JPEG 2000 packing against ecCodes: the same doubles bit
// for bit for several numbers of bits and decimal scales, with and
// without a bitmap, and for every such message of python-grib-doc's real
// files (ECMWF's TIGGE, NCEP's fluxes, a South African model); a message
// it does not take left to ecCodes; and a case ingested from such a file
// the same, byte for byte, as from the same values read by ecCodes alone.
#include <gtest/gtest.h>

#include <cstring>

#include "grib_files.hpp"
#include "source/jpeg_packing.hpp"

using namespace ingesttest;
using c2m::ingest::decode_jpeg_integers;
using c2m::ingest::Decoding;
using c2m::ingest::PackedIntegers;
using c2m::ingest::packed_values;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

constexpr double missing = static_cast<double>(9.999e20f);

std::optional<std::vector<double>> decoded(const std::string& message) {
  PackedIntegers ints;
  if (decode_jpeg_integers(bytes_of(message), points_of(message), ints).kind != Decoding::decoded) return std::nullopt;
  std::vector<double> v;
  packed_values(ints, missing, v);
  return v;
}

bool same_bits(const std::optional<std::vector<double>>& a, const std::vector<double>& b) {
  return a && a->size() == b.size() && std::memcmp(a->data(), b.data(), b.size() * sizeof(double)) == 0;
}

std::string repacked(const std::string& bytes, long bits, long decimal) {
  return rewrite(bytes, [&](Message& m) {
    const auto v = m.values();
    m.set("packingType", std::string("grid_jpeg"));
    m.set("bitsPerValue", bits);
    m.set("decimalScaleFactor", decimal);
    m.set_values(v);
    return true;
  });
}

TEST(JpegPacking, TheSameDoublesAsEccodesForEveryPacking) {
  ScratchDir dir;
  make_case(dir.path(), 37, 23, 30.0, -10.0, 1.0, 2);
  const std::string ieee = case_as_grib(dir.path());
  for (const auto& [bits, decimal] : {std::pair{16L, 0L}, {12L, 2L}, {8L, -1L}, {24L, 3L}, {20L, 4L}}) {
    int taken = 0, bitmapped = 0;
    for (const std::string& msg : messages_of(repacked(ieee, bits, decimal))) {
      const auto want = values_by_eccodes(msg);
      const auto got = decoded(msg);
      // A field of one value throughout is packed simply by ecCodes.
      if (!got) continue;
      ++taken;
      bitmapped += std::count(want.begin(), want.end(), missing) > 0;
      EXPECT_TRUE(same_bits(got, want)) << bits << " bits, decimal scale " << decimal;
    }
    EXPECT_GT(taken, 20) << bits << " bits";
    EXPECT_GT(bitmapped, 0) << bits << " bits: soil over sea is bitmapped";
  }
}

TEST(JpegPackingOfRealFiles, TheSameDoublesAsEccodesForEveryMessage) {
  for (const char* name : {"ecmwf_tigge.grb", "flux.grb", "safrica.grib2"}) {
    int taken = 0;
    for (const std::string& msg : messages_of(testsupport::read_file(std::string(GRIB_EXAMPLES) + "/" + name))) {
      const auto got = decoded(msg);
      if (!got) continue;
      ++taken;
      EXPECT_TRUE(same_bits(got, values_by_eccodes(msg))) << name << ", message " << taken;
    }
    EXPECT_GT(taken, 3) << name;
  }
}

TEST(JpegPacking, MessagesItDoesNotTakeAreLeftToEccodesAndThoseThatDoNotAddUpAreCorrupt) {
  ScratchDir dir;
  make_case(dir.path(), 37, 23, 30.0, -10.0, 1.0, 2);
  const std::string msg = messages_of(repacked(case_as_grib(dir.path()), 16, 1))[5];
  ASSERT_TRUE(decoded(msg));
  // Octet 20 of section 5, the bits; section 7's codestream from its sixth.
  const struct {
    const char* name;
    std::function<void(std::string&, std::size_t, int)> edit;
    Decoding::Kind kind;
  } rows[] = {
      {"no bits a value", [](std::string& b, std::size_t at, int num) { if (num == 5) b[at + 19] = 0; },
       Decoding::not_taken},
      {"a codestream whose markers are broken",
       [](std::string& b, std::size_t at, int num) { if (num == 7) b[at + 5] = 0, b[at + 6] = 0; }, Decoding::corrupt},
      {"fewer values than points",
       [](std::string& b, std::size_t at, int num) { if (num == 5) put_be32(b, at + 5, be32(b, at + 5) - 1); },
       Decoding::not_taken},
  };
  for (const auto& row : rows) {
    PackedIntegers ints;
    const std::string b = edit_sections(msg, row.edit);
    EXPECT_EQ(decode_jpeg_integers(bytes_of(b), points_of(b), ints).kind, row.kind) << row.name;
  }
}

TEST(JpegPackingIngested, TheCaseIsTheSameAsFromTheValuesEccodesDecodes) {
  ScratchDir dir;
  make_case(dir.path(), 360, 181, -90.0, 0.0, 1.0, 2);
  const std::string jpeg = repacked(case_as_grib(dir.path(), false, true), 16, 0);
  const std::string ieee = rewrite(jpeg, [](Message& m) {
    const auto v = m.values();
    m.set("packingType", std::string("grid_ieee"));
    m.set("precision", 2L);
    m.set_values(v);
    return true;
  });
  ScratchDir work;
  write_file(work / "jpeg.grib", jpeg);
  write_file(work / "ieee.grib", ieee);
  for (const char* name : {"jpeg", "ieee"}) {
    const auto r = conv2model(work.path(), {"ingest", "--quiet", std::string("out-") + name, std::string(name) + ".grib"});
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
  }
  EXPECT_TRUE(testsupport::read_file(work / "out-jpeg/case.bin") == testsupport::read_file(work / "out-ieee/case.bin"));
}

}  // namespace
