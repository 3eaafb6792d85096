#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "slicejpeg/conversion.hpp"

// One slice of the batch, from its file to the encoded JPEG in memory. Nothing
// here prints or touches the output directory, so slices can be converted
// ahead of the ordered console output and file writes.
namespace slicejpeg {

struct slice_job {
  std::string listed;                      // the token as the list holds it
  std::string path;                        // the same with '/' separators
  std::optional<std::string> output_name;  // nothing when the name has no slice number
};

struct slice_header {
  int rows = 0;
  int columns = 0;
  int bits_allocated = 0;
};

enum class slice_status { converted, cannot_open, refused, no_memory, not_encoded };

struct slice_outcome {
  slice_status status = slice_status::refused;
  std::optional<slice_header> header;  // known once the walk found all three values
  image_range range;                   // set when converted or not_encoded
  std::vector<std::uint8_t> jpeg;
  std::string problem;  // what is wrong, for the error line
};

enum class read_status { ok, cannot_open, cannot_read };

// Reads the whole file into `buffer`, reusing its storage; `problem` gets the
// reason on failure.
read_status read_file(const std::string& path, std::vector<std::uint8_t>& buffer,
                      std::string& problem);

// Walks, converts and JPEG-encodes one slice; `file_buffer` is scratch space
// kept between calls.
slice_outcome convert_slice(const slice_job& job, std::vector<std::uint8_t>& file_buffer);

}  // namespace slicejpeg
