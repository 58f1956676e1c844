// The copy floor of an export: read a file once, in blocks of BLOCK bytes
// into one reused buffer, and write the same bytes once.  No export of a
// model data file can be faster than this on the same files, so the
// export's time is reported against it.  OUTPUT is truncated and rewritten
// in place; with --beside the bytes go to OUTPUT.partial, which is then
// renamed over OUTPUT, as every output of the project is written.
//
//   read_write_floor INPUT OUTPUT BLOCK [--beside]
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void die(const char* what, const char* file) {
  std::fprintf(stderr, "read_write_floor: %s: %s: %s\n", file, what, std::strerror(errno));
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  const bool beside = argc == 5 && std::strcmp(argv[4], "--beside") == 0;
  if ((argc != 4 && !beside) || std::atol(argv[3]) <= 0) {
    std::fprintf(stderr, "usage: read_write_floor INPUT OUTPUT BLOCK [--beside]\n");
    return 2;
  }
  std::vector<char> buf(static_cast<std::size_t>(std::atol(argv[3])));
  const std::string target = beside ? std::string(argv[2]) + ".partial" : argv[2];
  const int in = open(argv[1], O_RDONLY);
  if (in < 0) die("open", argv[1]);
  const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (out < 0) die("open", target.c_str());
  for (;;) {
    const ssize_t got = read(in, buf.data(), buf.size());
    if (got < 0) die("read", argv[1]);
    if (got == 0) break;
    std::size_t done = 0;
    while (done < static_cast<std::size_t>(got)) {
      const ssize_t n = write(out, buf.data() + done, static_cast<std::size_t>(got) - done);
      if (n <= 0) die("write", target.c_str());
      done += static_cast<std::size_t>(n);
    }
  }
  if (close(out) != 0) die("close", target.c_str());
  if (beside && rename(target.c_str(), argv[2]) != 0) die("rename", target.c_str());
  close(in);
  return 0;
}
