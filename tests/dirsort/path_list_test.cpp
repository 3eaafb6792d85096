#include "dirsort/path_list.hpp"

#include <gtest/gtest.h>

TEST(path_list, names_and_lines) {
  EXPECT_EQ(dirsort::main_list_name("sample"), "sample_list.txt");
  EXPECT_EQ(dirsort::extension_list_name("sample", "jpg"), "sample_jpg_list.txt");
  EXPECT_EQ(dirsort::path_line("..\\data\\sample", "IM.1"), "..\\data\\sample\\IM.1");
}

TEST(path_list, byte_order_like_strcmp) {
  std::vector<std::string> lines{"s\\b.1",   "s\\IM.9",  "s\\\x82\xA0.1",
                                 "s\\IM.10", "s\\a.DCM", "s\\IM.1"};
  dirsort::sort_lines(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"s\\IM.1", "s\\IM.10", "s\\IM.9", "s\\a.DCM", "s\\b.1",
                                             "s\\\x82\xA0.1"}));
}

TEST(path_list, text_keeps_whole_lines) {
  EXPECT_EQ(dirsort::list_text({"s\\with space.1", "s\\IM.2"}), "s\\with space.1\ns\\IM.2\n");
  EXPECT_EQ(dirsort::list_text({}), "");
  EXPECT_TRUE(dirsort::has_line_break("a\nb.1"));
  EXPECT_TRUE(dirsort::has_line_break("a\r.1"));
  EXPECT_FALSE(dirsort::has_line_break("a b.1"));
}
