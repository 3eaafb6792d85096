// How a list becomes stacks on the command line: enhanced images ranked by
// their frames' positions, padding left out of the series window, geometry
// in the JPEGs.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "common/slice_geometry.hpp"
#include "tests/support/enhanced_image.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;

TEST(slicejpeg_stack, enhanced_frames_ranked_by_position_with_padding_left_out) {
  temp_dir dir;
  // Frames at z 20, 0 and 10; stored -2000 is padding; intercept -1024.
  fs::create_directory(dir / "s");
  const auto file = enhanced_image({1024, 1064, -2000, 1124, 1044, 1084});
  dir.write("s/CT.1", std::string(file.begin(), file.end()));
  dir.write("s_list.txt", "s\\CT.1\n");
  const auto run = run_slicejpeg(dir.path(), "--window series s_list.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("ordered by position along the slice normal, feet to head"),
            std::string::npos)
      << run.err;
  // Series range 0 .. 100 HU without the padding: z 0 {padding, 100},
  // z 10 {20, 60}, z 20 {0, 40}.
  const struct {
    const char* name;
    int first, second;
    double z;
  } slices[] = {{"s/s001.jpg", 0, 255, 0}, {"s/s002.jpg", 51, 153, 10}, {"s/s003.jpg", 0, 102, 20}};
  for (const auto& slice : slices) {
    const cv::Mat grey = cv::imread((dir / slice.name).string(), cv::IMREAD_GRAYSCALE);
    ASSERT_FALSE(grey.empty()) << slice.name;
    EXPECT_NEAR(grey.at<std::uint8_t>(0, 0), slice.first, 3) << slice.name;
    EXPECT_NEAR(grey.at<std::uint8_t>(0, 1), slice.second, 3) << slice.name;
    const std::string bytes = dir.read(slice.name);
    const auto comment =
        common::jpeg_comment({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    ASSERT_TRUE(comment) << slice.name;
    const auto geometry = common::parse_geometry_comment(*comment);
    ASSERT_TRUE(geometry) << *comment;
    EXPECT_EQ(geometry->position, (std::array<double, 3>{0, 0, slice.z})) << slice.name;
    EXPECT_EQ(geometry->pixel_spacing, (std::array<double, 2>{0.5, 0.75}));
    EXPECT_EQ(geometry->slice_spacing, 10.0);
    EXPECT_EQ(geometry->series, "1.2.3");
  }
  // The presets are Hounsfield units: fine for this CT, warned about for MR.
  EXPECT_EQ(run_slicejpeg(dir.path(), "--window soft s_list.txt").err.find("warning"),
            std::string::npos);
}

}  // namespace
