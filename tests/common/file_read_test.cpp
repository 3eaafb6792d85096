#include "common/file_read.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/temp_dir.hpp"

using status = common::file_read::status;

TEST(file_read, only_regular_files_within_the_limit_are_read) {
  temp_dir dir;
  dir.write("list.txt", "a\\IM.1\n");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  struct case_t {
    std::string path;
    std::size_t limit;
    status expected;
    std::string reason;
  };
  const case_t cases[] = {
      {dir / "list.txt", 100, status::ok, ""},
      {dir / "list.txt", 3, status::too_large,
       "size 7 bytes is more than the 3 bytes such a file can need"},
      {dir / "absent", 100, status::cannot_open, "no such file or directory"},
      {dir / "fifo", 100, status::not_regular, "is a fifo, not a regular file"},
      {"/dev/zero", 100, status::not_regular, "is a device, not a regular file"},
      {dir.path(), 100, status::not_regular, "is a directory"},
  };
  for (const auto& c : cases) {
    const auto read = common::read_regular_file(c.path, c.limit);
    EXPECT_EQ(read.what, c.expected) << c.path;
    EXPECT_EQ(read.reason, c.reason) << c.path;
  }
  EXPECT_EQ(common::read_regular_file(dir / "list.txt", 100).bytes.size(), 7u);
}
