#include "message_check.hpp"

#include <cstdint>

#include "kit/numbers.hpp"
#include "source/grib_framing.hpp"

namespace c2m::fetch {

using ingest::grib::big_endian;

std::string message_fault(std::span<const unsigned char> b) {
  const std::size_t n = b.size();
  if (n < 16 || b[0] != 'G' || b[1] != 'R' || b[2] != 'I' || b[3] != 'B')
    return "does not start with a GRIB message";
  const int edition = b[7];
  if (edition != 1 && edition != 2) return "is a GRIB message of edition " + decimal(edition) + ", not 1 or 2";
  const std::uint64_t stated = edition == 2 ? big_endian(b.data() + 8, 8) : big_endian(b.data() + 4, 3);
  if (stated != n)
    return "is a GRIB message whose section 0 states " + decimal(stated) + " bytes, where the index gives " +
           decimal(n);
  if (b[n - 4] != '7' || b[n - 3] != '7' || b[n - 2] != '7' || b[n - 1] != '7')
    return "is a GRIB message that does not end with 7777";
  return {};
}

}  // namespace c2m::fetch
