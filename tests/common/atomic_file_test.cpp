#include "common/atomic_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.hpp"

TEST(atomic_file, replaces_content_and_leaves_no_temporary_file) {
  temp_dir dir;
  dir.write("max.txt", "old content that is longer\n");
  const auto path = (dir / "max.txt").string();
  EXPECT_FALSE(common::replace_file_contents(path, "new\n"));
  EXPECT_EQ(dir.read("max.txt"), "new\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(atomic_file, failure_is_reported_and_changes_nothing) {
  temp_dir dir;
  const auto path = (dir / "missing-dir" / "list.txt").string();
  const auto error = common::replace_file_contents(path, "y\n");
  ASSERT_TRUE(error);
  EXPECT_NE(error->find("temporary"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing-dir"));
}

TEST(atomic_file, reads_whole_files_including_binary_bytes) {
  temp_dir dir;
  dir.write("bin", std::string("a\0b\r\n", 5));
  EXPECT_EQ(common::read_whole_file((dir / "bin").string()), std::string("a\0b\r\n", 5));
  EXPECT_FALSE(common::read_whole_file((dir / "none").string()));
}
