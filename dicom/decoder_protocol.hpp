#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "dicom/pixel_decoder.hpp"

// What the decoder helper and its client say to each other over the
// channel. Every number is written byte by byte, little-endian, so nothing
// depends on either side's struct layout or containers.
//   request:  "CTVD", u64 file size, the file's bytes
//   response: i32 rows, columns, bits allocated, samples per pixel, pixel
//             representation; u64 frames, problem size, samples size; the
//             problem text; the samples
namespace dicom::protocol {

constexpr std::size_t request_header_size = 12;
constexpr std::size_t response_header_size = 5 * 4 + 3 * 8;
// A problem is one line of text, never a way to send much.
constexpr std::size_t max_problem_size = 4096;

std::array<std::uint8_t, request_header_size> request_header(std::uint64_t file_size);
// The file size a request announces, or nothing when it is no request.
std::optional<std::uint64_t> parse_request_header(std::span<const std::uint8_t> bytes);

struct response_header {
  std::int32_t rows = 0, columns = 0, bits_allocated = 0, samples_per_pixel = 0,
               pixel_representation = 0;
  std::uint64_t frames = 0, problem_size = 0, samples_size = 0;
};

response_header header_of(const compressed_frames& frames);
std::array<std::uint8_t, response_header_size> encode(const response_header& header);

// The header, when it is consistent: a problem and no samples, or exactly
// the samples its image size needs. A garbled reply cannot make the client
// allocate at will.
std::optional<response_header> parse_response_header(std::span<const std::uint8_t> bytes);

}  // namespace dicom::protocol
