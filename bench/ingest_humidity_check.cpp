// How closely the converter gives back a file's own specific humidity q
// under ingest --humidity physical, when ingest hands it relative humidity
// over water made from q, with the saturation over water looked up in the
// converter's table at the 0.01 K step below T (what ingest does) or
// worked out by the formula at T itself (estab::goff_gratch).  The case's input grid file stands for the GRIB
// file: with IEEE packing ingest reads it back exactly.
//
//   ingest_humidity_check CASE_DIR [INPUT]
#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "conv2model/humidity.hpp"
#include "estab/estab.hpp"
#include "layout/records.hpp"
#include "layout/run_description_read.hpp"
#include "plan/humidity.hpp"
#include "source/fields.hpp"

namespace {

struct Stats {
  double sum = 0, sum_abs = 0, sum_sq = 0, lo = INFINITY, hi = -INFINITY;
  double n = 0;
  void add(double d) {
    sum += d, sum_abs += std::fabs(d), sum_sq += d * d, ++n;
    lo = std::min(lo, d), hi = std::max(hi, d);
  }
  void print(const char* what) const {
    std::printf("%-8s mean %+.4f %%  mean |d| %.4f %%  rms %.4f %%  range %+.3f .. %+.3f %%\n", what, sum / n,
                sum_abs / n, std::sqrt(sum_sq / n), lo, hi);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ingest_humidity_check CASE_DIR [INPUT]\n");
    return 2;
  }
  try {
    const std::string dir = argv[1], input = dir + "/" + (argc > 2 ? argv[2] : "case.bin");
    const auto d = c2m::layout::read_run_description(dir + "/InputModelInf.txt");
    std::ifstream in(input, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::int64_t points = std::int64_t{d.grid.im} * d.grid.jm;
    const auto lm = static_cast<std::int64_t>(d.pressures_hpa.size());
    if (static_cast<std::int64_t>(bytes.size()) < c2m::layout::input_record_count(lm) * points * 4) {
      std::fprintf(stderr, "%s: shorter than its case\n", input.c_str());
      return 2;
    }
    auto plane = [&](c2m::layout::InputUpper f, std::int64_t k) {
      std::vector<float> v(static_cast<std::size_t>(points));
      std::memcpy(v.data(), bytes.data() + (c2m::layout::input_record(f, k, lm) - 1) * points * 4, v.size() * 4);
      return v;
    };
    estab::es_ini();
    Stats table_all, formula_all;
    std::printf("with --humidity physical (relative humidity over water in the records; the default,\n"
                "exact, gives q back within 2 units in the last place):\n"
                "converter's q against the file's q, in %% of the file's q, where q > 1e-7\n");
    for (std::int64_t k = 1; k <= lm; ++k) {
      const float p = d.pressures_hpa[static_cast<std::size_t>(k - 1)];
      const auto t = plane(c2m::layout::InputUpper::t, k), q = plane(c2m::layout::InputUpper::q, k);
      std::vector<float> rh = q;
      c2m::ingest::rh_from_q(t, rh, p);  // the table at the step below
      Stats table, formula;
      for (std::size_t x = 0; x < q.size(); ++x) {
        if (!(q[x] > 1e-7f) || q[x] == c2m::ingest::undefined_value) continue;
        const float e = q[x] * p / (0.622f + 0.378f * q[x]);
        const float rh_formula = 100.0f * e / estab::goff_gratch(t[x]);
        const double a = (c2m::specific_humidity(t[x], rh[x], p) / q[x] - 1.0f) * 100.0;
        const double b = (c2m::specific_humidity(t[x], rh_formula, p) / q[x] - 1.0f) * 100.0;
        table.add(a), table_all.add(a), formula.add(b), formula_all.add(b);
      }
      std::printf("%7g hPa  table mean %+.3f %% (%+.3f .. %+.3f)   formula mean %+.3f %% (%+.3f .. %+.3f)\n", p,
                  table.sum / table.n, table.lo, table.hi, formula.sum / formula.n, formula.lo, formula.hi);
    }
    table_all.print("table");
    formula_all.print("formula");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ingest_humidity_check: %s\n", e.what());
    return 2;
  }
  return 0;
}
