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

// A CV_8UC3 BGR image with cv::imread(path, cv::IMREAD_COLOR)'s pixels, for
// 8-bit greyscale and YCbCr JPEGs, baseline or progressive, any chroma
// sampling. Nothing for what it cannot match exactly, so the caller can fall
// back to a general reader: not a JPEG, CMYK / YCCK / Adobe-transform colour,
// an Exif orientation other than 1 (imread turns those), and any corrupt or
// truncated data, which the JPEG library would only warn about.
std::optional<cv::Mat> decode_jpeg_bgr(std::span<const std::uint8_t> bytes);

// The same into `image`, which keeps its storage when it already has the
// decoded size and type (a view into a larger block stays a view) and is
// reallocated otherwise. False on failure; `image` may then hold anything.
bool decode_jpeg_bgr_into(std::span<const std::uint8_t> bytes, cv::Mat& image);

}  // namespace common
