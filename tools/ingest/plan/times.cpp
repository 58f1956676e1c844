#include "plan/times.hpp"

#include <algorithm>
#include <map>

#include "kit/numbers.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

template <class Key>
std::string listing(const std::map<Key, std::pair<int, std::vector<int>>>& groups,
                    std::string (*key_words)(const Key&), const std::vector<std::string>& files) {
  std::string t;
  for (const auto& [key, v] : groups) {
    if (!t.empty()) t += "; ";
    t += key_words(key) + " (" + decimal(v.first) + " field" + (v.first == 1 ? "" : "s") + " in ";
    for (std::size_t n = 0; n < v.second.size(); ++n)
      t += (n > 0 ? ", " : "") + files[static_cast<std::size_t>(v.second[n])];
    t += ")";
  }
  return t;
}

std::string time_words(const ValidTime& v) { return v.text(); }
std::string member_words(const long& m) { return "member " + decimal(m); }

template <class Key, class Get>
std::map<Key, std::pair<int, std::vector<int>>> group(const std::vector<Candidate>& cands, Get get) {
  std::map<Key, std::pair<int, std::vector<int>>> g;
  for (const Candidate& c : cands) {
    auto& e = g[get(c)];
    ++e.first;
    if (std::find(e.second.begin(), e.second.end(), c.field->file) == e.second.end())
      e.second.push_back(c.field->file);
  }
  return g;
}

}  // namespace

ChosenTime choose_time(std::vector<Candidate>& cands, const TimeChoice& choice,
                       const std::vector<std::string>& files) {
  auto times = group<ValidTime>(cands, [](const Candidate& c) { return c.field->valid; });
  if (choice.time) {
    if (!times.count(*choice.time))
      throw IoFailure("no field of the files is valid at " + choice.time->text() +
                      " (--time); they are valid at " + listing(times, time_words, files));
    std::erase_if(cands, [&](const Candidate& c) { return c.field->valid != *choice.time; });
  } else if (times.size() > 1) {
    throw IoFailure("the fields are valid at " + decimal(times.size()) +
                    " times, and a case has one: " + listing(times, time_words, files) +
                    "; choose one with --time YYYYMMDDHH");
  }
  auto members = group<long>(cands, [](const Candidate& c) { return c.field->member; });
  if (choice.member) {
    if (!members.count(*choice.member))
      throw IoFailure("no field of the files is of member " + decimal(*choice.member) +
                      " (--member); they hold " + listing(members, member_words, files));
    std::erase_if(cands, [&](const Candidate& c) { return c.field->member != *choice.member; });
  } else if (members.size() > 1) {
    throw IoFailure("the fields belong to " + decimal(members.size()) +
                    " ensemble members, and a case has one: " + listing(members, member_words, files) +
                    "; choose one with --member N");
  }
  ChosenTime t;
  if (!cands.empty()) {
    t.valid = cands.front().field->valid;
    t.member = cands.front().field->member;
  }
  return t;
}

std::optional<ValidTime> parse_time(const std::string& text) {
  if (text.size() != 10 && text.size() != 12) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  auto number = [&](std::size_t at, std::size_t n) {
    int v = 0;
    read_integer(std::string_view(text).substr(at, n), v);
    return v;
  };
  const int month = number(4, 2), day = number(6, 2), hour = number(8, 2);
  const int minute = text.size() == 12 ? number(10, 2) : 0;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59) return std::nullopt;
  ValidTime v;
  read_integer(std::string_view(text).substr(0, 8), v.date);
  v.hhmm = hour * 100 + minute;
  return v;
}

}  // namespace c2m::ingest
