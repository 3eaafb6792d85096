#include "triview/memory_room.hpp"

#include <cmath>
#include <cstdio>
#include <limits>

#include "triview/messages.hpp"

namespace triview {

namespace {

constexpr std::uint64_t max_view_bytes = std::numeric_limits<int>::max();

std::uint64_t image_bytes(double width, double rows) {
  const double bytes = 3.0 * width * rows;
  return bytes >= 1.8e19 ? std::numeric_limits<std::uint64_t>::max()
                         : static_cast<std::uint64_t>(bytes);
}

double shown_rows(std::size_t count, double z_scale) {
  return std::max(1.0, std::round(static_cast<double>(count) * z_scale));
}

}  // namespace

std::optional<oversized_view> find_oversized_view(std::size_t count, cv::Size size,
                                                  double z_scale) {
  const double n = static_cast<double>(count), rows = shown_rows(count, z_scale);
  const double w = size.width, h = size.height;
  if (count > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    return oversized_view{messages::window_xz, image_bytes(w, n)};
  const struct {
    const char* window;
    std::uint64_t bytes;
  } views[] = {
      {messages::window_xz, image_bytes(w, std::max(n, rows))},
      {messages::window_yz, image_bytes(h, std::max(n, rows))},
      {messages::window_xy, image_bytes(w, h)},
  };
  for (const auto& view : views)
    if (view.bytes > max_view_bytes) return oversized_view{view.window, view.bytes};
  return std::nullopt;
}

std::optional<unshowable_view> find_unshowable_view(std::size_t count, cv::Size size,
                                                    double z_scale, double zoom) {
  const double rows = shown_rows(count, z_scale) * zoom;
  const struct {
    const char* window;
    double width, height;
  } views[] = {{"x-z", size.width * zoom, rows},
               {"y-z", size.height * zoom, rows},
               {"x-y", size.width * zoom, size.height * zoom}};
  for (const auto& view : views)
    if (view.width > max_window_side || view.height > max_window_side)
      return unshowable_view{view.window,
                             {static_cast<int>(std::min(view.width, 2e9)),
                              static_cast<int>(std::min(view.height, 2e9))}};
  return std::nullopt;
}

std::uint64_t view_bytes(std::size_t count, cv::Size size, double z_scale) {
  const double n = static_cast<double>(count), rows = shown_rows(count, z_scale);
  const double side = rows == n ? 0 : rows;
  return image_bytes(size.width + size.height, n + side) + image_bytes(size.width, size.height);
}

std::string memory_text(std::uint64_t bytes) {
  constexpr const char* units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(units)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

}  // namespace triview
