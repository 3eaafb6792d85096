#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dicom/slice_reader.hpp"
#include "dicom/stack_order.hpp"
#include "slicejpeg/slice_convert.hpp"

// From the headers of a list's files to what the batch writes: which
// series go into which stack, in what order, under which names. Pure.
namespace slicejpeg {

// A listed file and what its header said, read before anything is converted.
struct listed_file {
  std::string listed;  // the token as the list holds it
  std::string path;    // the same with '/' separators
  // Nothing when the header could not be read or does not describe a
  // greyscale image: converting the file says why.
  std::optional<dicom::slice_description> description;
};

// --series: nothing, one series (its number, or its UID), or all.
struct series_choice {
  bool given = false;
  bool all = false;
  std::string key;
  bool operator==(const series_choice&) const = default;
};

// One stack the batch writes: a list's worth of JPEG slices and a max file.
struct stack_run {
  std::string series_key;  // empty for the whole list
  std::string out_dir;     // "" is the working directory
  std::string max_name;
  std::vector<slice_job> jobs;                        // in list order
  std::size_t images = 0;                             // frames of the described files
  dicom::order_rule order = dicom::order_rule::name;  // the rule that ordered the stack
  bool ranked = false;                 // named by rank, since the file names' order is another
  std::string first_name;              // of the first ranked slice
  std::optional<std::string> lacking;  // a file a forced order could not use
  std::optional<double> slice_spacing;
  std::array<double, 3> normal{};  // the turned slice normal when ordered by position
  std::vector<std::string> modalities_without_hounsfield;  // "MR", or "CT without a rescale"
};

struct batch_plan {
  // Several series and no --series, or one that names none of them: every
  // series, and nothing is converted.
  bool refused = false;
  std::vector<dicom::series_group> series;
  std::vector<std::string> series_keys;  // what --series takes for each
  std::vector<stack_run> runs;
  std::vector<std::string> left_out;  // files in no series when series are split
};

// What `prefix` (the list name's) and the files make into stacks.
batch_plan plan_batch(const std::vector<listed_file>& files, const std::string& prefix,
                      dicom::order_rule order, const series_choice& series);

}  // namespace slicejpeg
