// Downloads over HTTP(S) with libcurl's multi interface: several transfers
// at once over kept-alive connections (HTTP/1.1, or HTTP/2 where the
// server offers it over TLS), the system's certificates, proxies from the
// environment as curl takes them (http_proxy, https_proxy, no_proxy), a
// User-Agent naming conv2model and its version, and at most so many
// requests a minute to one host.  A file:// URL is read from the local
// file instead, by the same rules.
//
// Faults that pass (a refused connection, no progress for the timeout, a
// 5xx or 429 answer, a connection cut in the middle of a body) are tried
// again after a wait that doubles each time, with jitter, a cut range
// resumed from the byte it reached.  An answer that is not what was asked
// (the whole file for a range, another Content-Range, a body shorter or
// longer than the range, bytes that the receiver refuses) is tried once
// more from the start, then refused naming the URL.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace c2m::fetch {

struct TransferSettings {
  unsigned parallel = 4;     // transfers at once
  unsigned per_minute = 60;  // requests a minute to one host (0: no limit)
  double timeout_s = 60;     // without progress
  unsigned retries = 5;      // of the faults that pass
  double retry_wait_s = 1;   // the first wait, doubled each time
  std::string user_agent;
};

// Where the bytes of a transfer go.
class Receiver {
 public:
  virtual ~Receiver() = default;
  // The bytes of the resource from OFFSET on.  Empty when taken, else why
  // they are refused (the answer is then a bad one).
  virtual std::string take(std::int64_t offset, std::span<const unsigned char> bytes) = 0;
  // The size of the whole resource, from the answer to a range to its end.
  virtual void total(std::int64_t size) { (void)size; }
};

struct Request {
  std::string url;
  bool ranged = false;               // else the whole resource
  std::int64_t first = 0;            // of a range
  std::optional<std::int64_t> last;  // of a range, inclusive; none: to the end
  Receiver* receiver = nullptr;
};

enum class Outcome { done, not_found, failed };

struct Result {
  Outcome outcome = Outcome::failed;
  std::string reason;  // for not_found and failed, naming the URL
  int attempts = 0;
  bool abandoned = false;  // stopped because another transfer failed
};

// "bytes=A-B" as a request says it; "bytes=A-" to the end.
std::string range_words(const Request& r);

class Transfers {
 public:
  explicit Transfers(TransferSettings settings);
  ~Transfers();
  Transfers(const Transfers&) = delete;
  Transfers& operator=(const Transfers&) = delete;

  // Runs REQUESTS, at most settings.parallel at once, calling PROGRESS
  // with the bytes of each piece received.  Stops at a stop signal
  // (StopFlag::check).  The results are in the order of REQUESTS.
  std::vector<Result> run(const std::vector<Request>& requests,
                          const std::function<void(std::int64_t)>& progress = {});

 private:
  struct State;
  State* state_;
};

}  // namespace c2m::fetch
