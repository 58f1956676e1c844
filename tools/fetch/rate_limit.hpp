// At most so many requests a minute to one host: providers block clients
// that ask faster than they allow.  Every request counts, retries too.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <string>

namespace c2m::fetch {

class RateLimit {
 public:
  using Clock = std::chrono::steady_clock;
  explicit RateLimit(unsigned per_minute) : per_minute_(per_minute) {}

  // When a request to HOST may start, NOW or later.
  Clock::time_point next(const std::string& host, Clock::time_point now);
  // A request to HOST starts at NOW.
  void started(const std::string& host, Clock::time_point now);

 private:
  unsigned per_minute_;
  std::map<std::string, std::deque<Clock::time_point>> starts_;
};

// The host (and port) of URL: "nomads.ncep.noaa.gov", "127.0.0.1:8080".
std::string host_of(const std::string& url);

}  // namespace c2m::fetch
