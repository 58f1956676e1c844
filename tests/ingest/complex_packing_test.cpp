// The decoder of complex packing (GFS's, with spatial differencing, and
// without) against ecCodes: the same doubles bit for bit, for every
// number of bits, decimal scale, order of differencing and bitmap, and for
// every such message of python-grib-doc's real files; a message it does
// not take, or whose groups do not add up, left to ecCodes; and a case
// ingested from such a file the same, byte for byte, as from the same
// values read by ecCodes alone.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "grib_files.hpp"
#include "source/complex_packing.hpp"

using namespace ingesttest;
using c2m::ingest::Decoding;
using c2m::ingest::PackedIntegers;
using c2m::ingest::packed_values;
using c2m::ingest::packed_values_range;
using c2m::ingest::decode_complex_integers;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

constexpr double missing = static_cast<double>(9.999e20f);

// The values of MESSAGE by the decoder, or nothing when it does not take it.
std::optional<std::vector<double>> decoded(const std::string& message) {
  PackedIntegers ints;
  if (decode_complex_integers(bytes_of(message), points_of(message), ints).kind != Decoding::decoded) return std::nullopt;
  std::vector<double> v;
  packed_values(ints, missing, v);
  return v;
}

// Octet K (from 1) of section NUM of GRIB 2 message M.
std::size_t octet(const std::string& m, int num, std::size_t k) {
  std::size_t pos = 16;
  while (pos + 5 < m.size() && m[pos + 4] != num) pos += be32(m, pos);
  return pos + k - 1;
}

// Fields in GRIB 2 message M: its data sections.
int data_sections(const std::string& m) {
  int n = 0;
  for (std::size_t pos = 16; pos + 5 < m.size(); pos += be32(m, pos)) n += m[pos + 4] == 7;
  return n;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

class ComplexPacking : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    make_case(dir_->path(), 37, 23, 30.0, -10.0, 1.0, 2);
    ieee_ = case_as_grib(dir_->path());
  }
  static void TearDownTestSuite() { delete dir_; }
  static ScratchDir* dir_;
  static std::string ieee_;
};

ScratchDir* ComplexPacking::dir_ = nullptr;
std::string ComplexPacking::ieee_;

// The messages of BYTES repacked by ecCodes as PACKING with BITS bits and
// decimal scale DECIMAL.
std::string repacked(const std::string& bytes, const std::string& packing, long bits, long decimal) {
  return rewrite(bytes, [&](Message& m) {
    const auto v = m.values();
    m.set("packingType", packing);
    m.set("bitsPerValue", bits);
    m.set("decimalScaleFactor", decimal);
    m.set_values(v);
    return true;
  });
}

struct Packing {
  const char* packing;
  long bits, decimal;
};

TEST_F(ComplexPacking, TheSameDoublesAsEccodesForEveryPacking) {
  // ecCodes writes template 5.3 without differencing (order 0): the
  // orders 1 and 2 are those of the real files below.
  const Packing rows[] = {
      {"grid_complex_spatial_differencing", 16, 0}, {"grid_complex_spatial_differencing", 12, 2},
      {"grid_complex_spatial_differencing", 24, 3}, {"grid_complex_spatial_differencing", 8, -1},
      {"grid_complex_spatial_differencing", 20, 4}, {"grid_complex_spatial_differencing", 3, 0},
      {"grid_complex", 16, 0},                      {"grid_complex", 10, 2},
      {"grid_complex", 23, 1},
  };
  for (const Packing& row : rows) {
    const std::string what = std::string(row.packing) + ", " + std::to_string(row.bits) + " bits, decimal scale " +
                             std::to_string(row.decimal);
    int taken = 0, bitmapped = 0;
    for (const std::string& msg : messages_of(repacked(ieee_, row.packing, row.bits, row.decimal))) {
      const auto want = values_by_eccodes(msg);
      const auto got = decoded(msg);
      // A field of one value throughout is packed simply by ecCodes.
      if (!got) continue;
      ++taken;
      bitmapped += std::count(want.begin(), want.end(), missing) > 0;
      EXPECT_TRUE(same_bits(*got, want)) << what;
    }
    EXPECT_GT(taken, 20) << what;
    EXPECT_GT(bitmapped, 0) << what << ": soil over sea is bitmapped";
  }
}

TEST(ComplexPackingOfRealFiles, TheSameDoublesAsEccodesForEveryMessage) {
  // NCEP's GFS at 2.5 degrees and 0.5 degrees, and a RAP message:
  // differences of the first and the second order, with and without bitmaps.
  for (const char* name : {"gfs.t12z.pgrbf120.2p5deg.grib2", "gfs.grb", "rap.wrfnat.grib2"}) {
    // Every message of them of one field has such a packing.  Left to
    // ecCodes: messages of two fields (NCEP puts u and v in one) and
    // fields of one value throughout, stated as no groups.
    int number = 0, taken = 0;
    for (const std::string& msg : messages_of(testsupport::read_file(std::string(GRIB_EXAMPLES) + "/" + name))) {
      ++number;
      if (data_sections(msg) != 1 || be32(msg, octet(msg, 5, 32)) == 0) continue;
      ++taken;
      const auto got = decoded(msg);
      ASSERT_TRUE(got) << name << ", message " << number;
      EXPECT_TRUE(same_bits(*got, values_by_eccodes(msg))) << name << ", message " << number;
    }
    EXPECT_GT(taken, 0) << name;
  }
}

TEST_F(ComplexPacking, ValuesOfAnyRangeAreThoseOfTheWhole) {
  // A field with every point and one bitmapped (soil over sea), cut at
  // points that are not whole octets of the bitmap.
  int seen[2] = {0, 0};
  for (const std::string& msg : messages_of(repacked(ieee_, "grid_complex_spatial_differencing", 16, 1))) {
    PackedIntegers ints;
    if (decode_complex_integers(bytes_of(msg), points_of(msg), ints).kind != Decoding::decoded) continue;
    const bool bitmapped = ints.bitmap != nullptr;
    if (seen[bitmapped]++) continue;
    const std::vector<double> want = values_by_eccodes(msg);
    for (const auto& [first, count] : {std::pair{0, 37}, {3, 251}, {500, 251}, {850, 1}}) {
      std::vector<double> part(static_cast<std::size_t>(count));
      packed_values_range(ints, static_cast<std::uint64_t>(first), missing, part);
      EXPECT_EQ(std::memcmp(part.data(), want.data() + first, part.size() * sizeof(double)), 0)
          << first << (bitmapped ? ", bitmapped" : "");
    }
  }
  EXPECT_TRUE(seen[0] && seen[1]);
}

struct Refused {
  const char* name;
  std::function<void(std::string&)> edit;
  Decoding::Kind kind;  // left to ecCodes, or refused as corrupt
};

TEST(ComplexPackingRefused, MessagesItDoesNotTakeAreLeftToEccodesAndThoseThatDoNotAddUpAreCorrupt) {
  // A GFS message: differences of the first order, two octets a descriptor.
  const std::string msg =
      messages_of(testsupport::read_file(std::string(GRIB_EXAMPLES) + "/gfs.t12z.pgrbf120.2p5deg.grib2"))[0];
  ASSERT_TRUE(decoded(msg));
  const auto ecc = Decoding::not_taken, corrupt = Decoding::corrupt;
  const Refused rows[] = {
      {"missing values managed in the groups", [](std::string& b) { b[octet(b, 5, 23)] = 1; }, ecc},
      {"no groups: one value throughout", [](std::string& b) { put_be32(b, octet(b, 5, 32), 0); }, ecc},
      {"another template of section 5", [](std::string& b) { b[octet(b, 5, 11)] = 0; }, ecc},
      {"differences of the third order", [](std::string& b) { b[octet(b, 5, 48)] = 3; }, corrupt},
      {"no octets for the extra descriptors", [](std::string& b) { b[octet(b, 5, 49)] = 0; }, corrupt},
      {"a last group longer than the values left", [](std::string& b) { put_be32(b, octet(b, 5, 43), 1u << 30); },
       corrupt},
      {"a last group shorter", [](std::string& b) { put_be32(b, octet(b, 5, 43), be32(b, octet(b, 5, 43)) - 1); },
       corrupt},
      {"more groups than values", [](std::string& b) { put_be32(b, octet(b, 5, 32), 1u << 30); }, corrupt},
      {"groups 40 bits wide", [](std::string& b) { b[octet(b, 5, 36)] = 40; }, corrupt},
      {"group references of 33 bits", [](std::string& b) { b[octet(b, 5, 20)] = 33; }, corrupt},
      {"the data section cut short",
       [](std::string& b) {
         const std::size_t s7 = octet(b, 7, 1);
         b = b.substr(0, s7) + std::string("\0\0\0\x0f\x07", 5) + std::string(10, '\0') + "7777";
         for (int k = 0; k < 8; ++k)
           b[static_cast<std::size_t>(8 + k)] = static_cast<char>((b.size() >> (56 - 8 * k)) & 0xff);
       },
       corrupt},
  };
  for (const Refused& row : rows) {
    std::string b = msg;
    row.edit(b);
    PackedIntegers ints;
    EXPECT_EQ(decode_complex_integers(bytes_of(b), points_of(msg), ints).kind, row.kind) << row.name;
  }
}

TEST_F(ComplexPacking, GroupsThatDoNotAddUpAreACorruptMessageNotACrash) {
  // ecCodes ends the program on an assertion reading such a message;
  // ingest names it and stops with the input status.
  const std::string bytes = edit_sections(repacked(ieee_, "grid_complex_spatial_differencing", 16, 1),
                                          [](std::string& b, std::size_t at, int num) {
                                            if (num == 5) put_be32(b, at + 42, be32(b, at + 42) + 5);
                                          });
  ScratchDir work;
  write_file(work / "in.grib", bytes);
  const auto r = conv2model(work.path(), {"ingest", "out", "in.grib"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("in.grib: message "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("its groups of complex packing do not add up to its values: it is corrupt"), std::string::npos)
      << r.err;
}

TEST(ComplexPackingIngested, TheCaseIsTheSameAsFromTheValuesEccodesDecodes) {
  // A global half-degree grid, rows from the north, whole and cut by an
  // area across 0 degrees: decoded a block of rows at a time from the
  // integers; the same values as 64-bit IEEE reals go through ecCodes.
  ScratchDir dir;
  make_case(dir.path(), 720, 361, -90.0, 0.0, 0.5, 2);
  const std::string complex = repacked(case_as_grib(dir.path(), false, true), "grid_complex_spatial_differencing", 16, 0);
  const std::string ieee = rewrite(complex, [](Message& m) {
    const auto v = m.values();
    m.set("packingType", std::string("grid_ieee"));
    m.set("precision", 2L);
    m.set_values(v);
    return true;
  });
  for (const std::vector<std::string>& area : {std::vector<std::string>{}, {"--area", "-50.2,-30,61,40.5"}}) {
    ScratchDir work;
    write_file(work / "complex.grib", complex);
    write_file(work / "ieee.grib", ieee);
    for (const char* name : {"complex", "ieee"}) {
      std::vector<std::string> args = {"ingest", "--quiet"};
      args.insert(args.end(), area.begin(), area.end());
      args.push_back(std::string("out-") + name);
      args.push_back(std::string(name) + ".grib");
      const auto r = conv2model(work.path(), args);
      ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    }
    EXPECT_TRUE(testsupport::read_file(work / "out-complex/case.bin") == testsupport::read_file(work / "out-ieee/case.bin"))
        << area.size();
  }
}

}  // namespace
