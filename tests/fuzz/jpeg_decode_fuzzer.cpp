// libFuzzer target: JPEG decoding with the project's own marker checks in
// front of the JPEG library. Under -malloc_limit_mb a frame header that
// declares far more pixels than the bytes can hold is a finding.
#include <cstdint>
#include <cstdlib>
#include <opencv2/core.hpp>

#include "common/jpeg_codec.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto image = common::decode_jpeg_bgr({data, size});
  if (image && (image->empty() || image->type() != CV_8UC3)) std::abort();
  return 0;
}
