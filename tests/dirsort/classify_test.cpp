#include "dirsort/classify.hpp"

#include <gtest/gtest.h>

#include "dirsort/extension_table.hpp"
#include "dirsort/path_list.hpp"

using dirsort::classify;
using dirsort::list_kind;

TEST(classify, slice_files_by_digit_or_dicom_extension) {
  for (const char* name : {"IM.1", "IM.12", "a.DCM", "b.dicm", "c.DICM", "d.Dcm", "e.001", "f.9x"})
    EXPECT_EQ(classify(name).kind, list_kind::slice) << name;
}

TEST(classify, other_files_keep_their_extension_case) {
  EXPECT_EQ(classify("a.d1").extension, "d1");
  EXPECT_EQ(classify("a.jpg").kind, list_kind::other);
  EXPECT_EQ(classify("c.TXT").extension, "TXT");
  EXPECT_EQ(classify("x.dcm5").extension, "dcm5");
  EXPECT_EQ(classify("archive.tar.gz").extension, "gz");
  EXPECT_EQ(classify(".bashrc").extension, "bashrc");
}

TEST(classify, names_without_extension) {
  const std::pair<const char*, list_kind> cases[] = {
      {"1", list_kind::slice},
      {"10", list_kind::slice},
      {"IM000001", list_kind::slice},
      {"I0000012", list_kind::slice},
      {"README", list_kind::none},
      {"x.", list_kind::none},
      {"a.1.", list_kind::none},
      {"1a", list_kind::none},
      {"DICOMDIR", list_kind::none},
      {"IM1.", list_kind::none},
      {"LOCKFILE", list_kind::none},
      // What other programs and a killed run leave beside the slices.
      {"._IM000001", list_kind::companion},
      {"._a.dcm", list_kind::companion},
      {"s001.jpg.ctview-tmp-a1B2c3", list_kind::none},
      {"s_max.txt.lock", list_kind::none},
      {"S1.IMA", list_kind::slice},
      {"s1.ima", list_kind::slice},
  };
  for (const auto& [name, kind] : cases) EXPECT_EQ(classify(name).kind, kind) << name;
}

TEST(extension_table, first_occurrence_order_and_exact_comparison) {
  dirsort::extension_table table;
  EXPECT_TRUE(table.find_or_add("txt").added);
  EXPECT_TRUE(table.find_or_add("TXT").added);
  const auto again = table.find_or_add("txt");
  EXPECT_FALSE(again.added);
  EXPECT_EQ(again.index, 0u);
  const std::string long_extension(40, 'e');
  EXPECT_EQ(table.find_or_add(long_extension).index, 2u);
  ASSERT_EQ(table.lists().size(), 3u);
  EXPECT_EQ(table.lists()[1].extension, "TXT");
  EXPECT_EQ(table.lists()[2].extension, long_extension);
}

TEST(search_pattern_of, drops_only_final_separators) {
  const std::pair<const char*, const char*> cases[] = {
      {"sample/", "sample"},
      {"sample\\", "sample"},
      {"sample\\/", "sample"},
      {"..\\data\\s\\", "..\\data\\s"},
      {"sample", "sample"},
      {"a/b\\*.*", "a/b\\*.*"},
      {"/", "/"},
      {"\\\\", "\\\\"},
      {"", ""},
  };
  for (const auto& [argument, pattern] : cases)
    EXPECT_EQ(dirsort::search_pattern_of(argument), pattern) << argument;
}
