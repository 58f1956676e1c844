// The messages a case needs from one GRIB file, put together into one
// local GRIB file in the order of the remote one as their bytes arrive
// (from any number of ranges, in any order, resumed or sent again), each
// checked (message_check) once it is whole and written at its place.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fileio/output_file.hpp"
#include "transfer.hpp"

namespace c2m::fetch {

struct WantedMessage {
  int message = 0;  // in the remote file, from 1
  std::int64_t offset = 0;
  std::optional<std::int64_t> length;  // none: to the end of the file (the last one only)
  std::string serves;                  // the index's words of the fields it gives: "UGRD:500 mb, VGRD:500 mb"
};

class Assembly : public Receiver {
 public:
  // WANTED in the order of the file (of URL), written into OUT.
  Assembly(const std::vector<WantedMessage>& wanted, OutputFile& out, std::string url);

  std::string take(std::int64_t offset, std::span<const unsigned char> bytes) override;
  void total(std::int64_t size) override;

  // Message K whole (from the cache): checked and written; empty when
  // taken, else why not.
  std::string place(std::size_t k, std::span<const unsigned char> bytes);

  bool done(std::size_t k) const { return parts_[k].done; }
  bool complete() const;
  std::size_t messages() const { return parts_.size(); }
  std::optional<std::int64_t> length(std::size_t k) const { return parts_[k].length; }
  // Where message K starts in OUT.
  std::int64_t position(std::size_t k) const { return parts_[k].position; }
  // Called once for each message when it is whole and written.
  std::function<void(std::size_t)> on_done;

 private:
  struct Part {
    std::int64_t offset = 0;
    std::optional<std::int64_t> length;
    std::int64_t position = 0;
    std::vector<unsigned char> bytes;
    std::int64_t filled = 0;  // bytes from its start received
    bool done = false;
  };
  std::string finish(std::size_t k);

  std::vector<Part> parts_;
  std::vector<int> numbers_;
  OutputFile& out_;
  std::string url_;
};

}  // namespace c2m::fetch
