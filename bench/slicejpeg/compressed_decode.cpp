// Decodes each named Part-10 file through decode_compressed, as slicejpeg
// does, for timing against DCMTK's and GDCM's own converters per file. With
// --syntax-only it only asks is_encapsulated_syntax (start-up without the
// decoder module). Prints one line per file: size, frames and a checksum.
#include <cstdio>
#include <cstring>
#include <string>

#include "common/file_read.hpp"
#include "dicom/transfer_syntax.hpp"
#include "slicejpeg/dicom_codec_module.hpp"

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--syntax-only") == 0)
    return slicejpeg::is_encapsulated_syntax("1.2.840.10008.1.2.1") ? 1 : 0;
  // --in-process: the module's entry called directly, without the child
  // process decode_compressed runs it in, to show what that isolation costs.
  const bool in_process = argc > 1 && std::strcmp(argv[1], "--in-process") == 0;
  slicejpeg::detail::decode_function direct = nullptr;
  if (in_process) {
    const std::filesystem::path lib =
        std::filesystem::canonical("/proc/self/exe").parent_path() / ".." / "lib";
    direct = slicejpeg::detail::load_codec_module(std::span(&lib, 1), "libslicejpeg_dicom_codec.so")
                 .decode;
    if (direct == nullptr) return 2;
  }
  int status = 0;
  for (int i = in_process ? 2 : 1; i < argc; ++i) {
    const common::file_read file = common::read_regular_file(argv[i], std::size_t{1} << 30);
    if (!file) {
      std::fprintf(stderr, "compressed_decode: %s: %s\n", argv[i], file.reason.c_str());
      status = 1;
      continue;
    }
    slicejpeg::compressed_frames frames;
    if (in_process)
      direct(file.bytes.data(), file.bytes.size(), &frames);
    else
      frames = slicejpeg::decode_compressed(file.bytes);
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
