// The decoder of simple packing against ecCodes: for every number of bits,
// decimal scale and bitmap, the same doubles bit for bit; every message it
// does not take, or whose sections do not add up, left to ecCodes; and a
// case made from fields decoded a few rows at a time the same, byte for
// byte, as the case made from the same values decoded whole.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "grib_files.hpp"
#include "source/simple_packing.hpp"

using namespace ingesttest;
using c2m::ingest::decode_simple_packing;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

constexpr double missing = static_cast<double>(9.999e20f);

// The messages of BYTES one by one, all of them.
std::vector<std::string> messages(const std::string& bytes) {
  const std::vector<std::string> out = messages_of(bytes);
  std::size_t n = 0;
  for (const std::string& m : out) n += m.size();
  EXPECT_EQ(n, bytes.size());
  return out;
}

std::vector<double> by_eccodes(const std::string& message) { return values_by_eccodes(message); }

class SimplePacking : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    make_case(dir_->path(), 13, 7, 40.0, 0.0, 1.0, 2);
    ieee_ = case_as_grib(dir_->path());
  }
  static void TearDownTestSuite() { delete dir_; }
  static ScratchDir* dir_;
  static std::string ieee_;
};

ScratchDir* SimplePacking::dir_ = nullptr;
std::string SimplePacking::ieee_;

struct Packing {
  long bits, decimal;
};

TEST_F(SimplePacking, TheSameDoublesAsEccodesForEveryPacking) {
  const Packing rows[] = {{16, 0}, {16, 2}, {12, 1}, {8, 0}, {24, 3}, {7, -1}, {32, 0}, {1, 0}, {31, 4}, {5, 2}};
  for (const Packing& row : rows) {
    const std::string packed = rewrite(ieee_, [&](Message& m) {
      const auto v = m.values();
      m.set("packingType", std::string("grid_simple"));
      m.set("bitsPerValue", row.bits);
      m.set("decimalScaleFactor", row.decimal);
      m.set_values(v);
      return true;
    });
    int bitmapped = 0, taken = 0;
    for (const std::string& msg : messages(packed)) {
      const auto want = by_eccodes(msg);
      std::vector<double> got;
      if (!decode_simple_packing(bytes_of(msg), points_of(msg), missing, got)) {
        // Only a field of one value throughout (no bits) is left to ecCodes.
        continue;
      }
      ++taken;
      bitmapped += std::count(want.begin(), want.end(), missing) > 0;
      ASSERT_EQ(got.size(), want.size());
      EXPECT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(double)), 0)
          << row.bits << " bits, decimal scale " << row.decimal;
    }
    EXPECT_GT(taken, 20) << row.bits << " bits";
    EXPECT_GT(bitmapped, 0) << row.bits << " bits: soil over sea is bitmapped";
  }
}

struct Refused {
  const char* name;
  std::function<std::string(const std::string&)> make;
};

// Offset of section NUM of a GRIB 2 message.
std::size_t section(const std::string& m, int num) {
  std::size_t pos = 16;
  while (pos + 5 < m.size() && m[pos + 4] != num) {
    std::uint32_t len = 0;
    for (int k = 0; k < 4; ++k) len = (len << 8) | static_cast<unsigned char>(m[pos + static_cast<std::size_t>(k)]);
    pos += len;
  }
  return pos;
}

TEST_F(SimplePacking, MessagesItDoesNotTakeAreLeftToEccodes) {
  // A soil field, bitmapped over sea, 16 bits.
  std::string soil;
  rewrite(ieee_, [&](Message& m) {
    if (soil.empty() && m.get_string("shortName") == "swvl1") {
      const auto v = m.values();
      m.set("packingType", std::string("grid_simple"));
      m.set("bitsPerValue", 16L);
      m.set_values(v);
      const void* data = nullptr;
      std::size_t len = 0;
      codes_get_message(m.handle(), &data, &len);
      soil.assign(static_cast<const char*>(data), len);
    }
    return false;
  });
  ASSERT_FALSE(soil.empty());
  std::vector<double> v;
  ASSERT_TRUE(decode_simple_packing(bytes_of(soil), points_of(soil), missing, v));
  const Refused rows[] = {
      {"IEEE packing", [](const std::string&) { return std::string(); }},
      {"a bit of the bitmap cleared",
       [](const std::string& m) {
         std::string b = m;
         const std::size_t s6 = section(b, 6);
         for (std::size_t k = s6 + 6;; ++k)
           if (b[k] != 0) {
             b[k] = static_cast<char>(b[k] & (b[k] - 1));
             return b;
           }
       }},
      {"the data section cut short",
       [](const std::string& m) {
         std::string b = m;
         const std::size_t s7 = section(b, 7);
         const std::string tail = "7777";
         b = b.substr(0, s7) + std::string("\0\0\0\x0f\x07", 5) + std::string(10, '\0') + tail;
         for (int k = 0; k < 8; ++k) b[static_cast<std::size_t>(8 + k)] = static_cast<char>((b.size() >> (56 - 8 * k)) & 0xff);
         return b;
       }},
      {"a total length that is not the message's", [](const std::string& m) { return m + "7777"; }},
      {"no bits a value",
       [](const std::string& m) {
         std::string b = m;
         b[section(b, 5) + 19] = 0;
         return b;
       }},
      {"u and v in one message",
       [&](const std::string&) {
         const std::string both = winds_together(rewrite(ieee_, [](Message& m) {
           const std::string n = m.get_string("shortName");
           return n == "u" || n == "v";
         }));
         std::size_t total = 0;  // of the first message, from section 0
         for (std::size_t k = 8; k < 16; ++k) total = (total << 8) | static_cast<unsigned char>(both[k]);
         return both.substr(0, total);
       }},
  };
  for (const Refused& row : rows) {
    std::string msg = row.make(soil);
    if (msg.empty()) msg = messages(ieee_)[0];
    std::vector<double> untouched = {1.0, 2.0};
    EXPECT_FALSE(decode_simple_packing(bytes_of(msg), points_of(soil), missing, untouched)) << row.name;
    EXPECT_EQ(untouched, (std::vector<double>{1.0, 2.0})) << row.name;
  }
}

// The messages of BYTES with their values (as ecCodes decodes them) stored
// as 64-bit IEEE reals: the same doubles, which only ecCodes reads, whole.
std::string as_ieee(const std::string& bytes) {
  return rewrite(bytes, [](Message& m) {
    const auto v = m.values();
    m.set("packingType", std::string("grid_ieee"));
    m.set("precision", 2L);
    m.set_values(v);
    return true;
  });
}

bool rows_from_the_south(Message& m) {
  const long ni = m.get_long("Ni"), nj = m.get_long("Nj");
  const auto v = m.values();
  std::vector<double> w(v.size());
  for (long j = 0; j < nj; ++j)
    std::copy(v.begin() + j * ni, v.begin() + (j + 1) * ni, w.begin() + (nj - 1 - j) * ni);
  const double lat1 = m.get_double("latitudeOfFirstGridPointInDegrees");
  m.set("jScansPositively", 1L);
  m.set("latitudeOfFirstGridPointInDegrees", m.get_double("latitudeOfLastGridPointInDegrees"));
  m.set("latitudeOfLastGridPointInDegrees", lat1);
  m.set_values(w);
  return true;
}

struct Layout {
  const char* name;
  bool from_south;
  std::vector<std::string> options;
};

TEST(SimplePackingByBlocks, TheCaseIsTheSameAsFromTheValuesDecodedWhole) {
  // A global half-degree grid: a plane is decoded in several blocks of rows.
  ScratchDir dir;
  make_case(dir.path(), 720, 361, -90.0, 0.0, 0.5, 2);
  const std::string simple = case_as_grib(dir.path(), false, true);
  const Layout rows[] = {
      {"rows from the north", false, {}},
      {"rows from the south", true, {}},
      {"an area across 0 degrees", false, {"--area", "-50.2,-30,61,40.5"}},
      {"an area, rows from the south", true, {"--area", "10,100,80,120"}},
  };
  for (const Layout& row : rows) {
    ScratchDir work;
    const std::string blocks = row.from_south ? rewrite(simple, rows_from_the_south) : simple;
    write_file(work / "blocks.grib", blocks);
    write_file(work / "whole.grib", as_ieee(blocks));
    for (const char* name : {"blocks", "whole"}) {
      std::vector<std::string> args = {"ingest", "--quiet"};
      args.insert(args.end(), row.options.begin(), row.options.end());
      args.push_back(std::string("out-") + name);
      args.push_back(std::string(name) + ".grib");
      const auto r = conv2model(work.path(), args);
      ASSERT_EQ(r.status, 0) << row.name << ": " << r.err;
    }
    EXPECT_TRUE(testsupport::read_file(work / "out-blocks/case.bin") == testsupport::read_file(work / "out-whole/case.bin"))
        << row.name;
  }
}

}  // namespace
