#include "rate_limit.hpp"

namespace c2m::fetch {

namespace {
constexpr auto minute = std::chrono::seconds(60);
}

RateLimit::Clock::time_point RateLimit::next(const std::string& host, Clock::time_point now) {
  auto& starts = starts_[host];
  while (!starts.empty() && starts.front() + minute <= now) starts.pop_front();
  if (per_minute_ == 0 || starts.size() < per_minute_) return now;
  return starts[starts.size() - per_minute_] + minute;
}

void RateLimit::started(const std::string& host, Clock::time_point now) { starts_[host].push_back(now); }

std::string host_of(const std::string& url) {
  std::size_t from = url.find("://");
  from = from == std::string::npos ? 0 : from + 3;
  std::size_t to = url.find_first_of("/?#", from);
  std::string host = url.substr(from, to == std::string::npos ? std::string::npos : to - from);
  if (const auto at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
  return host;
}

}  // namespace c2m::fetch
