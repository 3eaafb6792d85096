// GDCM's decode of a whole Part-10 file held in memory: the one place the
// programs link GDCM, and only inside the decoder helper.
#include "dicom/decoder_helper/gdcm_decode.hpp"

#include <gdcmImage.h>
#include <gdcmImageReader.h>
#include <gdcmTrace.h>
#include <gdcmTransferSyntax.h>

#include <algorithm>
#include <bit>
#include <istream>
#include <limits>
#include <new>
#include <streambuf>

namespace {

// The file in memory as the std::istream GDCM reads from, without a copy.
class span_buffer : public std::streambuf {
 public:
  span_buffer(const std::uint8_t* bytes, std::size_t size) {
    char* begin = const_cast<char*>(reinterpret_cast<const char*>(bytes));
    setg(begin, begin, begin + size);
  }

 protected:
  pos_type seekoff(off_type offset, std::ios_base::seekdir dir,
                   std::ios_base::openmode which) override {
    if (!(which & std::ios_base::in)) return pos_type(off_type(-1));
    const off_type base = dir == std::ios_base::beg   ? 0
                          : dir == std::ios_base::cur ? gptr() - eback()
                                                      : egptr() - eback();
    const off_type target = base + offset;
    if (target < 0 || target > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
  }
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }
};

// "cannot decode the JPEG 2000 pixel data" names what the file holds.
std::string syntax_name(const gdcm::TransferSyntax& syntax) {
  switch (syntax) {
    case gdcm::TransferSyntax::JPEGBaselineProcess1:
      return "JPEG baseline";
    case gdcm::TransferSyntax::JPEGExtendedProcess2_4:
    case gdcm::TransferSyntax::JPEGExtendedProcess3_5:
      return "JPEG extended";
    case gdcm::TransferSyntax::JPEGLosslessProcess14:
    case gdcm::TransferSyntax::JPEGLosslessProcess14_1:
      return "JPEG lossless";
    case gdcm::TransferSyntax::JPEGLSLossless:
    case gdcm::TransferSyntax::JPEGLSNearLossless:
      return "JPEG-LS";
    case gdcm::TransferSyntax::JPEG2000Lossless:
    case gdcm::TransferSyntax::JPEG2000:
    case gdcm::TransferSyntax::JPEG2000Part2Lossless:
    case gdcm::TransferSyntax::JPEG2000Part2:
      return "JPEG 2000";
    case gdcm::TransferSyntax::RLELossless:
      return "RLE";
    default:
      return "compressed";
  }
}

bool quiet_gdcm() {
  // GDCM reports on std::cerr by default; our problems go into the result.
  gdcm::Trace::SetDebug(false);
  gdcm::Trace::SetWarning(false);
  gdcm::Trace::SetError(false);
  return true;
}

// rows x columns x samples x bytes x frames, or nothing when it overflows.
std::size_t decoded_size(const dicom::compressed_frames& frames) {
  std::size_t size = static_cast<std::size_t>(frames.bits_allocated / 8);
  for (const std::size_t factor :
       {static_cast<std::size_t>(frames.rows), static_cast<std::size_t>(frames.columns),
        static_cast<std::size_t>(frames.samples_per_pixel), frames.frames}) {
    if (factor != 0 && size > std::numeric_limits<std::size_t>::max() / factor) return 0;
    size *= factor;
  }
  return size;
}

void swap_to_little_endian(dicom::compressed_frames& frames) {
  if constexpr (std::endian::native == std::endian::big) {
    const std::size_t width = static_cast<std::size_t>(frames.bits_allocated / 8);
    for (std::size_t i = 0; i + width <= frames.samples.size(); i += width)
      std::reverse(frames.samples.begin() + static_cast<std::ptrdiff_t>(i),
                   frames.samples.begin() + static_cast<std::ptrdiff_t>(i + width));
  }
}

void decode(const std::uint8_t* file_bytes, std::size_t size, dicom::compressed_frames& out) {
  span_buffer buffer(file_bytes, size);
  std::istream in(&buffer);
  gdcm::ImageReader reader;
  reader.SetStream(in);
  if (!reader.Read()) {
    out.problem = "cannot read the data set around the compressed pixel data";
    return;
  }
  const gdcm::Image& image = reader.GetImage();
  const std::string name = syntax_name(image.GetTransferSyntax());
  const unsigned int* dims = image.GetDimensions();
  const gdcm::PixelFormat& format = image.GetPixelFormat();
  out.columns = static_cast<int>(dims[0]);
  out.rows = static_cast<int>(dims[1]);
  out.frames = image.GetNumberOfDimensions() == 3 ? dims[2] : 1;
  out.bits_allocated = format.GetBitsAllocated();
  out.samples_per_pixel = format.GetSamplesPerPixel();
  out.pixel_representation = format.GetPixelRepresentation();
  if (out.bits_allocated != 8 && out.bits_allocated != 16 && out.bits_allocated != 32) {
    out.problem = "cannot decode " + name + " pixel data of " + std::to_string(out.bits_allocated) +
                  " bits allocated";
    return;
  }
  const std::size_t expected = decoded_size(out);
  if (expected == 0 || expected > dicom::helper::decoded_size_limit(size)) {
    out.problem = "the declared image size (" + std::to_string(out.columns) + " x " +
                  std::to_string(out.rows) + " x " + std::to_string(out.frames) +
                  " frames) is implausible for a file of " + std::to_string(size) + " bytes";
    return;
  }
  if (image.GetBufferLength() != expected) {
    out.problem = "cannot decode the " + name + " pixel data: unexpected decoded size";
    return;
  }
  out.samples.resize(expected);
  if (!image.GetBuffer(reinterpret_cast<char*>(out.samples.data()))) {
    out.samples.clear();
    out.problem = "cannot decode the " + name + " pixel data";
    return;
  }
  swap_to_little_endian(out);
}

}  // namespace

namespace dicom::helper {

compressed_frames decode_with_gdcm(std::span<const std::uint8_t> file_bytes) noexcept {
  static const bool quiet = quiet_gdcm();
  (void)quiet;
  compressed_frames result;
  try {
    decode(file_bytes.data(), file_bytes.size(), result);
  } catch (const std::bad_alloc&) {
    result = {};
    result.problem = "not enough memory to decode the compressed pixel data";
  } catch (...) {
    // GDCM throws on some damaged files; the problem text says what failed.
    result = {};
    result.problem = "cannot decode the compressed pixel data";
  }
  return result;
}

}  // namespace dicom::helper
