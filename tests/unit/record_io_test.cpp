// Fixed-length records of little-endian reals: byte order and row turning.
// The reader itself is tested through the input grid file.
#include "conv2model/record_io.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

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

TEST(TurnRows, LastRowBecomesFirst) {
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
    std::vector<float> p = r.plane;
    c2m::turn_rows(p, r.im);
    EXPECT_EQ(p, r.turned) << "im " << r.im << ", " << r.plane.size() << " values";
  }
}

}  // namespace
