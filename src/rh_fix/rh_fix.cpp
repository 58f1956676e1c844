#include "rh_fix/rh_fix.hpp"

#include <cmath>
#include <vector>

#include "textio/errors.hpp"

namespace c2m {

namespace {

// The column as the patch sees it: the first point of each level, kept up
// to date as levels are copied.
class Column {
 public:
  Column(std::span<const float> first_points, float missing, std::span<const float> pr,
         const LevelCopy& copy_level, Log& log)
      : first_(first_points.begin(), first_points.end()), missing_(missing), pr_(pr),
        copy_level_(copy_level), log_(log) {}

  std::int32_t levels() const { return static_cast<std::int32_t>(first_.size()); }
  bool missing(std::int32_t k) const { return at(first_, k) == missing_; }
  float pressure(std::int32_t k) const { return at(pr_, k); }

  // Writes "Copying  FROM mb to  TO mb." and copies all values of level
  // FROM onto level TO.
  void copy(std::int32_t from, std::int32_t to) {
    log_.put(FreeLine("Copying")
                 .integer(nearest_integer(pressure(from)))
                 .text(" mb to")
                 .integer(nearest_integer(pressure(to)))
                 .text(" mb."));
    copy_level_(from, to);
    first_[static_cast<std::size_t>(to - 1)] = at(first_, from);
  }

  [[noreturn]] void stop(const char* message) {
    log_.put(message);
    throw DataStop(message);
  }

  Log& log() { return log_; }

 private:
  template <class Levels>
  static float at(const Levels& levels, std::int32_t k) {
    return levels[static_cast<std::size_t>(k - 1)];
  }

  std::vector<float> first_;
  float missing_;
  std::span<const float> pr_;
  const LevelCopy& copy_level_;
  Log& log_;
};

}  // namespace

std::int32_t nearest_integer(float x) {
  const float r = std::round(x);  // halves away from zero
  if (!(r >= -2147483648.0f && r < 2147483648.0f)) return INT32_MIN;
  return static_cast<std::int32_t>(r);
}

void rh_fix(std::span<const float> first_points, float missing, std::span<const float> pr,
            const LevelCopy& copy_level, Log& log) {
  Column c(first_points, missing, pr, copy_level, log);
  const std::int32_t lm = c.levels();

  // Bottom of the column: the lowest present level is copied down.
  if (c.missing(1)) {
    std::int32_t k = 2;
    while (k <= lm && c.missing(k)) ++k;
    if (k > lm) c.stop("RH patch did not work.");
    for (std::int32_t kk = k - 1; kk >= 1; --kk) c.copy(kk + 1, kk);
  }

  // Top of the column: the highest present level is copied up.
  if (c.missing(lm)) {
    for (std::int32_t k = lm - 1; k >= 1; --k) {
      c.log().put(FreeLine("checking RH at lev= ").real(c.pressure(k)));
      if (!c.missing(k)) {
        for (std::int32_t kk = k + 1; kk <= lm; ++kk) c.copy(kk - 1, kk);
        break;
      }
    }
  }

  // A gap between present levels is not patched.
  for (std::int32_t k = 1; k <= lm; ++k)
    if (c.missing(k)) c.stop("RH patch did not work..");
}

}  // namespace c2m
