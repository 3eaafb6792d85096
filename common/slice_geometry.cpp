#include "common/slice_geometry.hpp"

#include <charconv>
#include <cstdio>

namespace common {
namespace {

constexpr std::string_view pixel_spacing_key = "pixel spacing";
constexpr std::string_view slice_spacing_key = "slice spacing";
constexpr std::string_view orientation_key = "orientation";
constexpr std::string_view position_key = "position";
constexpr std::string_view series_key = "series";
constexpr std::string_view mapping_key = "mapping";

// Shortest text that reads back as the same double.
std::string number_text(double value) {
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, value);
  return std::string(text, written.ptr);
}

template <std::size_t count>
std::string numbers_text(const std::array<double, count>& values) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    text += number_text(values[i]);
  }
  return text;
}

void add_line(std::string& text, std::string_view key, std::string_view value) {
  text.append(key).append(": ").append(value) += '\n';
}

template <std::size_t count>
std::optional<std::array<double, count>> parse_numbers(std::string_view text) {
  std::array<double, count> values{};
  for (std::size_t i = 0; i < count; ++i) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), values[i]);
    if (error != std::errc()) return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  }
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (!text.empty()) return std::nullopt;
  return values;
}

void read_line(std::string_view key, std::string_view value, slice_geometry& geometry) {
  if (key == pixel_spacing_key) {
    geometry.pixel_spacing = parse_numbers<2>(value);
  } else if (key == slice_spacing_key) {
    if (auto spacing = parse_numbers<1>(value)) geometry.slice_spacing = (*spacing)[0];
  } else if (key == orientation_key) {
    geometry.orientation = parse_numbers<6>(value);
  } else if (key == position_key) {
    geometry.position = parse_numbers<3>(value);
  } else if (key == series_key) {
    geometry.series = value;
  } else if (key == mapping_key) {
    geometry.mapping = value;
  }
}

}  // namespace

std::string geometry_comment(const slice_geometry& geometry) {
  std::string text(geometry_first_line);
  text += '\n';
  if (geometry.pixel_spacing)
    add_line(text, pixel_spacing_key, numbers_text(*geometry.pixel_spacing));
  if (geometry.slice_spacing)
    add_line(text, slice_spacing_key, number_text(*geometry.slice_spacing));
  if (geometry.orientation) add_line(text, orientation_key, numbers_text(*geometry.orientation));
  if (geometry.position) add_line(text, position_key, numbers_text(*geometry.position));
  if (!geometry.series.empty()) add_line(text, series_key, geometry.series);
  if (!geometry.mapping.empty()) add_line(text, mapping_key, geometry.mapping);
  return text;
}

std::optional<slice_geometry> parse_geometry_comment(std::string_view text) {
  const std::size_t first_end = text.find('\n');
  if (text.substr(0, first_end) != geometry_first_line) return std::nullopt;
  slice_geometry geometry;
  while (first_end != std::string_view::npos && !text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const std::size_t colon = line.find(": ");
    if (colon != std::string_view::npos)
      read_line(line.substr(0, colon), line.substr(colon + 2), geometry);
  }
  return geometry;
}

std::optional<std::string_view> jpeg_comment(std::span<const std::uint8_t> jpeg) {
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return std::nullopt;
  std::size_t pos = 2;
  // Segments up to the first scan; each is FF, a marker byte, a 16-bit length.
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
    const std::uint8_t marker = jpeg[pos + 1];
    if (marker == 0xDA) return std::nullopt;  // start of scan
    const std::size_t length = std::size_t{jpeg[pos + 2]} << 8 | jpeg[pos + 3];
    if (length < 2 || pos + 2 + length > jpeg.size()) return std::nullopt;
    if (marker == 0xFE)
      return std::string_view(reinterpret_cast<const char*>(jpeg.data() + pos + 4), length - 2);
    pos += 2 + length;
  }
  return std::nullopt;
}

}  // namespace common
