#include "fileio/output_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <vector>

#include "kit/numbers.hpp"
#include "textio/errors.hpp"
#include "textio/quote.hpp"

namespace c2m {

namespace {

std::string directory_of(const std::string& name) {
  const auto slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return name.substr(0, slash);
}

// The temporary files still open, for the signal handler.  Paths are
// copied into static slots so that the handler reads no memory that the
// program may be freeing at that moment.  A slot is free, being filled
// (the handler passes it over) or published.
constexpr int slot_count = 32;
constexpr std::size_t slot_bytes = 4096;
enum SlotState : int { slot_free = 0, slot_filling = 1, slot_published = 2 };
struct Slot {
  std::atomic<int> state{slot_free};
  char path[slot_bytes] = {};
};
Slot slots[slot_count];

int take_slot(const std::string& path) {
  if (path.size() >= slot_bytes) return -1;
  for (int s = 0; s < slot_count; ++s) {
    int expected = slot_free;
    if (!slots[s].state.compare_exchange_strong(expected, slot_filling)) continue;
    std::memcpy(slots[s].path, path.c_str(), path.size() + 1);
    slots[s].state.store(slot_published, std::memory_order_release);
    return s;
  }
  return -1;  // more files open at once than slots: not removed on a signal
}

void release_slot(int s) {
  if (s >= 0) slots[s].state.store(slot_free, std::memory_order_release);
}

// Prepared diagnostics, one per handled signal, so that the handler only
// calls write.
struct SignalText {
  int sig;
  const char* name;
  char text[512];
  std::size_t length;
};
SignalText signal_texts[] = {
    {SIGINT, "SIGINT", {}, 0},
    {SIGTERM, "SIGTERM", {}, 0},
    {SIGHUP, "SIGHUP", {}, 0},
    {SIGXFSZ, "SIGXFSZ", {}, 0},
};

extern "C" void on_stop_signal(int sig) {
  const int saved = errno;
  for (auto& slot : slots)
    if (slot.state.load(std::memory_order_acquire) == slot_published) ::unlink(slot.path);
  for (const auto& t : signal_texts)
    if (t.sig == sig && t.length > 0) {
      ssize_t n = ::write(STDERR_FILENO, t.text, t.length);
      (void)n;
    }
  errno = saved;
  ::_exit(128 + sig);
}

}  // namespace

const char* file_kind(unsigned mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "a special file";
}

void check_output_name(const std::string& name) {
  if (name.empty()) throw CannotOpen("output file: the file name is empty");
  if (name.find('\0') != std::string::npos)
    throw CannotOpen("output file " + quote(name) + ": the file name holds a NUL character");
  struct stat st {};
  if (::lstat(name.c_str(), &st) != 0) {
    if (errno == ENOENT) return;  // made new; a missing directory shows when it is created
    throw CannotOpen(system_reason(name, errno));
  }
  if (S_ISLNK(st.st_mode)) return;  // replaced by the new file, its target untouched
  if (S_ISDIR(st.st_mode))
    throw CannotOpen(system_reason(name, EISDIR) + " (an output file cannot replace a directory)");
  if (!S_ISREG(st.st_mode))
    throw CannotOpen(name + ": is " + file_kind(st.st_mode) +
                     ", which an output file cannot replace");
  // A file made read-only stays protected, as it was when outputs were
  // written in place.
  if (::access(name.c_str(), W_OK) != 0 && errno == EACCES)
    throw CannotOpen(system_reason(name, EACCES) + " (the existing file is not writable)");
}

std::string partial_name(const std::string& name, long pid, int attempt) {
  std::string suffix = ".partial-" + decimal(pid);
  if (attempt > 1) suffix += "-" + decimal(attempt);
  const auto slash = name.rfind('/');
  const std::size_t base_at = slash == std::string::npos ? 0 : slash + 1;
  std::string base = name.substr(base_at);
  const std::size_t limit = NAME_MAX;
  if (base.size() + suffix.size() > limit) base.resize(limit - suffix.size());
  return name.substr(0, base_at) + base + suffix;
}

OutputFile::OutputFile(std::string name) : name_(std::move(name)) {
  check_output_name(name_);
  struct stat old {};
  const bool replaces = ::stat(name_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  for (int attempt = 1; attempt <= 100; ++attempt) {
    temp_ = partial_name(name_, static_cast<long>(::getpid()), attempt);
    // Registered before it exists, so that no moment passes in which a
    // signal would leave it behind.
    slot_ = take_slot(temp_);
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) break;
    const int err = errno;
    release_slot(slot_);
    slot_ = -1;
    if (err != EEXIST)
      throw CannotOpen(system_reason(name_, err) + " (creating its temporary file " + temp_ + ")");
  }
  if (fd_ < 0)
    throw CannotOpen(name_ + ": cannot find a free name for its temporary file (" + temp_ + ")");
  // The new file keeps the permissions of the one it replaces.
  if (replaces) (void)::fchmod(fd_, old.st_mode & 07777);
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
  release_slot(slot_);
}

void OutputFile::write_at(std::span<const std::byte> bytes, std::int64_t offset,
                          std::string_view what) {
  if (fd_ < 0) throw WriteFailure(name_ + ": written after it was closed");
  const auto* p = reinterpret_cast<const char*>(bytes.data());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd_, p + done, bytes.size() - done,
                               static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw WriteFailure(system_reason(name_, errno) + " (writing " + std::string(what) + ")");
    }
    done += static_cast<std::size_t>(n);
  }
  const std::int64_t end = offset + static_cast<std::int64_t>(done);
  for (std::int64_t seen = size_.load(); seen < end && !size_.compare_exchange_weak(seen, end);) {
  }
}

void OutputFile::write(std::span<const std::byte> bytes, std::string_view what) {
  write_at(bytes, offset_, what);
  offset_ += static_cast<std::int64_t>(bytes.size());
}

void OutputFile::close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw CloseFailure(system_reason(name_, errno) + " (closing)");
}

const std::string& OutputFile::handed_over() {
  close();
  return temp_;
}

void OutputFile::rename_into_place() {
  // Over an existing file the two names are exchanged, and the earlier
  // file, now under the temporary name, is removed after.  A plain rename
  // over an existing name makes ext4 write the new file's data out before
  // it returns (its guard for programs that replace files without
  // syncing), which costs as long as writing the file once more; the
  // exchange is as atomic and has no such cost.  The name never stands
  // empty: it holds the earlier file until the moment it holds the new one.
  struct stat st {};
  bool exchanged = false;
  if (::lstat(name_.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) {
    if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, name_.c_str(), RENAME_EXCHANGE) == 0)
      exchanged = true;
    else if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
      throw WriteFailure(system_reason(name_, errno) + " (moving " + temp_ + " into its place)");
  }
  if (!exchanged && ::rename(temp_.c_str(), name_.c_str()) != 0)
    throw WriteFailure(system_reason(name_, errno) + " (moving " + temp_ + " into its place)");
  committed_ = true;
  // The earlier file goes; should a signal come first, the handler removes
  // it under the temporary name all the same.
  if (exchanged) ::unlink(temp_.c_str());
  release_slot(slot_);
  slot_ = -1;
}

void OutputFile::commit() {
  close();
  rename_into_place();
}

void commit_together(std::initializer_list<OutputFile*> files) {
  for (OutputFile* f : files) f->close();
  if (files.size() == 0) return;
  // The lock is taken only around the renames, so runs of different cases
  // in one directory never wait on each other for long.  A directory that
  // cannot be opened for reading is renamed into without the lock.
  const std::string dir = directory_of((*files.begin())->name());
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0)
    while (::flock(dfd, LOCK_EX) != 0 && errno == EINTR) {
    }
  try {
    for (OutputFile* f : files) f->rename_into_place();
  } catch (...) {
    if (dfd >= 0) ::close(dfd);
    throw;
  }
  if (dfd >= 0) ::close(dfd);  // releases the lock
}

void install_cleanup_on_signals(const char* program) {
  for (auto& t : signal_texts) {
    const std::string text = std::string(program) + ": stopped by " + t.name + " (signal " +
                             decimal(t.sig) +
                             "): the run did not finish; its temporary files are removed "
                             "and earlier outputs are as they were\n";
    const std::size_t n = std::min(text.size(), sizeof t.text);
    std::memcpy(t.text, text.data(), n);
    t.length = n;

    struct sigaction old {};
    if (::sigaction(t.sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigfillset(&sa.sa_mask);
    ::sigaction(t.sig, &sa, nullptr);
  }
}

}  // namespace c2m
