#include "rh_fix/rh_fix.hpp"

#include <algorithm>
#include <cmath>

#include "conv2model/context.hpp"
#include "textio/errors.hpp"

namespace c2m {

namespace {

bool missing(const Field& rh, std::int32_t k) { return rh.first_point(k) == missing_value; }

// Writes "Copying  FROM mb to  TO mb." and copies all values of level
// FROM onto level TO.
void copy_level(Field& rh, const std::vector<float>& pr, std::int32_t from, std::int32_t to,
                Log& log) {
  log.put(FreeLine("Copying")
              .integer(nearest_integer(pr[static_cast<std::size_t>(from - 1)]))
              .text(" mb to")
              .integer(nearest_integer(pr[static_cast<std::size_t>(to - 1)]))
              .text(" mb."));
  rh.copy_level(from, to);
}

[[noreturn]] void stop(const char* message, Log& log) {
  log.put(message);
  throw DataStop(message);
}

}  // namespace

std::int32_t nearest_integer(float x) {
  const float r = std::round(x);  // halves away from zero
  if (!(r >= -2147483648.0f && r < 2147483648.0f)) return INT32_MIN;
  return static_cast<std::int32_t>(r);
}

void rh_fix(std::int32_t im, std::int32_t jm, std::int32_t lm, Field& rh,
            const std::vector<float>& pr, Log& log) {
  (void)im;  // the extents travel with the array
  (void)jm;

  // Bottom of the column: the lowest present level is copied down.
  if (missing(rh, 1)) {
    std::int32_t k = 2;
    while (k <= lm && missing(rh, k)) ++k;
    if (k > lm) stop("RH patch did not work.", log);
    for (std::int32_t kk = k - 1; kk >= 1; --kk) copy_level(rh, pr, kk + 1, kk, log);
  }

  // Top of the column: the highest present level is copied up.
  if (missing(rh, lm)) {
    for (std::int32_t k = lm - 1; k >= 1; --k) {
      log.put(FreeLine("checking RH at lev= ").real(pr[static_cast<std::size_t>(k - 1)]));
      if (!missing(rh, k)) {
        for (std::int32_t kk = k + 1; kk <= lm; ++kk) copy_level(rh, pr, kk - 1, kk, log);
        break;
      }
    }
  }

  // A gap between present levels is not patched.
  for (std::int32_t k = 1; k <= lm; ++k)
    if (missing(rh, k)) stop("RH patch did not work..", log);
}

}  // namespace c2m
