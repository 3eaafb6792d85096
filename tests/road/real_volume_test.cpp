// Real volumes that Debian packages ship, wrapped as DICOM series the way
// scanners, PACS exports and CDs lay them out (tests/road/make_real_series.py,
// at test time), through dirsort -> slicejpeg -> dirsort: every JPEG slice in
// list order must be the slice of that anatomical rank, windowed.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "common/path_list.hpp"
#include "common/path_text.hpp"
#include "tests/support/program_run.hpp"

namespace {

namespace fs = std::filesystem;

const std::string bin_dir = CTVIEW_BIN_DIR;
const std::string source_dir = CTVIEW_SOURCE_DIR;

std::string program(const std::string& name) {
  return shell_quote(bin_dir + "/" + name);
}

struct real_case {
  const char* source;
  const char* layout;
  const char* window;   // C,W for the converter and the expected slices
  const char* series;   // --series, or "" for none
  const char* listing;  // what dirsort must say on standard error, or ""
};

struct made_series {
  int rows = 0, columns = 0, count = 0;
  std::string folder;
};

// Mean absolute difference of a JPEG slice from the expected 8-bit slice.
double difference(const fs::path& jpeg, const fs::path& expected, const made_series& made) {
  const cv::Mat written = cv::imread(jpeg.string(), cv::IMREAD_GRAYSCALE);
  const std::string raw = read_file(expected);
  if (written.rows != made.rows || written.cols != made.columns ||
      raw.size() != static_cast<std::size_t>(made.rows * made.columns))
    return 255;
  const cv::Mat want(made.rows, made.columns, CV_8UC1, const_cast<char*>(raw.data()));
  return cv::norm(written, want, cv::NORM_L1) / static_cast<double>(written.total());
}

// The last part of a folder path: what dirsort names its lists after.
std::string list_stem(const std::string& folder) {
  return std::string(common::file_name_part(folder));
}

void convert_and_check(const real_case& c) {
  temp_dir dir;
  std::string window(c.window);
  window[window.find(',')] = ' ';
  std::string command = "/usr/bin/python3 ";
  command.append(shell_quote(source_dir + "/tests/road/make_real_series.py"));
  command.append(" ").append(c.source).append(" ").append(c.layout);
  command.append(" out expect ").append(window);
  const auto made_run = run_in(dir.path(), command);
  if (made_run.status == 3) GTEST_SKIP() << made_run.err;
  ASSERT_EQ(made_run.status, 0) << made_run.err;
  made_series made;
  std::istringstream printed(made_run.out);
  printed >> made.rows >> made.columns >> made.count >> std::ws;
  std::getline(printed, made.folder);  // the rest of the line: it may hold spaces
  const fs::path out = dir / "out";

  if (*c.listing) {
    // A CD's root lists nothing, and says where the images are.
    const std::string root = made.folder.substr(0, made.folder.find('/'));
    const auto listed = run_in(out, program("dirsort") + " " + shell_quote(root));
    EXPECT_NE(listed.err.find(c.listing), std::string::npos) << listed.err;
  }
  ASSERT_EQ(run_in(out, program("dirsort") + " " + shell_quote(made.folder)).status, 0);
  const std::string list = list_stem(made.folder) + "_list.txt";
  const std::string convert = program("slicejpeg") + " --window " + c.window + " ";
  if (*c.series) {
    const auto refused = run_in(out, convert + shell_quote(list));
    EXPECT_EQ(refused.status, 10) << refused.err;
    EXPECT_EQ(refused.out, "");
  }
  const std::string series = *c.series ? "--series " + std::string(c.series) + " " : "";
  const auto converted = run_in(out, convert + series + shell_quote(list));
  ASSERT_EQ(converted.status, 0) << converted.err;

  std::string jpeg_folder = made.folder;
  if (*c.series)
    jpeg_folder.append("/").append(list_stem(made.folder)).append("_s").append(c.series);
  ASSERT_EQ(run_in(out, program("dirsort") + " " + shell_quote(jpeg_folder)).status, 0);
  const auto jpegs =
      common::all_tokens(read_file(out / (list_stem(jpeg_folder) + "_jpg_list.txt")));
  ASSERT_EQ(jpegs.size(), static_cast<std::size_t>(made.count)) << c.layout;
  for (std::size_t k = 0; k < jpegs.size(); ++k) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "%03zu.raw", k + 1);
    EXPECT_LT(difference(out / common::to_native_path(jpegs[k]), dir / "expect" / expected, made),
              3.0)
        << c.source << " " << c.layout << ": " << jpegs[k] << " is not anatomical slice " << k + 1;
  }
}

TEST(real_volumes, scanner_folders_become_stacks_in_anatomical_order) {
  const real_case cases[] = {
      {"ct", "uid-names", "40,400", "", ""},
      {"ct", "vertex-first", "40,400", "", ""},
      {"ct", "interleaved", "40,400", "", ""},
      {"ct", "two-series", "40,400", "2", ""},
      {"ct", "enhanced", "40,400", "", ""},
      {"ct", "padding", "40,400", "", ""},
      {"ct", "cd", "40,400", "", "sub-folders hold some: CD/DICOM/S0000001 (27 slice files)"},
      {"ct", "ima", "40,400", "", ""},
      {"ct", "space", "40,400", "", ""},
      {"mr", "vertex-first", "128,256", "", ""},
      {"epi", "uid-names", "600,1200", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + c.layout);
    convert_and_check(c);
  }
}

}  // namespace
