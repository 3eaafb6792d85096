// Decodes each named Part-10 file through one decoder helper process, as a
// slicejpeg worker does, for timing against GDCM in one process and against
// DCMTK's and GDCM's own converters per file. With --syntax-only it only asks
// is_encapsulated_syntax (start-up without the helper). Prints one line per
// file: size, frames and a checksum.
#include <cstdio>
#include <cstring>
#include <string>

#include "common/file_read.hpp"
#include "dicom/decoder_client.hpp"
#include "dicom/transfer_syntax.hpp"

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--syntax-only") == 0)
    return dicom::is_encapsulated_syntax("1.2.840.10008.1.2.1") ? 1 : 0;
  dicom::helper_decoder decoder;
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const common::file_read file = common::read_regular_file(argv[i], std::size_t{1} << 30);
    if (!file) {
      std::fprintf(stderr, "compressed_decode: %s: %s\n", argv[i], file.reason.c_str());
      status = 1;
      continue;
    }
    const dicom::compressed_frames frames = decoder.decode(file.bytes);
    if (!frames.problem.empty()) {
      std::fprintf(stderr, "compressed_decode: %s: %s\n", argv[i], frames.problem.c_str());
      status = 1;
      continue;
    }
    unsigned long sum = 0;
    for (const std::uint8_t byte : frames.samples) sum = sum * 31 + byte;
    std::printf("%s %dx%dx%zu bits %d spp %d pixrep %d sum %lx\n", argv[i], frames.columns,
                frames.rows, frames.frames, frames.bits_allocated, frames.samples_per_pixel,
                frames.pixel_representation, sum);
  }
  return status;
}
