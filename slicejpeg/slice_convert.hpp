#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dicom/pixel_decoder.hpp"
#include "dicom/series_check.hpp"
#include "dicom/slice_reader.hpp"
#include "slicejpeg/conversion.hpp"
#include "slicejpeg/file_system.hpp"
#include "slicejpeg/window.hpp"

// One slice file of the batch, from its bytes to the encoded JPEGs in memory.
// Nothing here prints or writes, so slices can be converted ahead of the
// ordered console output and file writes.
namespace slicejpeg {

using dicom::decoded_slice;
using dicom::read_verdict;
using dicom::slice_facts;
using dicom::slice_header;
using dicom::slice_read;

// What each worker keeps from one slice to the next: the window table and
// its own decoder of compressed pixel data (a helper process, started on the
// first compressed file).
struct worker_tools {
  window_lut_cache luts;
  std::unique_ptr<dicom::pixel_decoder> decoder;
};
using decoder_factory = std::function<std::unique_ptr<dicom::pixel_decoder>()>;
// The helper process of the installed (or built) program.
std::unique_ptr<dicom::pixel_decoder> make_helper_decoder();

struct slice_job {
  std::string listed;  // the token as the list holds it
  std::string path;    // the same with '/' separators
  // One name per frame; one name for a file whose frames are not known
  // before it is read; none when the file's name has no slice number.
  std::vector<std::string> output_names;
};

enum class slice_status { converted, cannot_open, refused, skipped, no_memory };

struct converted_frame {
  std::string output_name;
  slice_facts facts;  // what the series checks look at
  image_range range;
  std::vector<std::uint8_t> jpeg;  // empty when it could not be encoded
  std::string problem;             // why not
};

// How a slice's samples become grey values.
struct conversion_plan {
  // none, fixed or file; the batch turns series into the fixed window of
  // the whole series before the first slice is converted.
  window_choice window;
  // Only the extremes, no JPEG: the first pass of a series window.
  bool survey = false;
  // With survey: hand back slices whose samples had to be decoded or
  // inflated, so the second pass need not decode them again.
  bool keep_decoded = false;
  // The spacing between the stack's slices, for the geometry comments.
  std::optional<double> slice_spacing;
};

// A slice of several frames, encoded and written frame by frame by the
// writing thread, so a file of any frame count holds one JPEG at a time.
struct deferred_frames {
  slice_read read;
  std::vector<std::uint8_t> file_bytes;  // what the samples may point into
  std::vector<std::string> names;        // one per frame
};

struct slice_outcome {
  slice_status status = slice_status::refused;
  modality_range modality;              // of all frames, when surveyed
  std::optional<slice_header> header;   // known once the walk found all three values
  std::vector<converted_frame> frames;  // when converted: one per frame
  std::string problem;                  // what is wrong, for the error line
  // Surveyed with keep_decoded: the slice as read, when its samples live in
  // storage of their own rather than in the file's bytes.
  std::optional<slice_read> kept;
  // Converted but not yet encoded: the frames of a multi-frame slice.
  std::unique_ptr<deferred_frames> deferred;
};

// Frame `index` of a slice through the plan's window (into `image`, a frame's
// worth of bytes), encoded with its geometry; or, in `refusal`, why the
// slice cannot be shown through that window.
struct frame_result {
  converted_frame frame;
  std::string refusal;
};
frame_result encode_frame(const slice_job& job, const decoded_slice& slice, std::size_t index,
                          const std::string& name, const conversion_plan& plan,
                          window_lut_cache& luts, std::vector<std::uint8_t>& image);

// Reads, converts and JPEG-encodes one slice file with the tools of the
// worker it runs on.
slice_outcome convert_slice(const slice_job& job, const file_system& files,
                            const conversion_plan& plan, worker_tools& tools);

// Converts a slice read earlier (kept by a survey) as convert_slice would.
slice_outcome convert_read_slice(const slice_job& job, slice_read read, const conversion_plan& plan,
                                 window_lut_cache& luts);

// Bytes of decoded samples a kept slice holds.
std::size_t kept_bytes(const slice_read& read);

// The window mapping of a frame under `choice` (fixed or file), or why the
// frame cannot be shown through it; nothing for the default conversion.
struct slice_mapping {
  std::optional<window_mapping> mapping;
  std::string problem;
};
slice_mapping mapping_for(const decoded_slice& slice, std::size_t frame,
                          const window_choice& choice);

// The stored values a slice marks as padding, first and last.
std::optional<std::array<std::int32_t, 2>> padding_of(const dicom::image_attributes& attributes);

// Converts the frames of a decoded slice, named `names` (one per frame),
// through the plan's window, each with its geometry comment.
slice_outcome encode_frames(const slice_job& job, const decoded_slice& slice,
                            const std::vector<std::string>& names, const conversion_plan& plan,
                            window_lut_cache& luts);

// The stored extremes of every frame and the modality range of them all,
// padding left out.
slice_outcome survey_frames(const decoded_slice& slice, const std::vector<std::string>& names);

// The comment a frame's JPEG carries; empty for a slice without geometry.
std::string geometry_text(const decoded_slice& slice, std::size_t frame,
                          const conversion_plan& plan, const window_mapping* mapping);

}  // namespace slicejpeg
