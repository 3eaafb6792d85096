#include "triview/messages.hpp"

#include "triview/memory_room.hpp"

namespace triview::messages {

std::string series_line(const dicom::series_group& series, const std::string& key) {
  std::string line =
      "series " + key + ": " + (series.modality.empty() ? "no modality" : series.modality);
  if (!series.description.empty()) line += " \"" + series.description + "\"";
  line += ", " + std::to_string(series.images) + (series.images == 1 ? " slice, " : " slices, ");
  line += series.orientation ? std::string(dicom::plane_name(*series.orientation))
                             : std::string("mixed orientation");
  return line;
}

std::string dicom_size_differs(int width, int height, int first_width, int first_height) {
  return "size " + std::to_string(width) + "x" + std::to_string(height) +
         " differs from the first slice's " + std::to_string(first_width) + "x" +
         std::to_string(first_height);
}

std::string dicom_needs_memory(std::size_t count, int width, int height) {
  const std::size_t bytes =
      2 * count * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  return std::to_string(count) + " slices of " + std::to_string(width) + "x" +
         std::to_string(height) + " need " + memory_text(bytes) +
         " of memory for the stack, which is not available";
}

}  // namespace triview::messages
