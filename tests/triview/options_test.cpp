#include "triview/options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

triview::parsed_options parse(std::vector<std::string_view> args) {
  return triview::parse_options(args);
}

TEST(options, list_and_z_scale_in_any_order_later_arguments_ignored) {
  const struct {
    std::vector<std::string_view> args;
    std::string list;
    double z_scale;
  } cases[] = {
      {{}, "sample_jpg_list.txt", 1},
      {{"a.txt"}, "a.txt", 1},
      {{"a.txt", "b.txt"}, "a.txt", 1},
      {{"--z-scale", "2.5", "a.txt"}, "a.txt", 2.5},
      {{"--z-scale=7.14"}, "sample_jpg_list.txt", 7.14},
      {{"a.txt", "--z-scale", "3"}, "a.txt", 1},  // after the list: ignored as before
      {{"--", "--z-scale"}, "--z-scale", 1},
      {{"--z-scale", "1e-1", "x"}, "x", 0.1},
  };
  for (const auto& c : cases) {
    const auto parsed = parse(c.args);
    ASSERT_TRUE(parsed.values) << parsed.error;
    EXPECT_EQ(parsed.values->list_name, c.list);
    EXPECT_DOUBLE_EQ(parsed.values->z_scale.value_or(1), c.z_scale);
    EXPECT_FALSE(parsed.values->help);
  }
  EXPECT_TRUE(parse({"--help"}).values->help);
  EXPECT_TRUE(parse({"-h"}).values->help);
}

TEST(options, a_z_scale_must_be_a_positive_finite_number) {
  for (const char* text : {"0", "-1", "abc", "2x", "nan", "inf", "", " 2", "1e999", "0x"})
    EXPECT_FALSE(triview::parse_z_scale(text)) << text;
  EXPECT_TRUE(parse({"a.txt", "--z-scale"}).values);  // after the list, ignored
}

}  // namespace
