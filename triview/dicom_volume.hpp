#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dicom/pixel_decoder.hpp"
#include "dicom/slice_reader.hpp"
#include "dicom/voi_window.hpp"
#include "triview/render.hpp"

// A path list of DICOM slice files as one volume: one series, in anatomical
// order, its stored samples held at two bytes a voxel and shown through a
// window.
namespace triview {

// What true proportions and orientation letters need, from DICOM headers or
// the comment segments of JPEG slices.
struct stack_geometry {
  std::optional<std::array<double, 2>> pixel_spacing;  // mm between rows, between columns
  std::optional<double> slice_spacing;                 // mm between neighbouring slices
  std::optional<std::array<double, 6>> orientation;    // row and column direction cosines

  // The height of a slice in x-z and y-z against a pixel's width: slice
  // spacing over the spacing of the columns; nothing without both.
  std::optional<double> z_scale() const;
};

struct dicom_volume {
  slice_stack stack;              // CV_16UC1 slices, with the display tables of `mapping`
  dicom::window_mapping mapping;  // what the samples mean, and the window shown
  stack_geometry geometry;
  dicom::modality_range range;  // of all samples, padding left out, when a series window needed it
  double value_span = 4096;     // the range of values one window drag across 512 pixels covers
};

struct dicom_load_options {
  dicom::window_choice window;        // none: the files' own window, else the series range
  std::optional<std::string> series;  // --series: a Series Number or UID
  std::string list_name;              // for the command a refusal suggests
  unsigned threads = 1;
  // Each thread's decoder of compressed pixel data.
  std::function<std::unique_ptr<dicom::pixel_decoder>()> make_decoder;
  std::function<void(std::size_t done)> progress;
};

// One line for standard error: "triview: SUBJECT: WHAT".
struct load_line {
  std::string subject;
  std::string what;
};

struct dicom_load_result {
  std::optional<dicom_volume> volume;
  std::vector<load_line> refusal;  // why there is no volume, line by line
};

// Whether the first bytes of a listed file are those of a DICOM slice
// rather than of an image file: a preamble and "DICM", or a header that
// reads as a greyscale image.
bool looks_like_dicom(std::span<const std::uint8_t> head, bool whole);

// Reads `paths` (as listed) into one volume, or says why not.
dicom_load_result load_dicom_volume(const std::vector<std::string>& paths,
                                    const dicom_load_options& options);

// The 8-bit grey of every 16-bit sample under `mapping`, as display tables.
std::shared_ptr<const display_tables> display_of(const dicom::window_mapping& mapping);

}  // namespace triview
