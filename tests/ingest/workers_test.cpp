// Ingest's work on the kit's workers: the headers of a GRIB file parsed on
// several threads give the failure of the first corrupt message in the
// file's order, whichever thread meets it first; the records of a case
// stop at the first failure of any worker, no memory for a plane being a
// failure of the case's size; and a case asked of workers that the system
// will not start is made by fewer, the same bytes.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <new>
#include <set>

#include "case/case_writer.hpp"
#include "estab/estab.hpp"
#include "fileio/output_file.hpp"
#include "grib_files.hpp"
#include "plan/field_table.hpp"
#include "source/grib_source.hpp"
#include "source/open_source.hpp"
#include "support/in_process.hpp"
#include "support/threads_refused.hpp"
#include "textio/errors.hpp"

using namespace ingesttest;
using namespace c2m::ingest;
using testsupport::read_file;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

constexpr int im = 12, jm = 8, lm = 5;  // 6 x lm + 12 = 42 messages

class IngestWorkers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    make_case(dir_->path(), im, jm, 40.0, 0.0, 1.0, lm);
    grib_ = case_as_grib(dir_->path(), false, true);
    write_file(*dir_ / "case.grib", grib_);
    estab::es_ini();
  }
  static void TearDownTestSuite() { delete dir_; }

  static ScratchDir* dir_;
  static std::string grib_;
};

ScratchDir* IngestWorkers::dir_ = nullptr;
std::string IngestWorkers::grib_;

// A source that reads as INNER does, except that FAIL is called first with
// each field read (and may throw); it gives every field whole.
class Failing : public FieldSource {
 public:
  Failing(std::unique_ptr<FieldSource> inner, std::function<void(const FieldInfo&)> fail)
      : inner_(std::move(inner)), fail_(std::move(fail)) {}
  const std::string& path() const override { return inner_->path(); }
  std::string format() const override { return inner_->format(); }
  int messages() const override { return inner_->messages(); }
  const std::vector<FieldInfo>& fields() const override { return inner_->fields(); }
  void read(const FieldInfo& f, DecodeScratch& scratch, std::vector<double>& values) const override {
    fail_(f);
    inner_->read(f, scratch, values);
  }

 private:
  std::unique_ptr<FieldSource> inner_;
  std::function<void(const FieldInfo&)> fail_;
};

TEST_F(IngestWorkers, TheFirstCorruptMessageInTheFileIsTheOneNamed) {
  // Messages 9 and 30 claim a unit of forecast time that no table knows
  // (octet 18 of their product section).
  const std::set<int> corrupt = {9, 30};
  int message = 0;
  const std::string bad = edit_sections(grib_, [&](std::string& b, std::size_t pos, int section) {
    if (section == 1) ++message;
    if (section == 4 && corrupt.count(message)) b[pos + 17] = static_cast<char>(200);
  });
  write_file(*dir_ / "bad.grib", bad);
  for (int run = 0; run < 20; ++run) {
    try {
      GribSource source(*dir_ / "bad.grib", 0, 4);
      ADD_FAILURE() << "a corrupt file taken";
    } catch (const c2m::IoFailure& e) {
      EXPECT_TRUE(testsupport::contains(e.what(), ": message 9 (at byte ")) << e.what();
    }
  }
}

TEST_F(IngestWorkers, TheRecordsStopAtTheFirstFailureAndNoMemoryIsTheCasesSize) {
  struct Row {
    const char* name;
    std::function<void(const FieldInfo&)> fail;
    std::string said;
  };
  const Row rows[] = {
      {"a corrupt field", [](const FieldInfo& f) { throw c2m::IoFailure("field " + std::to_string(f.message)); },
       "field "},
      {"no memory for a plane", [](const FieldInfo&) { throw std::bad_alloc(); },
       "case.bin: no memory for the planes of " + std::to_string(im * jm) + " points"},
  };
  for (const Row& row : rows) {
    for (const unsigned threads : {1u, 3u}) {
      SCOPED_TRACE(std::string(row.name) + ", " + std::to_string(threads) + " threads");
      std::atomic<int> reads{0};
      Sources sources;
      sources.push_back(std::make_unique<Failing>(open_source(*dir_ / "case.grib", 0, {}), [&](const FieldInfo& f) {
        ++reads;
        row.fail(f);
      }));
      const Plan plan = make_plan(sources, FieldTable::built_in(), PlanOptions{});
      c2m::OutputFile out(*dir_ / "case.bin");
      try {
        write_records(plan, sources, out, threads);
        ADD_FAILURE() << "the records were made";
      } catch (const c2m::RunFailure& e) {
        EXPECT_TRUE(testsupport::contains(e.what(), row.said)) << e.what();
        EXPECT_EQ(row.said.starts_with("case.bin"), dynamic_cast<const c2m::SizeFailure*>(&e) != nullptr);
      }
      // Each worker stops at its own failure, or at the next job after
      // another's: far fewer than the case's fields are read.
      EXPECT_LE(reads.load(), static_cast<int>(threads) * 2);
      if (threads == 1) {
        EXPECT_EQ(reads.load(), 1);
      }
    }
  }
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The input grid file of the case of SOURCES, made on THREADS workers.
std::string records_of(const Sources& sources, unsigned threads, const std::string& path) {
  const Plan plan = make_plan(sources, FieldTable::built_in(), PlanOptions{});
  c2m::OutputFile out(path);
  write_records(plan, sources, out, threads);
  out.commit();
  return read_file(path);
}

TEST_F(IngestWorkers, NoThreadToSpareMakesTheSameCaseOnFewer) {
  const auto sources_of = [&] {
    Sources s;
    s.push_back(open_source(*dir_ / "case.grib", 0, {}));
    return s;
  };
  const Sources alone = sources_of();
  const std::string expected = records_of(alone, 1, *dir_ / "alone.bin");
  std::string made;
  {
    // The headers parsed on four threads asked for, the records made on
    // four: the calling thread does it all.
    const testsupport::ThreadsRefused refused;
    Sources s;
    s.push_back(std::make_unique<GribSource>(*dir_ / "case.grib", 0, 4));
    made = records_of(s, 4, *dir_ / "refused.bin");
  }
  EXPECT_EQ(made.size(), expected.size());
  EXPECT_TRUE(made == expected);
}
#endif

}  // namespace
