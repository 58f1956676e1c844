#include "transfer.hpp"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <deque>
#include <random>
#include <stdexcept>

#include "kit/file_descriptor.hpp"
#include "kit/numbers.hpp"
#include "rate_limit.hpp"
#include "stop_flag.hpp"
#include "textio/errors.hpp"

namespace c2m::fetch {

namespace {

using Clock = std::chrono::steady_clock;

// What a failed attempt was.
enum class Fault {
  passing,     // tried again after a wait, a cut range resumed
  bad_answer,  // tried once more from the start
  not_found,
  refused,     // not tried again
};

struct Attempt {
  const Request* req = nullptr;
  CURL* easy = nullptr;
  std::int64_t reached = 0;         // the next byte of the resource expected
  std::optional<std::int64_t> end;  // the last byte of the range, once known
  bool checked = false;             // the answer's status and range checked
  bool ignoring = false;            // the body of an error answer
  long status = 0;
  std::string content_range;
  std::string bad;  // why the answer is a bad one, when it is
  int passing = 0, bad_answers = 0, attempts = 0;
  Clock::time_point not_before{};
  bool finished = false;
  Result result;
  const std::function<void(std::int64_t)>* progress = nullptr;
  char error[CURL_ERROR_SIZE] = {};
};

std::string asked(const Attempt& a) {
  if (!a.req->ranged) return "the whole file";
  return "bytes=" + decimal(a.reached) + "-" + (a.req->last ? decimal(*a.req->last) : std::string());
}

bool starts_with_nocase(const std::string& s, std::string_view p) {
  if (s.size() < p.size()) return false;
  for (std::size_t n = 0; n < p.size(); ++n)
    if (std::tolower(static_cast<unsigned char>(s[n])) != p[n]) return false;
  return true;
}

std::size_t on_header(char* b, std::size_t size, std::size_t n, void* p) {
  Attempt& a = *static_cast<Attempt*>(p);
  std::string line(b, size * n);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  if (line.starts_with("HTTP/")) a.content_range.clear();
  constexpr std::string_view key = "content-range:";
  if (starts_with_nocase(line, key)) {
    const auto v = line.find_first_not_of(" \t", key.size());
    a.content_range = v == std::string::npos ? "" : line.substr(v);
  }
  return size * n;
}

// "bytes A-B/T" into its numbers (T -1 when '*').
bool parse_content_range(const std::string& s, std::int64_t& a, std::int64_t& b, std::int64_t& total) {
  if (!s.starts_with("bytes ")) return false;
  const auto dash = s.find('-', 6), slash = s.find('/', 6);
  if (dash == std::string::npos || slash == std::string::npos || slash < dash) return false;
  if (read_integer(std::string_view(s).substr(6, dash - 6), a) != NumberRead::done) return false;
  if (read_integer(std::string_view(s).substr(dash + 1, slash - dash - 1), b) != NumberRead::done) return false;
  const std::string_view t = std::string_view(s).substr(slash + 1);
  if (t == "*") total = -1;
  else if (read_integer(t, total) != NumberRead::done) return false;
  return a >= 0 && b >= a;
}

// The status and range of the answer, at its first byte: false (with
// a.bad set) when it is not the answer to what was asked.
bool check_answer(Attempt& a) {
  a.checked = true;
  curl_easy_getinfo(a.easy, CURLINFO_RESPONSE_CODE, &a.status);
  if (a.status >= 300) {
    a.ignoring = true;  // judged by its status once it ends
    return true;
  }
  const Request& r = *a.req;
  if (!r.ranged) {
    if (a.status != 200) a.bad = "answered status " + decimal(a.status) + " to a request for the whole file";
    return a.bad.empty();
  }
  if (a.status == 200) {
    a.bad = "answered the range request " + asked(a) + " with the whole file (status 200)";
    return false;
  }
  std::int64_t first = 0, last = 0, total = 0;
  if (a.status != 206 || !parse_content_range(a.content_range, first, last, total)) {
    a.bad = "answered the range request " + asked(a) + " with status " + decimal(a.status) +
            (a.content_range.empty() ? std::string(" and no Content-Range") : " and Content-Range " + a.content_range);
    return false;
  }
  const bool right = first == a.reached && (r.last ? last == *r.last : total >= 0 && last == total - 1);
  if (!right) {
    a.bad = "answered the range request " + asked(a) + " with another range, Content-Range " + a.content_range;
    return false;
  }
  a.end = last;
  if (!r.last) r.receiver->total(total);
  return true;
}

std::size_t on_body(char* b, std::size_t size, std::size_t n, void* p) {
  Attempt& a = *static_cast<Attempt*>(p);
  const std::size_t len = size * n;
  if (!a.checked && !check_answer(a)) return 0;
  if (a.ignoring) return len;
  const auto count = static_cast<std::int64_t>(len);
  if (a.end && a.reached + count > *a.end + 1) {
    a.bad = "sent more bytes than the range asked, " + asked(a);
    return 0;
  }
  const std::string refused =
      a.req->receiver->take(a.reached, {reinterpret_cast<const unsigned char*>(b), len});
  if (!refused.empty()) {
    a.bad = refused;
    return 0;
  }
  a.reached += count;
  if (a.progress && *a.progress) (*a.progress)(count);
  return len;
}

// What an ended transfer was, with its reason in words.
Fault classify(Attempt& a, CURLcode rc, std::string& why) {
  if (!a.bad.empty()) {
    why = a.bad;
    return Fault::bad_answer;
  }
  if (rc == CURLE_OK) {
    if (!a.checked) {
      // An empty body: its status and range are checked now.
      if (!check_answer(a)) {
        why = a.bad;
        return Fault::bad_answer;
      }
    }
    if (a.status == 404 || a.status == 410) {
      why = "not found (status " + decimal(a.status) + ")";
      return Fault::not_found;
    }
    if (a.status >= 500 || a.status == 429 || a.status == 408) {
      why = "answered status " + decimal(a.status);
      return Fault::passing;
    }
    if (a.status >= 300) {
      why = "answered status " + decimal(a.status);
      return Fault::refused;
    }
    if (a.end && a.reached != *a.end + 1) {
      why = "its body ended after " + decimal(a.reached - a.req->first) + " of the " +
            decimal(*a.end + 1 - a.req->first) + " bytes of " + range_words(*a.req);
      return Fault::bad_answer;
    }
    return Fault::passing;  // not reached: done is told apart by the caller
  }
  why = a.error[0] != '\0' ? std::string(a.error) : std::string(curl_easy_strerror(rc));
  switch (rc) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_WEIRD_SERVER_REPLY:
      return Fault::passing;
    default:
      return Fault::refused;
  }
}

bool succeeded(const Attempt& a, CURLcode rc) {
  if (rc != CURLE_OK || !a.bad.empty() || !a.checked || a.status >= 300) return false;
  return !a.end || a.reached == *a.end + 1;
}

std::string file_path(const std::string& url) { return url.substr(std::string_view("file://").size()); }

}  // namespace

std::string range_words(const Request& r) {
  if (!r.ranged) return "the whole file";
  return "bytes=" + decimal(r.first) + "-" + (r.last ? decimal(*r.last) : std::string());
}

struct Transfers::State {
  TransferSettings s;
  CURLM* multi = nullptr;
  RateLimit limit;
  std::mt19937 random{std::random_device{}()};
  std::vector<Attempt*> active;

  explicit State(TransferSettings settings) : s(std::move(settings)), limit(s.per_minute) {}

  void start(Attempt& a, Clock::time_point now);
  void end(Attempt& a) {
    if (a.easy == nullptr) return;
    curl_multi_remove_handle(multi, a.easy);
    curl_easy_cleanup(a.easy);
    a.easy = nullptr;
    std::erase(active, &a);
  }
  void ended(Attempt& a, CURLcode rc, Clock::time_point now);
  void read_file(Attempt& a);
  double backoff(int n) {
    std::uniform_real_distribution<double> jitter(0.5, 1.5);
    return s.retry_wait_s * std::ldexp(1.0, std::min(n - 1, 20)) * jitter(random);
  }
};

void Transfers::State::start(Attempt& a, Clock::time_point now) {
  a.easy = curl_easy_init();
  if (a.easy == nullptr) throw std::bad_alloc();
  a.checked = a.ignoring = false;
  a.status = 0;
  a.bad.clear();
  a.content_range.clear();
  a.error[0] = '\0';
  ++a.attempts;
  CURL* e = a.easy;
  curl_easy_setopt(e, CURLOPT_URL, a.req->url.c_str());
  curl_easy_setopt(e, CURLOPT_PRIVATE, &a);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
  curl_easy_setopt(e, CURLOPT_USERAGENT, s.user_agent.c_str());
  curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
  const long timeout = std::max(1L, static_cast<long>(std::lround(s.timeout_s)));
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, timeout);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, timeout);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, a.error);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &a);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &a);
  std::string range;
  if (a.req->ranged) {
    range = decimal(a.reached) + "-" + (a.req->last ? decimal(*a.req->last) : std::string());
    curl_easy_setopt(e, CURLOPT_RANGE, range.c_str());  // copied by curl
  }
  limit.started(host_of(a.req->url), now);
  if (curl_multi_add_handle(multi, e) != CURLM_OK) {
    curl_easy_cleanup(e);
    a.easy = nullptr;
    throw std::runtime_error("libcurl refused a transfer of " + a.req->url);
  }
  active.push_back(&a);
}

void Transfers::State::ended(Attempt& a, CURLcode rc, Clock::time_point now) {
  const bool ok = succeeded(a, rc);
  std::string why;
  const Fault fault = ok ? Fault::passing : classify(a, rc, why);
  end(a);
  if (ok) {
    a.finished = true;
    a.result = {Outcome::done, "", a.attempts};
    return;
  }
  const std::string& url = a.req->url;
  switch (fault) {
    case Fault::not_found:
      a.finished = true;
      a.result = {Outcome::not_found, url + ": " + why, a.attempts};
      return;
    case Fault::refused:
      a.finished = true;
      a.result = {Outcome::failed, url + ": " + why, a.attempts};
      return;
    case Fault::bad_answer:
      if (++a.bad_answers > 1) {
        a.finished = true;
        a.result = {Outcome::failed, url + ": " + why + " (twice; refused)", a.attempts};
        return;
      }
      a.reached = a.req->first;  // from the start again
      a.end.reset();
      a.not_before = now;
      return;
    case Fault::passing:
      if (++a.passing > static_cast<int>(s.retries)) {
        a.finished = true;
        a.result = {Outcome::failed,
                    url + ": " + why + " (" + decimal(a.attempts) + " attempts; gave up)", a.attempts};
        return;
      }
      if (!a.req->ranged) a.reached = 0;  // a whole file is asked for whole again
      a.not_before = now + std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double>(backoff(a.passing)));
      return;
  }
}

// A file:// URL: the local file, by the same rules as an answer.
void Transfers::State::read_file(Attempt& a) {
  const Request& r = *a.req;
  const std::string path = file_path(r.url);
  a.attempts = 1;
  a.finished = true;
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.is_open()) {
    const int err = errno;
    a.result = {err == ENOENT || err == ENOTDIR ? Outcome::not_found : Outcome::failed, system_reason(r.url, err), 1};
    return;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    a.result = {Outcome::failed, r.url + ": not a regular file", 1};
    return;
  }
  const std::int64_t size = st.st_size;
  std::int64_t at = r.ranged ? r.first : 0;
  const std::int64_t last = r.ranged && r.last ? *r.last : size - 1;
  if (r.ranged && !r.last) r.receiver->total(size);
  if (last >= size || at > last + 1) {
    a.result = {Outcome::failed, r.url + ": the file ends at byte " + decimal(size) + ", before " + range_words(r) + " does", 1};
    return;
  }
  std::vector<unsigned char> buf(1 << 20);
  while (at <= last) {
    StopFlag::check("the transfers were stopped, and what the run had made is removed");
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(buf.size()), last + 1 - at));
    const ssize_t got = ::pread(fd.get(), buf.data(), want, at);
    if (got <= 0) {
      a.result = {Outcome::failed, got < 0 ? system_reason(r.url, errno) : r.url + ": ended early", 1};
      return;
    }
    const std::string refused = r.receiver->take(at, {buf.data(), static_cast<std::size_t>(got)});
    if (!refused.empty()) {
      a.result = {Outcome::failed, r.url + ": " + refused, 1};
      return;
    }
    at += got;
    if (a.progress && *a.progress) (*a.progress)(got);
  }
  a.result = {Outcome::done, "", 1};
}

Transfers::Transfers(TransferSettings settings) : state_(new State(std::move(settings))) {
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!initialised) {
    delete state_;
    throw IoFailure("libcurl cannot be set up");
  }
  state_->multi = curl_multi_init();
  if (state_->multi == nullptr) {
    delete state_;
    throw std::bad_alloc();
  }
  const long parallel = std::max(1L, static_cast<long>(state_->s.parallel));
  curl_multi_setopt(state_->multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
  curl_multi_setopt(state_->multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, parallel);
  curl_multi_setopt(state_->multi, CURLMOPT_MAX_HOST_CONNECTIONS, parallel);
}

Transfers::~Transfers() {
  while (!state_->active.empty()) state_->end(*state_->active.back());
  curl_multi_cleanup(state_->multi);
  delete state_;
}

std::vector<Result> Transfers::run(const std::vector<Request>& requests,
                                   const std::function<void(std::int64_t)>& progress) {
  State& st = *state_;
  std::deque<Attempt> attempts(requests.size());
  for (std::size_t n = 0; n < requests.size(); ++n) {
    attempts[n].req = &requests[n];
    attempts[n].reached = requests[n].ranged ? requests[n].first : 0;
    attempts[n].progress = &progress;
    if (requests[n].url.starts_with("file://")) st.read_file(attempts[n]);
  }
  const unsigned parallel = std::max(1u, st.s.parallel);
  try {
    for (;;) {
      StopFlag::check("the transfers were stopped, and what the run had made is removed");
      const Clock::time_point now = Clock::now();
      Clock::time_point wake = now + std::chrono::milliseconds(200);
      bool left = false;
      for (Attempt& a : attempts) {
        if (a.finished || a.easy != nullptr) continue;
        left = true;
        if (st.active.size() >= parallel) continue;
        const Clock::time_point may = std::max(a.not_before, st.limit.next(host_of(a.req->url), now));
        if (may > now) {
          wake = std::min(wake, may);
          continue;
        }
        st.start(a, now);
      }
      if (!left && st.active.empty()) break;
      int running = 0;
      curl_multi_perform(st.multi, &running);
      int queued = 0;
      bool ended = false;
      while (CURLMsg* m = curl_multi_info_read(st.multi, &queued)) {
        if (m->msg != CURLMSG_DONE) continue;
        ended = true;
        Attempt* a = nullptr;
        curl_easy_getinfo(m->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&a));
        st.ended(*a, m->data.result, Clock::now());
      }
      // One transfer that failed for good fails the file: the others stop.
      const bool failed = std::any_of(attempts.begin(), attempts.end(), [](const Attempt& a) {
        return a.finished && a.result.outcome != Outcome::done && !a.result.abandoned;
      });
      if (failed)
        for (Attempt& a : attempts) {
          if (a.finished) continue;
          st.end(a);
          a.finished = true;
          a.result = {Outcome::failed, a.req->url + ": not finished, as another transfer failed", a.attempts, true};
        }
      // A transfer that ended leaves room for the next at once.
      if (ended) continue;
      const auto wait_ms = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now()).count();
      if (!st.active.empty() || wait_ms > 0)
        curl_multi_poll(st.multi, nullptr, 0, static_cast<int>(std::clamp<long long>(wait_ms, 0, 200)), nullptr);
    }
  } catch (...) {
    while (!st.active.empty()) st.end(*st.active.back());
    throw;
  }
  std::vector<Result> results;
  for (const Attempt& a : attempts) results.push_back(a.result);
  return results;
}

}  // namespace c2m::fetch
