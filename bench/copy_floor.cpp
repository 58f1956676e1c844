// The copy floor of a conversion: read the input grid file record by record
// into one reused buffer and write 5 x lm + 12 records of the same length to
// an output file, nothing else.  No conversion can be faster than this on
// the same files, so the converter's time is reported against it.
//
//   copy_floor INPUT OUTPUT IM JM LM
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

[[noreturn]] void die(const char* what, const char* file) {
  std::fprintf(stderr, "copy_floor: %s: %s: %s\n", file, what, std::strerror(errno));
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: copy_floor INPUT OUTPUT IM JM LM\n");
    return 2;
  }
  const long im = std::atol(argv[3]), jm = std::atol(argv[4]), lm = std::atol(argv[5]);
  const auto len = static_cast<std::size_t>(im * jm) * 4;
  std::vector<char> buf(len);
  const int in = open(argv[1], O_RDONLY);
  if (in < 0) die("open", argv[1]);
  // Opened in place like the converter's model data file, cut at the end.
  const int out = open(argv[2], O_WRONLY | O_CREAT, 0666);
  if (out < 0) die("open", argv[2]);
  const long read_records = 6 * lm + 12, write_records = 5 * lm + 12;
  off_t written = 0;
  for (long r = 0; r < read_records; ++r) {
    std::size_t got = 0;
    while (got < len) {
      const ssize_t n = read(in, buf.data() + got, len - got);
      if (n <= 0) die("read", argv[1]);
      got += static_cast<std::size_t>(n);
    }
    if (r < write_records) {
      std::size_t done = 0;
      while (done < len) {
        const ssize_t n = pwrite(out, buf.data() + done, len - done, written + static_cast<off_t>(done));
        if (n <= 0) die("write", argv[2]);
        done += static_cast<std::size_t>(n);
      }
      written += static_cast<off_t>(len);
    }
  }
  if (ftruncate(out, written) != 0) die("truncate", argv[2]);
  if (close(out) != 0) die("close", argv[2]);
  close(in);
  return 0;
}
