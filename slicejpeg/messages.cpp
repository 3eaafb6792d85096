#include "slicejpeg/messages.hpp"

#include <algorithm>
#include <cmath>

#include "slicejpeg/command_line.hpp"
#include "slicejpeg/text_format.hpp"
#include "slicejpeg/window.hpp"

namespace slicejpeg::text {
namespace {

std::string in_quotes(std::string_view value) {
  std::string text;
  text.reserve(value.size() + 2);
  text += '"';
  text += value;
  text += '"';
  return text;
}

std::string number(double value) {
  return format("%g", value);
}

}  // namespace

std::string lines_line(int columns) {
  return format("\tLines \t%d\n", columns);
}
std::string colums_line(int rows) {
  return format("\tColums\t%d\n", rows);
}
std::string bits_line(int bits_allocated) {
  return format("\tBit_Allocate\t%d\n", bits_allocated);
}
std::string image_line(double max, double min) {
  return format("\tImage :Max is %f Min is %f\n", max, min);
}
std::string max_file_text(double run_max, double run_min) {
  return format("max :%f\nmin :%f\n", run_max, run_min);
}

std::string usage() {
  return format(
             "usage: slicejpeg [--window C,W | NAME | file | series] [--order RULE] [--series N | "
             "all]\n"
             "                 [LIST]\n"
             "converts every slice file named in the path list LIST (default %s)\n"
             "into an 8-bit JPEG beside the first listed file, and keeps the series'\n"
             "maximum and minimum sample in PREFIX_max.txt (PREFIX: LIST up to its last \"_\")\n",
             default_list_name.data()) +
         std::string(window_usage_text());
}

std::string ends_in_element(const std::string& tag) {
  return "file ends inside element " + tag;
}
std::string ends_in_sequence(const std::string& tag) {
  return "file ends inside sequence " + tag;
}
std::string bad_sequence(const std::string& tag) {
  return "sequence " + tag + " holds something other than items";
}
std::string negative_length(const std::string& tag) {
  return "element " + tag + " has a negative length";
}

std::string unknown_syntax(std::string_view uid) {
  return "transfer syntax " + std::string(uid) + " is not one slicejpeg can read";
}
std::string short_pixel_data(std::size_t holds, std::size_t frames, std::size_t frame_bytes) {
  const std::string needs = frames == 1
                                ? std::to_string(frame_bytes)
                                : std::to_string(frames) + " x " + std::to_string(frame_bytes);
  return "pixel data holds " + std::to_string(holds) + " bytes, the image needs " + needs;
}
std::string bad_frame_count(std::string_view value) {
  return "Number of Frames " + in_quotes(value) + " is not a frame count from 1 to " +
         std::to_string(dicom::max_frames);
}
std::string decoded_mismatch(int rows, int columns, int bits, int samples_per_pixel) {
  return format(
      "decoded pixel data (%d x %d, %d bits, %d samples per pixel) does not match the "
      "header",
      rows, columns, bits, samples_per_pixel);
}
std::string skipped(std::string_view what) {
  return "skipped: " + std::string(what);
}
std::string no_pixel_data_object(std::string_view modality) {
  return modality.empty() ? "no pixel data, not an image"
                          : "no pixel data, not an image (modality " + std::string(modality) + ")";
}
std::string colour_object(int samples_per_pixel, std::string_view photometric) {
  std::string what = "colour image (" + std::to_string(samples_per_pixel) + " sample" +
                     (samples_per_pixel == 1 ? "" : "s") + " per pixel";
  if (!photometric.empty()) what += ", " + std::string(photometric);
  return what + "), only greyscale slices are converted";
}
std::string bits_object(int bits_allocated, std::string_view modality) {
  std::string what = std::to_string(bits_allocated) + "-bit samples";
  if (!modality.empty()) what += " (modality " + std::string(modality) + ")";
  return what + ", only 16-bit greyscale slices are converted";
}

std::string cannot_open_list(std::string_view reason) {
  return "cannot open the path list: " + std::string(reason);
}
std::string cannot_lock_max(std::string_view reason) {
  return "cannot lock the max file: " + std::string(reason);
}

std::string cannot_open_slice(std::string_view reason) {
  return "cannot open: " + std::string(reason);
}
std::string name_collision(std::string_view output, std::string_view other_file) {
  return "would write " + std::string(output) + ", as " + std::string(other_file) +
         " does; nothing was converted";
}
std::string several_frames_in_list(std::size_t frames) {
  return "holds " + std::to_string(frames) +
         " frames; a file of several frames must be the only file of its list";
}
std::string cannot_write_output(std::string_view reason) {
  return "cannot write: " + std::string(reason);
}
std::string internal_error(std::string_view what) {
  return "cannot convert: " + std::string(what);
}

std::string mixed_series(std::string_view uid, std::string_view first_file,
                         std::string_view first_uid) {
  return "warning: series " + std::string(uid) + " is not the series of " +
         std::string(first_file) + " (" + std::string(first_uid) + "): the list mixes series";
}
std::string mixed_orientation(std::string_view first_file) {
  return "warning: image orientation differs from " + std::string(first_file) +
         ": slice positions are not checked";
}
std::string out_of_order(std::string_view key, std::string_view previous_file, double previous,
                         double here, std::size_t breaks) {
  std::string line = "warning: " + std::string(key) + " " + number(here) + " after " +
                     number(previous) + " of " + std::string(previous_file) +
                     ": the slices are not in order along the slice normal";
  if (breaks > 1) line += " (" + std::to_string(breaks) + " places)";
  return line;
}
std::string shared_position(std::string_view key, std::string_view other_file, double value) {
  return "warning: same " + std::string(key) + " " + number(value) + " as " +
         std::string(other_file);
}
std::string gap(std::string_view key, std::string_view previous_file, double spacing,
                double median) {
  return "warning: " + std::string(key) + " gap of " + number(spacing) + " from " +
         std::string(previous_file) + ", more than 1.5 times the median spacing " + number(median) +
         ": slices may be missing";
}

std::string describe(const dicom::walk_result& walk) {
  using dicom::walk_error;
  const std::string tag = dicom::tag_text(walk.failed_at);
  switch (walk.error) {
    case walk_error::none:
      return std::string(walked_to_pixels);
    case walk_error::truncated_header:
      return std::string(ends_in_header);
    case walk_error::truncated_value:
      return walk.failed_at == dicom::pixel_data_tag ? std::string(ends_in_pixels)
                                                     : ends_in_element(tag);
    case walk_error::negative_length:
      return negative_length(tag);
    case walk_error::no_pixel_data:
      return std::string(no_pixel_data_element);
    case walk_error::truncated_sequence:
      return ends_in_sequence(tag);
    case walk_error::bad_sequence:
      return bad_sequence(tag);
  }
  return std::string(unknown_walk_error);
}

std::string describe(const dicom::read_problem& problem) {
  using kind = dicom::read_problem::kind;
  const auto& n = problem.count;
  const auto i = [](std::size_t value) { return static_cast<int>(value); };
  switch (problem.what) {
    case kind::none:
      return {};
    case kind::empty:
      return std::string(empty_file);
    case kind::meta_cut:
      return std::string(ends_in_meta);
    case kind::unknown_syntax:
      return unknown_syntax(problem.text);
    case kind::bad_deflate:
      return std::string(bad_deflate);
    case kind::deflate_too_large:
      return std::string(deflate_too_large);
    case kind::walk:
      return describe(problem.walk);
    case kind::no_image:
      return skipped(no_pixel_data_object(problem.text));
    case kind::no_rows:
      return std::string(no_rows);
    case kind::no_columns:
      return std::string(no_columns);
    case kind::no_bits:
      return std::string(no_bits);
    case kind::colour:
      return skipped(colour_object(i(n[0]), problem.text));
    case kind::not_16_bits:
      return skipped(bits_object(i(n[0]), problem.text));
    case kind::no_pixels:
      return std::string(no_pixels);
    case kind::bad_frame_count:
      return bad_frame_count(problem.text);
    case kind::decoder:
      return problem.text;
    case kind::decoded_mismatch:
      return decoded_mismatch(i(n[0]), i(n[1]), i(n[2]), i(n[3]));
    case kind::stray_encapsulation:
      return std::string(stray_encapsulation);
    case kind::short_pixel_data:
      return short_pixel_data(n[0], n[1], n[2]);
  }
  return std::string(unknown_error);
}

std::string describe(const dicom::series_warning& warning) {
  using kind = dicom::series_warning::kind;
  switch (warning.what) {
    case kind::mixed_series:
      return mixed_series(warning.series_uid, warning.other_file, warning.other_uid);
    case kind::mixed_orientation:
      return mixed_orientation(warning.other_file);
    case kind::out_of_order:
      return out_of_order(warning.key, warning.other_file, warning.other_value, warning.value,
                          warning.breaks);
    case kind::shared_position:
      return shared_position(warning.key, warning.other_file, warning.value);
    case kind::gap:
      return gap(warning.key, warning.other_file, warning.value, warning.other_value);
  }
  return std::string(unknown_error);
}

}  // namespace slicejpeg::text

namespace slicejpeg::text {
namespace {

// Which way the stack runs, from its first slice to its last.
std::string_view direction(const std::array<double, 3>& normal) {
  const auto axis = static_cast<std::size_t>(
      std::max_element(normal.begin(), normal.end(),
                       [](double a, double b) { return std::abs(a) < std::abs(b); }) -
      normal.begin());
  static constexpr std::array<std::string_view, 3> words = {"right to left", "front to back",
                                                            "feet to head"};
  return words[axis];
}

}  // namespace

std::string ordered_by(dicom::order_rule rule, const std::array<double, 3>& normal,
                       std::string_view first_name) {
  const std::string how = rule == dicom::order_rule::position
                              ? "position along the slice normal, " + std::string(direction(normal))
                              : std::string("instance number");
  return "slices ordered by " + how + " (not by file name) and named by rank from " +
         std::string(first_name);
}

std::string order_lacking(dicom::order_rule rule) {
  return rule == dicom::order_rule::position
             ? "no position and orientation like the other slices'; ordered by file name"
             : "no instance number; ordered by file name";
}

std::string several_series(std::size_t count) {
  return std::to_string(count) + " series in one list; nothing converted";
}

std::string series_line(const dicom::series_group& series, std::string_view key) {
  std::string line = "series " + std::string(key) + ": ";
  line += series.modality.empty() ? "no modality" : series.modality;
  if (!series.description.empty()) line += " " + in_quotes(series.description);
  line += ", " + std::to_string(series.images) + (series.images == 1 ? " slice, " : " slices, ");
  line += series.orientation ? dicom::plane_name(*series.orientation) : "mixed orientation";
  return line;
}

std::string next_commands(std::string_view list_name, std::string_view first_key) {
  return "convert one series into a folder of its own with \"slicejpeg --series " +
         std::string(first_key) + " " + std::string(list_name) +
         "\", or every series with \"slicejpeg --series all " + std::string(list_name) + "\"";
}

std::string no_such_series(std::string_view key) {
  return "no series " + std::string(key) + " in the list; nothing converted";
}

std::string interrupted_by(int signal) {
  return "interrupted by signal " + std::to_string(signal) +
         "; the slices written so far stay, the max file is kept as it was";
}

std::string cannot_make_folder(std::string_view reason) {
  return "cannot make the series folder: " + std::string(reason);
}

std::string default_mapping_wraps(double widest_span) {
  return "slices span up to " + number(widest_span + 1) +
         " values, more than 256, so the default mapping wraps them into bands; "
         "use --window (series, file, soft, brain, bone, lung or C,W) for a readable image";
}

std::string not_hounsfield(std::string_view preset, std::string_view what) {
  return "warning: the preset " + std::string(preset) +
         " is a window in Hounsfield units, but the series is " + std::string(what) +
         "; use --window series, --window file or --window C,W";
}

}  // namespace slicejpeg::text
