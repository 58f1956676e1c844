// The one way every program of the project writes an output file.
//
// The bytes go to a temporary file beside the final name,
// NAME.partial-PID, created new for this run.  Every write and the close
// are checked; only when the file is whole is it renamed over NAME, so NAME
// holds either what stood there before or the complete new file, never a
// mixture.  NAME itself is never opened for writing: a symlink at NAME is
// replaced by the new file (its target is left alone), and a directory,
// FIFO, device or socket at NAME is refused before anything is written.
// On any failure, and when the program is stopped by one of the signals
// that install_cleanup_on_signals() handles, the temporary file is removed
// again.  Only SIGKILL (or a crash) can leave it behind, under a name that
// says what it is.
//
// The directory is opened once, when the file is made, and the temporary
// file is created, renamed and removed relative to it: should the
// directory be moved while the run writes (a parent renamed), the file
// still goes into place, or away, where the directory now is.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace c2m {

// Refuses NAME as an output (CannotOpen naming it and the reason) when it
// is empty, holds a NUL, or is a directory, FIFO, device or socket.  A
// missing name, a regular file and a symlink (dangling or not) are fine.
void check_output_name(const std::string& name);

// "a directory", "a FIFO (named pipe)", "a character device", ... for the
// file type bits of MODE (st_mode).
const char* file_kind(unsigned mode);

// The temporary name beside NAME for process PID: NAME.partial-PID, with
// the last component of NAME shortened when the whole would exceed the
// system's limit for a file name.
std::string partial_name(const std::string& name, long pid, int attempt = 1);

class OutputFile {
 public:
  // Checks NAME (check_output_name) and creates its temporary file.
  // CannotOpen when the directory refuses it.
  explicit OutputFile(std::string name);
  // Not committed: closes and removes the temporary file.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Appends BYTES; WHAT says what they are ("record 12") for the
  // diagnostic of a refused write.
  void write(std::span<const std::byte> bytes, std::string_view what);
  void write(std::string_view text, std::string_view what) {
    write(std::as_bytes(std::span<const char>(text.data(), text.size())), what);
  }
  // Writes BYTES at OFFSET, for files whose parts arrive out of order;
  // several threads may write parts at once.
  void write_at(std::span<const std::byte> bytes, std::int64_t offset, std::string_view what);

  // Closes the temporary file, checking the close (a full disk may show
  // only here).  The file is then whole but not yet in place.
  void close();
  // Closes (if still open) and renames the temporary file over NAME, as a
  // set of one (commit_together).
  void commit();

  // For a library that writes a file by its name (libnetcdf, for one):
  // closes this object's descriptor and gives the temporary file's name,
  // which the library may then truncate and write.  commit() moves the
  // result into place; without it the file is removed as always.
  const std::string& handed_over();

  const std::string& name() const { return name_; }
  const std::string& temp_name() const { return temp_; }
  // Bytes written so far (the end of the furthest write).
  std::int64_t size() const { return size_.load(); }
  bool committed() const { return committed_; }

 private:
  friend void commit_together(std::span<OutputFile* const> files);
  void open_temporary();
  // Moving into place in two steps, so that a set can be undone: place()
  // puts the new file under NAME, the earlier one (if any) under the
  // temporary name; restore() undoes that; settle() removes the earlier
  // file.
  void place();
  void restore() noexcept;
  void settle() noexcept;

  std::string name_;
  std::string temp_;
  int dir_fd_ = -1;        // the directory of NAME
  std::string base_;       // NAME in it
  std::string temp_base_;  // the temporary file in it
  int fd_ = -1;
  int slot_ = -1;  // in the table of files removed on a signal
  bool placed_ = false;
  bool exchanged_ = false;  // the earlier file is under the temporary name
  std::int64_t offset_ = 0;
  std::atomic<std::int64_t> size_{0};
  bool committed_ = false;
};

// Closes FILES and renames them into place one after the other while
// holding an advisory lock on the directory of the first, so that two
// runs committing the same outputs at once never leave a pair made of one
// file from each: the run that commits last wins whole.  A rename that
// fails undoes those before it, so that the names all hold what they held
// before.  The stop signals wait until the renames are done (see
// stop_signals.hpp).
void commit_together(std::initializer_list<OutputFile*> files);
// The same for a set whose size is known only at run time.
void commit_together(std::span<OutputFile* const> files);

// Makes SIGINT, SIGTERM, SIGHUP and SIGXFSZ remove every temporary file
// still open, write "PROGRAM: stopped by SIGNAME: ..." on standard error,
// saying whether the outputs are the earlier ones or the new ones, and end
// the process with status 128 + the signal number.  A signal that was
// ignored when the program started stays ignored (nohup, or a parent that
// ignores SIGXFSZ so that a file-size limit shows as a failed write).
void install_cleanup_on_signals(const char* program);

}  // namespace c2m
