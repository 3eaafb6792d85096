#include "triview/stack_loader.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <string>
#include <vector>

#include "tests/common/exif_jpeg.hpp"
#include "tests/common/temp_dir.hpp"
#include "triview/imread_fallback.hpp"

namespace {

// Fills the slice with blue n for "n"; "n:WxH" makes it W x H instead; "bad" fails.
struct fake_decoder {
  std::atomic<int> calls{0};
  bool operator()(const std::string& path, cv::Mat& slice) {
    ++calls;
    if (path == "bad") return false;
    const auto colon = path.find(':');
    if (colon != std::string::npos)
      slice.create(std::stoi(path.substr(path.find('x') + 1)), std::stoi(path.substr(colon + 1)),
                   CV_8UC3);
    slice.setTo(cv::Scalar(std::stoi(path.substr(0, colon))));
    return true;
  }
  cv::Mat first(const std::string& path) {
    cv::Mat slice(3, 4, CV_8UC3);
    (*this)(path, slice);
    return slice;
  }
};

std::vector<std::string> numbered(int count) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) paths.push_back(std::to_string(i));
  return paths;
}

triview::load_result load(const std::vector<std::string>& paths, fake_decoder& decoder,
                          unsigned threads) {
  return triview::load_stack(paths, decoder.first(paths[0]), std::ref(decoder), threads);
}

TEST(load_stack, keeps_list_order_and_decodes_the_first_slice_once) {
  for (const unsigned threads : {1u, 2u, 4u}) {
    fake_decoder decoder;
    const auto paths = numbered(37);
    const auto result = load(paths, decoder, threads);
    ASSERT_FALSE(result.failure);
    EXPECT_EQ(decoder.calls.load(), 37);
    ASSERT_EQ(result.stack.count(), 37);
    EXPECT_EQ(result.stack.width, 4);
    EXPECT_EQ(result.stack.height, 3);
    for (int i = 0; i < 37; ++i) {
      const cv::Mat& slice = result.stack.slices[static_cast<std::size_t>(i)];
      EXPECT_EQ(slice.at<cv::Vec3b>(2, 3)[0], i);
      // One block holds the stack: slice after slice, no copy of its own.
      EXPECT_EQ(slice.data, result.stack.slices[0].data + i * 3 * 4 * 3);
    }
  }
}

TEST(load_stack, one_slice_is_a_stack) {
  fake_decoder decoder;
  const auto result = load({"5"}, decoder, 2);
  ASSERT_FALSE(result.failure);
  EXPECT_EQ(result.stack.count(), 1);
  EXPECT_EQ(decoder.calls.load(), 1);
}

TEST(load_stack, reports_the_first_failure_in_list_order) {
  for (const unsigned threads : {1u, 2u}) {
    fake_decoder decoder;
    auto paths = numbered(40);
    paths[9] = "bad";
    paths[30] = "bad";
    auto result = load(paths, decoder, threads);
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->what, triview::load_failure::kind::unreadable);
    EXPECT_EQ(result.failure->path, "bad");
    EXPECT_EQ(result.stack.count(), 0);

    paths[4] = "4:5x3";  // wider than the first slice, before the unreadable one
    result = load(paths, decoder, threads);
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->what, triview::load_failure::kind::size_differs);
    EXPECT_EQ(result.failure->path, "4:5x3");
    EXPECT_EQ(result.failure->size, cv::Size(5, 3));
  }
}

TEST(decode_slice_file, reads_listed_backslash_paths_as_three_channels) {
  temp_dir dir;
  std::filesystem::create_directory(dir / "sample");
  ASSERT_TRUE(
      cv::imwrite((dir / "sample" / "a.png").string(), cv::Mat(3, 5, CV_8UC1, cv::Scalar(77))));
  const std::string listed = dir.path().string() + "/sample\\a.png";
  const cv::Mat slice = triview::decode_slice_file(listed);
  ASSERT_FALSE(slice.empty());
  EXPECT_EQ(slice.type(), CV_8UC3);
  EXPECT_EQ(slice.size(), cv::Size(5, 3));
  EXPECT_EQ(slice.at<cv::Vec3b>(2, 4), cv::Vec3b(77, 77, 77));

  cv::Mat storage(6, 5, CV_8UC3, cv::Scalar(0));
  cv::Mat in_place = storage.rowRange(3, 6);
  ASSERT_TRUE(triview::decode_slice_file_into(listed, in_place));
  EXPECT_EQ(in_place.data, storage.ptr(3));
  EXPECT_EQ(storage.at<cv::Vec3b>(5, 4), cv::Vec3b(77, 77, 77));
  EXPECT_EQ(storage.at<cv::Vec3b>(2, 4), cv::Vec3b(0, 0, 0));

  cv::Mat too_small = storage.rowRange(0, 2);
  ASSERT_TRUE(triview::decode_slice_file_into(listed, too_small));
  EXPECT_EQ(too_small.size(), cv::Size(5, 3));  // a block of its own, the storage untouched
  EXPECT_EQ(storage.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 0));
}

TEST(decode_slice_file, unreadable_files_fail) {
  temp_dir dir;
  dir.write("broken.jpg", "not a picture");
  dir.write("empty.jpg", "");
  cv::Mat slice(3, 5, CV_8UC3);
  for (const char* name : {"broken.jpg", "empty.jpg", "missing.jpg"}) {
    EXPECT_TRUE(triview::decode_slice_file((dir / name).string()).empty()) << name;
    EXPECT_FALSE(triview::decode_slice_file_into((dir / name).string(), slice)) << name;
  }
}

bool same_pixels(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// JPEGs take the fast path; a PNG and an Exif-turned JPEG go through imread's
// module: all give imread's pixels, in the given storage when the size fits.
// A truncated JPEG fails as it fails for imread.
TEST(decode_slice_file, every_file_gives_imreads_pixels) {
  temp_dir dir;
  cv::Mat image(6, 10, CV_8UC3);
  for (int y = 0; y < image.rows; ++y)
    for (int x = 0; x < image.cols; ++x)
      image.at<cv::Vec3b>(y, x) =
          cv::Vec3b(static_cast<std::uint8_t>(20 * x), static_cast<std::uint8_t>(40 * y), 200);
  std::vector<std::uint8_t> jpeg;
  ASSERT_TRUE(cv::imencode(".jpg", image, jpeg));
  const auto write = [&dir](const std::string& name, const std::vector<std::uint8_t>& bytes) {
    dir.write(name, std::string(bytes.begin(), bytes.end()));
  };
  write("plain.jpg", jpeg);
  write("turned.jpg", with_exif_orientation(jpeg, 6));
  write("truncated.jpg",
        {jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2)});
  ASSERT_TRUE(cv::imwrite((dir / "colour.png").string(), image));
  EXPECT_TRUE(cv::imread((dir / "truncated.jpg").string()).empty());
  cv::Mat target(6, 10, CV_8UC3);
  EXPECT_TRUE(triview::decode_slice_file((dir / "truncated.jpg").string()).empty());
  EXPECT_FALSE(triview::decode_slice_file_into((dir / "truncated.jpg").string(), target));
  for (const std::string name : {"plain.jpg", "turned.jpg", "colour.png"}) {
    const std::string path = (dir / name).string();
    const cv::Mat expected = cv::imread(path, cv::IMREAD_COLOR);
    ASSERT_FALSE(expected.empty()) << name;
    EXPECT_TRUE(same_pixels(triview::decode_slice_file(path), expected)) << name;

    cv::Mat storage(2 * expected.rows, expected.cols, CV_8UC3, cv::Scalar(0));
    cv::Mat slice = storage.rowRange(expected.rows, 2 * expected.rows);
    ASSERT_TRUE(triview::decode_slice_file_into(path, slice)) << name;
    EXPECT_EQ(slice.data, storage.ptr(expected.rows)) << name;
    EXPECT_TRUE(same_pixels(slice, expected)) << name;

    cv::Mat other_size(3, 4, CV_8UC3);
    ASSERT_TRUE(triview::decode_slice_file_into(path, other_size)) << name;
    EXPECT_TRUE(same_pixels(other_size, expected)) << name;
  }
  EXPECT_EQ(cv::imread((dir / "turned.jpg").string()).size(), cv::Size(6, 10));
  EXPECT_FALSE(triview::fallback_problem());
}

}  // namespace
