#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Where a JPEG slice lies and what its greys mean, carried in a comment
// segment of the JPEG itself, so a list of JPEG slices alone can tell a
// viewer true proportions and orientation.
namespace common {

struct slice_geometry {
  std::optional<std::array<double, 2>> pixel_spacing;  // mm between rows, between columns
  std::optional<double> slice_spacing;                 // mm between neighbouring slices
  std::optional<std::array<double, 6>> orientation;    // row and column direction cosines
  std::optional<std::array<double, 3>> position;       // mm, the first pixel's centre
  std::string series;                                  // the series' UID
  std::string mapping;                                 // how samples became greys
  bool operator==(const slice_geometry&) const = default;
};

constexpr std::string_view geometry_first_line = "ctview geometry 1";

// "ctview geometry 1\npixel spacing: 0.5 0.5\n..." with a line for each value held.
std::string geometry_comment(const slice_geometry& geometry);

// The values of such a comment; nothing when the text is not one. Unknown
// lines are passed over, so later writers may add some.
std::optional<slice_geometry> parse_geometry_comment(std::string_view text);

// The text of the first comment segment of a JPEG before its first scan,
// or nothing.
std::optional<std::string_view> jpeg_comment(std::span<const std::uint8_t> jpeg);

}  // namespace common
