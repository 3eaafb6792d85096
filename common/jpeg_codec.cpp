#include "common/jpeg_codec.hpp"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>

#include "common/jpeg_library.hpp"
#include "common/jpeg_writer.hpp"

namespace common {
namespace {

using namespace jpeg_detail;

// Batches of rows per library call.
constexpr JDIMENSION row_batch = 16;

// --- decoding

std::uint32_t read_u16(std::span<const std::uint8_t> at, bool big_endian) {
  const std::uint32_t first = at[0], second = at[1];
  return big_endian ? (first << 8u) | second : (second << 8u) | first;
}

std::uint32_t read_u32(std::span<const std::uint8_t> at, bool big_endian) {
  const std::uint32_t high = read_u16(at.subspan(big_endian ? 0 : 2), big_endian);
  const std::uint32_t low = read_u16(at.subspan(big_endian ? 2 : 0), big_endian);
  return (high << 16u) | low;
}

// True when an APP1 segment is Exif whose first directory holds no
// orientation or orientation 1. Anything else (another APP1 kind, a
// directory cut short) is left to the general reader, which may turn the
// image.
bool exif_is_upright(std::span<const std::uint8_t> app1) {
  constexpr std::array<std::uint8_t, 6> exif_id{'E', 'x', 'i', 'f', 0, 0};
  if (app1.size() < exif_id.size() + 8 || !std::equal(exif_id.begin(), exif_id.end(), app1.begin()))
    return false;
  const std::span<const std::uint8_t> tiff = app1.subspan(exif_id.size());
  const bool big_endian = tiff[0] == 'M' && tiff[1] == 'M';
  if (!big_endian && !(tiff[0] == 'I' && tiff[1] == 'I')) return false;
  if (read_u16(tiff.subspan(2), big_endian) != 42) return false;
  const std::size_t directory = read_u32(tiff.subspan(4), big_endian);
  if (directory > tiff.size() - 2) return false;
  const std::size_t count = read_u16(tiff.subspan(directory), big_endian);
  if (count > (tiff.size() - directory - 2) / 12) return false;
  constexpr std::uint32_t orientation_tag = 0x0112, short_type = 3;
  for (std::size_t i = 0; i < count; ++i) {
    const std::span<const std::uint8_t> entry = tiff.subspan(directory + 2 + 12 * i, 12);
    if (read_u16(entry, big_endian) != orientation_tag) continue;
    if (read_u16(entry.subspan(2), big_endian) != short_type ||
        read_u32(entry.subspan(4), big_endian) != 1 || read_u16(entry.subspan(8), big_endian) != 1)
      return false;
  }
  return true;
}

bool upright(jpeg_saved_marker_ptr markers) {
  for (jpeg_saved_marker_ptr marker = markers; marker != nullptr; marker = marker->next) {
    if (marker->marker == JPEG_APP0 + 1 && !exif_is_upright({marker->data, marker->data_length}))
      return false;
  }
  return true;
}

// imread's own limits on the image size.
constexpr JDIMENSION max_side = 1u << 20;
constexpr std::uint64_t max_pixels = 1u << 30;

bool decoded_as_imread_does(const jpeg_decompress_struct& info) {
  const bool grey = info.num_components == 1 && info.jpeg_color_space == JCS_GRAYSCALE;
  const bool ycc = info.num_components == 3 && info.jpeg_color_space == JCS_YCbCr;
  return (grey || ycc) && !info.saw_Adobe_marker && info.data_precision == 8 &&
         info.image_width <= max_side && info.image_height <= max_side &&
         std::uint64_t{info.image_width} * info.image_height <= max_pixels &&
         upright(info.marker_list);
}

bool allocate(cv::Mat& image, int rows, int columns, int type) noexcept {
  try {
    if (image.rows != rows || image.cols != columns || image.type() != type)
      image.create(rows, columns, type);
    return true;
  } catch (...) {
    return false;
  }
}

struct decompressor {
  jpeg_decompress_struct info;
  error_state errors;
};

jpeg_header header_of(const jpeg_decompress_struct& info, std::size_t file_bytes) {
  jpeg_header header;
  header.width = static_cast<int>(info.image_width);
  header.height = static_cast<int>(info.image_height);
  header.grey = info.num_components == 1;
  header.plausible =
      plausible_pixel_count(std::uint64_t{info.image_width} * info.image_height, file_bytes);
  return header;
}

// May leave through the error jump; holds nothing that needs destroying.
bool read_image(jpeg_decompress_struct& info, std::size_t file_bytes, cv::Mat& image,
                int channels) {
  jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
  // Checked before the library sizes any buffer by the header.
  if (!header_of(info, file_bytes).plausible || !decoded_as_imread_does(info)) return false;
  if (channels == 1 && info.num_components != 1) return false;
  info.out_color_space = channels == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  if (info.output_components != channels ||
      !allocate(image, static_cast<int>(info.output_height), static_cast<int>(info.output_width),
                CV_8UC(channels)))
    return false;
  std::array<JSAMPROW, row_batch> rows{};
  while (info.output_scanline < info.output_height) {
    const JDIMENSION first = info.output_scanline;
    const JDIMENSION count = std::min(row_batch, info.output_height - first);
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = image.ptr(static_cast<int>(first + i));
    if (jpeg_read_scanlines(&info, rows.data(), count) == 0) return false;
  }
  jpeg_finish_decompress(&info);
  return true;
}

bool looks_like_jpeg(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

jpeg_decode_status decompress(decompressor& d, std::span<const std::uint8_t> bytes, cv::Mat& image,
                              int channels) {
  jpeg_decompress_struct& info = d.info;
  info.err = install_errors(d.errors, true);
  if (setjmp(d.errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return jpeg_decode_status::refused;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  const bool decoded = read_image(info, bytes.size(), image, channels);
  jpeg_destroy_decompress(&info);
  if (!decoded) return jpeg_decode_status::refused;
  return d.errors.ended_early ? jpeg_decode_status::incomplete : jpeg_decode_status::decoded;
}

struct header_reader {
  jpeg_decompress_struct info;
  error_state errors;
};

std::optional<jpeg_header> read_header(header_reader& r, std::span<const std::uint8_t> bytes) {
  jpeg_decompress_struct& info = r.info;
  // Warnings are ignored here: a header the library patches over still says
  // what the decoder will be asked to allocate.
  info.err = install_errors(r.errors, false);
  if (setjmp(r.errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return std::nullopt;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  const bool read = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK;
  const jpeg_header header = header_of(info, bytes.size());
  jpeg_destroy_decompress(&info);
  if (!read) return std::nullopt;
  return header;
}

}  // namespace

bool encode_jpeg(const cv::Mat& image, std::vector<std::uint8_t>& out) {
  if (image.empty() || (image.type() != CV_8UC1 && image.type() != CV_8UC3)) return false;
  const std::size_t stride = image.step[0];
  const std::span<const std::uint8_t> pixels(
      image.data, stride * static_cast<std::size_t>(image.rows - 1) +
                      image.elemSize() * static_cast<std::size_t>(image.cols));
  return encode_jpeg(pixel_view{pixels, image.cols, image.rows, image.channels(), stride}, out);
}

std::vector<std::uint8_t> encode_jpeg(const cv::Mat& image) {
  std::vector<std::uint8_t> out;
  encode_jpeg(image, out);
  return out;
}

bool plausible_pixel_count(std::uint64_t pixels, std::size_t file_bytes) {
  constexpr std::uint64_t pixels_per_byte = 1024;
  return pixels / pixels_per_byte <= file_bytes;
}

std::optional<jpeg_header> read_jpeg_header(std::span<const std::uint8_t> bytes) {
  if (!looks_like_jpeg(bytes)) return std::nullopt;
  header_reader r{};
  return read_header(r, bytes);
}

jpeg_decode_status decode_jpeg(std::span<const std::uint8_t> bytes, cv::Mat& image, int channels) {
  // Quick refusal of what is plainly no JPEG, before setting up the library.
  if (!looks_like_jpeg(bytes) || (channels != 1 && channels != 3))
    return jpeg_decode_status::refused;
  decompressor d{};
  return decompress(d, bytes, image, channels);
}

bool decode_jpeg_bgr_into(std::span<const std::uint8_t> bytes, cv::Mat& image) {
  return decode_jpeg(bytes, image, 3) == jpeg_decode_status::decoded;
}

std::optional<cv::Mat> decode_jpeg_bgr(std::span<const std::uint8_t> bytes) {
  cv::Mat image;
  if (!decode_jpeg_bgr_into(bytes, image)) return std::nullopt;
  return image;
}

}  // namespace common
