#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "common/path_text.hpp"
#include "tests/support/temp_dir.hpp"
#include "tools/phantom.hpp"
#include "triview/render.hpp"

namespace {

const std::string bin_dir = CTVIEW_BIN_DIR;
const std::string source_dir = CTVIEW_SOURCE_DIR;

struct run_result {
  int status = -1;
  std::string output;  // standard output and standard error together
};

// Runs a shell command in `dir`; the command's words are quoted by the caller.
run_result run_in(const std::filesystem::path& dir, const std::string& command) {
  const std::string line = "cd '" + dir.string() + "' && " + command + " 2>&1 </dev/null";
  run_result result;
  FILE* pipe = ::popen(line.c_str(), "r");
  if (pipe == nullptr) return result;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.output.append(chunk, got);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string program(const std::string& name) {
  return "'" + bin_dir + "/" + name + "'";
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string max_file_text(double run_max, double run_min) {
  char text[128];
  std::snprintf(text, sizeof text, "max :%f\nmin :%f\n", run_max, run_min);
  return text;
}

// The converter's 8-bit image of one slice: (sample - min) mod 256.
cv::Mat wrapped_image(const std::vector<std::int16_t>& samples, int width, int height) {
  const int min = *std::min_element(samples.begin(), samples.end());
  cv::Mat image(height, width, CV_8UC1);
  for (int i = 0; i < width * height; ++i)
    image.data[i] = static_cast<std::uint8_t>((samples[static_cast<std::size_t>(i)] - min) & 0xFF);
  return image;
}

// Mean distance on the 0..255 circle: wrapped intensities next to 0 and 255 are neighbours.
double mean_wrapped_difference(const cv::Mat& a, const cv::Mat& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.total(); ++i) {
    const int d = std::abs(int{a.data[i]} - int{b.data[i]});
    sum += std::min(d, 256 - d);
  }
  return sum / static_cast<double>(a.total());
}

double mean_difference(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat diff;
  cv::absdiff(a, b, diff);
  const cv::Scalar per_channel = cv::mean(diff);
  return (per_channel[0] + per_channel[1] + per_channel[2]) / 3.0;
}

// Runs dirsort, slicejpeg, dirsort in `dir` on its subdirectory sample.
void convert_and_list(const temp_dir& dir) {
  const auto first = run_in(dir.path(), program("dirsort") + " sample");
  ASSERT_EQ(first.status, 0) << first.output;
  const auto convert = run_in(dir.path(), program("slicejpeg") + " sample_list.txt");
  ASSERT_EQ(convert.status, 0) << convert.output;
  const auto second = run_in(dir.path(), program("dirsort") + " sample");
  ASSERT_EQ(second.status, 0) << second.output;
}

std::vector<std::string> expected_jpeg_list(int slices, int digits) {
  std::vector<std::string> lines;
  for (int i = 1; i <= slices; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "sample\\sample%0*d.jpg", digits, i);
    lines.emplace_back(name);
  }
  return lines;
}

// A path-list line, as a file under the test directory.
std::string listed_file(const temp_dir& dir, const std::string& line) {
  return (dir / common::to_native_path(line)).string();
}

triview::slice_stack load_stack(const temp_dir& dir, const std::vector<std::string>& list) {
  triview::slice_stack stack;
  for (const std::string& line : list)
    stack.slices.push_back(cv::imread(listed_file(dir, line), cv::IMREAD_COLOR));
  stack.width = stack.slices.front().cols;
  stack.height = stack.slices.front().rows;
  return stack;
}

// Runs the viewer under Xvfb; it saves one file per view, named after its position.
struct saved_views {
  int status = -1;
  std::string output;
  std::string xy, xz, yz;  // file names in the working directory
};

saved_views view_headless(const temp_dir& dir) {
  saved_views views;
  const auto run = run_in(dir.path(), "ASAN_OPTIONS=detect_leaks=0 bash '" + source_dir +
                                          "/scripts/triview-headless.sh' " + program("triview") +
                                          " sample_jpg_list.txt");
  views.status = run.status;
  views.output = run.output;
  // "last_id:1 y_0040.jpg"
  const std::string label = "last_id:";
  for (const std::string& line : lines_of(run.output)) {
    if (line.rfind(label, 0) != 0 || line.size() < label.size() + 3) continue;
    const char id = line[label.size()];
    const std::string name = line.substr(label.size() + 2);
    (id == '1' ? views.xz : id == '2' ? views.yz : views.xy) = name;
  }
  return views;
}

cv::Mat as_saved(const cv::Mat& view) {
  std::vector<std::uint8_t> encoded;
  cv::imencode(".jpg", view, encoded);
  return cv::imdecode(encoded, cv::IMREAD_COLOR);
}

int number_in(const std::string& name) {
  return std::stoi(name.substr(name.find('_') + 1));
}

// Every saved view against the renderers' output on the stack the viewer loaded.
void expect_views_match_stack(const temp_dir& dir, const saved_views& views,
                              const triview::slice_stack& stack) {
  ASSERT_FALSE(views.xy.empty() || views.xz.empty() || views.yz.empty()) << views.output;
  triview::view_state state;
  state.slice = number_in(views.xy);
  state.y_posi = number_in(views.xz);
  state.x_posi = number_in(views.yz);
  const int n = stack.count();
  cv::Mat xy(stack.height, stack.width, CV_8UC3), xz(n, stack.width, CV_8UC3),
      yz(n, stack.height, CV_8UC3);
  triview::render_xy(stack, state, xy);
  triview::render_xz(stack, state, xz);
  triview::render_yz(stack, state, yz);
  // The viewer saves with the default JPEG encoder: the same encoder on the
  // renderers' output must give the same file content, up to rounding.
  EXPECT_LT(mean_difference(cv::imread((dir / views.xy).string()), as_saved(xy)), 0.5) << views.xy;
  EXPECT_LT(mean_difference(cv::imread((dir / views.xz).string()), as_saved(xz)), 0.5) << views.xz;
  EXPECT_LT(mean_difference(cv::imread((dir / views.yz).string()), as_saved(yz)), 0.5) << views.yz;
}

// The samples a series was made of, slice by slice.
struct sample_series {
  int width = 0;
  int height = 0;
  std::vector<std::vector<std::int16_t>> slices;
};

// Each JPEG slice against its samples, and the max file against the series' extremes.
void expect_series_converted(const temp_dir& dir, const std::vector<std::string>& jpeg_list,
                             const sample_series& series) {
  ASSERT_EQ(jpeg_list.size(), series.slices.size());
  double run_max = -1e9, run_min = 1e9;
  for (std::size_t k = 0; k < jpeg_list.size(); ++k) {
    const auto& samples = series.slices[k];
    run_max = std::max<double>(run_max, *std::max_element(samples.begin(), samples.end()));
    run_min = std::min<double>(run_min, *std::min_element(samples.begin(), samples.end()));
    const cv::Mat written = cv::imread(listed_file(dir, jpeg_list[k]), cv::IMREAD_GRAYSCALE);
    ASSERT_EQ(written.cols, series.width);
    ASSERT_EQ(written.rows, series.height);
    EXPECT_LT(mean_wrapped_difference(written, wrapped_image(samples, series.width, series.height)),
              3.0)
        << jpeg_list[k];
  }
  EXPECT_EQ(dir.read("sample_max.txt"), max_file_text(run_max, run_min));
}

// The viewer on sample_jpg_list.txt: its count, exit status and the three saved views.
void expect_viewer_shows(const temp_dir& dir, const std::vector<std::string>& jpeg_list) {
  const saved_views views = view_headless(dir);
  ASSERT_EQ(views.status, 0) << views.output;
  EXPECT_NE(views.output.find("islice:" + std::to_string(jpeg_list.size()) + "\n"),
            std::string::npos);
  expect_views_match_stack(dir, views, load_stack(dir, jpeg_list));
}

}  // namespace

TEST(road, phantom_series_from_slice_files_to_three_saved_views) {
  temp_dir dir;
  // Not square, so a swap of rows and columns anywhere on the road shows.
  const phantom::volume_size size{96, 80, 24};
  ASSERT_EQ(
      run_in(dir.path(), program("phantom_series") + " --width 96 --height 80 --slices 24 sample")
          .status,
      0);
  convert_and_list(dir);

  const auto jpeg_list = lines_of(dir.read("sample_jpg_list.txt"));
  ASSERT_EQ(jpeg_list, expected_jpeg_list(size.slices, 3));
  sample_series series{size.width, size.height, {}};
  for (int z = 0; z < size.slices; ++z) series.slices.push_back(phantom::make_slice(size, z));
  expect_series_converted(dir, jpeg_list, series);
  expect_viewer_shows(dir, jpeg_list);
}

TEST(road, more_than_999_slices_stay_in_slice_order) {
  temp_dir dir;
  ASSERT_EQ(
      run_in(dir.path(), program("phantom_series") + " --width 8 --height 6 --slices 1200 sample")
          .status,
      0);
  convert_and_list(dir);
  const auto jpeg_list = lines_of(dir.read("sample_jpg_list.txt"));
  ASSERT_EQ(jpeg_list, expected_jpeg_list(1200, 4));
  expect_viewer_shows(dir, jpeg_list);
}

TEST(road, real_ct_series_made_by_dcmtk) {
  temp_dir dir;
  constexpr int slices = 5;
  const auto made = run_in(dir.path(), "/usr/bin/python3 '" + source_dir +
                                           "/tests/road/make_ct_series.py' sample expect " +
                                           std::to_string(slices));
  ASSERT_EQ(made.status, 0) << made.output;
  sample_series series;
  std::istringstream(made.output) >> series.height >> series.width;
  ASSERT_GT(series.height, 0);
  for (int k = 1; k <= slices; ++k) {
    const std::string raw = dir.read("expect/IM." + std::to_string(k) + ".raw");
    ASSERT_EQ(raw.size(), static_cast<std::size_t>(series.width) * series.height * 2);
    std::vector<std::int16_t> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.data(), raw.size());
    series.slices.push_back(std::move(samples));
  }
  convert_and_list(dir);

  const auto jpeg_list = lines_of(dir.read("sample_jpg_list.txt"));
  ASSERT_EQ(jpeg_list, expected_jpeg_list(slices, 3));
  expect_series_converted(dir, jpeg_list, series);
  expect_viewer_shows(dir, jpeg_list);
}
