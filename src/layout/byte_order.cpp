#include "layout/byte_order.hpp"

#include <cstdint>

namespace c2m {

void little_endian_to_host(std::span<float> values, std::endian host) {
  if (host == std::endian::little) return;
  for (float& v : values) {
    auto bits = std::bit_cast<std::uint32_t>(v);
    bits = (bits >> 24) | ((bits >> 8) & 0x0000FF00u) | ((bits << 8) & 0x00FF0000u) | (bits << 24);
    v = std::bit_cast<float>(bits);
  }
}

}  // namespace c2m
