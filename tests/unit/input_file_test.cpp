// Opening a user's input: what every kind of thing at a name gives, that
// nothing waits on a FIFO, and that a refused file leaves no descriptor
// open.
#include "kit/input_file.hpp"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "support/scratch.hpp"

namespace fs = std::filesystem;
using namespace testsupport;
using Refusal = c2m::InputFile::Refusal;

namespace {

std::size_t open_descriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

bool is_open(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(OpenInput, WhatStandsAtTheName) {
  ScratchDir dir;
  write_file(dir / "case.bin", "12345");
  const struct {
    const char* what;
    std::function<std::string()> make;  // the name to open
    Refusal refusal;
    int error;
    bool directory;
  } rows[] = {
      {"a regular file", [&] { return dir / "case.bin"; }, Refusal::none, 0, false},
      {"a symlink to one", [&] { fs::create_symlink(dir / "case.bin", dir / "link"); return dir / "link"; },
       Refusal::none, 0, false},
      {"nothing", [&] { return dir / "none"; }, Refusal::open, ENOENT, false},
      {"a directory", [&] { return dir.path(); }, Refusal::not_regular, 0, true},
      {"a FIFO, not waited on", [&] { ::mkfifo((dir / "fifo").c_str(), 0600); return dir / "fifo"; },
       Refusal::not_regular, 0, false},
      {"a device", [] { return std::string("/dev/null"); }, Refusal::not_regular, 0, false},
      {"a dangling symlink", [&] { fs::create_symlink(dir / "gone", dir / "dangling"); return dir / "dangling"; },
       Refusal::open, ENOENT, false},
  };
  const std::size_t before = open_descriptors();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const c2m::InputFile in = c2m::open_input(row.make());
    EXPECT_EQ(in.refusal, row.refusal);
    EXPECT_EQ(in.error, row.error);
    EXPECT_EQ(in.is_directory(), row.directory);
    EXPECT_EQ(in.fd.is_open(), in.taken());
    if (in.taken()) {
      EXPECT_EQ(in.size, 5);
      EXPECT_TRUE(S_ISREG(in.mode));
      EXPECT_NE(::fcntl(in.fd.get(), F_GETFD) & FD_CLOEXEC, 0);
    }
  }
  EXPECT_EQ(open_descriptors(), before);
}

TEST(FileDescriptor, ClosesOnceWhereverItIsMoved) {
  const int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(raw, 0);
  {
    c2m::FileDescriptor a(raw);
    c2m::FileDescriptor b(std::move(a));
    EXPECT_FALSE(a.is_open());
    c2m::FileDescriptor c;
    c = std::move(b);
    EXPECT_EQ(c.get(), raw);
    EXPECT_TRUE(is_open(raw));
  }
  EXPECT_FALSE(is_open(raw));

  const int kept = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(kept, 0);
  {
    c2m::FileDescriptor d(kept);
    EXPECT_EQ(d.release(), kept);
  }
  EXPECT_TRUE(is_open(kept));  // given up, not closed
  c2m::FileDescriptor e(kept);
  e.reset(kept);  // the same one again: not closed under it
  EXPECT_TRUE(is_open(kept));
  e.reset();
  EXPECT_FALSE(is_open(kept));
}

}  // namespace
