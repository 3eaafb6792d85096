#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "triview/dicom_volume.hpp"
#include "triview/options.hpp"
#include "triview/render.hpp"
#include "triview/viewer.hpp"

// From a path list to a stack the windows can show: JPEG slices (with the
// geometry their comment segments carry) or DICOM slice files, with every
// refusal worded before any window opens.
namespace triview {

struct loaded_list {
  std::optional<slice_stack> stack;
  stack_geometry geometry;
  std::optional<dicom::window_mapping> mapping;  // DICOM lists: what the samples mean
  double value_span = 256;                       // the range of the samples' values
  std::vector<load_line> lines;  // for standard error, in order; subject "" is the list
  int exit_status = 0;
};

struct load_events {
  std::function<void(std::size_t slices)> counted;  // once the first slice is read
  std::function<void(std::size_t done, std::size_t total)> progress;
};

// Loads the list `options` names. `window_room` is what the windows need on
// top of the stack, for a list of `count` slices of `size` at `z_scale`.
loaded_list load_list(const options& options, const load_events& events);

// The z-scale the side views of `count` slices use: the option's, else the
// geometry's as far as a window can show it, else 1.
double z_scale_for(const options& options, const stack_geometry& geometry, std::size_t count);

// How the windows show what was loaded.
viewer_settings settings_for(const options& options, const loaded_list& loaded);

}  // namespace triview
