#include "index.hpp"

#include <algorithm>
#include <map>

#include "kit/numbers.hpp"
#include "textio/errors.hpp"
#include "textio/quote.hpp"

namespace c2m::fetch {

namespace {

// A line longer than this is not an index line.
constexpr std::size_t longest_line = 64 * 1024;

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    if (line.ends_with('\r')) line.remove_suffix(1);
    out.push_back(line);
    at = end + 1;
  }
  return out;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
  std::vector<std::string_view> out;
  for (;;) {
    const std::size_t end = s.find(sep);
    out.push_back(s.substr(0, end));
    if (end == std::string_view::npos) return out;
    s.remove_prefix(end + 1);
  }
}

bool whole_number(std::string_view s, std::int64_t& v) { return read_integer(s, v) == NumberRead::done && v >= 0; }

// N:OFFSET:d=YYYYMMDDHH:VAR:LEVEL:FORECAST: (and more NCEP may add).
IndexEntry ncep_entry(std::string_view line, const std::string& where) {
  const auto f = split(line, ':');
  if (f.size() < 6) throw IoFailure(where + ": wants N:OFFSET:d=DATE:VAR:LEVEL:FORECAST:, not " + quote(line));
  IndexEntry e;
  const auto dot = f[0].find('.');
  std::int64_t n = 0, sub = 0;
  const bool numbered = dot == std::string_view::npos
                            ? whole_number(f[0], n)
                            : whole_number(f[0].substr(0, dot), n) && whole_number(f[0].substr(dot + 1), sub) && sub > 0;
  if (!numbered || n < 1 || n > 10000000 || sub > 1000)
    throw IoFailure(where + ": the message number " + quote(f[0]) + " is not one (N or N.M)");
  e.message = static_cast<int>(n);
  e.subfield = static_cast<int>(sub);
  if (!whole_number(f[1], e.offset)) throw IoFailure(where + ": the offset " + quote(f[1]) + " is not a byte offset");
  e.name = std::string(f[3]);
  e.level = std::string(f[4]);
  e.words = e.name + ":" + e.level;
  return e;
}

// NCEP's entries in the order of the file: a message's bytes run to the
// next message's offset.
void ncep_lengths(std::vector<IndexEntry>& entries, const std::string& url) {
  for (std::size_t n = 0; n < entries.size(); ++n) {
    const IndexEntry& e = entries[n];
    std::size_t next = n + 1;
    while (next < entries.size() && entries[next].message == e.message) {
      if (entries[next].offset != e.offset)
        throw IoFailure(url + " line " + decimal(entries[next].line) + ": field " + entries[next].words +
                        " of message " + decimal(e.message) + " gives another offset than the message's");
      ++next;
    }
    if (next < entries.size()) {
      if (entries[next].message <= e.message || entries[next].offset <= e.offset)
        throw IoFailure(url + " line " + decimal(entries[next].line) +
                        ": its message and offset do not follow those of the line before");
      for (std::size_t k = n; k < next; ++k) entries[k].length = entries[next].offset - e.offset;
    }
    n = next - 1;
  }
}

// A JSON text's value of one line of ECMWF's index: a string or a number
// (kept as its text); the MARS keys hold nothing else.
class JsonLine {
 public:
  JsonLine(std::string_view text, const std::string& where) : t_(text), where_(where) {}

  std::map<std::string, std::string> object() {
    std::map<std::string, std::string> keys;
    blanks();
    expect('{');
    blanks();
    if (peek() == '}') return keys;
    for (;;) {
      blanks();
      std::string key = string();
      blanks();
      expect(':');
      blanks();
      keys[key] = peek() == '"' ? string() : number();
      blanks();
      if (peek() == ',') {
        ++at_;
        continue;
      }
      expect('}');
      blanks();
      if (at_ != t_.size()) fail("more after the object");
      return keys;
    }
  }

 private:
  char peek() const { return at_ < t_.size() ? t_[at_] : '\0'; }
  void blanks() {
    while (at_ < t_.size() && (t_[at_] == ' ' || t_[at_] == '\t')) ++at_;
  }
  void expect(char c) {
    if (peek() != c) fail(std::string("wants '") + c + "'");
    ++at_;
  }
  [[noreturn]] void fail(const std::string& why) const {
    throw IoFailure(where_ + ": not a JSON object of MARS keys (" + why + " at character " + decimal(at_ + 1) + ")");
  }
  std::string string() {
    expect('"');
    std::string s;
    while (peek() != '"') {
      if (at_ >= t_.size() || static_cast<unsigned char>(t_[at_]) < 0x20) fail("a string that does not end");
      if (t_[at_] == '\\') {
        ++at_;
        const char c = peek();
        if (c != '"' && c != '\\' && c != '/') fail("an escape other than \\\" \\\\ \\/");
        s += c;
        ++at_;
        continue;
      }
      s += t_[at_++];
    }
    ++at_;
    return s;
  }
  std::string number() {
    const std::size_t from = at_;
    while (at_ < t_.size() && ((t_[at_] >= '0' && t_[at_] <= '9') || t_[at_] == '-' || t_[at_] == '.' ||
                               t_[at_] == 'e' || t_[at_] == 'E' || t_[at_] == '+'))
      ++at_;
    if (at_ == from) fail("a value that is neither a string nor a number");
    return std::string(t_.substr(from, at_ - from));
  }

  std::string_view t_;
  const std::string& where_;
  std::size_t at_ = 0;
};

IndexEntry mars_entry(std::string_view line, const std::string& where) {
  auto keys = JsonLine(line, where).object();
  IndexEntry e;
  std::int64_t length = 0;
  if (!whole_number(keys["_offset"], e.offset))
    throw IoFailure(where + ": its _offset " + quote(keys["_offset"]) + " is not a byte offset");
  if (!whole_number(keys["_length"], length) || length < 1)
    throw IoFailure(where + ": its _length " + quote(keys["_length"]) + " is not a length in bytes");
  e.length = length;
  e.name = keys["param"];
  e.level = keys["levtype"];
  if (keys.count("levelist")) e.level += " " + keys["levelist"];
  e.words = e.name + " " + e.level;
  return e;
}

}  // namespace

Index parse_index(IndexFormat format, std::string_view text, const std::string& url) {
  Index index;
  const auto lines = lines_of(text);
  for (std::size_t n = 0; n < lines.size(); ++n) {
    if (lines[n].find_first_not_of(" \t") == std::string_view::npos) continue;
    const std::string where = url + " line " + decimal(n + 1);
    if (lines[n].size() > longest_line) throw IoFailure(where + ": longer than an index line can be");
    IndexEntry e = format == IndexFormat::ncep ? ncep_entry(lines[n], where) : mars_entry(lines[n], where);
    e.line = static_cast<int>(n + 1);
    index.entries.push_back(std::move(e));
  }
  if (index.entries.empty()) throw IoFailure(url + ": an index without a line");
  if (format == IndexFormat::ncep) {
    ncep_lengths(index.entries, url);
  } else {
    // One field a message, numbered in the order of the file.
    std::stable_sort(index.entries.begin(), index.entries.end(),
                     [](const IndexEntry& a, const IndexEntry& b) { return a.offset < b.offset; });
    for (std::size_t n = 0; n < index.entries.size(); ++n) {
      IndexEntry& e = index.entries[n];
      e.message = static_cast<int>(n + 1);
      if (n + 1 < index.entries.size() && e.offset + *e.length > index.entries[n + 1].offset)
        throw IoFailure(url + " line " + decimal(e.line) + ": its bytes run into those of line " +
                        decimal(index.entries[n + 1].line));
    }
  }
  for (const IndexEntry& e : index.entries) index.messages = std::max(index.messages, e.message);
  return index;
}

}  // namespace c2m::fetch
