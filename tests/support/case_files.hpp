// Small cases written by the tests themselves: a run description, a date
// file and an input grid file whose every value the test can set.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The record numbers of the input grid file (from 1).
struct InputRecords {
  std::int32_t lm;
  std::int32_t ht(std::int32_t k) const { return k; }
  std::int32_t rh(std::int32_t k) const { return lm + k; }
  std::int32_t q(std::int32_t k) const { return 2 * lm + k; }
  std::int32_t tp(std::int32_t k) const { return 3 * lm + k; }
  std::int32_t uw(std::int32_t k) const { return 4 * lm + k; }
  std::int32_t vw(std::int32_t k) const { return 5 * lm + k; }
  std::int32_t sfc(std::int32_t p) const { return 6 * lm + p; }
  std::int32_t count() const { return 6 * lm + 12; }
};

// A case held in memory.  Values are set by grid point (i, j) with j = 1
// the southernmost row; the input grid file is written with its rows north
// to south, as the format wants.
struct TestCase {
  std::string label = "test case";
  std::int32_t im = 4, jm = 3, lm = 2;
  std::array<std::int32_t, 7> grid{0, -90000, 0, 90000, 357500, 2500, 2500};
  std::vector<float> pr{1000.0f, 850.0f};
  std::string date = "2024010100";
  std::vector<float> records;  // (6 lm + 12) planes, rows south to north

  // A plausible case: every level and plane present, soil values over
  // land, undefined values nowhere.
  static TestCase valid(std::int32_t im, std::int32_t jm, std::int32_t lm);

  InputRecords rec() const { return {lm}; }
  float& at(std::int32_t record, std::int32_t i, std::int32_t j);
  void fill(std::int32_t record, float value);

  std::string run_description() const;
  // The bytes of the input grid file.
  std::string input_grid() const;
  // Writes InputModelInf.txt, adate.txt and the input grid file NAME in DIR.
  void write(const std::string& dir, const std::string& name = "case.bin") const;
};

// The bytes of little-endian 4-byte reals.
std::string le_bytes(const std::vector<float>& values);
// Record N (from 1) of a file of records of IM x JM reals, as floats.
std::vector<float> record_of(const std::string& file_bytes, std::int32_t im, std::int32_t jm,
                             std::int32_t n);

}  // namespace testsupport
