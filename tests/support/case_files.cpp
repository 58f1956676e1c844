#include "support/case_files.hpp"

#include <cstring>

#include "support/scratch.hpp"
#include "textio/free_line.hpp"

namespace testsupport {

TestCase TestCase::valid(std::int32_t im, std::int32_t jm, std::int32_t lm) {
  TestCase c;
  c.im = im;
  c.jm = jm;
  c.lm = lm;
  c.pr.clear();
  for (std::int32_t k = 1; k <= lm; ++k) c.pr.push_back(1000.0f - 100.0f * static_cast<float>(k - 1));
  const auto r = c.rec();
  c.records.assign(static_cast<std::size_t>(r.count()) * static_cast<std::size_t>(im * jm), 0.0f);
  for (std::int32_t k = 1; k <= lm; ++k) {
    const float kf = static_cast<float>(k);
    c.fill(r.ht(k), 9.8f * 1000.0f * kf);
    c.fill(r.rh(k), 50.0f + kf);
    c.fill(r.q(k), 0.01f / kf);
    c.fill(r.tp(k), 290.0f - 5.0f * kf);
    c.fill(r.uw(k), 5.0f + kf);
    c.fill(r.vw(k), -3.0f - kf);
  }
  const float surface[12] = {1.0f,   1013.0f, 1000.0f, 980.0f, 285.0f, 0.3f,
                             283.0f, 0.32f,   281.0f,  0.34f,  279.0f, 0.36f};
  for (std::int32_t p = 1; p <= 12; ++p) c.fill(r.sfc(p), surface[p - 1]);
  return c;
}

float& TestCase::at(std::int32_t record, std::int32_t i, std::int32_t j) {
  const auto plane = static_cast<std::size_t>(im) * static_cast<std::size_t>(jm);
  return records[static_cast<std::size_t>(record - 1) * plane +
                 static_cast<std::size_t>((j - 1) * im + (i - 1))];
}

void TestCase::fill(std::int32_t record, float value) {
  for (std::int32_t j = 1; j <= jm; ++j)
    for (std::int32_t i = 1; i <= im; ++i) at(record, i, j) = value;
}

std::string TestCase::run_description() const {
  std::string s = label + "\n" + std::to_string(im) + " " + std::to_string(jm) + " " +
                  std::to_string(lm) + "\n";
  for (const auto g : grid) s += std::to_string(g) + "\n";
  for (const float p : pr) s += c2m::format_real(p) + "\n";
  return s;
}

std::string TestCase::input_grid() const {
  std::vector<float> out(records.size());
  const auto row = static_cast<std::size_t>(im);
  const std::size_t plane = row * static_cast<std::size_t>(jm);
  for (std::size_t r = 0; r * plane < records.size(); ++r)
    for (std::size_t j = 0; j < static_cast<std::size_t>(jm); ++j)
      std::memcpy(&out[r * plane + (static_cast<std::size_t>(jm) - 1 - j) * row],
                  &records[r * plane + j * row], row * sizeof(float));
  return le_bytes(out);
}

void TestCase::write(const std::string& dir, const std::string& name) const {
  write_file(dir + "/InputModelInf.txt", run_description());
  write_file(dir + "/adate.txt", date + "\n");
  write_file(dir + "/" + name, input_grid());
}

std::string le_bytes(const std::vector<float>& values) {
  // The test machines are little-endian, like the files.
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float));
}

std::vector<float> record_of(const std::string& file_bytes, std::int32_t im, std::int32_t jm,
                             std::int32_t n) {
  const std::size_t len = static_cast<std::size_t>(im) * static_cast<std::size_t>(jm);
  std::vector<float> v(len);
  std::memcpy(v.data(), file_bytes.data() + static_cast<std::size_t>(n - 1) * len * sizeof(float),
              len * sizeof(float));
  return v;
}

}  // namespace testsupport
