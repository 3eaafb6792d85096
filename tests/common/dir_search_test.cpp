#include "common/dir_search.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "common/atomic_file.hpp"
#include "tests/fuzz/wildcard_reference.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

std::vector<std::string> names_of(const common::search_result& found) {
  std::vector<std::string> names;
  for (const auto& entry : found.entries) names.push_back(entry.name);
  return names;
}

}  // namespace

TEST(dir_search, splits_at_the_last_separator_and_converts_the_directory) {
  const auto split = common::split_search_pattern("..\\data/sample\\*.*");
  EXPECT_EQ(split.directory, "../data/sample");
  EXPECT_EQ(split.name_pattern, "*.*");
  EXPECT_EQ(common::split_search_pattern("sample").directory, ".");
  EXPECT_EQ(common::split_search_pattern("sample").name_pattern, "sample");
  EXPECT_EQ(common::split_search_pattern("\\etc").directory, "/");
}

TEST(dir_search, windows_wildcards) {
  struct case_ {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const case_ cases[] = {
      {"*.*", "README", true},
      {"*.*", "..", true},
      {"*", "IM.1", true},
      {"IM.?", "IM.1", true},
      {"IM.?", "IM.10", false},
      {"*.jpg", "sample001.jpg", true},
      {"*.jpg", "sample001.JPG", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"", "x", false},
      // A '*' or '?' in the name is an ordinary byte there.
      {"*", "*a", true},
      {"*.jpg", "*x.jpg", true},
      {"a*", "a*b", true},
      {"*a", "*a", true},
      {"*b", "*a", false},
      {"?", "*", true},
      {"a?c", "a*c", true},
      {"**x", "*x", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(common::matches_name_pattern(c.pattern, c.name), c.matches)
        << c.pattern << " / " << c.name;
  EXPECT_TRUE(
      common::matches_name_pattern(std::string(200, '*') + "z", std::string(300, 'a') + "z"));
}

TEST(dir_search, wildcards_agree_with_the_plain_rules_on_random_names) {
  std::mt19937 random(20261209);
  const std::string_view letters = "ab*?.";  // few letters, so matches are common
  const auto random_text = [&](std::size_t longest) {
    std::string text(std::uniform_int_distribution<std::size_t>(0, longest)(random), ' ');
    for (char& c : text) c = letters[random() % letters.size()];
    return text;
  };
  int matched = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string pattern = random_text(6), name = random_text(8);
    const bool expected = reference::matches(pattern, name);
    ASSERT_EQ(common::matches_name_pattern(pattern, name), expected) << pattern << " / " << name;
    matched += expected;
  }
  EXPECT_GT(matched, 1000);  // the cases are not all mismatches
}

TEST(dir_search, lists_dot_entries_and_names_in_byte_order) {
  temp_dir dir;
  // Named as the programs name files, in bytes of the system's encoding
  // (UTF-8 here and under wine; std::filesystem would reencode the name).
  for (const char* name : {"b", "IM.9", "IM.10", "\xE6\x97\xA5.1", "A"})
    ASSERT_FALSE(common::replace_file_contents(dir.path().string() + "/" + name, "x"));
  std::filesystem::create_directory(dir / "sub");
  const auto found = common::find_entries((dir.path() / "*.*").string());
  EXPECT_TRUE(found.error.empty());
  EXPECT_EQ(names_of(found), (std::vector<std::string>{".", "..", "A", "IM.10", "IM.9", "b", "sub",
                                                       "\xE6\x97\xA5.1"}));
  EXPECT_TRUE(found.entries[0].is_directory);
  EXPECT_FALSE(found.entries[2].is_directory);
  EXPECT_EQ(found.entries[2].size, 1u);
  EXPECT_TRUE(found.entries[6].is_directory);
}

TEST(dir_search, exact_name_and_backslash_separators) {
  temp_dir dir;
  std::filesystem::create_directories(dir / "data" / "sample");
  dir.write("data/sample/IM.1", "abc");
  const auto found = common::find_entries((dir.path() / "data").string() + "\\sample\\IM.1");
  ASSERT_EQ(found.entries.size(), 1u);
  EXPECT_EQ(found.entries[0].name, "IM.1");
  EXPECT_EQ(found.entries[0].size, 3u);
  const auto sample = common::find_entries((dir.path() / "data").string() + "\\sample");
  ASSERT_EQ(sample.entries.size(), 1u);
  EXPECT_TRUE(sample.entries[0].is_directory);
}

TEST(dir_search, failures_say_why) {
  temp_dir dir;
  const auto missing = common::find_entries((dir.path() / "nosuch").string());
  EXPECT_TRUE(missing.entries.empty());
  EXPECT_EQ(missing.error, "no such file or directory");
  const auto no_dir = common::find_entries((dir.path() / "nosuch").string() + "\\*.*");
  EXPECT_TRUE(no_dir.entries.empty());
  EXPECT_NE(no_dir.error.find("cannot open directory"), std::string::npos);
  dir.write("a.txt", "");
  EXPECT_EQ(common::find_entries((dir.path() / "*.jpg").string()).error, "no entry matches");
  EXPECT_FALSE(common::find_entries(dir.path().string() + "/").error.empty());
}

TEST(dir_search, exact_lookup_takes_wildcards_literally) {
  temp_dir dir;
  dir.write("sample_list.txt", "x\n");
  EXPECT_FALSE(common::find_exact_entry((dir.path() / "s*_list.txt").string()));
  if (common::replace_file_contents((dir / "s*_list.txt").string(), ""))
    GTEST_SKIP() << "this system takes no '*' in a name";
  const auto entry = common::find_exact_entry((dir.path() / "s*_list.txt").string());
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->name, "s*_list.txt");
  EXPECT_EQ(entry->size, 0u);
}

// Whatever the volume, the answer must match how it treats a flipped name:
// on a Windows volume (wine too) the flipped name reaches the same file.
TEST(dir_search, names_ignore_case_tells_how_the_volume_treats_a_flipped_name) {
  temp_dir dir;
  dir.write("scan_list.txt", "a\\IM.1\n");
  const bool folds = common::names_ignore_case((dir / "scan_list.txt").string());
  EXPECT_EQ(dir.read("SCAN_LIST.TXT"), folds ? "a\\IM.1\n" : "");
  if (!folds) {
    dir.write("SCAN_LIST.TXT", "b\\IM.2\n");  // a file of its own beside it
    EXPECT_FALSE(common::names_ignore_case((dir / "scan_list.txt").string()));
  }
  dir.write("1234", "");
  EXPECT_FALSE(common::names_ignore_case((dir / "1234").string()));  // no letter to tell by
}
