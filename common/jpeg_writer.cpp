#include "common/jpeg_writer.hpp"

#include <algorithm>
#include <array>

#include "common/jpeg_library.hpp"

namespace common {
namespace {

using namespace jpeg_detail;

// Batches of rows per library call.
constexpr JDIMENSION row_batch = 16;

// --- encoding

struct vector_destination {
  jpeg_destination_mgr manager;  // first, as above
  std::vector<std::uint8_t>* out;
};

vector_destination& destination_of(j_compress_ptr info) {
  return *reinterpret_cast<vector_destination*>(info->dest);
}

bool resize_bytes(std::vector<std::uint8_t>& bytes, std::size_t size) noexcept {
  try {
    bytes.resize(size);
    return true;
  } catch (...) {
    return false;
  }
}

void start_destination(j_compress_ptr info) {
  vector_destination& destination = destination_of(info);
  destination.manager.next_output_byte = destination.out->data();
  destination.manager.free_in_buffer = destination.out->size();
}

// Called with the whole buffer full: twice the room, writing goes on behind.
boolean grow_destination(j_compress_ptr info) {
  vector_destination& destination = destination_of(info);
  const std::size_t used = destination.out->size();
  if (!resize_bytes(*destination.out, 2 * used)) ERREXIT(info, JERR_OUT_OF_MEMORY);
  destination.manager.next_output_byte = destination.out->data() + used;
  destination.manager.free_in_buffer = destination.out->size() - used;
  return TRUE;
}

void end_destination(j_compress_ptr) {}

struct compressor {
  jpeg_compress_struct info;
  error_state errors;
  vector_destination destination;
};

// OpenCV's default JPEG writing: the library's defaults at quality 95 with
// baseline tables, one interleaved scan, no restart markers.
void set_up_compression(jpeg_compress_struct& info, const pixel_view& image) {
  info.image_width = static_cast<JDIMENSION>(image.width);
  info.image_height = static_cast<JDIMENSION>(image.height);
  const bool colour = image.channels == 3;
  info.input_components = colour ? 3 : 1;
  info.in_color_space = colour ? JCS_EXT_BGR : JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
}

void write_rows(jpeg_compress_struct& info, const pixel_view& image) {
  std::array<JSAMPROW, row_batch> rows{};
  while (info.next_scanline < info.image_height) {
    const JDIMENSION first = info.next_scanline;
    const JDIMENSION count = std::min(row_batch, info.image_height - first);
    for (JDIMENSION i = 0; i < count; ++i)
      rows[i] = const_cast<JSAMPROW>(image.pixels.data() + (first + i) * image.stride);
    jpeg_write_scanlines(&info, rows.data(), count);
  }
}

bool compress(compressor& c, const pixel_view& image, std::vector<std::uint8_t>& out,
              std::string_view comment) {
  jpeg_compress_struct& info = c.info;
  info.err = install_errors(c.errors, false);
  if (setjmp(c.errors.jump) != 0) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  c.destination.manager.init_destination = start_destination;
  c.destination.manager.empty_output_buffer = grow_destination;
  c.destination.manager.term_destination = end_destination;
  c.destination.out = &out;
  info.dest = &c.destination.manager;
  set_up_compression(info, image);
  jpeg_start_compress(&info, TRUE);
  if (!comment.empty()) {
    constexpr std::size_t max_comment = 65533;
    jpeg_write_marker(&info, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                      static_cast<unsigned>(std::min(comment.size(), max_comment)));
  }
  write_rows(info, image);
  jpeg_finish_compress(&info);
  const std::size_t written = out.size() - c.destination.manager.free_in_buffer;
  jpeg_destroy_compress(&info);
  out.resize(written);
  return true;
}

// Whole rows of the declared size lie inside the pixels.
bool well_formed(const pixel_view& image) {
  if (image.width <= 0 || image.height <= 0 || (image.channels != 1 && image.channels != 3))
    return false;
  const std::size_t row =
      static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.channels);
  return image.stride >= row &&
         image.pixels.size() >= image.stride * static_cast<std::size_t>(image.height - 1) + row;
}

}  // namespace

bool encode_jpeg(const pixel_view& image, std::vector<std::uint8_t>& out,
                 std::string_view comment) {
  if (!well_formed(image)) return false;
  // Room for the usual output at once; the buffer grows if that is short.
  const std::size_t estimate = static_cast<std::size_t>(image.width) *
                                   static_cast<std::size_t>(image.height) *
                                   static_cast<std::size_t>(image.channels) / 2 +
                               4096;
  if (!resize_bytes(out, std::max(out.capacity(), estimate))) return false;
  compressor c{};
  if (compress(c, image, out, comment)) return true;
  out.clear();
  return false;
}

}  // namespace common
