#include "tools/phantom.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace phantom {
namespace {

struct ellipsoid {
  double cx, cy, cz;  // centre, as fractions of the volume size
  double rx, ry, rz;  // radii, as fractions of the volume size
  std::int16_t hu;
};

// Later shapes paint over earlier ones.
constexpr ellipsoid shapes[] = {
    {0.50, 0.52, 0.50, 0.42, 0.33, 0.80, -100},        // fat around the body
    {0.50, 0.52, 0.50, 0.39, 0.30, 0.80, 40},          // soft tissue
    {0.33, 0.45, 0.62, 0.11, 0.14, 0.30, -820},        // right lung
    {0.67, 0.45, 0.62, 0.11, 0.14, 0.30, -820},        // left lung
    {0.40, 0.60, 0.30, 0.16, 0.10, 0.22, 90},          // liver
    {0.36, 0.66, 0.25, 0.04, 0.05, 0.10, 160},         // kidney
    {0.64, 0.66, 0.25, 0.04, 0.05, 0.10, 160},         // kidney
    {0.50, 0.74, 0.50, 0.05, 0.05, 0.90, 700},         // vertebral column
    {0.50, 0.74, 0.50, 0.025, 0.025, 0.90, 250},       // marrow
    {0.58, 0.40, 0.45, 0.015, 0.015, 0.02, metal_hu},  // metal clip
};

std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Roughly normal noise with a standard deviation of about 12 HU.
int noise(std::uint32_t seed, int x, int y, int z) {
  std::uint64_t h = mix((std::uint64_t{seed} << 48) ^ (std::uint64_t(std::uint32_t(z)) << 32) ^
                        (std::uint64_t(std::uint32_t(y)) << 16) ^ std::uint32_t(x));
  int sum = 0;
  for (int i = 0; i < 4; ++i, h >>= 16) sum += static_cast<int>(h & 0xFF);
  return (sum - 510) * 12 / 148;
}

bool inside(const ellipsoid& e, double x, double y, double z) {
  const double dx = (x - e.cx) / e.rx, dy = (y - e.cy) / e.ry, dz = (z - e.cz) / e.rz;
  return dx * dx + dy * dy + dz * dz <= 1.0;
}

void append_u16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void append_element(std::vector<std::uint8_t>& out, unsigned group, unsigned element,
                    const std::vector<std::uint8_t>& value) {
  append_u16(out, group);
  append_u16(out, element);
  const auto length = static_cast<std::uint32_t>(value.size());
  append_u16(out, length & 0xFFFF);
  append_u16(out, length >> 16);
  out.insert(out.end(), value.begin(), value.end());
}

std::vector<std::uint8_t> u16_value(unsigned value) {
  std::vector<std::uint8_t> bytes;
  append_u16(bytes, value);
  return bytes;
}

// Text values have even length, padded with a space.
std::vector<std::uint8_t> text_value(std::string text) {
  if (text.size() % 2 != 0) text += ' ';
  return {text.begin(), text.end()};
}

}  // namespace

std::vector<std::int16_t> make_slice(const volume_size& size, int z, std::uint32_t seed) {
  std::vector<std::int16_t> samples(static_cast<std::size_t>(size.width) * size.height);
  const double fz = (z + 0.5) / size.slices;
  for (int y = 0; y < size.height; ++y) {
    const double fy = (y + 0.5) / size.height;
    for (int x = 0; x < size.width; ++x) {
      const double fx = (x + 0.5) / size.width;
      int hu = air_hu;
      for (const ellipsoid& e : shapes)
        if (inside(e, fx, fy, fz)) hu = e.hu;
      if (hu != air_hu && hu != metal_hu) hu += noise(seed, x, y, z);
      samples[static_cast<std::size_t>(y) * size.width + x] =
          static_cast<std::int16_t>(std::clamp(hu, int{air_hu}, int{metal_hu}));
    }
  }
  return samples;
}

std::vector<std::uint8_t> encode_slice_file(const std::vector<std::int16_t>& samples, int width,
                                            int height, int instance_number,
                                            std::optional<double> z_mm) {
  std::vector<std::uint8_t> out;
  out.reserve(samples.size() * 2 + 256);
  append_element(out, 0x0008, 0x0060, text_value("CT"));
  if (z_mm) append_element(out, 0x0020, 0x000E, text_value("1.2.826.0.1.3680043.9.7777.1"));
  append_element(out, 0x0020, 0x0013, text_value(std::to_string(instance_number)));
  if (z_mm) {
    char position[64];
    std::snprintf(position, sizeof position, "-128\\-128\\%g", *z_mm);
    append_element(out, 0x0020, 0x0032, text_value(position));
    append_element(out, 0x0020, 0x0037, text_value("1\\0\\0\\0\\1\\0"));
  }
  append_element(out, 0x0028, 0x0002, u16_value(1));
  append_element(out, 0x0028, 0x0010, u16_value(static_cast<unsigned>(height)));
  append_element(out, 0x0028, 0x0011, u16_value(static_cast<unsigned>(width)));
  if (z_mm) append_element(out, 0x0028, 0x0030, text_value("0.7\\0.7"));
  append_element(out, 0x0028, 0x0100, u16_value(16));
  append_element(out, 0x0028, 0x0101, u16_value(16));  // metal reaches 3071
  append_element(out, 0x0028, 0x0103, u16_value(1));
  std::vector<std::uint8_t> pixels;
  pixels.reserve(samples.size() * 2);
  for (std::int16_t s : samples) append_u16(pixels, static_cast<std::uint16_t>(s));
  append_element(out, 0x7FE0, 0x0010, pixels);
  return out;
}

std::vector<std::uint8_t> to_display(const std::vector<std::int16_t>& samples) {
  std::vector<std::uint8_t> out(samples.size());
  std::transform(samples.begin(), samples.end(), out.begin(), [](std::int16_t hu) {
    return static_cast<std::uint8_t>(std::clamp((hu + 1024) / 8, 0, 255));
  });
  return out;
}

}  // namespace phantom
