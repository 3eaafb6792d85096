#include "dicom/decoder_protocol.hpp"

#include <gtest/gtest.h>

using namespace dicom::protocol;

// A reply's header is believed only when it is consistent: a garbled one
// must not make the client allocate at will.
TEST(decoder_protocol, only_consistent_reply_headers_are_read) {
  const auto image = [](std::int32_t rows, std::int32_t columns, std::uint64_t frames,
                        std::uint64_t samples_size) {
    response_header h;
    h.rows = rows;
    h.columns = columns;
    h.bits_allocated = 16;
    h.samples_per_pixel = 1;
    h.frames = frames;
    h.samples_size = samples_size;
    return h;
  };
  response_header problem;
  problem.problem_size = 40;
  response_header problem_with_samples = problem;
  problem_with_samples.samples_size = 2;
  response_header long_problem;
  long_problem.problem_size = max_problem_size;
  const struct {
    const char* name;
    response_header header;
    bool read;
  } cases[] = {
      {"image", image(512, 512, 2, 2 * 512 * 512 * 2), true},
      {"problem", problem, true},
      {"samples short of the image", image(512, 512, 1, 512 * 512), false},
      {"no samples", image(0, 512, 1, 0), false},
      {"negative rows", image(-2, 512, 1, 2048), false},
      {"size overflows", image(65535, 65535, std::uint64_t{1} << 40, 0), false},
      {"problem with samples", problem_with_samples, false},
      {"problem too long", long_problem, false},
  };
  for (const auto& c : cases) {
    const auto bytes = encode(c.header);
    const auto parsed = parse_response_header(bytes);
    ASSERT_EQ(parsed.has_value(), c.read) << c.name;
    if (parsed) {
      EXPECT_EQ(encode(*parsed), bytes) << c.name;
    }
  }
  const auto bytes = encode(image(1, 1, 1, 2));
  EXPECT_FALSE(parse_response_header(std::span(bytes).first(response_header_size - 1)));
}

TEST(decoder_protocol, requests_carry_their_size_behind_the_magic) {
  const auto header = request_header(0x0102030405ull);
  EXPECT_EQ(parse_request_header(header), 0x0102030405ull);
  auto garbled = header;
  garbled[0] = 'X';
  EXPECT_FALSE(parse_request_header(garbled));
}
