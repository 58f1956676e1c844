// The decoders of the packings ingest decodes itself besides simple
// packing, against ecCodes: complex packing (GFS's, with spatial
// differencing and without), CCSDS (ECMWF's open data) and JPEG 2000.
// For each, the same doubles bit for bit for several numbers of bits and
// decimal scales, with and without a bitmap, and for every such message of
// python-grib-doc's real files; the values of any range of points those of
// the whole; a message it does not take left to ecCodes, and one whose
// packing does not add up refused as corrupt, naming it, where ecCodes
// would end the program; and a case ingested from such a file the same,
// byte for byte, as from the same values read by ecCodes alone.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>

#include "grib_files.hpp"
#include "source/ccsds_packing.hpp"
#include "source/complex_packing.hpp"
#include "source/jpeg_packing.hpp"

using namespace ingesttest;
using c2m::ingest::decode_ccsds_integers;
using c2m::ingest::decode_complex_integers;
using c2m::ingest::decode_jpeg_integers;
using c2m::ingest::Decoding;
using c2m::ingest::PackedIntegers;
using c2m::ingest::packed_values;
using c2m::ingest::packed_values_range;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

constexpr double missing = static_cast<double>(9.999e20f);

using Decoder = Decoding (*)(std::span<const unsigned char>, std::int64_t, PackedIntegers&);

// The values of MESSAGE by DECODER, or nothing when it does not take it.
std::optional<std::vector<double>> decoded(Decoder decoder, const std::string& message) {
  PackedIntegers ints;
  if (decoder(bytes_of(message), points_of(message), ints).kind != Decoding::decoded) return std::nullopt;
  std::vector<double> v;
  packed_values(ints, missing, v);
  return v;
}

bool same_bits(const std::optional<std::vector<double>>& a, const std::vector<double>& b) {
  return a && a->size() == b.size() && std::memcmp(a->data(), b.data(), b.size() * sizeof(double)) == 0;
}

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

// M with its total length in section 0 made its size again.
void total_length_fixed(std::string& m) {
  for (int k = 0; k < 8; ++k) m[static_cast<std::size_t>(8 + k)] = static_cast<char>((m.size() >> (56 - 8 * k)) & 0xff);
}

struct Packing {
  const char* name;
  const char* type;  // ecCodes' packingType
  Decoder decoder;
  std::vector<std::pair<long, long>> bits_and_decimals;
  std::vector<const char*> real_files;  // of python-grib-doc, every one-field message of it so packed
};

// ecCodes writes template 5.3 without differencing (order 0): the orders
// 1 and 2 are those of NCEP's real files.  CCSDS takes samples of 1, 2 and
// 4 bytes (24 bits: libaec's 3-byte samples, which the decoder asks in 4).
const Packing packings[] = {
    {"complex packing with spatial differencing", "grid_complex_spatial_differencing", decode_complex_integers,
     {{16, 0}, {12, 2}, {24, 3}, {8, -1}, {20, 4}, {3, 0}},
     {"gfs.t12z.pgrbf120.2p5deg.grib2", "gfs.grb", "rap.wrfnat.grib2"}},
    {"complex packing", "grid_complex", decode_complex_integers, {{16, 0}, {10, 2}, {23, 1}}, {}},
    {"CCSDS", "grid_ccsds", decode_ccsds_integers, {{16, 0}, {12, 2}, {8, -1}, {5, 0}, {24, 3}, {20, 4}, {31, 1}, {13, 1}},
     {}},
    {"JPEG 2000", "grid_jpeg", decode_jpeg_integers, {{16, 0}, {12, 2}, {8, -1}, {24, 3}, {20, 4}},
     {"ecmwf_tigge.grb", "flux.grb", "safrica.grib2"}},
};

class Packings : public ::testing::Test {
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

ScratchDir* Packings::dir_ = nullptr;
std::string Packings::ieee_;

TEST_F(Packings, TheSameDoublesAsEccodesForEveryNumberOfBitsAndScale) {
  for (const Packing& p : packings)
    for (const auto& [bits, decimal] : p.bits_and_decimals) {
      const std::string what =
          std::string(p.name) + ", " + std::to_string(bits) + " bits, decimal scale " + std::to_string(decimal);
      int taken = 0, bitmapped = 0;
      for (const std::string& msg : messages_of(repacked(ieee_, p.type, bits, decimal))) {
        const auto want = values_by_eccodes(msg);
        const auto got = decoded(p.decoder, msg);
        // A field of one value throughout is packed simply by ecCodes.
        if (!got) continue;
        ++taken;
        bitmapped += std::count(want.begin(), want.end(), missing) > 0;
        EXPECT_TRUE(same_bits(got, want)) << what;
      }
      EXPECT_GT(taken, 20) << what;
      EXPECT_GT(bitmapped, 0) << what << ": soil over sea is bitmapped";
    }
}

TEST(PackingsOfRealFiles, TheSameDoublesAsEccodesForEveryMessage) {
  // Left to ecCodes: messages of two fields (NCEP puts u and v in one) and
  // fields of one value throughout, stated as no groups (complex packing)
  // or no bits a value (JPEG 2000).
  for (const Packing& p : packings)
    for (const char* name : p.real_files) {
      int number = 0, taken = 0;
      for (const std::string& msg : messages_of(testsupport::read_file(std::string(GRIB_EXAMPLES) + "/" + name))) {
        ++number;
        const bool one_value = p.decoder == decode_complex_integers ? be32(msg, octet(msg, 5, 32)) == 0
                                                                    : msg[octet(msg, 5, 20)] == 0;
        if (data_sections(msg) != 1 || one_value) continue;
        ++taken;
        const auto got = decoded(p.decoder, msg);
        ASSERT_TRUE(got) << name << ", message " << number;
        EXPECT_TRUE(same_bits(got, values_by_eccodes(msg))) << name << ", message " << number;
      }
      EXPECT_GT(taken, 0) << name;
    }
}

TEST_F(Packings, ValuesOfAnyRangeAreThoseOfTheWhole) {
  // A field with every point and one bitmapped (soil over sea), cut at
  // points that are not whole octets of the bitmap.
  for (const Packing& p : packings) {
    int seen[2] = {0, 0};
    for (const std::string& msg : messages_of(repacked(ieee_, p.type, 16, 1))) {
      PackedIntegers ints;
      if (p.decoder(bytes_of(msg), points_of(msg), ints).kind != Decoding::decoded) continue;
      const bool bitmapped = ints.bitmap != nullptr;
      if (seen[bitmapped]++) continue;
      const std::vector<double> want = values_by_eccodes(msg);
      for (const auto& [first, count] : {std::pair{0, 37}, {3, 251}, {500, 251}, {850, 1}}) {
        std::vector<double> part(static_cast<std::size_t>(count));
        packed_values_range(ints, static_cast<std::uint64_t>(first), missing, part);
        EXPECT_EQ(std::memcmp(part.data(), want.data() + first, part.size() * sizeof(double)), 0)
            << p.name << ", from " << first << (bitmapped ? ", bitmapped" : "");
      }
    }
    EXPECT_TRUE(seen[0] && seen[1]) << p.name;
  }
}

struct Refused {
  const char* name;
  std::function<void(std::string&)> edit;
  Decoding::Kind kind;  // left to ecCodes, or refused as corrupt
};

void expect_refused(Decoder decoder, const std::string& msg, std::initializer_list<Refused> rows) {
  ASSERT_TRUE(decoded(decoder, msg));
  for (const Refused& row : rows) {
    std::string b = msg;
    row.edit(b);
    PackedIntegers ints;
    EXPECT_EQ(decoder(bytes_of(b), points_of(msg), ints).kind, row.kind) << row.name;
  }
}

constexpr auto ecc = Decoding::not_taken, corrupt = Decoding::corrupt;

TEST(PackingsRefused, ComplexPackingLeavesToEccodesWhatItDoesNotTakeAndRefusesWhatDoesNotAddUp) {
  // A GFS message: differences of the first order, two octets a descriptor.
  expect_refused(
      decode_complex_integers,
      messages_of(testsupport::read_file(std::string(GRIB_EXAMPLES) + "/gfs.t12z.pgrbf120.2p5deg.grib2"))[0],
      {
          {"missing values managed in the groups", [](std::string& b) { b[octet(b, 5, 23)] = 1; }, ecc},
          {"no groups: one value throughout", [](std::string& b) { put_be32(b, octet(b, 5, 32), 0); }, ecc},
          {"another template of section 5", [](std::string& b) { b[octet(b, 5, 11)] = 0; }, ecc},
          {"differences of the third order", [](std::string& b) { b[octet(b, 5, 48)] = 3; }, corrupt},
          {"no octets for the extra descriptors", [](std::string& b) { b[octet(b, 5, 49)] = 0; }, corrupt},
          {"a last group longer than the values left",
           [](std::string& b) { put_be32(b, octet(b, 5, 43), 1u << 30); }, corrupt},
          {"a last group shorter",
           [](std::string& b) { put_be32(b, octet(b, 5, 43), be32(b, octet(b, 5, 43)) - 1); }, corrupt},
          {"more groups than values", [](std::string& b) { put_be32(b, octet(b, 5, 32), 1u << 30); }, corrupt},
          {"groups 40 bits wide", [](std::string& b) { b[octet(b, 5, 36)] = 40; }, corrupt},
          {"group references of 33 bits", [](std::string& b) { b[octet(b, 5, 20)] = 33; }, corrupt},
          {"the data section cut short",
           [](std::string& b) {
             b = b.substr(0, octet(b, 7, 1)) + std::string("\0\0\0\x0f\x07", 5) + std::string(10, '\0') + "7777";
             total_length_fixed(b);
           },
           corrupt},
      });
}

TEST_F(Packings, CcsdsLeavesToEccodesWhatItDoesNotTakeAndRefusesWhatDoesNotAddUp) {
  expect_refused(
      decode_ccsds_integers, messages_of(repacked(ieee_, "grid_ccsds", 16, 1))[5],
      {
          {"32 bits a value", [](std::string& b) { b[octet(b, 5, 20)] = 32; }, ecc},
          {"no bits a value", [](std::string& b) { b[octet(b, 5, 20)] = 0; }, ecc},
          {"signed samples", [](std::string& b) { b[octet(b, 5, 22)] = static_cast<char>(b[octet(b, 5, 22)] | 1); },
           ecc},
          {"more values than points", [](std::string& b) { put_be32(b, octet(b, 5, 6), 1u << 20); }, ecc},
          {"a block size of 0", [](std::string& b) { b[octet(b, 5, 23)] = 0; }, corrupt},
          {"a reference sample interval of 0",
           [](std::string& b) { b[octet(b, 5, 24)] = 0, b[octet(b, 5, 25)] = 0; }, corrupt},
          {"compressed data cut short",
           [](std::string& b) {
             const std::size_t s7 = octet(b, 7, 1), len = be32(b, s7);
             b.erase(s7 + len / 2, len - len / 2);
             put_be32(b, s7, static_cast<std::uint32_t>(len / 2));
             total_length_fixed(b);
           },
           corrupt},
      });
}

TEST_F(Packings, JpegLeavesToEccodesWhatItDoesNotTakeAndRefusesWhatDoesNotAddUp) {
  expect_refused(decode_jpeg_integers, messages_of(repacked(ieee_, "grid_jpeg", 16, 1))[5],
                 {
                     {"no bits a value", [](std::string& b) { b[octet(b, 5, 20)] = 0; }, ecc},
                     {"fewer values than points",
                      [](std::string& b) { put_be32(b, octet(b, 5, 6), be32(b, octet(b, 5, 6)) - 1); }, ecc},
                     {"a codestream whose markers are broken",
                      [](std::string& b) { b[octet(b, 7, 6)] = 0, b[octet(b, 7, 7)] = 0; }, corrupt},
                 });
}

TEST_F(Packings, APackingThatDoesNotAddUpIsACorruptMessageNotACrash) {
  // ecCodes ends the program on each (an assertion on the groups; libaec
  // a crash or an abort on the CCSDS parameters): ingest names the
  // message and stops with the input status.
  const struct {
    const char* type;
    std::vector<std::size_t> octets;  // of section 5, each set to 0; or (none) the groups made longer
    const char* said;
  } rows[] = {
      {"grid_complex_spatial_differencing", {}, "its groups of complex packing do not add up to its values"},
      {"grid_ccsds", {23}, "its CCSDS compression states a block size or reference sample interval of 0"},
      {"grid_ccsds", {24, 25}, "its CCSDS compression states a block size or reference sample interval of 0"},
  };
  for (const auto& row : rows) {
    const std::string bytes = edit_sections(repacked(ieee_, row.type, 16, 1), [&](std::string& b, std::size_t at, int num) {
      if (num != 5) return;
      if (row.octets.empty()) put_be32(b, at + 42, be32(b, at + 42) + 5);  // the true length of the last group
      for (const std::size_t k : row.octets) b[at + k - 1] = 0;
    });
    ScratchDir work;
    write_file(work / "in.grib", bytes);
    const auto r = conv2model(work.path(), {"ingest", "out", "in.grib"});
    EXPECT_EQ(r.status, 2) << row.said << ": " << r.err;
    EXPECT_NE(r.err.find("in.grib: message "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(": it is corrupt"), std::string::npos) << r.err;
  }
}

TEST(PackingsIngested, TheCaseIsTheSameAsFromTheValuesEccodesDecodes) {
  // A global half-degree grid, rows from the north, whole and cut by an
  // area across 0 degrees: decoded a block of rows at a time from the
  // integers; the same values as 64-bit IEEE reals go through ecCodes.
  ScratchDir dir;
  make_case(dir.path(), 720, 361, -90.0, 0.0, 0.5, 2);
  const std::string simple = case_as_grib(dir.path(), false, true);
  for (const char* type : {"grid_complex_spatial_differencing", "grid_ccsds", "grid_jpeg"}) {
    const std::string packed = repacked(simple, type, 16, 0);
    const std::string ieee = rewrite(packed, [](Message& m) {
      const auto v = m.values();
      m.set("packingType", std::string("grid_ieee"));
      m.set("precision", 2L);
      m.set_values(v);
      return true;
    });
    for (const std::vector<std::string>& area : {std::vector<std::string>{}, {"--area", "-50.2,-30,61,40.5"}}) {
      ScratchDir work;
      write_file(work / "packed.grib", packed);
      write_file(work / "ieee.grib", ieee);
      for (const char* name : {"packed", "ieee"}) {
        std::vector<std::string> args = {"ingest", "--quiet"};
        args.insert(args.end(), area.begin(), area.end());
        args.push_back(std::string("out-") + name);
        args.push_back(std::string(name) + ".grib");
        const auto r = conv2model(work.path(), args);
        ASSERT_EQ(r.status, 0) << type << ", " << name << ": " << r.err;
      }
      EXPECT_TRUE(testsupport::read_file(work / "out-packed/case.bin") ==
                  testsupport::read_file(work / "out-ieee/case.bin"))
          << type << (area.empty() ? "" : ", with an area");
    }
  }
}

}  // namespace
