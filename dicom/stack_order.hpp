#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dicom/slice_reader.hpp"

// How the images of a list become one stack: grouped by series, then put in
// anatomical order along the slice normal. Pure functions of what the files'
// headers say.
namespace dicom {

// One image of a list: a frame of a listed file, with what can order it.
struct stack_image {
  std::size_t file = 0;  // index in the list
  std::size_t frame = 0;
  std::optional<std::array<double, 3>> position;
  std::optional<std::array<double, 6>> orientation;
  std::optional<int> instance_number;
};

enum class order_rule { automatic, name, position, instance };

struct stack_order {
  order_rule used = order_rule::name;  // position, instance or name, never automatic
  std::vector<std::size_t> ranked;     // indices into the images, first slice first
  std::array<double, 3> normal{};      // position order: the turned slice normal
  // A forced rule some image lacks what it needs for: the first such image.
  std::optional<std::size_t> lacking;
};

// The normal of an orientation (row direction x column direction), turned so
// that its largest component is positive: towards the patient's left, back
// or head. Axial slices of a head: (0, 0, 1).
std::array<double, 3> anatomical_normal(const std::array<double, 6>& orientation);

// automatic: by position along the turned normal when every image carries a
// position and all share one orientation, else by instance number when every
// image has one, else the list order (used = name). Ties keep list order.
// A forced rule that some image cannot follow gives the list order, with
// `lacking` set.
stack_order order_stack(const std::vector<stack_image>& images, order_rule rule);

// The median step along the normal between neighbouring ranked images, when
// ordered by position and the steps are not all zero.
std::optional<double> slice_spacing(const std::vector<stack_image>& images,
                                    const stack_order& order);

enum class plane { axial, coronal, sagittal, oblique };

// The plane an orientation lies in: the turned normal within about 10
// degrees of an axis names it, else oblique.
plane plane_of(const std::array<double, 6>& orientation);

// "axial", "coronal", "sagittal", "oblique"
std::string_view plane_name(plane p);

// One series among the files of a list.
struct series_group {
  std::string uid;  // empty for files without one
  std::optional<int> number;
  std::string description, modality;
  std::vector<std::size_t> files;    // indices in the list, in list order
  std::size_t images = 0;            // frames of all its files
  std::optional<plane> orientation;  // nothing when its images lack one or differ
};

// A described file of a list; files that are not images are left out.
struct listed_image_file {
  std::size_t file = 0;
  std::size_t frames = 1;
  const image_attributes* attributes = nullptr;
};

// The series of the files, in the order their first files are listed.
std::vector<series_group> group_series(const std::vector<listed_image_file>& files);

// What names each series on a command line: its number where no other
// series has that number, else its UID.
std::vector<std::string> series_keys(const std::vector<series_group>& groups);

}  // namespace dicom
