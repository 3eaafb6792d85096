// ctview-decoder: decodes the compressed pixel data of the files its parent
// sends, one request after the other, until the channel closes. Started by
// the programs' decoder client with the parent's process id as its argument.
#include <cstdint>
#include <string>
#include <vector>

#include "common/platform.hpp"
#include "dicom/decoder_helper/gdcm_decode.hpp"
#include "dicom/decoder_protocol.hpp"

namespace {

namespace platform = common::platform;

// CPU seconds one file may take beyond those used so far: the parent's
// deadline is the first bound, this one holds if the parent cannot act.
constexpr unsigned cpu_seconds_base = 30;
constexpr unsigned cpu_seconds_per_mib = 3;

// GDCM allocates what a header declares before reading it (a fragment that
// claims 4 GiB takes 4 GiB); a bound on the address space turns that into
// bad_alloc. Sanitizers reserve terabytes of shadow memory, so their builds
// go without.
void limit_memory(std::size_t file_size) {
#if !defined(__SANITIZE_ADDRESS__)
  platform::limit_further_memory(dicom::helper::decode_memory_budget(file_size));
#else
  (void)file_size;
#endif
}

// One request: false when the channel closed or the request is garbled.
bool serve_one() {
  std::uint8_t request[dicom::protocol::request_header_size];
  if (!platform::read_from_parent(request, sizeof request)) return false;
  const auto size = dicom::protocol::parse_request_header(request);
  if (!size || *size > (std::uint64_t{1} << 33)) return false;
  std::vector<std::uint8_t> file(static_cast<std::size_t>(*size));
  if (!platform::read_from_parent(file.data(), file.size())) return false;
  limit_memory(file.size());
  platform::limit_further_cpu_seconds(
      cpu_seconds_base + cpu_seconds_per_mib * static_cast<unsigned>(file.size() >> 20));
  dicom::compressed_frames frames = dicom::helper::decode_with_gdcm(file);
  file = {};
  const auto header = dicom::protocol::encode(dicom::protocol::header_of(frames));
  return platform::write_to_parent(header.data(), header.size()) &&
         platform::write_to_parent(frames.problem.data(), frames.problem.size()) &&
         platform::write_to_parent(frames.samples.data(), frames.samples.size());
}

}  // namespace

int main(int argc, char** argv) {
  // Die with the parent, even when it is killed.
  if (!platform::end_with_parent(argc > 1 ? argv[1] : "")) return 1;
  while (serve_one()) {
  }
  return 0;
}
