#include "triview/stack_loader.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <string>
#include <vector>

#include "tests/common/temp_dir.hpp"

namespace {

TEST(read_tokens, line_feeds_crlf_and_spaces_give_the_same_tokens) {
  const std::vector<std::string> expected{"sample\\a.jpg", "sample\\b.jpg", "c.jpg"};
  EXPECT_EQ(triview::read_tokens("sample\\a.jpg\nsample\\b.jpg\nc.jpg\n"), expected);
  EXPECT_EQ(triview::read_tokens("sample\\a.jpg\r\nsample\\b.jpg\r\nc.jpg\r\n"), expected);
  EXPECT_EQ(triview::read_tokens("  sample\\a.jpg sample\\b.jpg\t\tc.jpg"), expected);
  EXPECT_TRUE(triview::read_tokens(" \r\n\t\n").empty());
  EXPECT_TRUE(triview::read_tokens("").empty());
}

// Decodes "n" or "n:WxH" into an image whose blue byte is n; "bad" fails.
struct fake_decoder {
  std::atomic<int> calls{0};
  cv::Mat operator()(const std::string& path) {
    ++calls;
    if (path == "bad") return {};
    cv::Size size(4, 3);
    const auto colon = path.find(':');
    if (colon != std::string::npos)
      size = {std::stoi(path.substr(colon + 1)), std::stoi(path.substr(path.find('x') + 1))};
    return cv::Mat(size, CV_8UC3, cv::Scalar(std::stoi(path.substr(0, colon))));
  }
};

std::vector<std::string> numbered(int count) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) paths.push_back(std::to_string(i));
  return paths;
}

triview::load_result load(const std::vector<std::string>& paths, fake_decoder& decoder,
                          unsigned threads) {
  return triview::load_stack(paths, decoder(paths[0]), std::ref(decoder), threads);
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
    for (int i = 0; i < 37; ++i)
      EXPECT_EQ(result.stack.slices[static_cast<std::size_t>(i)].at<cv::Vec3b>(0, 0)[0], i);
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
  const cv::Mat slice = triview::decode_slice_file(dir.path().string() + "/sample\\a.png");
  ASSERT_FALSE(slice.empty());
  EXPECT_EQ(slice.type(), CV_8UC3);
  EXPECT_EQ(slice.size(), cv::Size(5, 3));
  EXPECT_EQ(slice.at<cv::Vec3b>(2, 4), cv::Vec3b(77, 77, 77));

  dir.write("broken.jpg", "not a picture");
  EXPECT_TRUE(triview::decode_slice_file((dir / "broken.jpg").string()).empty());
  EXPECT_TRUE(triview::decode_slice_file((dir / "missing.jpg").string()).empty());
}

}  // namespace
