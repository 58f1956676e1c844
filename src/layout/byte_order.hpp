// The byte order of the binary files: both the input grid file and the
// model data file hold 4-byte IEEE reals stored little-endian, whatever
// the machine that reads or writes them.
#pragma once

#include <bit>
#include <span>

namespace c2m {

// Turns values stored little-endian into the host's order (and back: the
// swap is its own inverse).  On a little-endian host nothing happens; HOST
// is a parameter so that the big-endian path is tested too.
void little_endian_to_host(std::span<float> values, std::endian host = std::endian::native);

}  // namespace c2m
