#include "dicom/decoder_protocol.hpp"

#include <algorithm>

namespace dicom::protocol {
namespace {

constexpr std::array<std::uint8_t, 4> magic = {'C', 'T', 'V', 'D'};

void put_u64(std::uint8_t* out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void put_i32(std::uint8_t* out, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}
std::uint64_t get_u64(const std::uint8_t* in) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | in[i];
  return value;
}
std::int32_t get_i32(const std::uint8_t* in) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = bits << 8 | in[i];
  return static_cast<std::int32_t>(bits);
}

// rows x columns x samples x bytes x frames, or nothing when a factor is
// negative or the product overflows.
std::optional<std::uint64_t> image_bytes(const response_header& h) {
  std::uint64_t size = h.frames;
  for (const std::int32_t factor : {h.rows, h.columns, h.samples_per_pixel, h.bits_allocated / 8}) {
    if (factor < 0 || __builtin_mul_overflow(size, static_cast<std::uint64_t>(factor), &size))
      return std::nullopt;
  }
  return size;
}

}  // namespace

std::array<std::uint8_t, request_header_size> request_header(std::uint64_t file_size) {
  std::array<std::uint8_t, request_header_size> out{};
  std::copy(magic.begin(), magic.end(), out.begin());
  put_u64(out.data() + 4, file_size);
  return out;
}

std::optional<std::uint64_t> parse_request_header(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != request_header_size || !std::equal(magic.begin(), magic.end(), bytes.begin()))
    return std::nullopt;
  return get_u64(bytes.data() + 4);
}

response_header header_of(const compressed_frames& frames) {
  return {frames.rows,
          frames.columns,
          frames.bits_allocated,
          frames.samples_per_pixel,
          frames.pixel_representation,
          frames.frames,
          frames.problem.size(),
          frames.samples.size()};
}

std::array<std::uint8_t, response_header_size> encode(const response_header& h) {
  std::array<std::uint8_t, response_header_size> out{};
  std::uint8_t* at = out.data();
  for (const std::int32_t value :
       {h.rows, h.columns, h.bits_allocated, h.samples_per_pixel, h.pixel_representation}) {
    put_i32(at, value);
    at += 4;
  }
  for (const std::uint64_t value : {h.frames, h.problem_size, h.samples_size}) {
    put_u64(at, value);
    at += 8;
  }
  return out;
}

std::optional<response_header> parse_response_header(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != response_header_size) return std::nullopt;
  response_header h;
  const std::uint8_t* at = bytes.data();
  for (std::int32_t* field :
       {&h.rows, &h.columns, &h.bits_allocated, &h.samples_per_pixel, &h.pixel_representation}) {
    *field = get_i32(at);
    at += 4;
  }
  for (std::uint64_t* field : {&h.frames, &h.problem_size, &h.samples_size}) {
    *field = get_u64(at);
    at += 8;
  }
  if (h.problem_size > 0) {
    if (h.problem_size >= max_problem_size || h.samples_size != 0) return std::nullopt;
    return h;
  }
  const auto expected = image_bytes(h);
  if (!expected || *expected != h.samples_size || h.samples_size == 0) return std::nullopt;
  return h;
}

}  // namespace dicom::protocol
