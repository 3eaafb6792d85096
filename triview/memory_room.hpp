#pragma once

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>
#include <string>

namespace triview {

// A view the window toolkit cannot hold: its image larger than an int can
// count in bytes, or more slices than a trackbar can count.
struct oversized_view {
  const char* window;
  std::uint64_t bytes;
};
std::optional<oversized_view> find_oversized_view(std::size_t count, cv::Size size, double z_scale);

// The longest side a window can have: X counts window sizes in 16 bits.
inline constexpr int max_window_side = 32767;

// A view whose image on screen (rows scaled by the z-scale, every side by
// the zoom) a window cannot hold: its name and that size.
struct unshowable_view {
  const char* window;
  cv::Size shown;
};
std::optional<unshowable_view> find_unshowable_view(std::size_t count, cv::Size size,
                                                    double z_scale, double zoom);

// Bytes of the views and their scaled copies, the windows' share of memory.
std::uint64_t view_bytes(std::size_t count, cv::Size size, double z_scale);

// 1536 => "1.5 KiB", 805306368 => "768.0 MiB", 3 => "3 bytes"
std::string memory_text(std::uint64_t bytes);

}  // namespace triview
