// Layout of free-form lines: the 11-character integer field, the
// 16-character real field and the blanks between items.
#include "textio/free_line.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>

#include "textio/log.hpp"

namespace {

using c2m::format_integer;
using c2m::format_real;
using c2m::FreeLine;

TEST(FormatReal, FixedAndScientificForms) {
  struct Row {
    float value;
    const char* field;
  };
  const Row rows[] = {
      {100000.0f, "  100000.000    "},
      {1000.0f, "  1000.00000    "},
      {-99999.0f, " -99999.0000    "},
      {-1.0f, " -1.00000000    "},
      {0.3f, " 0.300000012    "},
      // 0.1 is the lower end of the fixed form, 1e9 lies beyond its upper end.
      {0.1f, " 0.100000001    "},
      {0.099999994f, "  9.99999940E-02"},
      {0.05f, "  5.00000007E-02"},
      {-0.05f, " -5.00000007E-02"},
      {999999936.0f, "  999999936.    "},
      {1.0e9f, "  1.00000000E+09"},
      {999999999.0f, "  1.00000000E+09"},
      {-1.0e9f, " -1.00000000E+09"},
      // Nine digits of the binary value, rounded to nearest, ties to even.
      {123456789.0f, "  123456792.    "},
      {0.00006103515625f, "  6.10351562E-05"},
      {3.4028235e38f, "  3.40282347E+38"},
      {std::numeric_limits<float>::denorm_min(), "  1.40129846E-45"},
      {0.0f, "  0.00000000    "},
      {-0.0f, " -0.00000000    "},
      {std::numeric_limits<float>::quiet_NaN(), "             NaN"},
      {std::bit_cast<float>(std::uint32_t{0xFFC12345}), "             NaN"},
      {std::numeric_limits<float>::infinity(), "        Infinity"},
      {-std::numeric_limits<float>::infinity(), "       -Infinity"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(format_real(r.value), r.field)
        << "bits 0x" << std::hex << std::bit_cast<std::uint32_t>(r.value);
  }
}

TEST(FormatInteger, RightAlignedInEleven) {
  EXPECT_EQ(format_integer(26), "         26");
  EXPECT_EQ(format_integer(-180000), "    -180000");
  EXPECT_EQ(format_integer(0), "          0");
  EXPECT_EQ(format_integer(std::numeric_limits<std::int32_t>::min()), "-2147483648");
  EXPECT_EQ(format_integer(std::numeric_limits<std::int32_t>::max()), " 2147483647");
}

TEST(FreeLine, ItemsAndSeparators) {
  struct Row {
    FreeLine line;
    const char* text;
  };
  const Row rows[] = {
      {FreeLine().integer(26).text(" => Number of Levels"),
       "          26  => Number of Levels"},
      {FreeLine().real(100000.0f), "   100000.000    "},
      {FreeLine().real(0.05f), "   5.00000007E-02"},
      {FreeLine("Copying").integer(700).text(" mb to").integer(850).text(" mb."),
       " Copying         700  mb to         850  mb."},
      {FreeLine("RH data missing at level: ").real(1000.0f),
       " RH data missing at level:    1000.00000    "},
      {FreeLine().integer(-180000), "     -180000"},
      {FreeLine().real(-99999.0f), "  -99999.0000    "},
      // Texts that follow texts are joined, blanks and all.
      {FreeLine("OPEN FILE ").text("case.bin"), " OPEN FILE case.bin"},
      {FreeLine("a ").text("").text(" b"), " a  b"},
      {FreeLine().integer(1).integer(2), "           1           2"},
      {FreeLine().real(1.0f).text("x"), "   1.00000000     x"},
      // No item: an empty line.  One empty text: the leading blank alone.
      {FreeLine(), ""},
      {FreeLine().text(""), " "},
  };
  for (const Row& r : rows) EXPECT_EQ(r.line.str(), r.text);
}

TEST(Log, OneLineFeedPerWrite) {
  std::string out;
  c2m::Log log(out);
  log.put(FreeLine());
  log.put("field, value ");
  log.put(FreeLine("field, value ").integer(1).real(1.0f));
  EXPECT_EQ(out,
            "\n"
            " field, value \n"
            " field, value            1   1.00000000    \n");
}

}  // namespace
