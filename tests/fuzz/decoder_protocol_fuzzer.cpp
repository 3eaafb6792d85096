// libFuzzer target: what the decoder helper's client reads from the channel.
// A header is believed only when consistent; one believed must encode back to
// the same bytes, and must not ask for more samples than its image holds.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "dicom/decoder_protocol.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dicom::protocol;
  const std::span<const std::uint8_t> bytes(data, size);
  if (size >= request_header_size) (void)parse_request_header(bytes.first(request_header_size));
  if (size < response_header_size) return 0;
  const auto header = parse_response_header(bytes.first(response_header_size));
  if (!header) return 0;
  const auto again = encode(*header);
  for (std::size_t i = 0; i < response_header_size; ++i)
    if (again[i] != data[i]) std::abort();
  if (header->problem_size > 0 && header->samples_size != 0) std::abort();
  return 0;
}
