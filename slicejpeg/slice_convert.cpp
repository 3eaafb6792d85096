#include "slicejpeg/slice_convert.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <opencv2/core.hpp>

#include "common/diagnostic.hpp"
#include "common/jpeg_codec.hpp"
#include "slicejpeg/element_walk.hpp"

namespace slicejpeg {
namespace {

// Closes the descriptor on every path out.
struct file_descriptor {
  int fd;
  ~file_descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// One byte beyond the expected size lets the read that meets the end of file
// land without growing the buffer.
bool read_all(int fd, std::vector<std::uint8_t>& buffer, std::size_t expected) {
  buffer.resize(expected + 1);
  std::size_t filled = 0;
  while (true) {
    if (filled == buffer.size()) buffer.resize(buffer.size() + 65536);
    const ssize_t got = ::read(fd, buffer.data() + filled, buffer.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  buffer.resize(filled);
  return true;
}

slice_outcome refusal(slice_status status, std::string problem) {
  slice_outcome outcome;
  outcome.status = status;
  outcome.problem = std::move(problem);
  return outcome;
}

std::optional<std::string> missing_element(const element_scan& scan) {
  if (!scan.rows) return "no Rows element before the pixel data";
  if (!scan.columns) return "no Columns element before the pixel data";
  if (!scan.bits_allocated) return "no Bits Allocated element before the pixel data";
  return std::nullopt;
}

// Checks that need the header; the caller has printed its lines by then.
std::optional<std::string> unusable_image(const slice_header& header, std::size_t pixel_bytes) {
  if (header.bits_allocated != 16)
    return "Bits Allocated is " + std::to_string(header.bits_allocated) +
           ", only 16-bit samples are supported";
  if (header.rows == 0 || header.columns == 0) return "image has no pixels";
  const std::size_t needed =
      2 * static_cast<std::size_t>(header.rows) * static_cast<std::size_t>(header.columns);
  if (pixel_bytes < needed)
    return "pixel data holds " + std::to_string(pixel_bytes) + " bytes, the image needs " +
           std::to_string(needed);
  return std::nullopt;
}

slice_outcome convert_read_slice(const slice_job& job, std::span<const std::uint8_t> bytes) {
  const element_scan scan = scan_elements(bytes);
  if (scan.walk.error != walk_error::none)
    return refusal(slice_status::refused, describe(scan.walk));
  if (auto missing = missing_element(scan)) return refusal(slice_status::refused, *missing);

  slice_outcome outcome;
  outcome.header = slice_header{*scan.rows, *scan.columns, *scan.bits_allocated};
  const slice_header& header = *outcome.header;
  if (auto problem = unusable_image(header, scan.walk.pixels.size())) {
    outcome.problem = *problem;
    return outcome;
  }
  if (!job.output_name) {
    outcome.problem = "no slice number in the file name";
    return outcome;
  }
  // The header stays with the outcome, so its lines are printed before an
  // allocation message as they are for any other slice. This is where the
  // converter meets OpenCV.
  try {
    cv::Mat image(header.rows, header.columns, CV_8UC1);
    const std::size_t count = image.total();
    outcome.range = convert_samples(scan.walk.pixels.first(2 * count), {image.data, count});
    const bool encoded = common::encode_jpeg(image, outcome.jpeg);
    outcome.status = encoded ? slice_status::converted : slice_status::not_encoded;
    if (!encoded) outcome.problem = "cannot encode the JPEG";
  } catch (const std::bad_alloc&) {
    outcome.status = slice_status::no_memory;
    outcome.problem = "out of memory";
  } catch (const cv::Exception& error) {
    const bool no_memory = error.code == cv::Error::StsNoMem;
    outcome.status = no_memory ? slice_status::no_memory : slice_status::not_encoded;
    outcome.problem = (no_memory ? "out of memory: " : "cannot encode the JPEG: ") + error.msg;
  }
  return outcome;
}

}  // namespace

read_status read_file(const std::string& path, std::vector<std::uint8_t>& buffer,
                      std::string& problem) {
  const file_descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) {
    problem = common::system_reason(errno);
    return read_status::cannot_open;
  }
  struct stat info {};
  if (::fstat(file.fd, &info) != 0) {
    problem = std::string("cannot read: ") + common::system_reason(errno);
    return read_status::cannot_read;
  }
  if (S_ISDIR(info.st_mode)) {
    problem = "cannot read: is a directory";
    return read_status::cannot_read;
  }
  const auto expected = S_ISREG(info.st_mode) ? static_cast<std::size_t>(info.st_size) : 0;
  if (!read_all(file.fd, buffer, expected)) {
    problem = std::string("cannot read: ") + common::system_reason(errno);
    return read_status::cannot_read;
  }
  return read_status::ok;
}

slice_outcome convert_slice(const slice_job& job, std::vector<std::uint8_t>& file_buffer) {
  try {
    std::string problem;
    switch (read_file(job.path, file_buffer, problem)) {
      case read_status::cannot_open:
        return refusal(slice_status::cannot_open, "cannot open: " + problem);
      case read_status::cannot_read:
        return refusal(slice_status::refused, problem);
      case read_status::ok:
        break;
    }
    return convert_read_slice(job, file_buffer);
  } catch (const std::bad_alloc&) {
    return refusal(slice_status::no_memory, "out of memory");
  }
}

}  // namespace slicejpeg
