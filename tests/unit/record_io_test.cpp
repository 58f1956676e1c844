// Fixed-length records of little-endian reals: byte order and row turning.
#include "conv2model/record_io.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <algorithm>
#include <vector>

#include "support/case_files.hpp"
#include "support/scratch.hpp"

namespace {

std::vector<float> from_bits(const std::vector<std::uint32_t>& bits) {
  std::vector<float> v;
  for (const auto b : bits) v.push_back(std::bit_cast<float>(b));
  return v;
}

std::vector<std::uint32_t> to_bits(const std::vector<float>& values) {
  std::vector<std::uint32_t> v;
  for (const float f : values) v.push_back(std::bit_cast<std::uint32_t>(f));
  return v;
}

TEST(LittleEndianToHost, SwapsBytesOnlyOnABigEndianHost) {
  const std::vector<std::uint32_t> bits{0x11223344u, 0x6258D19Au, 0xC7C34F80u, 0x7FC00001u,
                                        0x80000000u, 0x00000001u};
  const std::vector<std::uint32_t> swapped{0x44332211u, 0x9AD15862u, 0x804FC3C7u,
                                           0x0100C07Fu, 0x00000080u, 0x01000000u};
  std::vector<float> v = from_bits(bits);
  c2m::little_endian_to_host(v, std::endian::little);
  EXPECT_EQ(to_bits(v), bits);
  c2m::little_endian_to_host(v, std::endian::big);
  EXPECT_EQ(to_bits(v), swapped);
  c2m::little_endian_to_host(v, std::endian::big);
  EXPECT_EQ(to_bits(v), bits);
}

TEST(ReadRows, StoredRowsLandTurned) {
  // PLANE is the record as stored (north first); TURNED the array, south
  // first.  Read whole, and a band of rows at a time.
  struct Row {
    std::int32_t im;
    std::vector<float> plane, turned;
  };
  const Row rows[] = {
      {2, {1, 2, 3, 4, 5, 6}, {5, 6, 3, 4, 1, 2}},                   // odd row count
      {2, {1, 2, 3, 4, 5, 6, 7, 8}, {7, 8, 5, 6, 3, 4, 1, 2}},       // even
      {3, {1, 2, 3}, {1, 2, 3}},                                     // one row
      {1, {1, 2, 3, 4}, {4, 3, 2, 1}},                               // one column
      {4, {1, 2, 3, 4, 5, 6, 7, 8}, {5, 6, 7, 8, 1, 2, 3, 4}},
  };
  for (const Row& r : rows) {
    testsupport::ScratchDir dir;
    // A first record of other values, so that the offset of record 2 counts.
    std::vector<float> file(r.plane.size(), -1.0f);
    file.insert(file.end(), r.plane.begin(), r.plane.end());
    testsupport::write_file(dir / "f.bin", testsupport::le_bytes(file));
    const auto jm = static_cast<std::int32_t>(r.plane.size()) / r.im;
    const c2m::InputGrid in(dir / "f.bin", r.im, jm);
    std::vector<float> p(r.plane.size(), 0.0f);
    in.read_record(2, p);
    EXPECT_EQ(p, r.turned) << "im " << r.im << ", " << r.plane.size() << " values";
    std::fill(p.begin(), p.end(), 0.0f);
    for (std::int32_t j = jm; j >= 1; --j) in.read_rows(2, j, j, p);
    EXPECT_EQ(p, r.turned) << "row by row";
  }
}

TEST(ReadRows, MoreRowsThanOneVectoredRead) {
  // 2500 rows of 3 points: more rows than one vectored read takes.
  const std::int32_t im = 3, jm = 2500;
  std::vector<float> stored(static_cast<std::size_t>(im * jm));
  for (std::size_t n = 0; n < stored.size(); ++n) stored[n] = static_cast<float>(n);
  testsupport::ScratchDir dir;
  testsupport::write_file(dir / "f.bin", testsupport::le_bytes(stored));
  const c2m::InputGrid in(dir / "f.bin", im, jm);
  std::vector<float> p(stored.size());
  in.read_record(1, p);
  for (std::int32_t j = 1; j <= jm; ++j)
    for (std::int32_t i = 1; i <= im; ++i)
      ASSERT_EQ(p[static_cast<std::size_t>((j - 1) * im + i - 1)],
                stored[static_cast<std::size_t>((jm - j) * im + i - 1)]);
}

}  // namespace
