#include "fileio/output_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <cerrno>
#include <climits>
#include <iterator>

#include "fileio/stop_signals.hpp"
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

std::string base_of(const std::string& name) {
  const auto slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// The directory of an output, opened to create, rename and remove its
// files in.  Opened for reading, so that it can also take the lock of
// commit_together; a directory that cannot be read (write and search
// permission only) is opened as a path alone.
int open_directory(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  return fd;
}

// An advisory lock on a directory, held while a set of outputs is renamed
// into it.  Taken on a descriptor of its own: a lock belongs to the open
// file, and another set of the same process may hold one on the same
// directory.
class DirectoryLock {
 public:
  explicit DirectoryLock(int dir_fd) : fd_(::openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ >= 0)
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~DirectoryLock() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
  }
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

 private:
  int fd_;
};

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
  const long pid = static_cast<long>(::getpid());
  dir_fd_ = open_directory(directory_of(name_));
  if (dir_fd_ < 0)
    throw CannotOpen(system_reason(name_, errno) + " (creating its temporary file " +
                     partial_name(name_, pid) + ")");
  base_ = base_of(name_);
  try {
    open_temporary();
  } catch (...) {
    ::close(dir_fd_);
    throw;
  }
}

void OutputFile::open_temporary() {
  struct stat old {};
  const bool replaces = ::fstatat(dir_fd_, base_.c_str(), &old, 0) == 0 && S_ISREG(old.st_mode);
  for (int attempt = 1; attempt <= 100; ++attempt) {
    temp_ = partial_name(name_, static_cast<long>(::getpid()), attempt);
    temp_base_ = base_of(temp_);
    // Registered before it exists, and made while the stop signals wait,
    // so that no moment passes in which a signal would leave it behind.
    int err = 0;
    {
      const stop_signals::CreationHold hold;
      slot_ = stop_signals::register_temporary(dir_fd_, temp_base_);
      fd_ = ::openat(dir_fd_, temp_base_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     0666);
      err = errno;
      if (fd_ < 0) {
        stop_signals::release(slot_);
        slot_ = -1;
      }
    }
    if (fd_ >= 0) break;
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
  if (!committed_ && !temp_base_.empty()) ::unlinkat(dir_fd_, temp_base_.c_str(), 0);
  stop_signals::release(slot_);
  if (dir_fd_ >= 0) ::close(dir_fd_);
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

void OutputFile::place() {
  // Over an existing file the two names are exchanged, and the earlier
  // file, now under the temporary name, is removed after (settle).  A
  // plain rename over an existing name makes ext4 write the new file's
  // data out before it returns (its guard for programs that replace files
  // without syncing), which costs as long as writing the file once more;
  // the exchange is as atomic and has no such cost.  The name never stands
  // empty: it holds the earlier file until the moment it holds the new one.
  struct stat st {};
  if (::fstatat(dir_fd_, base_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) {
    if (::renameat2(dir_fd_, temp_base_.c_str(), dir_fd_, base_.c_str(), RENAME_EXCHANGE) == 0)
      exchanged_ = true;
    else if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
      throw WriteFailure(system_reason(name_, errno) + " (moving " + temp_ + " into its place)");
  }
  if (!exchanged_ && ::renameat(dir_fd_, temp_base_.c_str(), dir_fd_, base_.c_str()) != 0)
    throw WriteFailure(system_reason(name_, errno) + " (moving " + temp_ + " into its place)");
  placed_ = true;
  committed_ = true;
  if (exchanged_) {
    stop_signals::mark_displaced(slot_);
  } else {
    stop_signals::release(slot_);
    slot_ = -1;
  }
}

void OutputFile::restore() noexcept {
  if (!placed_) return;
  // The new file goes back under the temporary name, for the destructor to
  // remove, and the earlier one (if any) back under NAME.  Should that
  // fail too, the earlier file stays under the temporary name rather than
  // being lost.  Where a plain rename replaced an earlier file (a file
  // system without the exchange) that file is gone already.
  const bool back =
      exchanged_ ? ::renameat2(dir_fd_, temp_base_.c_str(), dir_fd_, base_.c_str(), RENAME_EXCHANGE) == 0
                 : ::renameat(dir_fd_, base_.c_str(), dir_fd_, temp_base_.c_str()) == 0;
  if (!back) return;
  if (exchanged_)
    stop_signals::mark_unfinished(slot_);
  else
    slot_ = stop_signals::register_temporary(dir_fd_, temp_base_);
  placed_ = committed_ = exchanged_ = false;
}

void OutputFile::settle() noexcept {
  // The earlier file goes; should a signal come first, the handler removes
  // it under the temporary name all the same.
  if (exchanged_) ::unlinkat(dir_fd_, temp_base_.c_str(), 0);
  stop_signals::release(slot_);
  slot_ = -1;
}

void OutputFile::commit() { commit_together({this}); }

void commit_together(std::initializer_list<OutputFile*> files) {
  commit_together(std::span<OutputFile* const>(files.begin(), files.size()));
}

void commit_together(std::span<OutputFile* const> files) {
  for (OutputFile* f : files) f->close();
  if (files.size() == 0) return;
  // The lock is taken only around the renames, so runs of different cases
  // in one directory never wait on each other for long.  It is taken
  // before the stop signals are held, so that a run waiting for it can be
  // stopped.
  const DirectoryLock lock((*files.begin())->dir_fd_);
  {
    stop_signals::CommitHold hold;
    std::size_t placed = 0;
    try {
      for (OutputFile* f : files) {
        f->place();
        ++placed;
      }
    } catch (...) {
      for (auto f = files.begin() + placed; f != files.begin();) (*--f)->restore();
      throw;
    }
    hold.completed();
  }
  for (OutputFile* f : files) f->settle();
}

void install_cleanup_on_signals(const char* program) {
  for (std::size_t n = 0; n < std::size(stop_signals::handled_signals); ++n) {
    const int sig = stop_signals::handled_signals[n];
    const std::string stopped = std::string(program) + ": stopped by " +
                                stop_signals::signal_names[n] + " (signal " + decimal(sig) + ")";
    stop_signals::set_texts(
        sig,
        stopped + ": the run did not finish; its temporary files are removed and earlier outputs "
                  "are as they were\n",
        stopped + " with every output it had written in place: they are whole and new\n",
        stopped + ": the run did not finish; the outputs it had put in place are whole and new, "
                  "its other temporary files are removed and their earlier outputs are as they "
                  "were\n");
    stop_signals::handle(sig);
  }
}

}  // namespace c2m
