#include "dicom/stack_order.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

namespace dicom {
namespace {

constexpr double orientation_tolerance = 1e-4;
constexpr double same_place = 1e-3;  // mm: positions are written with a few decimals
// cos(10 degrees): a normal this close to an axis still names its plane.
constexpr double named_plane_cosine = 0.985;

bool same_orientation(const std::array<double, 6>& a, const std::array<double, 6>& b) {
  for (std::size_t i = 0; i < 6; ++i)
    if (std::abs(a[i] - b[i]) > orientation_tolerance) return false;
  return true;
}

bool placed_alike(const std::vector<stack_image>& images) {
  return std::all_of(images.begin(), images.end(), [&](const stack_image& image) {
    return image.position && image.orientation &&
           same_orientation(*image.orientation, *images.front().orientation);
  });
}

bool all_numbered(const std::vector<stack_image>& images) {
  return std::all_of(images.begin(), images.end(),
                     [](const stack_image& image) { return image.instance_number.has_value(); });
}

double along(const std::array<double, 3>& position, const std::array<double, 3>& normal) {
  return position[0] * normal[0] + position[1] * normal[1] + position[2] * normal[2];
}

std::vector<std::size_t> list_order(std::size_t count) {
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  return order;
}

template <class Key>
std::vector<std::size_t> ranked_by(std::size_t count, Key key) {
  std::vector<std::size_t> order = list_order(count);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
  return order;
}

std::optional<std::size_t> first_lacking(const std::vector<stack_image>& images, order_rule rule) {
  for (std::size_t i = 0; i < images.size(); ++i) {
    const stack_image& image = images[i];
    const bool has = rule == order_rule::instance
                         ? image.instance_number.has_value()
                         : image.position && image.orientation &&
                               same_orientation(*image.orientation, *images.front().orientation);
    if (!has) return i;
  }
  return std::nullopt;
}

}  // namespace

std::array<double, 3> anatomical_normal(const std::array<double, 6>& o) {
  std::array<double, 3> n{o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5],
                          o[0] * o[4] - o[1] * o[3]};
  const auto largest = std::max_element(
      n.begin(), n.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
  if (*largest < 0)
    for (double& component : n) component = -component;
  return n;
}

stack_order order_stack(const std::vector<stack_image>& images, order_rule rule) {
  stack_order order;
  if (images.empty()) return order;
  if (rule == order_rule::position || rule == order_rule::instance) {
    order.lacking = first_lacking(images, rule);
  } else if (rule == order_rule::automatic) {
    rule = placed_alike(images)   ? order_rule::position
           : all_numbered(images) ? order_rule::instance
                                  : order_rule::name;
  }
  if (rule == order_rule::name || order.lacking) {
    order.ranked = list_order(images.size());
    return order;
  }
  order.used = rule;
  if (rule == order_rule::instance) {
    order.ranked =
        ranked_by(images.size(), [&](std::size_t i) { return *images[i].instance_number; });
    return order;
  }
  order.normal = anatomical_normal(*images.front().orientation);
  order.ranked = ranked_by(images.size(),
                           [&](std::size_t i) { return along(*images[i].position, order.normal); });
  return order;
}

std::optional<double> slice_spacing(const std::vector<stack_image>& images,
                                    const stack_order& order) {
  if (order.used != order_rule::position || order.ranked.size() < 2) return std::nullopt;
  std::vector<double> steps;
  for (std::size_t i = 1; i < order.ranked.size(); ++i) {
    const double step = along(*images[order.ranked[i]].position, order.normal) -
                        along(*images[order.ranked[i - 1]].position, order.normal);
    if (step > same_place) steps.push_back(step);
  }
  if (steps.empty()) return std::nullopt;
  const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
  std::nth_element(steps.begin(), middle, steps.end());
  return *middle;
}

plane plane_of(const std::array<double, 6>& orientation) {
  const auto n = anatomical_normal(orientation);
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (length == 0) return plane::oblique;
  if (n[2] / length >= named_plane_cosine) return plane::axial;
  if (n[1] / length >= named_plane_cosine) return plane::coronal;
  if (n[0] / length >= named_plane_cosine) return plane::sagittal;
  return plane::oblique;
}

std::string_view plane_name(plane p) {
  switch (p) {
    case plane::axial:
      return "axial";
    case plane::coronal:
      return "coronal";
    case plane::sagittal:
      return "sagittal";
    case plane::oblique:
      break;
  }
  return "oblique";
}

std::vector<series_group> group_series(const std::vector<listed_image_file>& files) {
  std::vector<series_group> groups;
  for (const auto& file : files) {
    const image_attributes& a = *file.attributes;
    auto group = std::find_if(groups.begin(), groups.end(),
                              [&](const series_group& g) { return g.uid == a.series_uid; });
    const auto orientation = a.frame(0).orientation;
    if (group == groups.end()) {
      groups.push_back({a.series_uid,
                        a.series_number,
                        a.series_description,
                        a.modality,
                        {},
                        0,
                        orientation ? std::optional<plane>(plane_of(*orientation)) : std::nullopt});
      group = groups.end() - 1;
    } else if (!orientation || plane_of(*orientation) != group->orientation) {
      group->orientation.reset();
    }
    group->files.push_back(file.file);
    group->images += file.frames;
  }
  return groups;
}

std::vector<std::string> series_keys(const std::vector<series_group>& groups) {
  std::map<int, std::size_t> uses;
  for (const auto& group : groups)
    if (group.number) ++uses[*group.number];
  std::vector<std::string> keys;
  for (const auto& group : groups)
    keys.push_back(group.number && uses[*group.number] == 1 ? std::to_string(*group.number)
                                                            : group.uid);
  return keys;
}

}  // namespace dicom
