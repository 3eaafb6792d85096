// Helper of the GUI test. "make DIR LIST W H N [colour]" writes a slice series
// of W x H x N and its path list; "check LIST FILE VIEW Y X SLICE FLIP RAW"
// renders the view the viewer should have saved and compares it with FILE
// within JPEG tolerance; "make-dicom DIR LIST W H N" writes a DICOM series
// named head first (each slice brighter the higher it lies); "rows-rise FILE"
// succeeds when the top row of a saved view is brighter than its bottom row.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <thread>

#include "common/atomic_file.hpp"
#include "common/path_list.hpp"
#include "tests/support/dicom_bytes.hpp"
#include "triview/render.hpp"
#include "triview/stack_loader.hpp"

namespace {

// The expected view goes through the same JPEG encoder as the saved one, so a
// right view matches almost exactly; a wrong position, flip or colour mode is
// far above this mean difference per sample on this series.
constexpr double tolerance = 0.5;

// Intensity rises with the slice and along both axes (wrapping), so rows,
// columns and slices all look different. Lossless PNG keeps the stack exact;
// a colour series tints green and red apart from blue.
int make_series(const std::filesystem::path& dir, const std::string& list_name, int width,
                int height, int slices, bool colour) {
  const std::string series = list_name.substr(0, list_name.find('_'));
  std::filesystem::create_directories(dir / series);
  std::string list;
  for (int i = 0; i < slices; ++i) {
    cv::Mat slice(height, width, colour ? CV_8UC3 : CV_8UC1);
    for (int r = 0; r < height; ++r)
      for (int c = 0; c < width; ++c) {
        const auto v = static_cast<std::uint8_t>((6 * i + 2 * r + c) & 0xFF);
        if (colour)
          slice.at<cv::Vec3b>(r, c) = {v, static_cast<std::uint8_t>(v / 2), 40};
        else
          slice.at<std::uint8_t>(r, c) = v;
      }
    char name[32];
    std::snprintf(name, sizeof name, "s%03d.png", i);
    if (!cv::imwrite((dir / series / name).string(), slice)) return 1;
    list += series + "\\" + name + (i % 2 ? " " : "\r\n");
  }
  return common::replace_file_contents((dir / list_name).string(), list) ? 1 : 0;
}

int check_view(char** args) {
  const auto text = common::read_whole_file(args[0]);
  if (!text) return 2;
  const auto paths = common::all_tokens(*text);
  auto loaded = triview::load_stack(paths, triview::decode_first_slice(paths.front()).image,
                                    triview::decode_slice_file_into, {2, {}});
  if (loaded.failure) return 2;
  const triview::slice_stack& stack = loaded.stack;
  const int view = std::atoi(args[2]);
  triview::view_state state{std::atoi(args[3]), std::atoi(args[4]), std::atoi(args[5]),
                            std::atoi(args[6]) != 0, std::atoi(args[7]) != 0};
  cv::Mat expected;
  if (view == 1) {
    expected.create(stack.count(), stack.width, CV_8UC3);
    triview::render_xz(stack, state, expected);
  } else if (view == 2) {
    expected.create(stack.count(), stack.height, CV_8UC3);
    triview::render_yz(stack, state, expected);
  } else {
    expected.create(stack.height, stack.width, CV_8UC3);
    triview::render_xy(stack, state, expected);
  }
  std::vector<std::uint8_t> encoded;
  cv::imencode(".jpg", expected, encoded);
  expected = cv::imdecode(encoded, cv::IMREAD_COLOR);
  const cv::Mat saved = cv::imread(args[1], cv::IMREAD_COLOR);
  if (saved.size() != expected.size()) {
    std::printf("%s: size %dx%d, expected %dx%d\n", args[1], saved.cols, saved.rows, expected.cols,
                expected.rows);
    return 1;
  }
  const double difference =
      cv::norm(saved, expected, cv::NORM_L1) / static_cast<double>(saved.total() * 3);
  std::printf("%s: mean difference %.2f\n", args[1], difference);
  return difference < tolerance ? 0 : 1;
}

int make_dicom_series(const std::filesystem::path& dir, const std::string& list_name, int width,
                      int height, int slices) {
  const std::string series = list_name.substr(0, list_name.find('_'));
  std::filesystem::create_directories(dir / series);
  std::string list;
  for (int i = 0; i < slices; ++i) {
    const int level = slices - 1 - i;  // IM1 is the highest slice
    dicom_bytes data_set{true, false, {}};
    data_set.text(0x0008, 0x0060, "CS", "CT").text(0x0020, 0x000E, "UI", "1.2.3");
    data_set.text(0x0020, 0x0032, "DS", "0\\0\\" + std::to_string(3 * level));
    data_set.text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0");
    data_set.text(0x0028, 0x0030, "DS", "1\\1");
    data_set.image(static_cast<unsigned>(height), static_cast<unsigned>(width));
    data_set.text(0x0028, 0x1050, "DS", "40").text(0x0028, 0x1051, "DS", "400");
    data_set.text(0x0028, 0x1052, "DS", "-1024").text(0x0028, 0x1053, "DS", "1");
    std::vector<int> samples(static_cast<std::size_t>(width * height));
    for (int r = 0; r < height; ++r)
      for (int c = 0; c < width; ++c)
        samples[static_cast<std::size_t>(r * width + c)] = 1024 - 100 + 20 * level + (r + c) % 7;
    data_set.pixels(samples);
    const auto bytes = part10_file("1.2.840.10008.1.2.1", data_set.bytes);
    const std::string name = "IM" + std::to_string(i + 1);
    if (common::replace_file_contents((dir / series / name).string(),
                                      std::string(bytes.begin(), bytes.end())))
      return 1;
    list += series + "\\" + name + "\n";
  }
  return common::replace_file_contents((dir / list_name).string(), list) ? 1 : 0;
}

int rows_rise(const char* file) {
  const cv::Mat saved = cv::imread(file, cv::IMREAD_GRAYSCALE);
  if (saved.empty()) return 2;
  const double top = cv::mean(saved.row(0))[0], bottom = cv::mean(saved.row(saved.rows - 1))[0];
  std::printf("%s: top row %.1f, bottom row %.1f\n", file, top, bottom);
  return top > bottom + 20 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 7 && std::string(argv[1]) == "make-dicom")
    return make_dicom_series(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]),
                             std::atoi(argv[6]));
  if (argc == 3 && std::string(argv[1]) == "rows-rise") return rows_rise(argv[2]);
  if ((argc == 7 || argc == 8) && std::string(argv[1]) == "make")
    return make_series(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]),
                       argc == 8);
  if (argc == 10 && std::string(argv[1]) == "check") return check_view(argv + 2);
  std::fprintf(stderr,
               "usage: triview_gui_fixture make DIR LIST W H N [colour] | "
               "check LIST FILE VIEW Y X SLICE FLIP RAW\n");
  return 2;
}
