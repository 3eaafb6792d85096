#include "common/path_text.hpp"

#include <gtest/gtest.h>

TEST(path_text, backslashes_become_slashes_and_slashes_stay) {
  EXPECT_EQ(common::to_native_path("..\\data\\sample\\IM.1"), "../data/sample/IM.1");
  EXPECT_EQ(common::to_native_path("sample/IM.1"), "sample/IM.1");
}

TEST(path_text, splits_at_the_last_separator_of_either_kind) {
  EXPECT_EQ(common::directory_part("a/b\\IM.12"), "a/b");
  EXPECT_EQ(common::file_name_part("a/b\\IM.12"), "IM.12");
  EXPECT_EQ(common::directory_part("IM.12"), "");
  EXPECT_EQ(common::file_name_part("IM.12"), "IM.12");
  EXPECT_EQ(common::file_name_part("dir\\"), "");
}
