#include "source/grib_header.hpp"

#include <algorithm>
#include <cstring>
#include <span>

#include "eccodes_context.hpp"
#include "kit/numbers.hpp"
#include "source/grib_keys.hpp"
#include "source/param_memo.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest::grib {

namespace {

// The unit of a forecast time: ecCodes divides by the unit's length in
// seconds when it works out the validity time, and for a code no table
// knows that length is 0 (ecCodes 2.28 dies of the division, in
// grib_g1_step_get_steps).  WMO's GRIB 1 table 4 and GRIB 2 table 4.4.
bool known_time_unit(int edition, int unit) {
  if (unit >= 0 && unit <= 7) return true;
  if (unit >= 10 && unit <= 13) return true;
  return edition == 1 ? unit == 254 : unit == 255;
}

// GRIB 2 product templates whose octet 18 is the unit of the forecast
// time: the analyses and forecasts at a point in time or over an interval,
// of single members, ensembles, derived fields, probabilities, percentiles.
bool unit_at_octet_18(int product_template) {
  return (product_template >= 0 && product_template <= 15) || (product_template >= 40 && product_template <= 48) ||
         (product_template >= 50 && product_template <= 60);
}

class HeaderParser {
 public:
  HeaderParser(const SourceFile& file, int index, const MessageSpan& m, HeaderBuffers& b)
      : file_(file), index_(index), m_(m), header_(b.header), whole_(b.whole),
        where_(message_where(file, m.number, m.at)) {}

  std::vector<FieldInfo> parse();

 private:
  IoFailure corrupt(const std::string& why) const { return IoFailure(where_ + ": " + why); }
  // The first GOT bytes of the message into the header buffer.
  void read_header(std::int64_t got);
  void read_whole() {
    whole_.resize(static_cast<std::size_t>(m_.total));
    read_exact(file_, whole_.data(), m_.total, m_.at);
  }
  // N bytes at FROM: from the bytes already read where they reach, else
  // from the file.
  void bytes_at(unsigned char* dst, std::int64_t from, std::int64_t n);
  void walk_sections();
  void walk_sections_grib1();
  void check_section(int num, std::int64_t pos, std::int64_t len);
  Handle header_handle();
  // Sections 0 to 4 of a message of one field are all in the header read.
  bool sections_0_to_4_read() const { return section5_ > m_.at && section5_ <= m_.at + got_; }
  FieldInfo field(codes_handle* h, int subfield) const;
  std::vector<FieldInfo> fields_of_whole_message();

  const SourceFile& file_;
  int index_;
  const MessageSpan& m_;
  std::vector<unsigned char>& header_;
  std::vector<unsigned char>& whole_;
  std::string where_;
  std::int64_t got_ = 0;          // bytes of the header read
  int fields_ = 1;                // data sections (GRIB 2)
  std::int64_t section5_ = 0;     // where the first section 5 starts
  std::int64_t grid_points_ = -1; // of the latest section 3
};

void HeaderParser::read_header(std::int64_t got) {
  got_ = got;
  // The head read with the message's frame, when it holds enough.
  if (got_ <= static_cast<std::int64_t>(m_.head.size())) {
    header_.assign(m_.head.begin(), m_.head.begin() + got_);
    return;
  }
  header_.resize(static_cast<std::size_t>(got_));
  read_exact(file_, header_.data(), got_, m_.at);
}

void HeaderParser::bytes_at(unsigned char* dst, std::int64_t from, std::int64_t n) {
  if (from + n <= m_.at + got_)
    std::memcpy(dst, header_.data() + (from - m_.at), static_cast<std::size_t>(n));
  else
    read_exact(file_, dst, n, from);
}

// The GRIB 2 sections, walked by their lengths: how many fields, where
// section 5 starts, and what they claim checked.
void HeaderParser::walk_sections() {
  fields_ = 0;
  std::int64_t pos = m_.at + 16;
  const std::int64_t end = m_.at + m_.total - 4;
  while (pos < end) {
    unsigned char sec[5];
    if (pos + 5 > end) throw corrupt("a section header runs into the end mark");
    bytes_at(sec, pos, 5);
    const auto len = static_cast<std::int64_t>(big_endian(sec, 4));
    const int num = sec[4];
    if (num < 1 || num > 7 || len < 5 || len > end - pos)
      throw corrupt("section " + decimal(num) + " at byte " + decimal(pos) + " claims " + decimal(len) +
                    " bytes, beyond the message's end: it is corrupt");
    check_section(num, pos, len);
    if (num == 7) ++fields_;
    if (num == 5 && section5_ == 0) section5_ = pos;
    pos += len;
  }
  if (fields_ == 0) throw corrupt("the message holds no data section");
  if (fields_ == 1 && section5_ > m_.at + got_ && section5_ - m_.at <= header_bytes_max)
    read_header(section5_ - m_.at);
}

// The GRIB 1 sections before the data, walked by their lengths: the
// product section, the grid's and the bitmap's where the product's flags
// say they are there, each within the message, and a bitmap held in its
// section.  ecCodes stops the program (an assertion) on a bitmap section
// of no length, or one that names a bitmap of a catalogue instead.
void HeaderParser::walk_sections_grib1() {
  const std::int64_t end = m_.at + m_.total - 4;
  std::int64_t pos = m_.at + 8;
  unsigned char sec[6];
  auto within = [&](const char* what, std::int64_t least, std::int64_t& len) {
    if (pos + least > end) throw corrupt(std::string("its ") + what + " section runs into the end mark");
    bytes_at(sec, pos, least < 6 ? least : 6);
    len = static_cast<std::int64_t>(big_endian(sec, 3));
    if (len < least || len > end - pos)
      throw corrupt(std::string("its ") + what + " section at byte " + decimal(pos) + " claims " + decimal(len) +
                    " bytes, beyond the message's end or too few: it is corrupt");
  };
  std::int64_t len = 0;
  within("product", 28, len);
  unsigned char flags = 0;
  bytes_at(&flags, pos + 7, 1);
  pos += len;
  if (flags & 0x80) {
    within("grid", 6, len);
    pos += len;
  }
  if (flags & 0x40) {
    within("bitmap", 6, len);
    if (const auto table = big_endian(sec + 4, 2); table != 0)
      throw corrupt("its bitmap section names bitmap " + decimal(table) +
                    " of a catalogue instead of holding one, which ingest does not take: it is corrupt");
  }
}

void HeaderParser::check_section(int num, std::int64_t pos, std::int64_t len) {
  // A bitmap has a bit for every point of the grid: one shorter than
  // that would have the decoder read past it into the data.
  if (num == 3 && len >= 10) {
    unsigned char n[4];
    bytes_at(n, pos + 6, 4);
    grid_points_ = static_cast<std::int64_t>(big_endian(n, 4));
    if (grid_points_ > max_plane_points)
      throw SizeFailure(where_ + ": claims a grid of " + decimal(grid_points_) + " points, more than the limit of " +
                        decimal(max_plane_points) + " a plane");
  }
  if (num == 6 && len >= 6) {
    unsigned char indicator = 0;
    bytes_at(&indicator, pos + 5, 1);
    if (indicator == 0 && grid_points_ >= 0 && (len - 6) * 8 < grid_points_)
      throw corrupt("its bitmap (section 6 at byte " + decimal(pos) + ") holds " + decimal((len - 6) * 8) +
                    " bits where its grid has " + decimal(grid_points_) + " points: it is corrupt");
  }
  if (num == 4 && len >= 18) {
    unsigned char p[11];
    bytes_at(p, pos + 7, 11);
    const int product_template = static_cast<int>(big_endian(p, 2));
    if (unit_at_octet_18(product_template) && !known_time_unit(2, p[10]))
      throw corrupt("the unit of its forecast time (" + decimal(p[10]) +
                    ", section 4) is none of WMO's code table 4.4: it is corrupt");
  }
}

// The header sections parsed: of a GRIB 2 message of one field, only
// sections 0 to 4 (the grid and the product), which is all a field's
// description needs; else, or when that fails, as much as was read, and
// more if that is not enough.
Handle HeaderParser::header_handle() {
  const std::int64_t most = std::min(m_.total, header_bytes_max);
  Handle h;
  for (bool first = true;; first = false) {
    const std::int64_t use = first && fields_ == 1 && sections_0_to_4_read() ? section5_ - m_.at : got_;
    h = handle_from(header_.data(), static_cast<std::size_t>(use), true);
    if (h.h || (!first && got_ >= most)) break;
    if (got_ >= most) continue;
    read_header(most);
  }
  if (!h.h) throw corrupt("its header sections cannot be read (" + eccodes_reason(GRIB_DECODING_ERROR) + ")");
  return h;
}

FieldInfo HeaderParser::field(codes_handle* h, int subfield) const {
  FieldInfo f;
  f.file = index_;
  f.message = m_.number;
  f.subfield = subfield;
  f.edition = m_.edition;
  f.offset = m_.at;
  f.length = m_.total;
  f.digest = m_.digest;
  // A field alone in its message, its sections 0 to 4 read: its
  // parameter may be known from an earlier message of its definition.
  if (subfield == 0 && m_.edition == 2 && sections_0_to_4_read())
    f.param_id = param_id_of(h, std::span(header_.data(), static_cast<std::size_t>(section5_ - m_.at))).value_or(0);
  else
    f.param_id = get_long(h, "paramId").value_or(0);
  describe(h, f);
  return f;
}

// Several fields in one message: each gets a handle of its own.
std::vector<FieldInfo> HeaderParser::fields_of_whole_message() {
  multi_field_support();
  read_whole();
  std::vector<FieldInfo> out;
  std::lock_guard<std::mutex> lock(multi_field_mutex());
  void* data = whole_.data();
  std::size_t left = whole_.size();
  int err = 0;
  int k = 0;
  for (;;) {
    Handle fh = next_field_handle(&data, &left, &err);
    if (!fh.h) break;
    out.push_back(field(fh.h, ++k));
  }
  if (err != 0 || k != fields_)
    throw corrupt("its " + decimal(fields_) + " fields cannot all be read (" + eccodes_reason(err) + ")");
  return out;
}

std::vector<FieldInfo> HeaderParser::parse() {
  // GRIB 2 states the grid and the product in a few hundred bytes: the
  // first read is short, and made longer when they need more.
  read_header(std::min(m_.edition == 2 ? head_bytes : header_bytes, m_.total));
  if (m_.edition == 2) walk_sections();
  else walk_sections_grib1();
  // Edition 1 states the unit of its forecast time in octet 18 of its
  // product section, which starts at byte 8.
  if (m_.edition == 1 && got_ >= 8 + 18 && !known_time_unit(1, header_[8 + 17]))
    throw corrupt("the unit of its forecast time (" + decimal(header_[8 + 17]) +
                  ", product section octet 18) is none of WMO's code table 4: it is corrupt");
  Handle h = header_handle();
  // Edition 1 tells the kind of grid only with the data section (which
  // says whether the values are grid points or spectral coefficients):
  // such a message is parsed whole.
  if (m_.edition == 1 && get_string(h.h, "gridType").empty()) {
    read_whole();
    h = handle_from(whole_.data(), whole_.size(), false);
    if (!h.h) throw corrupt("it cannot be read (" + eccodes_reason(GRIB_DECODING_ERROR) + ")");
  }
  if (fields_ == 1) return {field(h.h, 0)};
  return fields_of_whole_message();
}

}  // namespace

std::vector<FieldInfo> parse_header(const SourceFile& file, int index, const MessageSpan& m, HeaderBuffers& buffers) {
  return HeaderParser(file, index, m, buffers).parse();
}

}  // namespace c2m::ingest::grib
