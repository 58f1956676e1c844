// The decoder of CCSDS packing (ECMWF's open data) against ecCodes: the
// same doubles bit for bit for every number of bits (each size of
// libaec's samples) and decimal scale, with and without a bitmap; a
// message it does not take, or whose compressed data does not add up,
// left to ecCodes; and a case ingested from such a file the same, byte for
// byte, as from the same values read by ecCodes alone.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "grib_files.hpp"
#include "source/ccsds_packing.hpp"

using namespace ingesttest;
using c2m::ingest::decode_ccsds_integers;
using c2m::ingest::Decoding;
using c2m::ingest::PackedIntegers;
using c2m::ingest::packed_values;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

constexpr double missing = static_cast<double>(9.999e20f);

std::optional<std::vector<double>> decoded(const std::string& message) {
  PackedIntegers ints;
  if (decode_ccsds_integers(bytes_of(message), points_of(message), ints).kind != Decoding::decoded) return std::nullopt;
  std::vector<double> v;
  packed_values(ints, missing, v);
  return v;
}

std::string repacked(const std::string& bytes, long bits, long decimal) {
  return rewrite(bytes, [&](Message& m) {
    const auto v = m.values();
    m.set("packingType", std::string("grid_ccsds"));
    m.set("bitsPerValue", bits);
    m.set("decimalScaleFactor", decimal);
    m.set_values(v);
    return true;
  });
}

class CcsdsPacking : public ::testing::Test {
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

ScratchDir* CcsdsPacking::dir_ = nullptr;
std::string CcsdsPacking::ieee_;

TEST_F(CcsdsPacking, TheSameDoublesAsEccodesForEveryPacking) {
  // Samples of 1, 2 and 4 bytes (24 bits: libaec's 3-byte samples, which
  // the decoder asks in 4).
  const std::pair<long, long> rows[] = {{16, 0}, {12, 2}, {8, -1}, {5, 0}, {24, 3}, {20, 4}, {31, 1}, {13, 1}};
  for (const auto& [bits, decimal] : rows) {
    int taken = 0, bitmapped = 0;
    for (const std::string& msg : messages_of(repacked(ieee_, bits, decimal))) {
      const auto want = values_by_eccodes(msg);
      const auto got = decoded(msg);
      // A field of one value throughout is packed simply by ecCodes.
      if (!got) continue;
      ++taken;
      bitmapped += std::count(want.begin(), want.end(), missing) > 0;
      EXPECT_TRUE(got->size() == want.size() && std::memcmp(got->data(), want.data(), want.size() * 8) == 0)
          << bits << " bits, decimal scale " << decimal;
    }
    EXPECT_GT(taken, 20) << bits << " bits";
    EXPECT_GT(bitmapped, 0) << bits << " bits: soil over sea is bitmapped";
  }
}

// Octet K (from 1) of section NUM of GRIB 2 message M.
std::size_t octet(const std::string& m, int num, std::size_t k) {
  std::size_t pos = 16;
  while (pos + 5 < m.size() && m[pos + 4] != num) pos += be32(m, pos);
  return pos + k - 1;
}

TEST_F(CcsdsPacking, MessagesItDoesNotTakeAreLeftToEccodesAndThoseThatDoNotAddUpAreCorrupt) {
  const std::string msg = messages_of(repacked(ieee_, 16, 1))[5];
  ASSERT_TRUE(decoded(msg));
  const auto ecc = Decoding::not_taken, corrupt = Decoding::corrupt;
  const struct {
    const char* name;
    std::function<void(std::string&)> edit;
    Decoding::Kind kind;
  } rows[] = {
      {"32 bits a value", [](std::string& b) { b[octet(b, 5, 20)] = 32; }, ecc},
      {"no bits a value", [](std::string& b) { b[octet(b, 5, 20)] = 0; }, ecc},
      {"signed samples", [](std::string& b) { b[octet(b, 5, 22)] = static_cast<char>(b[octet(b, 5, 22)] | 1); }, ecc},
      {"more values than points", [](std::string& b) { put_be32(b, octet(b, 5, 6), 1u << 20); }, ecc},
      {"a block size of 0", [](std::string& b) { b[octet(b, 5, 23)] = 0; }, corrupt},
      {"a reference sample interval of 0", [](std::string& b) { b[octet(b, 5, 24)] = 0, b[octet(b, 5, 25)] = 0; },
       corrupt},
      {"compressed data cut short",
       [](std::string& b) {
         const std::size_t s7 = octet(b, 7, 1);
         const std::size_t len = be32(b, s7);
         b.erase(s7 + len / 2, len - len / 2);
         put_be32(b, s7, static_cast<std::uint32_t>(len / 2));
         for (int k = 0; k < 8; ++k)
           b[static_cast<std::size_t>(8 + k)] = static_cast<char>((b.size() >> (56 - 8 * k)) & 0xff);
       },
       corrupt},
  };
  for (const auto& row : rows) {
    std::string b = msg;
    row.edit(b);
    PackedIntegers ints;
    EXPECT_EQ(decode_ccsds_integers(bytes_of(b), points_of(msg), ints).kind, row.kind) << row.name;
  }
}

TEST_F(CcsdsPacking, ParametersThatEndEccodesAreACorruptMessageNotACrash) {
  // ecCodes, through libaec, crashes or aborts on both: ingest says which
  // message is corrupt and stops with the input status.
  // Octet 23, the block size; octets 24 and 25, the interval.
  for (const std::vector<std::size_t>& octets : {std::vector<std::size_t>{23}, {24, 25}}) {
    const std::string bytes = edit_sections(repacked(ieee_, 16, 1), [&](std::string& b, std::size_t at, int num) {
      if (num != 5) return;
      for (const std::size_t k : octets) b[at + k - 1] = 0;
    });
    ScratchDir work;
    write_file(work / "in.grib", bytes);
    const auto r = conv2model(work.path(), {"ingest", "out", "in.grib"});
    EXPECT_EQ(r.status, 2) << octets[0] << ": " << r.err;
    EXPECT_NE(r.err.find("in.grib: message "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("reference sample interval of 0, which no decoder takes: it is corrupt"), std::string::npos)
        << r.err;
  }
}

TEST(CcsdsPackingIngested, TheCaseIsTheSameAsFromTheValuesEccodesDecodes) {
  ScratchDir dir;
  make_case(dir.path(), 720, 361, -90.0, 0.0, 0.5, 2);
  const std::string ccsds = repacked(case_as_grib(dir.path(), false, true), 16, 0);
  const std::string ieee = rewrite(ccsds, [](Message& m) {
    const auto v = m.values();
    m.set("packingType", std::string("grid_ieee"));
    m.set("precision", 2L);
    m.set_values(v);
    return true;
  });
  ScratchDir work;
  write_file(work / "ccsds.grib", ccsds);
  write_file(work / "ieee.grib", ieee);
  for (const char* name : {"ccsds", "ieee"}) {
    const auto r = conv2model(work.path(), {"ingest", "--quiet", std::string("out-") + name, std::string(name) + ".grib"});
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
  }
  EXPECT_TRUE(testsupport::read_file(work / "out-ccsds/case.bin") == testsupport::read_file(work / "out-ieee/case.bin"));
}

}  // namespace
