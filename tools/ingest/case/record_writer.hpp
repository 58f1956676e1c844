// The one writer of a case's input grid file.  The workers make records
// whole, each a plane of the case's 4-byte reals, and hand them over; the
// worker that finds nobody writing writes every record handed over until
// none is left, the lowest record first, each in one write at its own
// place in the file, while the other workers go on decoding.  So the file
// takes writes from one thread at a time (writes of one file from two
// threads at once wait for each other in the kernel, and the second only
// adds contention), each of a whole record, and in record order as far as
// the records come ready in it.
//
// Memory holds a bounded number of planes: at most so many are out at
// once (the workers' and those waiting to be written), and a worker that
// asks for one more first writes what waits, if nobody is writing, or
// waits until one comes back; a worker that hands over a record while
// another waits to be written already waits until the writer has taken
// one (letting one wait for every worker made the 0.7 GB case of
// bench-ingest slower, with twice the system time: 1.37 s against
// 0.88 s).  The planes written are kept for the next records, so that the
// pages of a new plane are not faulted in afresh.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fileio/output_file.hpp"

namespace c2m::ingest {

class RecordWriter {
 public:
  // A record's plane.  A plane that goes (its last holder gone) goes back
  // to the writer's planes for another record.
  using Plane = std::shared_ptr<std::vector<float>>;

  // Writes records of POINTS values into OUT, with at most PLANES planes
  // out at once (at least 2): as many as the workers hold at most, and
  // one more for the writer.
  RecordWriter(OutputFile& out, std::int64_t points, std::size_t planes);
  ~RecordWriter();
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // A plane of the record's size; its values are those of some earlier
  // record, or 0.  Waits (or writes) while as many as may be are out.
  Plane plane();
  // Hands RECORD (from 1), its values in PLANE, over to be written, and
  // writes it (and all handed over meanwhile) unless another worker is
  // writing.  PLANE may still be read by the caller meanwhile, never
  // changed.  WHAT names it in a diagnostic.  Throws the failure of a
  // write this call made; after a failure of another's, returns at once.
  void put(std::int64_t record, Plane plane, std::string what);

 private:
  struct Waiting {
    Plane plane;
    std::string what;
  };
  // Writes what waits until nothing does (the lock held on entry and exit).
  void write_all(std::unique_lock<std::mutex>& lock);
  void write(std::int64_t record, const Waiting& w);
  struct Spare;
  // A plane taken from the spare ones or made, counted out (the spare
  // planes' LOCK held on entry, released on return).
  Plane make(std::unique_lock<std::mutex>& lock);

  OutputFile& out_;
  std::size_t points_;
  std::mutex mutex_;
  std::condition_variable taken_;
  std::map<std::int64_t, Waiting> waiting_;  // by record
  bool writing_ = false, failed_ = false;
  // Planes kept for the next records, shared with the planes' deleters.
  std::shared_ptr<Spare> spare_;
};

}  // namespace c2m::ingest
