// The input grid file: record order, byte positions within a record, rows
// turned south to north, the planes of the work arrays standing for their
// records, the "OPEN FILE " line and the failures.
#include "conv2model/input_grid.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "conv2model/field_prep.hpp"
#include "conv2model/plane_values.hpp"
#include "conv2model/work_arrays.hpp"
#include "support/case_files.hpp"
#include "support/in_process.hpp"
#include "support/scratch.hpp"
#include "textio/errors.hpp"
#include "textio/fixed_field.hpp"

namespace {

using namespace testsupport;

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

c2m::RunContext context(const std::string& path, std::int32_t im, std::int32_t jm,
                        std::int32_t lm) {
  c2m::RunContext ctx;
  ctx.input_path = c2m::fixed_field(path, c2m::path_length);
  ctx.im = im;
  ctx.jm = jm;
  ctx.lm = lm;
  return ctx;
}

// The work array and plane that record RECORD of the file belongs to:
// blocks of lm records ht, rh, q, tp, uw, vw, then the twelve surface planes.
std::pair<const c2m::Field*, std::int32_t> array_of(const c2m::WorkArrays& w, std::int32_t lm,
                                                    std::int32_t record) {
  if (record > 6 * lm) return {&w.slp, record - 6 * lm};
  const c2m::Field* blocks[] = {&w.ht, &w.rh, &w.q, &w.tp, &w.uw, &w.vw};
  return {blocks[(record - 1) / lm], (record - 1) % lm + 1};
}

// Record R as stored, rows turned.
std::vector<float> raw_record(const c2m::WorkArrays& w, std::int32_t im, std::int32_t jm,
                              std::int32_t r) {
  std::vector<float> v(static_cast<std::size_t>(im * jm));
  w.input.read_record(r, v);
  return v;
}

float point(const std::vector<float>& plane, std::int32_t im, std::int32_t i, std::int32_t j) {
  return plane[static_cast<std::size_t>((j - 1) * im + (i - 1))];
}

// Plane K of F as it goes out: read, prepared, filled.
float output_value(const c2m::WorkArrays& w, const c2m::Field& f, std::int32_t k, std::int32_t i,
                   std::int32_t j) {
  std::vector<float> v;
  c2m::load_plane(f, k, w.input, v);
  return point(v, f.im(), i, j);
}

struct Read {
  c2m::WorkArrays work;
  std::string log;
};

Read read_grid(const c2m::RunContext& ctx) {
  Read r;
  r.work = c2m::allocate_work_arrays(ctx);
  c2m::Log log(r.log);
  c2m::read_input_grid(ctx, r.work, log);
  return r;
}

TEST(ReadInputGrid, BytePositionsOfRecordsAndPoints) {
  // im = 4, jm = 3, lm = 2: records of 48 bytes, 24 of them; rows stored
  // north (j = 3) to south, so point (1, 1) sits at byte 32.
  struct Row {
    std::int32_t record, byte, i, j;
  };
  const Row rows[] = {
      {1, 32, 1, 1},  {1, 0, 1, 3},   {2, 44, 4, 1},  {3, 32, 1, 1},  // ht 1, ht 2, rh 1
      {5, 20, 2, 2},  {7, 12, 4, 3},  {9, 36, 2, 1},  {12, 16, 1, 2}, // q 1, tp 1, uw 1, vw 2
      {13, 32, 1, 1}, {16, 40, 3, 1}, {24, 44, 4, 1}, {24, 0, 1, 3},  // slp 1, 4, 12
  };
  ScratchDir dir;
  std::vector<float> file(24 * 12, 0.0f);
  for (const Row& r : rows)
    file[static_cast<std::size_t>((r.record - 1) * 12 + r.byte / 4)] =
        static_cast<float>(100 * r.record + r.byte);
  write_file(dir / "case.bin", le_bytes(file));

  Read got = read_grid(context(dir / "case.bin", 4, 3, 2));
  EXPECT_EQ(got.log, " OPEN FILE " + dir / "case.bin" + "\n");
  for (const Row& r : rows) {
    const float stored = static_cast<float>(100 * r.record + r.byte);
    EXPECT_EQ(bits(point(raw_record(got.work, 4, 3, r.record), 4, r.i, r.j)), bits(stored))
        << "record " << r.record << " byte " << r.byte;
    EXPECT_EQ(bits(got.work.input.read_point(r.record, r.i, r.j)), bits(stored));
  }
}

TEST(ReadInputGrid, EveryPointOfEveryRecord) {
  struct Size {
    std::int32_t im, jm, lm;
  };
  for (const Size s : {Size{4, 3, 2}, Size{3, 4, 1}, Size{2, 1, 3}, Size{5, 2, 0}}) {
    SCOPED_TRACE(testing::Message() << s.im << " x " << s.jm << " x " << s.lm);
    TestCase c = TestCase::valid(s.im, s.jm, s.lm);
    for (std::int32_t r = 1; r <= c.rec().count(); ++r)
      for (std::int32_t j = 1; j <= s.jm; ++j)
        for (std::int32_t i = 1; i <= s.im; ++i)
          c.at(r, i, j) = static_cast<float>(1000 * r + 10 * j + i);
    ScratchDir dir;
    // Bytes beyond the last record are never read.
    write_file(dir / "case.bin", c.input_grid() + std::string(7, '\xff'));

    Read got = read_grid(context(dir / "case.bin", s.im, s.jm, s.lm));
    for (std::int32_t r = 1; r <= c.rec().count(); ++r) {
      const auto [field, k] = array_of(got.work, s.lm, r);
      ASSERT_EQ(field->plane(k).record, r);
      ASSERT_EQ(bits(field->first_point(k)), bits(c.at(r, 1, 1)));
      const std::vector<float> plane = raw_record(got.work, s.im, s.jm, r);
      for (std::int32_t j = 1; j <= s.jm; ++j)
        for (std::int32_t i = 1; i <= s.im; ++i)
          ASSERT_EQ(bits(point(plane, s.im, i, j)), bits(c.at(r, i, j)))
              << "record " << r << " (" << i << ", " << j << ")";
    }
    // Heights go out divided by 9.8.
    for (std::int32_t k = 1; k <= s.lm; ++k)
      EXPECT_EQ(bits(output_value(got.work, got.work.ht, k, s.im, s.jm)),
                bits(c.at(k, s.im, s.jm) / 9.8f));
  }
}

TEST(ReadInputGrid, ValuesPassBitForBit) {
  const std::uint32_t patterns[] = {0x7FC00000u, 0xFFC12345u, 0x7F800000u, 0xFF800000u,
                                   0x80000000u, 0x00000001u, 0x7F7FFFFFu, 0xC7C34F80u};
  TestCase c = TestCase::valid(4, 2, 1);
  const auto rec = c.rec();
  for (std::int32_t n = 0; n < 8; ++n) {
    const float v = std::bit_cast<float>(patterns[n]);
    c.at(rec.uw(1), n % 4 + 1, n / 4 + 1) = v;
    c.at(rec.q(1), n % 4 + 1, n / 4 + 1) = v;
    c.at(rec.sfc(2), n % 4 + 1, n / 4 + 1) = v;
  }
  ScratchDir dir;
  c.write(dir.path());
  Read got = read_grid(context(dir / "case.bin", 4, 2, 1));
  c2m::prepare_fields(got.work);  // and nothing in the preparation touches them
  for (std::int32_t n = 0; n < 8; ++n) {
    const std::int32_t i = n % 4 + 1, j = n / 4 + 1;
    EXPECT_EQ(bits(output_value(got.work, got.work.uw, 1, i, j)), patterns[n]) << n;
    EXPECT_EQ(bits(output_value(got.work, got.work.q, 1, i, j)), patterns[n]) << n;
    EXPECT_EQ(bits(output_value(got.work, got.work.slp, 2, i, j)), patterns[n]) << n;
  }
}

TEST(ReadInputGrid, PathIsCutAtItsFirstBlank) {
  ScratchDir dir;
  TestCase::valid(2, 2, 1).write(dir.path());
  Read got = read_grid(context(dir / "case.bin and more words", 2, 2, 1));
  EXPECT_EQ(got.log, " OPEN FILE " + dir / "case.bin" + "\n");
  EXPECT_EQ(output_value(got.work, got.work.tp, 1, 2, 2), 285.0f);
}

TEST(ReadInputGrid, ShortFileFailsInTheRecordThatEnds) {
  struct Row {
    std::size_t bytes;
    std::int32_t record;
    const char* found;
  };
  // 24 records of 48 bytes.
  const Row rows[] = {{1151, 24, "found 47"}, {1104, 24, "found 0"}, {100, 3, "found 4"},
                      {0, 1, "found 0"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.bytes);
    ScratchDir dir;
    TestCase c = TestCase::valid(4, 3, 2);
    c.write(dir.path());
    write_file(dir / "case.bin", c.input_grid().substr(0, r.bytes));
    const c2m::RunContext ctx = context(dir / "case.bin", 4, 3, 2);
    c2m::WorkArrays work = c2m::allocate_work_arrays(ctx);
    std::string log;
    c2m::Log l(log);
    try {
      c2m::read_input_grid(ctx, work, l);
      ADD_FAILURE() << "no failure";
    } catch (const c2m::ShortFile& e) {
      EXPECT_EQ(e.status(), 2);
      const std::string m = e.what();
      EXPECT_TRUE(contains(m, "case.bin") && contains(m, "record " + std::to_string(r.record)) &&
                  contains(m, "expected 48") && contains(m, r.found))
          << m;
    }
    EXPECT_EQ(log, " OPEN FILE " + dir / "case.bin" + "\n");
  }
}

TEST(ReadInputGrid, MissingOrUnnamedFile) {
  ScratchDir dir;
  TestCase::valid(2, 2, 1).write(dir.path());
  struct Row {
    std::string path, shown, part;
  };
  const Row rows[] = {
      {dir / "other.bin", dir / "other.bin", "other.bin"},
      {" " + dir / "case.bin", "", "the file name is empty"},
      {std::string(255, 'x'), "", "the file name is empty"},
      {dir.path(), dir.path(), dir.path()},
  };
  for (const Row& r : rows) {
    const c2m::RunContext ctx = context(r.path, 2, 2, 1);
    c2m::WorkArrays work = c2m::allocate_work_arrays(ctx);
    std::string log;
    c2m::Log l(log);
    try {
      c2m::read_input_grid(ctx, work, l);
      ADD_FAILURE() << "opened '" << r.path << "'";
    } catch (const c2m::CannotOpen& e) {
      EXPECT_EQ(e.status(), 2);
      EXPECT_TRUE(contains(e.what(), r.part)) << e.what();
    }
    EXPECT_EQ(log, " OPEN FILE " + r.shown + "\n");
  }
}

}  // namespace
