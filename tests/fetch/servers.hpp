// The servers of the fetch tests, on this machine only: nginx (from
// Debian's nginx-light) serving a tree with range requests and keep-alive,
// started on a free port with its configuration and logs under the test's
// scratch directory and stopped when the test ends; and the fault proxy
// (fault_proxy.py, run by /usr/bin/python3) in front of it.  Each counts
// the requests it saw in its log.  A server that cannot be started fails
// the test.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace fetchtest {

// A line of nginx's access log.
struct Served {
  std::string method, uri;
  int status = 0;
  std::string range;  // the Range header, "-" for none
  long long bytes = 0;
  long connection = 0, connection_requests = 0;
  std::string user_agent;
};

class Nginx {
 public:
  // Serves ROOT; its files under DIR.
  Nginx(const std::string& dir, const std::string& root);
  ~Nginx();
  Nginx(const Nginx&) = delete;
  Nginx& operator=(const Nginx&) = delete;

  int port() const { return port_; }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<Served> log() const;
  // Requests for files ending in SUFFIX (".idx"), or of the GRIB files
  // (those that are not indexes) when SUFFIX is empty.
  std::size_t count(const std::string& suffix = "") const;

 private:
  std::string dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

class FaultProxy {
 public:
  // In front of UPSTREAM (a port), making MODE for the first COUNT
  // requests (of GRIB files only, with DATA_ONLY); EXTRA are more of its
  // arguments ("--cut", "1000").
  FaultProxy(const std::string& dir, int upstream, const std::string& mode, int count, bool data_only,
             const std::vector<std::string>& extra = {});
  ~FaultProxy();
  FaultProxy(const FaultProxy&) = delete;
  FaultProxy& operator=(const FaultProxy&) = delete;

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // Its log: a line per request, the fault made or "forwarded" first.
  std::vector<std::string> log() const;

 private:
  std::string dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 that nothing listens on (just now).
int free_port();

}  // namespace fetchtest
