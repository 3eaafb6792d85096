#include "common/path_list.hpp"

#include <gtest/gtest.h>

#include "common/diagnostic.hpp"

using namespace std::string_literals;

TEST(path_list, lines_are_the_pattern_a_backslash_and_the_name) {
  EXPECT_EQ(common::path_line("..\\data\\sample", "IM.1"), "..\\data\\sample\\IM.1");
  EXPECT_EQ(common::list_text({"s\\with space.1", "s\\IM.2"}), "s\\with space.1\ns\\IM.2\n");
  EXPECT_EQ(common::list_text({}), "");
  EXPECT_EQ(common::list_text({"s\\a.1", "s\\b.2"}, "\r\n"), "s\\a.1\r\ns\\b.2\r\n");
  EXPECT_TRUE(common::has_line_break("a\nb.1"));
  EXPECT_TRUE(common::has_line_break("a\r.1"));
  EXPECT_FALSE(common::has_line_break("a b.1"));
}

TEST(path_list, byte_order_like_strcmp) {
  std::vector<std::string> lines{"s\\b.1",   "s\\IM.9",  "s\\\x82\xA0.1",
                                 "s\\IM.10", "s\\a.DCM", "s\\IM.1"};
  common::sort_lines(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"s\\IM.1", "s\\IM.10", "s\\IM.9", "s\\a.DCM", "s\\b.1",
                                             "s\\\x82\xA0.1"}));
}

TEST(path_list, readers_take_the_first_token_per_line_or_every_token) {
  EXPECT_EQ(common::first_tokens("sample\\IM.1 extra\r\n\n  \t\r\n IM.2\nlast"),
            (std::vector<std::string>{"sample\\IM.1", "IM.2", "last"}));
  EXPECT_EQ(common::first_tokens("\0IM.1\nIM.2\0tail\n"s), (std::vector<std::string>{"IM.2"}));
  EXPECT_TRUE(common::first_tokens("\r\n\n \v\f\n").empty());

  const std::vector<std::string> expected{"sample\\a.jpg", "sample\\b.jpg", "c.jpg"};
  for (const char* text :
       {"sample\\a.jpg\nsample\\b.jpg\nc.jpg\n", "sample\\a.jpg\r\nsample\\b.jpg\r\nc.jpg\r\n",
        "  sample\\a.jpg sample\\b.jpg\t\tc.jpg"})
    EXPECT_EQ(common::all_tokens(text), expected) << text;
  EXPECT_TRUE(common::all_tokens(" \r\n\t\n").empty());
}

TEST(diagnostic, one_line_in_the_program_subject_problem_form) {
  EXPECT_EQ(common::diagnostic("dirsort", "a\nb\r.txt", "cannot write"),
            "dirsort: a\\nb\\r.txt: cannot write");
  // Strings from files: no escape sequence reaches the terminal, no forged
  // line, no flood; names in UTF-8 or Shift_JIS stay as they are.
  EXPECT_EQ(common::diagnostic("slicejpeg", "s/IM.1", "series \x1b[2J1.2\nslicejpeg: x"),
            "slicejpeg: s/IM.1: series \\x1b[2J1.2\\nslicejpeg: x");
  EXPECT_EQ(common::diagnostic("dirsort", "\xe7\x94\xbb\x83\x74.txt", "x"),
            "dirsort: \xe7\x94\xbb\x83\x74.txt: x");
  const std::string cut = common::diagnostic("slicejpeg", "f", std::string(5000, '1'));
  EXPECT_EQ(cut, "slicejpeg: f: " + std::string(1024, '1') + "... (5000 bytes, cut at 1024)");
  EXPECT_EQ(common::system_reason(ENOENT), "no such file or directory");
  EXPECT_EQ(common::system_reason(ENOSPC), "no space left on device");
}

TEST(path_list, paths_with_white_space_travel_in_quotes) {
  const std::vector<std::string> paths = {"CT Head\\IM-0001-0001.dcm", "CT\tHead\\b.1",
                                          "sample\\IM.1"};
  std::vector<std::string> lines;
  for (const auto& path : paths) lines.push_back(common::list_line(path));
  EXPECT_EQ(lines[0], "\"CT Head\\IM-0001-0001.dcm\"");
  EXPECT_EQ(lines[2], "sample\\IM.1");
  const std::string text = common::list_text(lines);
  EXPECT_EQ(common::first_tokens(text), paths);
  EXPECT_EQ(common::all_tokens(text), paths);
  const struct {
    std::string text;
    std::vector<std::string> first, all;
  } cases[] = {
      // Tokens separated by spaces instead of line ends load the same stack.
      {"\"a b\\1.jpg\" \"a b\\2.jpg\"\n", {"a b\\1.jpg"}, {"a b\\1.jpg", "a b\\2.jpg"}},
      // A quote left open ends with its line.
      {"\"a b\\1.jpg\r\nc.jpg\n", {"a b\\1.jpg", "c.jpg"}, {"a b\\1.jpg", "c.jpg"}},
      {"\"\" x.jpg\n", {}, {"x.jpg"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(common::first_tokens(c.text), c.first) << c.text;
    EXPECT_EQ(common::all_tokens(c.text), c.all) << c.text;
  }
}
