#include "triview/view_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>

#include "tests/support/temp_dir.hpp"

namespace {

TEST(save_view, writes_the_jpeg_or_says_why_not) {
  temp_dir dir;
  const cv::Mat view(9, 13, CV_8UC3, cv::Scalar(10, 200, 90));
  std::filesystem::create_directory(dir / "isl_0004.jpg");
  const struct {
    std::string name;
    std::optional<std::string> problem;
  } cases[] = {
      {(dir / "y_0001.jpg").string(), std::nullopt},
      {(dir / "isl_0004.jpg").string(), "is a directory"},
      {(dir / "gone" / "x_0002.jpg").string(),
       "cannot create a temporary file beside it: no such file or directory"},
  };
  for (const auto& c : cases) EXPECT_EQ(triview::save_view(c.name, view), c.problem) << c.name;
  std::vector<std::uint8_t> expected;
  ASSERT_TRUE(cv::imencode(".jpg", view, expected));
  const std::string written = dir.read("y_0001.jpg");
  EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), expected);
}

}  // namespace
