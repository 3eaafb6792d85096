// Bad input of every kind: a clear one-line message, a non-zero status where
// the run cannot go on, and nothing that existed before lost or truncated.
#include <gtest/gtest.h>

#include <random>

#include "tests/common/temp_dir.hpp"
#include "tests/slicejpeg/run_program.hpp"
#include "tests/slicejpeg/slice_bytes.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kept_max = "max :100.000000\nmin :-100.000000\n";

std::string random_bytes(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  for (auto& b : bytes) b = static_cast<char>(generator() & 0xFF);
  return bytes;
}

std::string small_slice() {
  return slice_bytes{}.image_header(2, 2).pixels({1, 2, 3, 4}).text();
}

std::size_t line_count(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::size_t entries(const fs::path& dir) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

}  // namespace

TEST(slicejpeg_robustness, missing_or_unreadable_list) {
  temp_dir dir;
  auto run = run_slicejpeg(dir.path(), "absent_list.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "slicejpeg: absent_list.txt: cannot open the path list: no such file or directory\n");

  fs::create_directory(dir / "folder_list.txt");
  run = run_slicejpeg(dir.path(), "folder_list.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "slicejpeg: folder_list.txt: cannot open the path list: is a directory\n");
  EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(slicejpeg_robustness, unreadable_slice_file) {
  temp_dir dir;
  fs::create_directories(dir / "sample/IM.1");
  dir.write("sample_list.txt", "sample\\IM.1\n");
  dir.write("sample_max.txt", kept_max);
  const auto run = run_slicejpeg(dir.path(), "sample_list.txt");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "slicejpeg: sample/IM.1: is a directory\n");
  EXPECT_EQ(dir.read("sample_max.txt"), kept_max);
}

TEST(slicejpeg_robustness, empty_lists_convert_nothing_and_write_no_max_file) {
  temp_dir dir;
  for (const std::string& content : {std::string(), std::string("\r\n\n   \t\n")}) {
    dir.write("sample_list.txt", content);
    const auto run = run_slicejpeg(dir.path(), "sample_list.txt");
    EXPECT_EQ(run.status, 6);
    EXPECT_EQ(run.err, "slicejpeg: sample_list.txt: the path list holds no slice path\n");
    EXPECT_FALSE(fs::exists(dir / "sample_max.txt"));
  }
}

TEST(slicejpeg_robustness, list_of_binary_garbage) {
  temp_dir dir;
  dir.write("sample_max.txt", kept_max);
  for (unsigned seed = 1; seed <= 5; ++seed) {
    dir.write("sample_list.txt", random_bytes(4096, seed));
    const auto run = run_slicejpeg(dir.path(), "sample_list.txt");
    EXPECT_EQ(run.status, 1) << seed;
    EXPECT_TRUE(run.out.ends_with("Reading File Open Error!\n")) << seed;
    EXPECT_EQ(dir.read("sample_max.txt"), kept_max);
    EXPECT_EQ(entries(dir.path()), 2u);
  }
}

TEST(slicejpeg_robustness, list_of_10000_lines) {
  temp_dir dir;
  fs::create_directory(dir / "s");
  std::string list;
  for (int i = 1; i <= 10000; ++i) {
    dir.write("s/IM." + std::to_string(i), small_slice());
    list += "s\\IM." + std::to_string(i) + "\n";
  }
  dir.write("s_list.txt", list);
  const auto run = run_slicejpeg(dir.path(), "s_list.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(line_count(run.out), 40000u);
  EXPECT_TRUE(fs::exists(dir / "s/s00001.jpg"));
  EXPECT_TRUE(fs::exists(dir / "s/s10000.jpg"));
  EXPECT_EQ(dir.read("s_max.txt"), "max :4.000000\nmin :1.000000\n");
}

TEST(slicejpeg_robustness, names_with_non_ascii_bytes) {
  temp_dir dir;
  for (const std::string name : {"\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF", "caf\xE9"}) {
    fs::create_directory(dir / name);
    dir.write(name + "/IM.1", small_slice());
    dir.write(name + "_list.txt", name + "\\IM.1\n");
    const auto run = run_slicejpeg(dir.path(), shell_quote(name + "_list.txt"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, name.size() + 5), name + "\\IM.1");
    EXPECT_TRUE(fs::exists(dir / name / (name + "001.jpg")));
    EXPECT_TRUE(fs::exists(dir / (name + "_max.txt")));
  }
}

TEST(slicejpeg_robustness, names_of_300_characters) {
  temp_dir dir;
  const std::string folder(140, 'd'), base(150, 'b');
  fs::create_directory(dir / folder);
  dir.write(folder + "/" + base + ".1", small_slice());
  dir.write("long_list.txt", folder + "\\" + base + ".1\n");
  auto run = run_slicejpeg(dir.path(), "long_list.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(dir / folder / "long001.jpg"));

  const std::string too_long = std::string(300, 'x') + ".2";  // longer than a file name may be
  dir.write("long_list.txt", too_long + "\n");
  run = run_slicejpeg(dir.path(), "long_list.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, too_long + "Reading File Open Error!\n");
}

TEST(slicejpeg_robustness, slice_file_of_random_bytes) {
  temp_dir dir;
  fs::create_directory(dir / "sample");
  dir.write("sample/IM.1", small_slice());
  dir.write("sample_list.txt", "sample\\IM.1\nsample\\IM.2\nsample\\IM.3\n");
  dir.write("sample/IM.3", small_slice());
  dir.write("sample/sample003.jpg", "kept");
  dir.write("sample_max.txt", kept_max);
  for (unsigned seed = 1; seed <= 10; ++seed) {
    dir.write("sample/IM.2", random_bytes(100000, seed));
    const auto run = run_slicejpeg(dir.path(), "sample_list.txt");
    EXPECT_EQ(run.status, 2) << seed;
    EXPECT_EQ(run.err.rfind("slicejpeg: sample/IM.2: ", 0), 0u) << run.err;
    EXPECT_EQ(line_count(run.err), 1u);
    EXPECT_EQ(dir.read("sample_max.txt"), kept_max);
    EXPECT_EQ(dir.read("sample/sample003.jpg"), "kept");
  }
}
