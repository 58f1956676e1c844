// Fixed-length text fields and the name held in one (the text before its
// first blank).
#include "textio/fixed_field.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using c2m::fixed_field;
using c2m::path_length;
using c2m::text_before_blank;

TEST(FixedField, PadsOrCuts) {
  EXPECT_EQ(fixed_field("abc", 8), "abc     ");
  EXPECT_EQ(fixed_field("", 3), "   ");
  EXPECT_EQ(fixed_field("2024010112", 8), "20240101");
  EXPECT_EQ(fixed_field("exactly8", 8), "exactly8");
  EXPECT_EQ(fixed_field(std::string(300, 'x'), path_length), std::string(255, 'x'));
}

TEST(TextBeforeBlank, NameOfAPathField) {
  const std::string path254 = "/" + std::string(253, 'p');
  struct Row {
    std::string field;
    std::string name;
  };
  const Row rows[] = {
      {fixed_field("/data/case01.bin", path_length), "/data/case01.bin"},
      {fixed_field("/data/my run.bin", path_length), "/data/my"},
      {fixed_field(" case.bin", path_length), ""},
      {fixed_field("", path_length), ""},
      // Filled to the last character: no blank, no name.
      {fixed_field(std::string(255, 'p'), path_length), ""},
      {fixed_field(std::string(400, 'p') + " x", path_length), ""},
      // 254 characters and the one padding blank: the whole path.
      {fixed_field(path254, path_length), path254},
      {fixed_field("tab\there x", path_length), "tab\there"},
      {fixed_field("test case", c2m::label_length), "test"},
      {fixed_field("ABCDEFGHIJKLMNOPQRS T", c2m::label_length), "ABCDEFGHIJKLMNOPQRS"},
  };
  for (const Row& r : rows) EXPECT_EQ(text_before_blank(r.field), r.name) << r.field;
}

}  // namespace
