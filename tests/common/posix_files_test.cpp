// What only a POSIX system has: permissions, sparse files, symbolic links
// and a read error made to happen in the middle of a listing.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/atomic_file.hpp"
#include "common/dir_search.hpp"
#include "tests/support/temp_dir.hpp"

// The test program is linked with readdir wrapped, so a read error can be
// made to happen in the middle of a listing.
namespace {
int entries_before_read_error = -1;  // -1: readdir as it is
}  // namespace

extern "C" dirent* __real_readdir(DIR* dir);
extern "C" dirent* __wrap_readdir(DIR* dir) {
  if (entries_before_read_error == 0) {
    errno = EIO;
    return nullptr;
  }
  if (entries_before_read_error > 0) --entries_before_read_error;
  return __real_readdir(dir);
}

TEST(atomic_file, keeps_the_permissions_of_the_replaced_file) {
  temp_dir dir;
  dir.write("list.txt", "x\n");
  const auto path = (dir / "list.txt").string();
  ::chmod(path.c_str(), 0640);
  ASSERT_FALSE(common::replace_file_contents(path, "y\n"));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(dir_search, size_is_the_low_32_bits) {
  temp_dir dir;
  const auto path = (dir / "big.1").string();
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, (off_t{1} << 32) + 5), 0);  // sparse, takes no space
  ::close(fd);
  const auto entry = common::find_exact_entry(path);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->size, 5u);
}

TEST(dir_search, dangling_link_is_an_entry) {
  temp_dir dir;
  std::filesystem::create_symlink(dir / "gone", dir / "link.1");
  const auto found = common::find_entries((dir.path() / "*.1").string());
  ASSERT_EQ(found.entries.size(), 1u);
  EXPECT_FALSE(found.entries[0].is_directory);
}

TEST(dir_search, read_error_in_mid_listing_gives_no_entries) {
  temp_dir dir;
  for (const char* name : {"IM.1", "IM.2", "IM.3", "IM.4"}) dir.write(name, "x");
  entries_before_read_error = 3;
  const auto found = common::find_entries((dir.path() / "*.*").string());
  entries_before_read_error = -1;
  EXPECT_TRUE(found.entries.empty());
  EXPECT_EQ(found.error, "cannot read directory " + dir.path().string() + ": input/output error");
  EXPECT_EQ(common::find_entries((dir.path() / "*.*").string()).entries.size(), 6u);
}
