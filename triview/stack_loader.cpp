#include "triview/stack_loader.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <span>
#include <system_error>
#include <thread>
#include <utility>

#include "common/file_read.hpp"
#include "common/jpeg_codec.hpp"
#include "common/path_text.hpp"
#include "common/platform.hpp"
#include "triview/imread_fallback.hpp"
#include "triview/memory_room.hpp"
#include "triview/messages.hpp"

namespace triview {

namespace {

using bytes_view = std::span<const std::uint8_t>;
using kind = slice_outcome::kind;
namespace text = messages;

slice_outcome outcome_of(kind what, std::string reason = {}) {
  slice_outcome outcome;
  outcome.what = what;
  outcome.reason = std::move(reason);
  return outcome;
}

// Zlib deflates at most about 1032 to 1, and a pixel takes at least one bit.
constexpr std::uint64_t png_pixels_per_byte = 8 * 1032;

struct declared_size {
  cv::Size size;
  bool plausible = true;
  bool jpeg = false;
  bool grey = false;
};

std::uint32_t big_endian_u32(bytes_view at) {
  return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 |
         at[3];
}

std::int32_t little_endian_i32(bytes_view at) {
  return static_cast<std::int32_t>(std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 |
                                   std::uint32_t{at[2]} << 16 | std::uint32_t{at[3]} << 24);
}

// A progressive JPEG has a few dozen scans; thousands of empty ones keep a
// decoder busy for minutes. FF DA cannot stand inside entropy-coded data
// (a coded FF is followed by 00), so every one starts a scan.
constexpr std::size_t max_jpeg_scans = 1000;

std::size_t jpeg_scan_count(bytes_view bytes) {
  std::size_t scans = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) ++scans;
  return scans;
}

// The size a BMP declares; its height is negative for top-down rows.
std::optional<declared_size> bmp_size(bytes_view bytes) {
  if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
  const std::int64_t width = little_endian_i32(bytes.subspan(18));
  const std::int64_t height = std::abs(std::int64_t{little_endian_i32(bytes.subspan(22))});
  if (width <= 0 || height <= 0 || width > std::numeric_limits<int>::max() ||
      height > std::numeric_limits<int>::max())
    return declared_size{{}, false};
  return declared_size{
      {static_cast<int>(width), static_cast<int>(height)},
      common::plausible_pixel_count(static_cast<std::uint64_t>(width * height), bytes.size())};
}

// The size a JPEG, PNG or BMP declares in its header, read before any decoding.
std::optional<declared_size> declared_size_of(bytes_view bytes) {
  if (const auto header = common::read_jpeg_header(bytes))
    return declared_size{{header->width, header->height}, header->plausible, true, header->grey};
  if (auto bmp = bmp_size(bytes)) return bmp;
  constexpr std::uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (bytes.size() >= 24 &&
      std::equal(std::begin(png_signature), std::end(png_signature), bytes.begin()) &&
      std::equal(bytes.begin() + 12, bytes.begin() + 16, "IHDR")) {
    const std::uint32_t width = big_endian_u32(bytes.subspan(16)),
                        height = big_endian_u32(bytes.subspan(20));
    const std::uint64_t pixels = std::uint64_t{width} * height;
    constexpr std::uint32_t max_side = std::numeric_limits<int>::max();
    if (width > max_side || height > max_side) return declared_size{{}, false};
    return declared_size{{static_cast<int>(width), static_cast<int>(height)},
                         pixels / png_pixels_per_byte <= bytes.size()};
  }
  return std::nullopt;
}

slice_outcome implausible(const declared_size& declared, std::size_t file_bytes) {
  slice_outcome outcome = outcome_of(kind::implausible);
  outcome.size = declared.size;
  outcome.file_bytes = file_bytes;
  return outcome;
}

// OpenCV hands a file beginning so to GDCM, which aborts or crashes on
// damaged data, inside this process.
bool is_dicom(bytes_view bytes) {
  return bytes.size() >= 132 && std::equal(bytes.begin() + 128, bytes.begin() + 132, "DICM");
}

// Why a file is not decoded at all, whatever its header says; nothing when
// it may be. Only formats whose size is read from the header first are
// decoded, so no image of another format can take memory at will.
std::optional<std::string> refusal_before_decoding(bytes_view bytes,
                                                   const std::optional<declared_size>& declared) {
  if (is_dicom(bytes)) return std::string(text::dicom_file);
  if (!declared) return std::string(text::unknown_format);
  if (declared->jpeg && jpeg_scan_count(bytes) > max_jpeg_scans)
    return text::too_many_scans(jpeg_scan_count(bytes), max_jpeg_scans);
  return std::nullopt;
}

bool equal_channels(const cv::Mat& bgr) {
  for (int r = 0; r < bgr.rows; ++r) {
    const std::uint8_t* p = bgr.ptr(r);
    for (int c = 0; c < bgr.cols; ++c, p += 3)
      if (p[0] != p[1] || p[0] != p[2]) return false;
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> read_slice(const std::string& listed_path,
                                                    slice_outcome& outcome) {
  common::file_read file =
      common::read_regular_file(common::to_native_path(listed_path), max_slice_file_bytes);
  if (!file) {
    outcome = outcome_of(kind::unreadable, file.reason);
    return std::nullopt;
  }
  if (file.bytes.empty()) {
    outcome = outcome_of(kind::unreadable, "is empty");
    return std::nullopt;
  }
  return std::move(file.bytes);
}

// imread only says that it failed: short of room for the image and its
// decoder's buffers, or for its module, the reason is memory.
slice_outcome fallback_failed(cv::Size size) {
  const double image_bytes = 4.0 * size.width * size.height + static_cast<double>(16 << 20);
  if (fallback_short_of_memory() ||
      !common::platform::address_space_left(static_cast<std::size_t>(image_bytes)))
    return outcome_of(kind::unreadable, std::string(text::out_of_memory));
  return outcome_of(kind::unreadable);
}

// imread's pixels of what the JPEG path refused, into `slice` of its size and channels.
slice_outcome decode_with_fallback(bytes_view bytes, cv::Mat& slice) {
  const cv::Mat decoded = read_with_fallback(bytes);
  if (decoded.empty()) return fallback_failed(slice.size());
  if (decoded.type() != CV_8UC3) return outcome_of(kind::unreadable, std::string(text::not_8bit));
  if (decoded.size() != slice.size()) {
    slice_outcome outcome = outcome_of(kind::size_differs);
    outcome.size = decoded.size();
    return outcome;
  }
  if (slice.channels() == 3) {
    decoded.copyTo(slice);
  } else if (equal_channels(decoded)) {
    cv::extractChannel(decoded, slice, 0);
  } else {
    return outcome_of(kind::needs_colour);
  }
  return {};
}

std::vector<cv::Mat> slice_views(void* volume, std::size_t count, cv::Size size, int channels) {
  std::vector<cv::Mat> slices;
  slices.reserve(count);
  const std::size_t slice_bytes = static_cast<std::size_t>(size.width) *
                                  static_cast<std::size_t>(size.height) *
                                  static_cast<std::size_t>(channels);
  auto* base = static_cast<std::uint8_t*>(volume);
  for (std::size_t i = 0; i < count; ++i)
    slices.emplace_back(size.height, size.width, CV_8UC(channels), base + i * slice_bytes);
  return slices;
}

// Shared by the decoding threads: the next index to claim and the lowest
// failing index so far. Claims rise monotonically, so every index below a
// failure has been claimed, and is finished once the threads are joined.
struct load_job {
  const std::vector<std::string>& paths;
  const slice_decoder& decode;
  std::vector<cv::Mat>& slices;
  std::vector<slice_outcome>& outcomes;
  std::atomic<std::size_t> next{1};
  std::atomic<std::size_t> done{1};
  std::atomic<std::size_t> first_failure{std::numeric_limits<std::size_t>::max()};

  void load_one(std::size_t index) {
    outcomes[index] = decode(paths[index], slices[index]);
    if (outcomes[index].what != kind::ok) {
      std::size_t current = first_failure.load();
      while (index < current && !first_failure.compare_exchange_weak(current, index)) {
      }
    }
    ++done;
  }

  void run(const std::function<void(std::size_t)>* progress) {
    for (;;) {
      const std::size_t index = next.fetch_add(1);
      if (index >= paths.size() || index > first_failure.load()) return;
      load_one(index);
      if (progress != nullptr && *progress) (*progress)(done.load());
    }
  }
};

void run_job(load_job& job, const load_options& options) {
  const std::size_t workers = std::min<std::size_t>(std::max(options.threads, 1u),
                                                    std::max<std::size_t>(job.paths.size(), 2) - 1);
  std::vector<std::jthread> pool;
  for (std::size_t t = 1; t < workers; ++t) {
    try {
      pool.emplace_back([&job] { job.run(nullptr); });
    } catch (const std::system_error&) {
      break;  // no room for another thread: the threads there are do the work
    }
  }
  job.run(&options.progress);
}

load_result load_with_channels(const std::vector<std::string>& paths, const cv::Mat& first,
                               const slice_decoder& decode, const load_options& options,
                               bool& needs_colour) {
  load_result result;
  const int channels = first.channels();
  const std::optional<std::size_t> bytes = stack_bytes(paths.size(), first.size(), channels);
  std::shared_ptr<void> volume = bytes ? common::platform::map_zeroed_block(*bytes) : nullptr;
  if (!volume) {
    result.failure = load_failure{load_failure::kind::no_memory,
                                  {},
                                  {},
                                  bytes.value_or(std::numeric_limits<std::size_t>::max())};
    return result;
  }
  std::vector<cv::Mat> slices = slice_views(volume.get(), paths.size(), first.size(), channels);
  first.copyTo(slices[0]);
  std::vector<slice_outcome> outcomes(paths.size());
  load_job job{paths, decode, slices, outcomes};
  run_job(job, options);
  const std::size_t failed = job.first_failure.load();
  if (failed < paths.size()) {
    if (outcomes[failed].what == kind::needs_colour) {
      needs_colour = true;
      return result;
    }
    result.failure = load_failure{load_failure::kind::slice, paths[failed], outcomes[failed], 0};
    return result;
  }
  for (std::size_t i = 0; i < paths.size(); ++i)
    if (outcomes[i].incomplete) result.incomplete.push_back(paths[i]);
  result.stack.width = first.cols;
  result.stack.height = first.rows;
  result.stack.channels = channels;
  result.stack.slices = std::move(slices);
  result.stack.storage = std::move(volume);
  return result;
}

}  // namespace

std::optional<std::size_t> stack_bytes(std::size_t count, cv::Size size, int channels) {
  if (size.width < 0 || size.height < 0 || channels < 1) return std::nullopt;
  std::size_t bytes = 0;
  if (__builtin_mul_overflow(static_cast<std::size_t>(size.width),
                             static_cast<std::size_t>(size.height), &bytes) ||
      __builtin_mul_overflow(bytes, static_cast<std::size_t>(channels), &bytes) ||
      __builtin_mul_overflow(bytes, count, &bytes) ||
      bytes > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()))
    return std::nullopt;
  return bytes;
}

namespace {

void decode_first(bytes_view bytes, const declared_size& declared, first_slice& first) {
  const int channels = declared.jpeg && declared.grey ? 1 : 3;
  const common::jpeg_decode_status status = common::decode_jpeg(bytes, first.image, channels);
  if (status != common::jpeg_decode_status::refused) {
    first.outcome.incomplete = status == common::jpeg_decode_status::incomplete;
    return;
  }
  cv::Mat decoded = read_with_fallback(bytes);
  if (decoded.empty() || decoded.type() != CV_8UC3) {
    first.image.release();
    first.outcome = decoded.empty() ? fallback_failed(declared.size)
                                    : outcome_of(kind::unreadable, std::string(text::not_8bit));
    return;
  }
  if (equal_channels(decoded))
    cv::extractChannel(decoded, first.image, 0);
  else
    first.image = std::move(decoded);
}

}  // namespace

first_slice decode_first_slice(const std::string& listed_path, const size_check& acceptable) {
  first_slice first;
  const auto bytes = read_slice(listed_path, first.outcome);
  if (!bytes) return first;
  const auto declared = declared_size_of(*bytes);
  if (auto refusal = refusal_before_decoding(*bytes, declared)) {
    first.outcome = outcome_of(kind::unreadable, std::move(*refusal));
    return first;
  }
  if (!declared->plausible) {
    first.outcome = implausible(*declared, bytes->size());
    return first;
  }
  if (acceptable && !acceptable(declared->size)) {
    first.outcome = outcome_of(kind::too_large);
    first.outcome.size = declared->size;
    return first;
  }
  try {
    decode_first(*bytes, *declared, first);
  } catch (const std::bad_alloc&) {
    first.image.release();
    first.outcome = outcome_of(kind::unreadable, std::string(text::out_of_memory));
  } catch (const cv::Exception& error) {
    first.image.release();
    first.outcome = outcome_of(kind::unreadable, error.code == cv::Error::StsNoMem
                                                     ? std::string(text::out_of_memory)
                                                     : error.msg);
  }
  return first;
}

slice_outcome decode_slice_file_into(const std::string& listed_path, cv::Mat& slice) {
  slice_outcome outcome;
  const auto bytes = read_slice(listed_path, outcome);
  if (!bytes) return outcome;
  const auto declared = declared_size_of(*bytes);
  if (auto refusal = refusal_before_decoding(*bytes, declared))
    return outcome_of(kind::unreadable, std::move(*refusal));
  // An Exif-turned JPEG decodes with its sides swapped; its decoded size is checked again.
  const cv::Size turned(declared->size.height, declared->size.width);
  if (declared->size != slice.size() && !(declared->jpeg && turned == slice.size())) {
    outcome = outcome_of(kind::size_differs);
    outcome.size = declared->size;
    return outcome;
  }
  if (!declared->plausible) return implausible(*declared, bytes->size());
  if (declared->jpeg && !declared->grey && slice.channels() == 1)
    return outcome_of(kind::needs_colour);
  const std::uint8_t* storage = slice.data;
  cv::Mat target = slice;  // the decoder may reallocate its argument; the stack's view stays
  const common::jpeg_decode_status status = common::decode_jpeg(*bytes, target, slice.channels());
  if (status != common::jpeg_decode_status::refused && target.data == storage) {
    outcome.incomplete = status == common::jpeg_decode_status::incomplete;
    return outcome;
  }
  return decode_with_fallback(*bytes, slice);
}

load_result load_stack(const std::vector<std::string>& paths, const cv::Mat& first,
                       const slice_decoder& decode, const load_options& options) {
  bool needs_colour = false;
  load_result result = load_with_channels(paths, first, decode, options, needs_colour);
  if (!needs_colour) return result;
  cv::Mat colour;
  cv::merge(std::vector<cv::Mat>{first, first, first}, colour);
  return load_with_channels(paths, colour, decode, options, needs_colour);
}

}  // namespace triview
