// Fuzz target: a whole conversion, in-process, on a small case made from
// the bytes.
//
// Layout of an input (every byte optional; missing ones count as 0):
//   byte 0, 1, 2  im = 1 + b % 6, jm = 1 + b % 6, lm = b % 5
//   byte 3        flags, see below
//   byte 4        a count n: bytes cut off the input grid file, or the line
//                 after which the run description ends
//   from byte 5   the values of the input grid file in file order, one
//                 byte each: below 16 a value from the palette (missing,
//                 undefined, NaN, infinities, zeros, ...), 255 the raw
//                 4-byte real that follows, anything else a plausible
//                 value of the record near its default.  Values past the
//                 end of the input take the record's default, so an empty
//                 input is a whole valid case.
// The run must end with status 0, 1 or 2, as the flags call for, with a
// diagnostic exactly when it fails; a successful run leaves outputs of the
// exact sizes, a failed one leaves the outputs as they were.
#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "driver/input_driver.hpp"
#include "fuzz_check.hpp"
#include "textio/free_line.hpp"

namespace fs = std::filesystem;

namespace {

enum Flag : std::uint8_t {
  cut_grid_file = 1,        // the input grid file loses 1 + n bytes
  cut_run_description = 2,  // the run description ends after line n % (10 + lm)
  no_date_file = 4,
  old_outputs = 8,          // both outputs exist already, longer than new ones
  one_stdin_line = 16,
  path_with_words = 32,     // line 1 of standard input: "case.bin and words"
  raw_pressures = 64,       // pressures from the value bytes, not 1000, 900, ...
  loose_layout = 128,       // sizes over two lines with commas, blank lines
};

constexpr float palette[16] = {
    -99999.0f,                                  // missing
    9.999e20f,                                  // undefined
    0.0f,
    -0.0f,
    std::numeric_limits<float>::quiet_NaN(),
    std::numeric_limits<float>::infinity(),
    -std::numeric_limits<float>::infinity(),
    1.0f,
    0.1f,                                       // mask threshold
    0.6f,                                       // soil moisture cap
    0.7f,
    1e30f,
    150.0f,                                     // ends of the saturation table
    450.0f,
    std::numeric_limits<float>::denorm_min(),
    -1.0f,
};

constexpr float surface_default[12] = {1.0f,   1013.0f, 1000.0f, 9604.0f, 285.0f, 0.3f,
                                       283.0f, 0.32f,   281.0f,  0.34f,  279.0f, 0.36f};

// Default of record r (from 1) of a case with LM levels.
float record_default(int r, int lm) {
  if (r > 6 * lm) return surface_default[r - 6 * lm - 1];
  const int block = (r - 1) / lm, k = (r - 1) % lm + 1;
  const auto kf = static_cast<float>(k);
  switch (block) {
    case 0: return 9800.0f * kf;        // geopotential
    case 1: return 50.0f + kf;          // relative humidity
    case 2: return 0.01f / kf;          // specific humidity
    case 3: return 290.0f - 5.0f * kf;  // temperature
    case 4: return 5.0f + kf;           // zonal wind
    default: return -3.0f - kf;         // meridional wind
  }
}

struct Bytes {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
  std::uint8_t next() { return pos < size ? data[pos++] : 0; }
  bool done() const { return pos >= size; }
  // The next value of a record whose default is DEFAULT.
  float value(float fallback) {
    if (done()) return fallback;
    const std::uint8_t b = next();
    if (b < 16) return palette[b];
    if (b == 255) {
      std::uint32_t bits = 0;
      for (int n = 0; n < 4; ++n) bits |= std::uint32_t{next()} << (8 * n);
      return std::bit_cast<float>(bits);
    }
    return fallback * (static_cast<float>(b) / 128.0f);
  }
};

std::string le_bytes(const std::vector<float>& v) {
  std::string s(v.size() * 4, '\0');
  for (std::size_t n = 0; n < v.size(); ++n) {
    const auto bits = std::bit_cast<std::uint32_t>(v[n]);
    for (std::size_t b = 0; b < 4; ++b) s[4 * n + b] = static_cast<char>((bits >> (8 * b)) & 0xFF);
  }
  return s;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!bytes.empty()) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  FUZZ_CHECK(out.good());
}

bool read_file(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// The scratch directory of the runs, made once, emptied before each run and
// removed at exit.  Its name is kept in a plain array: a static path would
// be destroyed before the exit handler that needs it runs.
fs::path scratch() {
  static char dir[256] = "";
  if (dir[0] == '\0') {
    const std::string tmpl = (fs::temp_directory_path() / "c2m-fuzz-XXXXXX").string();
    FUZZ_CHECK(tmpl.size() < sizeof dir);
    std::memcpy(dir, tmpl.c_str(), tmpl.size() + 1);
    FUZZ_CHECK(mkdtemp(dir) != nullptr);
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(dir, ec);
    });
  }
  return dir;
}

struct Run {
  int status;
  std::string log, err;
};

Run run_in(const fs::path& dir, const std::string& stdin_text) {
  const int home = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  FUZZ_CHECK(home >= 0);
  FUZZ_CHECK(::chdir(dir.c_str()) == 0);
  Run r;
  std::string in_text = stdin_text;
  in_text.push_back('\0');  // room for fmemopen when the text is empty
  std::FILE* in = fmemopen(in_text.data(), stdin_text.size(), "r");
  char* err_buf = nullptr;
  std::size_t err_size = 0;
  std::FILE* err = open_memstream(&err_buf, &err_size);
  FUZZ_CHECK(in != nullptr && err != nullptr);
  c2m::Log log(r.log);
  r.status = c2m::input_driver(in, log, err);
  std::fclose(in);
  std::fclose(err);
  r.err.assign(err_buf, err_size);
  std::free(err_buf);
  FUZZ_CHECK(::fchdir(home) == 0);
  ::close(home);
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes b{data, size};
  const int im = 1 + b.next() % 6, jm = 1 + b.next() % 6, lm = b.next() % 5;
  const std::uint8_t flags = b.next();
  const int count = b.next();

  // The input grid file, record by record in file order.
  const int records = 6 * lm + 12;
  const auto points = static_cast<std::size_t>(im * jm);
  std::vector<float> grid(static_cast<std::size_t>(records) * points);
  for (int r = 1; r <= records; ++r)
    for (std::size_t p = 0; p < points; ++p)
      grid[static_cast<std::size_t>(r - 1) * points + p] = b.value(record_default(r, lm));
  std::string grid_bytes = le_bytes(grid);
  if ((flags & cut_grid_file) != 0) {
    const auto cut = static_cast<std::size_t>(1 + count);
    grid_bytes.resize(grid_bytes.size() - std::min(grid_bytes.size(), cut));
  }

  // The run description, line by line.
  std::vector<std::string> lines{"fuzz case"};
  if ((flags & loose_layout) != 0) {
    lines.push_back(std::to_string(im) + ", " + std::to_string(jm) + ",");
    lines.push_back("");
    lines.push_back(" " + std::to_string(lm) + " trailing words");
  } else {
    lines.push_back(std::to_string(im) + " " + std::to_string(jm) + " " + std::to_string(lm));
  }
  for (const char* g : {"0", "-90000", "0", "90000", "357500", "2500", "2500"}) lines.push_back(g);
  for (int k = 1; k <= lm; ++k) {
    const float p = (flags & raw_pressures) != 0 ? b.value(1100.0f - 100.0f * static_cast<float>(k))
                                                 : 1100.0f - 100.0f * static_cast<float>(k);
    lines.push_back(c2m::format_real(p));
  }
  std::size_t kept = lines.size();  // cut, it ends before the last pressure
  if ((flags & cut_run_description) != 0) kept = static_cast<std::size_t>(count) % lines.size();
  std::string description;
  for (std::size_t n = 0; n < kept; ++n) description += lines[n] + "\n";

  const fs::path dir = scratch();
  for (const auto& e : fs::directory_iterator(dir)) fs::remove_all(e.path());
  write_file(dir / "InputModelInf.txt", description);
  if ((flags & no_date_file) == 0) write_file(dir / "adate.txt", "2024010100\n");
  write_file(dir / "case.bin", grid_bytes);
  const std::string model = (dir / "case.bin.KVOwrk").string(), gds = model + ".gdsinfo";
  const std::string old_model(4 * points * static_cast<std::size_t>(5 * lm + 13), 'M');
  const std::string old_gds(4096, 'G');
  if ((flags & old_outputs) != 0) {
    write_file(model, old_model);
    write_file(gds, old_gds);
  }
  std::string stdin_text = (flags & path_with_words) != 0 ? "case.bin and words\n" : "case.bin\n";
  if ((flags & one_stdin_line) == 0) stdin_text += "second\n";

  const Run r = run_in(dir, stdin_text);
  if (std::getenv("C2M_FUZZ_VERBOSE") != nullptr)
    std::fprintf(stderr, "im %d jm %d lm %d flags %02x: status %d\n%s%s", im, jm, lm, flags,
                 r.status, r.log.c_str(), r.err.c_str());

  FUZZ_CHECK(r.status == 0 || r.status == 1 || r.status == 2);
  FUZZ_CHECK(r.err.empty() == (r.status == 0));
  // A case spoiled in its files cannot convert, whatever its values.
  const bool spoiled =
      (flags & (no_date_file | one_stdin_line | cut_grid_file | cut_run_description)) != 0;
  if (spoiled) FUZZ_CHECK(r.status == 2);
  if (r.status == 1)
    FUZZ_CHECK(r.log.find("missing at level") != std::string::npos ||
               r.log.find("RH patch did not work.") != std::string::npos);

  std::string model_now, gds_now;
  const bool has_model = read_file(model, model_now), has_gds = read_file(gds, gds_now);
  if (r.status == 0) {
    FUZZ_CHECK(has_model && has_gds);
    FUZZ_CHECK(model_now.size() == 4 * points * static_cast<std::size_t>(5 * lm + 12));
    FUZZ_CHECK(gds_now.size() < old_gds.size());
    FUZZ_CHECK(gds_now.find(" => Number of Levels") != std::string::npos);
    // Winds and temperature pass through, rows turned south to north and
    // undefined points marked missing.
    for (const auto& [in_block, out_block] : {std::pair{4, 0}, {5, 1}, {3, 4}})
      for (int k = 0; k < lm; ++k)
        for (int j = 0; j < jm; ++j)
          for (int i = 0; i < im; ++i) {
            const int row = jm - 1 - j;  // the file's rows run north to south
            const auto in_at = static_cast<std::size_t>(((in_block * lm + k) * jm + row) * im + i);
            const auto out_at = static_cast<std::size_t>(((out_block * lm + k) * jm + j) * im + i);
            const float in = grid[in_at] == palette[1] ? palette[0] : grid[in_at];
            std::uint32_t out = 0;
            std::memcpy(&out, model_now.data() + 4 * out_at, 4);
            FUZZ_CHECK(out == std::bit_cast<std::uint32_t>(in));
          }
  } else if ((flags & old_outputs) != 0) {
    FUZZ_CHECK(has_model && model_now == old_model);
    FUZZ_CHECK(has_gds && gds_now == old_gds);
  } else {
    FUZZ_CHECK(!has_model && !has_gds);
  }
  return 0;
}
