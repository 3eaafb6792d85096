#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "slicejpeg/file_system.hpp"
#include "slicejpeg/messages.hpp"
#include "slicejpeg/slice_convert.hpp"
#include "slicejpeg/stack_plan.hpp"
#include "slicejpeg/window.hpp"

// The batch: every slice of a path list converted to a JPEG, in list order,
// and the max file read before and rewritten after.
namespace slicejpeg {

constexpr std::string_view default_list_name = text::default_list_name;

// A path list of a million long paths is still far below this.
constexpr std::size_t max_list_bytes = std::size_t{256} << 20;
constexpr std::size_t max_max_file_bytes = 1 << 20;

struct batch_options {
  std::string list_name{default_list_name};
  unsigned jobs = 1;     // slices converted at the same time
  window_choice window;  // none: (sample - image minimum) mod 256
  dicom::order_rule order = dicom::order_rule::automatic;
  series_choice series;
  // Each worker's decoder of compressed pixel data.
  decoder_factory make_decoder = make_helper_decoder;
  // --window series keeps the slices its first pass decoded (compressed
  // ones) up to this many bytes of samples, so they are decoded once; the
  // rest are decoded again. A 512 x 512 x 2000 series fits.
  std::size_t max_kept_bytes = std::size_t{1} << 30;
};

// Runs the whole batch; console text goes to `out`, error lines to `err`.
// Returns the exit status.
int run_batch(const batch_options& options, std::FILE* out, std::FILE* err,
              const file_system& files = real_file_system());

}  // namespace slicejpeg
