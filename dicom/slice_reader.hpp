#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/file_read.hpp"
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

// The most frames one file is read with: far beyond any cine or tomosynthesis
// series, and small enough that planning its frames takes little memory.
constexpr std::size_t max_frames = 100000;

struct slice_header {
  int rows = 0;
  int columns = 0;
  int bits_allocated = 0;
};

// What an image says about one of its frames: the top-level elements, or
// for an enhanced (multi-frame) image its functional groups.
struct frame_facts {
  std::optional<std::array<double, 3>> position;       // (0020,0032)
  std::optional<std::array<double, 6>> orientation;    // (0020,0037)
  std::optional<std::array<double, 2>> pixel_spacing;  // (0028,0030): between rows, columns
  std::optional<double> rescale_slope;                 // (0028,1053)
  std::optional<double> rescale_intercept;             // (0028,1052)
  std::optional<double> window_center;                 // (0028,1050), the first value
  std::optional<double> window_width;                  // (0028,1051)

  // Each value of `over` where it has one, else this one's.
  frame_facts overlaid_by(const frame_facts& over) const;
};

// The attributes of an image that say what its samples mean and where it lies.
struct image_attributes {
  std::string photometric;             // (0028,0004), "MONOCHROME2"; empty when absent
  std::string modality;                // (0008,0060)
  std::string series_uid;              // (0020,000E)
  std::string series_description;      // (0008,103E)
  std::optional<int> series_number;    // (0020,0011)
  std::optional<int> instance_number;  // (0020,0013)
  int bits_stored = 16;        // (0028,0101); windows mask samples to it (overlay bits above)
  bool samples_signed = true;  // (0028,0103) 1 or absent
  // (0028,0120) and (0028,0121) as stored sample values: samples outside the
  // scanned field, from value to limit (either way round), or value alone.
  std::optional<std::int32_t> padding_value, padding_limit;
  frame_facts common;                  // the top level, then the shared functional groups
  std::vector<frame_facts> per_frame;  // the per-frame functional groups, when present

  // The facts of frame `index`: its own functional groups over the common ones.
  frame_facts frame(std::size_t index) const;
  // Whether a stored sample is padding.
  bool is_padding(std::int32_t stored) const;
};

// A greyscale image of one or more frames, its 16-bit samples little-endian.
struct decoded_slice {
  int rows = 0;
  int columns = 0;
  int bits_allocated = 16;
  std::size_t frames = 1;
  bool samples_signed = true;  // Pixel Representation 1 or absent; 0 is unsigned
  // frames x rows x columns samples, frame after frame: a view of the
  // file's own bytes, or of sample_storage when they had to be swapped,
  // inflated or decoded. A decoded_slice read from a buffer must not outlive it.
  std::span<const std::uint8_t> samples;
  std::vector<std::uint8_t> sample_storage;
  image_attributes attributes;
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
    bad_frame_count,      // text: the Number of Frames value (no number, or above max_frames)
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

// What a file says about itself before its pixel data, read from its first
// bytes only where they hold all of that: enough to order and group a list
// before any pixel is decoded.
struct slice_description {
  enum class status {
    described,  // a greyscale 16-bit image; `attributes` and `frames` hold
    not_image,  // something the converter skips or refuses; reading it says why
    need_more,  // the bytes end before the pixel data: read the whole file
  };
  status what = status::not_image;
  int rows = 0, columns = 0;
  std::size_t frames = 1;
  image_attributes attributes;
};

// `file_bytes` is the whole file when `whole` says so, else its first bytes.
slice_description describe_slice(std::span<const std::uint8_t> file_bytes, bool whole);

// The description of a file read by `read_head`, which gives at most the
// first `head_bytes` of it (with `whole` set when that is all of it), or
// the whole file for head_bytes 0: as few bytes are read as hold the
// header. Nothing for a file that cannot be read or is no greyscale image.
using head_reader = std::function<common::file_read(std::size_t head_bytes)>;
std::optional<slice_description> describe_file(const head_reader& read_head);

// Encapsulated pixel data goes to `decoder`; other files never call it.
slice_read read_slice(std::span<const std::uint8_t> file_bytes, pixel_decoder& decoder);
// The decoded samples may point into the bytes read, so they must outlive it.
slice_read read_slice(std::vector<std::uint8_t>&&, pixel_decoder&) = delete;

}  // namespace dicom
