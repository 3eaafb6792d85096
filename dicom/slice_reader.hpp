#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dicom/element_walk.hpp"
#include "dicom/pixel_decoder.hpp"

// Reading one slice file held in memory: a flat run of implicit-VR elements,
// or a Part-10 file (preamble, "DICM", meta information, then the data set in
// its transfer syntax), to its decoded samples and the attributes that
// describe them. No file access, no console, no image container.
namespace dicom {

// The largest file a slice can plausibly be: pixel data as long as an element
// length can say, and a generous margin for everything else.
constexpr std::size_t max_slice_file_bytes = (std::size_t{1} << 32) + (std::size_t{64} << 20);

struct slice_header {
  int rows = 0;
  int columns = 0;
  int bits_allocated = 0;
};

// A greyscale image of one or more frames, its 16-bit samples little-endian.
struct decoded_slice {
  int rows = 0;
  int columns = 0;
  int bits_allocated = 16;
  std::size_t frames = 1;
  bool samples_signed = true;  // Pixel Representation 1 or absent; 0 is unsigned
  // frames x rows x columns samples, frame after frame: a view of the file's
  // own bytes, or of sample_storage when they had to be swapped, inflated or
  // decoded. A decoded_slice read from a buffer must not outlive it.
  std::span<const std::uint8_t> samples;
  std::vector<std::uint8_t> sample_storage;

  // First values of the data set's elements, where present.
  std::optional<double> rescale_slope;            // (0028,1053)
  std::optional<double> rescale_intercept;        // (0028,1052)
  std::optional<double> window_center;            // (0028,1050)
  std::optional<double> window_width;             // (0028,1051)
  std::string photometric;                        // (0028,0004), "MONOCHROME2"; empty when absent
  std::string series_uid;                         // (0020,000E)
  std::optional<int> instance_number;             // (0020,0013)
  std::optional<std::array<double, 3>> position;  // (0020,0032)
  std::optional<std::array<double, 6>> orientation;  // (0020,0037)
  std::string transfer_syntax;  // the meta information's UID; empty for a flat file

  decoded_slice() = default;
  decoded_slice(decoded_slice&&) = default;
  decoded_slice& operator=(decoded_slice&&) = default;
  // A copy would leave `samples` pointing into the original's storage.
  decoded_slice(const decoded_slice&) = delete;
  decoded_slice& operator=(const decoded_slice&) = delete;

  std::size_t frame_samples() const {
    return static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
  }
  std::span<const std::uint8_t> frame(std::size_t index) const {
    return samples.subspan(2 * index * frame_samples(), 2 * frame_samples());
  }
};

enum class read_verdict {
  decoded,  // a 16-bit greyscale image
  skipped,  // not a greyscale image slice: a report, a plan, a colour image ...
  damaged,  // cut short, bad lengths, missing elements, undecodable pixel data
};

// What is wrong with a file that was not decoded; the programs word it.
struct read_problem {
  enum class kind {
    none,
    empty,              // no bytes, or only zero bytes: a file cut or never written
    meta_cut,           // the bytes end inside the file meta information
    unknown_syntax,     // text: the transfer syntax UID
    bad_deflate,        // the deflated data set cannot be inflated
    deflate_too_large,  // it inflates beyond any slice
    walk,               // the element walk failed: `walk` says how
    no_image,           // skipped, no pixel data and no image attributes; text: modality
    no_rows,            // no Rows, Columns or Bits Allocated before the pixel data
    no_columns,
    no_bits,
    colour,               // skipped; count[0]: samples per pixel, text: photometric
    not_16_bits,          // skipped; count[0]: bits allocated, text: modality
    no_pixels,            // Rows or Columns is 0
    bad_frame_count,      // text: the Number of Frames value
    decoder,              // text: the decoder's own words
    decoded_mismatch,     // count: rows, columns, bits allocated, samples per pixel decoded
    stray_encapsulation,  // encapsulated pixel data in an uncompressed syntax
    short_pixel_data,     // count: bytes held, frames, bytes a frame needs
  };
  kind what = kind::none;
  walk_result walk;
  std::string text;
  std::array<std::size_t, 4> count{};
};

struct slice_read {
  read_verdict verdict = read_verdict::damaged;
  std::optional<slice_header> header;  // known once Rows, Columns and Bits Allocated are
  decoded_slice slice;                 // when decoded
  read_problem problem;                // why skipped or damaged
};

// Encapsulated pixel data goes to `decoder`; other files never call it.
slice_read read_slice(std::span<const std::uint8_t> file_bytes, pixel_decoder& decoder);
// The decoded samples may point into the bytes read, so they must outlive it.
slice_read read_slice(std::vector<std::uint8_t>&&, pixel_decoder&) = delete;

}  // namespace dicom
