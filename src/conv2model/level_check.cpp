#include "conv2model/level_check.hpp"

#include <string>

#include "conv2model/rh_patch.hpp"
#include "textio/errors.hpp"
#include "textio/fixed_field.hpp"

namespace c2m {

namespace {

bool missing(const Field& f, std::int32_t k) { return f.first_point(k) == missing_value; }

// Writes the message line and ends the run; the diagnostic names the file
// whose data cannot be used.
[[noreturn]] void stop(const std::string& file, const char* message, float p, Log& log) {
  const FreeLine line = FreeLine(message).real(p);
  log.put(line);
  throw DataStop(file + ": " + line.str().substr(1) + " (data stop, no output written)");
}

}  // namespace

void check_levels(const RunContext& ctx, WorkArrays& work, Log& log) {
  const std::string file(text_before_blank(ctx.input_path));
  log.put("Check for any missing data");
  for (std::int32_t k = 1; k <= ctx.lm; ++k) {
    const float p = work.pr[static_cast<std::size_t>(k - 1)];
    // The first test that holds decides the level.
    if (missing(work.ht, k)) stop(file, "Height data missing at level: ", p, log);
    if (missing(work.tp, k)) stop(file, "Temperature data missing at level: ", p, log);
    if (missing(work.rh, k)) {
      log.put(FreeLine("RH data missing at level: ").real(p));
      log.put("Calling RH patch.");
      try {
        rh_fix(ctx.im, ctx.jm, ctx.lm, work.rh, work.pr, log);
      } catch (const DataStop& e) {
        throw DataStop(file + ": " + e.what() + " (data stop, no output written)");
      }
      continue;  // winds and humidity of this level are not tested
    }
    if (missing(work.uw, k)) stop(file, "U-wind data missing at level: ", p, log);
    if (missing(work.vw, k)) stop(file, "V-wind data missing at level: ", p, log);
    if (missing(work.q, k)) stop(file, "Spec. Humid. data missing at level: ", p, log);
  }
}

}  // namespace c2m
