#include "slicejpeg/compressed_pixels.hpp"

namespace slicejpeg {

bool is_encapsulated_syntax(std::string_view transfer_syntax_uid) {
  return transfer_syntax_uid.starts_with("1.2.840.10008.1.2.4.") ||
         transfer_syntax_uid == "1.2.840.10008.1.2.5";
}

compressed_frames decode_compressed(std::span<const std::uint8_t>) {
  compressed_frames result;
  result.problem = "compressed pixel data cannot be decoded yet";
  return result;
}

}  // namespace slicejpeg
