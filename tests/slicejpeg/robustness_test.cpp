// Bad input of every kind: a clear one-line message, a non-zero status where
// the run cannot go on, and nothing that existed before lost or truncated.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "tests/support/program_run.hpp"
#include "tests/support/slice_bytes.hpp"
#include "tests/support/temp_dir.hpp"

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
  EXPECT_EQ(run.err, "slicejpeg: folder_list.txt: cannot open the path list: is a directory\n");
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

namespace {

// A sparse file of `size` bytes, on tmpfs when the size is more than the
// temporary directory's file system can hold; a symbolic link at `link`.
bool make_sparse(const fs::path& link, std::uintmax_t size, fs::path& made) {
  for (const fs::path& base : {fs::path("/dev/shm"), link.parent_path()}) {
    made = base / ("ctview-sparse-" + std::to_string(::getpid()));
    std::error_code error;
    { std::ofstream(made).put('\0'); }
    fs::resize_file(made, size, error);
    if (!error) {
      if (made.parent_path() != link.parent_path())
        fs::create_symlink(made, link);
      else
        fs::rename(made, link);
      return true;
    }
    fs::remove(made, error);
  }
  return false;
}

}  // namespace

TEST(slicejpeg_robustness, slice_larger_than_any_slice_is_refused_with_its_size) {
  temp_dir dir;
  fs::create_directory(dir / "s");
  dir.write("s/IM.1", small_slice());
  dir.write("s_list.txt", "s\\IM.1\ns\\IM.2\n");
  fs::path made;
  ASSERT_TRUE(make_sparse(dir / "s/IM.2", 9223372036854775807u, made) ||
              make_sparse(dir / "s/IM.2", std::uintmax_t{1} << 40, made));
  const auto size = fs::file_size(dir / "s/IM.2");
  const auto run = run_slicejpeg(dir.path(), "s_list.txt");
  std::error_code ignored;
  fs::remove(made, ignored);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "slicejpeg: s/IM.2: size " + std::to_string(size) +
                         " bytes is more than the 4362076160 bytes such a file can need\n");
  EXPECT_FALSE(fs::exists(dir / "s_max.txt"));
}

// A FIFO or a device is refused at once (no wait, no endless read); a file
// that cannot be opened keeps its console line and gets the reason.
TEST(slicejpeg_robustness, unreadable_files_are_refused_at_once_with_the_reason) {
  temp_dir dir;
  fs::create_directory(dir / "s");
  ASSERT_EQ(::mkfifo((dir / "s/IM.2").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo_list.txt").c_str(), 0644), 0);
  dir.write("s/IM.1", small_slice());
  fs::create_symlink("/dev/zero", dir / "s/IM.3");
  fs::create_symlink("loop", dir / "s/loop");
  const std::string long_name = std::string(300, 'x') + ".2";
  const auto open_error = [](const std::string& path, const std::string& reason) {
    return "slicejpeg: " + path + ": cannot open: " + reason + "\n";
  };
  struct refusal {
    std::string list;  // written to s_list.txt; empty: fifo_list.txt is the list
    int status;
    std::string out;  // checked when not empty
    std::string err;
  };
  const std::vector<refusal> cases = {
      {"s\\IM.1\ns\\IM.2\n", 2, "", "slicejpeg: s/IM.2: is a fifo, not a regular file\n"},
      {"s\\IM.1\ns\\IM.3\n", 2, "", "slicejpeg: s/IM.3: is a device, not a regular file\n"},
      {"", 1, "",
       "slicejpeg: fifo_list.txt: cannot open the path list: is a fifo, not a regular file\n"},
      {"s/IM.9\n", 1, "s/IM.9Reading File Open Error!\n",
       open_error("s/IM.9", "no such file or directory")},
      {"s/loop\n", 1, "s/loopReading File Open Error!\n",
       open_error("s/loop", "too many levels of symbolic links")},
      {long_name + "\n", 1, long_name + "Reading File Open Error!\n",
       open_error(long_name, "file name too long")},
  };
  for (const auto& c : cases) {
    if (!c.list.empty()) dir.write("s_list.txt", c.list);
    const auto run = run_in(dir.path(), "timeout 20 " + shell_quote(SLICEJPEG_BIN) + " " +
                                            (c.list.empty() ? "fifo_list.txt" : "s_list.txt"));
    EXPECT_EQ(run.status, c.status) << c.list;
    if (!c.out.empty()) {
      EXPECT_EQ(run.out, c.out) << c.list;
    }
    EXPECT_EQ(run.err, c.err) << c.list;
  }
}

TEST(slicejpeg_robustness, unwritable_standard_output_is_reported) {
  temp_dir dir;
  fs::create_directory(dir / "s");
  dir.write("s/IM.1", small_slice());
  dir.write("s_list.txt", "s\\IM.1\n");
  const auto run = run_in(dir.path(), shell_quote(SLICEJPEG_BIN) + " s_list.txt >/dev/full");
  EXPECT_EQ(run.status, 9);
  EXPECT_EQ(run.err, "slicejpeg: standard output: cannot write: no space left on device\n");
}

// Without the lock a concurrent run could lose this run's extremes: nothing
// is written.
TEST(slicejpeg_robustness, a_max_file_lock_that_cannot_be_taken_stops_the_run) {
  temp_dir dir;
  fs::create_directory(dir / "s");
  dir.write("s/IM.1", small_slice());
  dir.write("s_list.txt", "s\\IM.1\n");
  fs::create_directory(dir / "s_max.txt.lock");
  const auto run = run_in(dir.path(), shell_quote(SLICEJPEG_BIN) + " s_list.txt");
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "slicejpeg: s_max.txt.lock: cannot lock the max file: is a directory\n");
  EXPECT_FALSE(fs::exists(dir / "s/s001.jpg"));
  EXPECT_FALSE(fs::exists(dir / "s_max.txt"));
}

TEST(slicejpeg_robustness, concurrent_runs_on_one_max_file_lose_no_update) {
  temp_dir dir;
  fs::create_directory(dir / "a");
  fs::create_directory(dir / "b");
  std::string list_a, list_b;
  for (int i = 1; i <= 30; ++i) {
    const auto n = std::to_string(i);
    dir.write("a/IM." + n, slice_bytes{}.image_header(2, 2).pixels({1, 2, 3, 100}).text());
    dir.write("b/IM." + n, slice_bytes{}.image_header(2, 2).pixels({-5, 2, 3, 5000}).text());
    list_a += "a\\IM." + n + "\n";
    list_b += "b\\IM." + n + "\n";
  }
  dir.write("ser_list.txt", list_a);
  dir.write("ser_b.txt", list_b);
  const std::string bin = shell_quote(SLICEJPEG_BIN);
  for (int attempt = 0; attempt < 5; ++attempt) {
    fs::remove(dir / "ser_max.txt");
    const auto run = run_in(
        dir.path(), "{ " + bin + " ser_list.txt & " + bin + " ser_b.txt & wait; } >/dev/null");
    // Only the wide series says that the default mapping wraps it; nothing else.
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("slicejpeg: ser_b.txt: slices span up to 5006 values", 0), 0u)
        << run.err;
    EXPECT_EQ(dir.read("ser_max.txt"), "max :5000.000000\nmin :-5.000000\n") << attempt;
    EXPECT_FALSE(fs::exists(dir / "ser_max.txt.lock"));
  }
}

// Interrupted at any point, a run leaves no lock and no temporary file, and a
// temporary file a killed run left beside an output is removed by the next
// run that writes that output.
TEST(slicejpeg_interrupts, leave_no_lock_and_no_temporary_file) {
  temp_dir dir;
  const std::string phantom = shell_quote(PHANTOM_BIN), bin = shell_quote(SLICEJPEG_BIN);
  ASSERT_EQ(run_in(dir.path(), phantom + " --width 512 --height 512 --slices 300 s").status, 0);
  std::string list;
  for (int i = 1; i <= 300; ++i) list += "s\\IM." + std::to_string(i) + "\n";
  dir.write("s_list.txt", list);
  for (const char* signal : {"INT", "TERM", "HUP"}) {
    for (const char* delay : {"0.02", "0.1"}) {
      const auto run = run_in(dir.path(), bin + " s_list.txt >/dev/null 2>&1 & pid=$!; sleep " +
                                              delay + "; kill -" + signal + " $pid; wait $pid");
      // Stopped between two slices (128 + the signal), or done already.
      EXPECT_TRUE(run.status == 0 || run.status > 128) << signal << " " << run.status;
      for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find("ctview-tmp"), std::string::npos) << signal << ": " << name;
        EXPECT_FALSE(name.ends_with(".lock")) << signal << ": " << name;
      }
    }
  }
  dir.write("s/s001.jpg.ctview-tmp-a1B2c3", "left by a killed run");
  dir.write("s/other.jpg.ctview-tmp-a1B2c3", "not this run's");
  EXPECT_EQ(run_in(dir.path(), bin + " s_list.txt >/dev/null").status, 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "s/s001.jpg.ctview-tmp-a1B2c3"));
  EXPECT_TRUE(std::filesystem::exists(dir / "s/other.jpg.ctview-tmp-a1B2c3"));
}
