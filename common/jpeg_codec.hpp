#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>
#include <span>
#include <vector>

// JPEG straight on the JPEG library, so a program that only writes or reads
// its own slices need not load OpenCV's image-codec library and its long chain
// of shared libraries. The results match OpenCV's default JPEG writing and
// colour reading byte for byte and pixel for pixel.
namespace common {

// CV_8UC1 (grey) or CV_8UC3 (BGR), any row stride, at quality 95 with 4:2:0
// chroma: the bytes cv::imencode(".jpg", image, out) gives. Empty when the
// image is empty, of another type, or too large for a JPEG.
std::vector<std::uint8_t> encode_jpeg(const cv::Mat& image);

// The same into `out`, reusing its storage; false on failure.
bool encode_jpeg(const cv::Mat& image, std::vector<std::uint8_t>& out);

// What the frame header declares, read without decoding any pixel.
struct jpeg_header {
  int width = 0;
  int height = 0;
  bool grey = false;       // one component: the samples decode into one channel
  bool plausible = false;  // the file is large enough for that many pixels
};

// The header of a JPEG, or nothing when the bytes are no JPEG or its header
// is damaged. Allocates no pixel buffer, whatever size the header declares.
std::optional<jpeg_header> read_jpeg_header(std::span<const std::uint8_t> bytes);

// Entropy-coded data needs at least one bit per 8 x 8 block of luma, so a file
// holds at most 512 pixels per byte; twice that is the limit. A 314-byte file
// declaring 30000 x 30000 is no image but a decompression bomb.
bool plausible_pixel_count(std::uint64_t pixels, std::size_t file_bytes);

enum class jpeg_decode_status {
  decoded,
  incomplete,  // the data ends early: decoded as imread does, the rest grey
  refused,     // for a general reader, or damaged beyond decoding
};

// Decodes into `image`, as cv::imread(path, cv::IMREAD_COLOR) would: CV_8UC3
// BGR, or with `channels` 1 the one sample of a grey JPEG as CV_8UC1 (imread
// would repeat it in all three channels). `image` keeps its storage when it
// already has the decoded size and type (a view into a larger block stays a
// view) and is reallocated otherwise. Refused: not a JPEG, an implausible
// size, CMYK / YCCK / Adobe-transform colour, a colour JPEG asked for one
// channel, an Exif orientation other than 1 (imread turns those), and data
// the JPEG library only patches over with a warning other than an early end.
jpeg_decode_status decode_jpeg(std::span<const std::uint8_t> bytes, cv::Mat& image,
                               int channels = 3);

// Strict forms: a CV_8UC3 image only for complete, undamaged data.
std::optional<cv::Mat> decode_jpeg_bgr(std::span<const std::uint8_t> bytes);
bool decode_jpeg_bgr_into(std::span<const std::uint8_t> bytes, cv::Mat& image);

}  // namespace common
