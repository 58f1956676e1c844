// Micro-benchmarks of the steps that every grid point goes through, on one
// plane of a global 0.25-degree grid (1440 x 721 points).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "conv2model/context.hpp"
#include "conv2model/field_prep.hpp"
#include "conv2model/humidity.hpp"
#include "conv2model/plane_values.hpp"
#include "conv2model/record_io.hpp"
#include "conv2model/surface_fill.hpp"
#include "estab/estab.hpp"
#include "support/reference_fill.hpp"
#include "textio/free_line.hpp"

namespace {

constexpr std::int32_t im = 1440, jm = 721;
constexpr std::size_t points = static_cast<std::size_t>(im) * jm;

// A soil plane with land and sea: zeros (sea) in runs of every length.
std::vector<float> soil_plane() {
  std::mt19937 rng(1);
  std::vector<float> v(points);
  for (std::size_t n = 0; n < points;) {
    const std::size_t run = 1 + rng() % 200;
    const float value = (rng() % 3 == 0) ? 0.0f : 280.0f + static_cast<float>(rng() % 20);
    for (std::size_t m = 0; m < run && n < points; ++m, ++n) v[n] = value;
  }
  return v;
}

void BM_es_ini(benchmark::State& state) {
  for (auto _ : state) {
    estab::es_ini();
    benchmark::DoNotOptimize(estab::esat(30000));
  }
}
BENCHMARK(BM_es_ini);

void BM_read_record_turned(benchmark::State& state) {
  char path[] = "/tmp/c2m-bench-XXXXXX";
  const int fd = mkstemp(path);
  std::vector<float> plane(points, 1.0f);
  if (write(fd, plane.data(), points * 4) != static_cast<ssize_t>(points * 4)) std::abort();
  close(fd);
  const c2m::InputGrid in(path, im, jm);
  for (auto _ : state) {
    in.read_record(1, plane);
    benchmark::DoNotOptimize(plane.data());
  }
  unlink(path);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * points * 4));
}
BENCHMARK(BM_read_record_turned);

// A record as the model data file receives it: read a band of rows at a
// time in one read each, turned and prepared on the way (heights).
void BM_make_record_in_bands(benchmark::State& state) {
  char path[] = "/tmp/c2m-bench-XXXXXX";
  const int fd = mkstemp(path);
  std::vector<float> plane(points, 9.8f * 5500.0f);
  if (write(fd, plane.data(), points * 4) != static_cast<ssize_t>(points * 4)) std::abort();
  close(fd);
  const c2m::InputGrid in(path, im, jm);
  c2m::Field f(im, jm, 1);
  f.plane(1).record = 1;
  f.plane(1).prep = c2m::Prep::height;
  for (auto _ : state) {
    c2m::load_plane(f, 1, in, plane);
    benchmark::DoNotOptimize(plane.data());
  }
  unlink(path);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * points * 4));
}
BENCHMARK(BM_make_record_in_bands);

void BM_prepare_heights(benchmark::State& state) {
  std::vector<float> plane(points, 9.8f * 5500.0f);
  for (auto _ : state) {
    std::fill(plane.begin(), plane.end(), 9.8f * 5500.0f);
    c2m::prepare(c2m::Prep::height, plane);
    benchmark::DoNotOptimize(plane.data());
  }
}
BENCHMARK(BM_prepare_heights);

// Copying the plane into place, which the two fill benchmarks include.
void BM_plane_copy(benchmark::State& state) {
  const std::vector<float> soil = soil_plane();
  std::vector<float> plane;
  for (auto _ : state) {
    plane = soil;
    benchmark::DoNotOptimize(plane.data());
  }
}
BENCHMARK(BM_plane_copy);

void BM_zero_fill(benchmark::State& state) {
  const std::vector<float> soil = soil_plane();
  std::vector<float> plane;
  for (auto _ : state) {
    plane = soil;
    c2m::zero_fill(plane, im, jm);
    benchmark::DoNotOptimize(plane.data());
  }
}
BENCHMARK(BM_zero_fill);

// The fill as its rule states it, 15 sweeps of two passes: the baseline.
void BM_zero_fill_15_sweeps(benchmark::State& state) {
  const std::vector<float> soil = soil_plane();
  std::vector<float> plane;
  for (auto _ : state) {
    plane = soil;
    testsupport::zero_fill_sweeps(plane, im, jm);
    benchmark::DoNotOptimize(plane.data());
  }
}
BENCHMARK(BM_zero_fill_15_sweeps);

void BM_humidity_level(benchmark::State& state) {
  estab::es_ini();
  std::mt19937 rng(2);
  std::vector<float> tp(points), rh(points), q(points);
  for (std::size_t n = 0; n < points; ++n) {
    tp[n] = 220.0f + static_cast<float>(rng() % 8000) * 0.01f;
    rh[n] = static_cast<float>(rng() % 100);
  }
  for (auto _ : state) {
    c2m::derive_humidity(tp, rh, 850.0f, q);
    benchmark::DoNotOptimize(q.data());
  }
}
BENCHMARK(BM_humidity_level);

void BM_format_real(benchmark::State& state) {
  float x = 0.011385f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(c2m::format_real(x));
    x += 1.0f;
  }
}
BENCHMARK(BM_format_real);

}  // namespace

BENCHMARK_MAIN();
