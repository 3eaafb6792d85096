#include "common/jpeg_codec.hpp"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "common/jpeg_writer.hpp"
#include "common/slice_geometry.hpp"
#include "tests/common/exif_jpeg.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using bytes = std::vector<std::uint8_t>;

cv::Mat noisy(int rows, int columns, int type) {
  cv::Mat image(rows, columns, type);
  cv::RNG rng(rows * 131 + columns);
  rng.fill(image, cv::RNG::UNIFORM, 0, 256);
  return image;
}

// Smooth ramps with some noise: closer to real slices than pure noise.
cv::Mat ramp(int rows, int columns, int type) {
  cv::Mat image = noisy(rows, columns, type);
  for (int y = 0; y < rows; ++y) {
    std::uint8_t* row = image.ptr(y);
    for (std::size_t i = 0; i < static_cast<std::size_t>(columns * image.channels()); ++i)
      row[i] = static_cast<std::uint8_t>((row[i] / 16 + y * 3 + static_cast<int>(i)) & 0xFF);
  }
  return image;
}

bytes opencv_jpeg(const cv::Mat& image, const std::vector<int>& params = {}) {
  bytes out;
  EXPECT_TRUE(cv::imencode(".jpg", image, out, params));
  return out;
}

bool same_pixels(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// A JPEG written with the library directly, for colour spaces and chroma
// samplings OpenCV does not write: `h` x `v` luma samples per chroma sample.
struct library_options {
  J_COLOR_SPACE in_space = JCS_EXT_BGR;
  J_COLOR_SPACE jpeg_space = JCS_YCbCr;
  int h = 2, v = 2;
  bool progressive = false;
};

bytes library_jpeg(const cv::Mat& pixels, const library_options& options) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(pixels.cols);
  info.image_height = static_cast<JDIMENSION>(pixels.rows);
  info.input_components = pixels.channels();
  info.in_color_space = options.in_space;
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, options.jpeg_space);
  info.comp_info[0].h_samp_factor = options.h;
  info.comp_info[0].v_samp_factor = options.v;
  if (options.progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.ptr(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

cv::Mat imread_bytes(const temp_dir& dir, const bytes& jpeg) {
  const std::string path = (dir / "image.jpg").string();
  dir.write("image.jpg", std::string(jpeg.begin(), jpeg.end()));
  return cv::imread(path, cv::IMREAD_COLOR);
}

TEST(encode_jpeg, bytes_match_opencv_for_every_size_channel_count_and_content) {
  for (const cv::Size size :
       {cv::Size(1, 1), cv::Size(7, 5), cv::Size(513, 3), cv::Size(3, 513), cv::Size(512, 512)}) {
    for (const int type : {CV_8UC1, CV_8UC3}) {
      for (const cv::Mat& image :
           {noisy(size.height, size.width, type), ramp(size.height, size.width, type),
            cv::Mat(size, type, cv::Scalar(200, 17, 90))}) {
        EXPECT_EQ(common::encode_jpeg(image), opencv_jpeg(image))
            << size << " channels " << CV_MAT_CN(type);
      }
    }
  }
}

TEST(encode_jpeg, strided_views_and_a_reused_buffer_give_the_same_bytes) {
  for (const int type : {CV_8UC1, CV_8UC3}) {
    const cv::Mat block = ramp(80, 90, type);
    const cv::Mat view = block(cv::Rect(3, 5, 61, 47));
    ASSERT_FALSE(view.isContinuous());
    bytes reused(1 << 20, 0xAB);  // larger than needed and full of junk
    ASSERT_TRUE(common::encode_jpeg(view, reused));
    EXPECT_EQ(reused, opencv_jpeg(view.clone()));
    bytes small(3);  // too small: the output grows
    ASSERT_TRUE(common::encode_jpeg(noisy(300, 300, type), small));
    EXPECT_EQ(small, opencv_jpeg(noisy(300, 300, type)));
  }
}

TEST(encode_jpeg, refuses_what_it_cannot_write) {
  EXPECT_TRUE(common::encode_jpeg(cv::Mat()).empty());
  EXPECT_TRUE(common::encode_jpeg(cv::Mat(4, 4, CV_16UC1, cv::Scalar(1))).empty());
  EXPECT_TRUE(common::encode_jpeg(cv::Mat(4, 4, CV_8UC4, cv::Scalar(1))).empty());
  // Wider than a JPEG can be: the library's error comes back as a value.
  bytes out{1, 2, 3};
  EXPECT_FALSE(common::encode_jpeg(cv::Mat(1, 70000, CV_8UC1, cv::Scalar(1)), out));
  EXPECT_TRUE(out.empty());
}

TEST(decode_jpeg_bgr, pixels_match_imread_for_opencv_written_baseline_progressive_and_grey) {
  temp_dir dir;
  for (const cv::Size size : {cv::Size(1, 1), cv::Size(7, 5), cv::Size(513, 3), cv::Size(64, 48)}) {
    for (const int type : {CV_8UC1, CV_8UC3}) {
      for (const int progressive : {0, 1}) {
        for (const int quality : {95, 60}) {
          const bytes jpeg =
              opencv_jpeg(ramp(size.height, size.width, type),
                          {cv::IMWRITE_JPEG_PROGRESSIVE, progressive, cv::IMWRITE_JPEG_QUALITY,
                           quality, cv::IMWRITE_JPEG_OPTIMIZE, quality == 60});
          const auto decoded = common::decode_jpeg_bgr(jpeg);
          ASSERT_TRUE(decoded) << size << " type " << type << " progressive " << progressive;
          EXPECT_TRUE(same_pixels(*decoded, imread_bytes(dir, jpeg)))
              << size << " type " << type << " progressive " << progressive << " q " << quality;
        }
      }
    }
  }
}

TEST(decode_jpeg_bgr, pixels_match_imread_for_every_chroma_sampling) {
  temp_dir dir;
  // 4:2:0, 4:2:2, 4:4:4 and 4:4:0.
  const std::vector<std::pair<int, int>> samplings{{2, 2}, {2, 1}, {1, 1}, {1, 2}};
  for (const cv::Size size : {cv::Size(1, 1), cv::Size(7, 5), cv::Size(513, 3), cv::Size(64, 48)}) {
    for (const auto& [h, v] : samplings) {
      for (const bool progressive : {false, true}) {
        const bytes jpeg = library_jpeg(ramp(size.height, size.width, CV_8UC3),
                                        {.h = h, .v = v, .progressive = progressive});
        const auto decoded = common::decode_jpeg_bgr(jpeg);
        ASSERT_TRUE(decoded) << size << " " << h << "x" << v;
        EXPECT_TRUE(same_pixels(*decoded, imread_bytes(dir, jpeg)))
            << size << " " << h << "x" << v << " progressive " << progressive;
      }
    }
  }
}

TEST(decode_jpeg_bgr, decodes_into_given_storage_of_the_right_size_only) {
  const bytes jpeg = opencv_jpeg(ramp(6, 5, CV_8UC3));
  const cv::Mat expected = cv::imdecode(jpeg, cv::IMREAD_COLOR);
  cv::Mat storage(12, 5, CV_8UC3, cv::Scalar(1, 2, 3));
  cv::Mat lower = storage.rowRange(6, 12);
  ASSERT_TRUE(common::decode_jpeg_bgr_into(jpeg, lower));
  EXPECT_EQ(lower.data, storage.ptr(6));
  EXPECT_TRUE(same_pixels(lower, expected));
  EXPECT_EQ(storage.at<cv::Vec3b>(5, 4), cv::Vec3b(1, 2, 3));

  cv::Mat too_small = storage.rowRange(0, 2);
  ASSERT_TRUE(common::decode_jpeg_bgr_into(jpeg, too_small));
  EXPECT_NE(too_small.data, storage.data);
  EXPECT_TRUE(same_pixels(too_small, expected));
  EXPECT_EQ(storage.at<cv::Vec3b>(0, 0), cv::Vec3b(1, 2, 3));
}

TEST(decode_jpeg_bgr, exif_orientation_other_than_1_is_refused) {
  temp_dir dir;
  const bytes jpeg = opencv_jpeg(ramp(6, 10, CV_8UC3));
  const bytes turned = with_exif_orientation(jpeg, 6);
  // imread turns this one to 6 x 10, which the fast path must not miss.
  EXPECT_EQ(imread_bytes(dir, turned).size(), cv::Size(6, 10));
  EXPECT_FALSE(common::decode_jpeg_bgr(turned));
  for (const int orientation : {0, 2, 3, 8, 9})
    EXPECT_FALSE(common::decode_jpeg_bgr(
        with_exif_orientation(jpeg, static_cast<std::uint8_t>(orientation))));

  const bytes upright = with_exif_orientation(jpeg, 1);
  const auto decoded = common::decode_jpeg_bgr(upright);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(same_pixels(*decoded, imread_bytes(dir, upright)));

  // A directory past the end of the segment, or cut short by it.
  EXPECT_FALSE(common::decode_jpeg_bgr(with_exif_orientation(jpeg, 1, 200)));
  EXPECT_FALSE(common::decode_jpeg_bgr(with_exif_orientation(jpeg, 1, 14)));
}

TEST(decode_jpeg_bgr, other_colour_spaces_and_other_formats_are_refused) {
  temp_dir dir;
  const bytes cmyk =
      library_jpeg(noisy(8, 8, CV_8UC4), {.in_space = JCS_CMYK, .jpeg_space = JCS_CMYK});
  EXPECT_FALSE(imread_bytes(dir, cmyk).empty());  // imread reads it: the caller falls back
  EXPECT_FALSE(common::decode_jpeg_bgr(cmyk));
  const bytes rgb = library_jpeg(noisy(8, 8, CV_8UC3),
                                 {.in_space = JCS_RGB, .jpeg_space = JCS_RGB, .h = 1, .v = 1});
  EXPECT_FALSE(imread_bytes(dir, rgb).empty());
  EXPECT_FALSE(common::decode_jpeg_bgr(rgb));

  bytes png;  // the Windows build's OpenCV writes JPEG only
  if (cv::haveImageWriter(".png")) {
    ASSERT_TRUE(cv::imencode(".png", cv::Mat(4, 4, CV_8UC1, cv::Scalar(3)), png));
    EXPECT_FALSE(common::decode_jpeg_bgr(png));
  }
  EXPECT_FALSE(common::decode_jpeg_bgr(bytes{}));
  EXPECT_FALSE(common::decode_jpeg_bgr(bytes{0xFF, 0xD8}));
  EXPECT_FALSE(common::decode_jpeg_bgr(bytes{0xFF, 0xD8, 0xFF, 0xD9}));
  const std::string text = "not a picture";
  EXPECT_FALSE(common::decode_jpeg_bgr(bytes(text.begin(), text.end())));
}

TEST(decode_jpeg_bgr, truncated_data_is_refused_at_every_length) {
  for (const int progressive : {0, 1}) {
    const bytes jpeg =
        opencv_jpeg(ramp(40, 56, CV_8UC3), {cv::IMWRITE_JPEG_PROGRESSIVE, progressive});
    for (std::size_t length = 0; length < jpeg.size(); length += (length < 700 ? 1 : 23)) {
      // A copy of its own, so a read past the end is caught by the sanitizer.
      const bytes prefix(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(length));
      EXPECT_FALSE(common::decode_jpeg_bgr(prefix)) << "length " << length;
    }
    EXPECT_FALSE(common::decode_jpeg_bgr({jpeg.data(), jpeg.size() - 1}));
  }
}

TEST(decode_jpeg_bgr, corrupt_data_is_refused_or_decoded_as_imread_decodes_it) {
  for (const int progressive : {0, 1}) {
    const bytes jpeg =
        opencv_jpeg(ramp(40, 56, CV_8UC1), {cv::IMWRITE_JPEG_PROGRESSIVE, progressive});
    int refused = 0;
    for (std::size_t at = 2; at < jpeg.size(); at += 3) {
      bytes corrupt = jpeg;
      corrupt[at] ^= 0x55;
      const auto decoded = common::decode_jpeg_bgr(corrupt);
      if (!decoded) {
        ++refused;
        continue;
      }
      EXPECT_TRUE(same_pixels(*decoded, cv::imdecode(corrupt, cv::IMREAD_COLOR))) << "at " << at;
    }
    EXPECT_GT(refused, 0);
  }
}

// An 8 x 8 JPEG whose frame header declares `width` x `height`.
bytes declaring(int width, int height) {
  return with_declared_size(opencv_jpeg(cv::Mat(8, 8, CV_8UC1, cv::Scalar(0))), width, height);
}

TEST(read_jpeg_header, gives_the_declared_size_and_whether_the_file_can_hold_it) {
  const struct {
    bytes jpeg;
    int width, height;
    bool grey, plausible;
  } cases[] = {
      {opencv_jpeg(ramp(40, 56, CV_8UC1)), 56, 40, true, true},
      {opencv_jpeg(ramp(40, 56, CV_8UC3)), 56, 40, false, true},
      {opencv_jpeg(cv::Mat(2048, 2048, CV_8UC1, cv::Scalar(0))), 2048, 2048, true, true},
      {declaring(30000, 30000), 30000, 30000, true, false},
      {declaring(700, 400), 700, 400, true, true},
  };
  for (const auto& c : cases) {
    const auto header = common::read_jpeg_header(c.jpeg);
    ASSERT_TRUE(header) << c.width << "x" << c.height;
    EXPECT_EQ(header->width, c.width);
    EXPECT_EQ(header->height, c.height);
    EXPECT_EQ(header->grey, c.grey) << c.width;
    EXPECT_EQ(header->plausible, c.plausible) << c.width << "x" << c.height;
  }
  const bytes jpeg = opencv_jpeg(ramp(40, 56, CV_8UC1));
  EXPECT_FALSE(common::read_jpeg_header(bytes(jpeg.begin(), jpeg.begin() + 100)));
  EXPECT_FALSE(common::read_jpeg_header(bytes{0x89, 'P', 'N', 'G'}));
}

TEST(decode_jpeg, a_bomb_is_refused_before_its_pixels_are_allocated) {
  cv::Mat image;
  EXPECT_EQ(common::decode_jpeg(declaring(30000, 30000), image),
            common::jpeg_decode_status::refused);
  EXPECT_TRUE(image.empty());
  EXPECT_FALSE(common::decode_jpeg_bgr(declaring(30000, 30000)));
}

TEST(decode_jpeg, grey_jpegs_decode_to_the_one_sample_imread_repeats) {
  temp_dir dir;
  for (const int progressive : {0, 1}) {
    const bytes jpeg =
        opencv_jpeg(ramp(37, 61, CV_8UC1), {cv::IMWRITE_JPEG_PROGRESSIVE, progressive});
    cv::Mat grey;
    ASSERT_EQ(common::decode_jpeg(jpeg, grey, 1), common::jpeg_decode_status::decoded);
    ASSERT_EQ(grey.type(), CV_8UC1);
    cv::Mat repeated;
    cv::merge(std::vector<cv::Mat>(3, grey), repeated);
    EXPECT_TRUE(same_pixels(repeated, imread_bytes(dir, jpeg))) << progressive;
  }
  cv::Mat image;
  EXPECT_EQ(common::decode_jpeg(opencv_jpeg(ramp(8, 8, CV_8UC3)), image, 1),
            common::jpeg_decode_status::refused);
}

// Cut short, a JPEG decodes as imread shows it (the rest grey) and says it
// ended early, or is refused; complete, it decodes.
TEST(decode_jpeg, an_early_end_decodes_as_imread_does_and_is_reported) {
  temp_dir dir;
  for (const int type : {CV_8UC1, CV_8UC3})
    for (const int progressive : {0, 1}) {
      const bytes jpeg =
          opencv_jpeg(noisy(64, 80, type), {cv::IMWRITE_JPEG_PROGRESSIVE, progressive});
      int incomplete = 0;
      for (std::size_t length = 0; length < jpeg.size(); length += 97) {
        const bytes prefix(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(length));
        cv::Mat image;
        const auto status = common::decode_jpeg(prefix, image, 3);
        if (status == common::jpeg_decode_status::refused) continue;
        ++incomplete;
        EXPECT_EQ(status, common::jpeg_decode_status::incomplete) << length;
        EXPECT_TRUE(same_pixels(image, imread_bytes(dir, prefix))) << "length " << length;
      }
      EXPECT_GT(incomplete, 10) << type << " " << progressive;
      cv::Mat image;
      EXPECT_EQ(common::decode_jpeg(jpeg, image), common::jpeg_decode_status::decoded);
    }
}

}  // namespace

TEST(slice_geometry, a_comment_travels_in_the_jpeg_and_reads_back) {
  common::slice_geometry geometry;
  geometry.pixel_spacing = {{0.957031, 0.5}};
  geometry.slice_spacing = 1.5;
  geometry.orientation = {{1, 0, 0, 0, 0.866025, -0.5}};
  geometry.position = {{-125.25, -130.5, 88}};
  geometry.series = "1.2.840.1";
  geometry.mapping = "window 40 400";
  const cv::Mat grey(4, 4, CV_8UC1, cv::Scalar(9));
  std::vector<std::uint8_t> jpeg, plain;
  ASSERT_TRUE(common::encode_jpeg(common::pixel_view{{grey.data, 16}, 4, 4, 1, 4}, jpeg,
                                  common::geometry_comment(geometry)));
  ASSERT_TRUE(common::encode_jpeg(common::pixel_view{{grey.data, 16}, 4, 4, 1, 4}, plain));
  const auto comment = common::jpeg_comment(jpeg);
  ASSERT_TRUE(comment);
  EXPECT_EQ(common::parse_geometry_comment(*comment), geometry);
  EXPECT_FALSE(common::jpeg_comment(plain));
  // The pixels do not change.
  EXPECT_EQ(cv::norm(cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE),
                     cv::imdecode(plain, cv::IMREAD_GRAYSCALE), cv::NORM_INF),
            0.0);
  // Only what is held is written; other comments are not geometry.
  EXPECT_EQ(common::geometry_comment({}), "ctview geometry 1\n");
  EXPECT_FALSE(common::parse_geometry_comment("made by a scanner"));
}
