#include "dicom/stack_order.hpp"

#include <gtest/gtest.h>

#include "../support/enhanced_image.hpp"
#include "dicom/slice_reader.hpp"

namespace {

using dicom::order_rule;
using dicom::stack_image;

constexpr std::array<double, 6> axial{1, 0, 0, 0, 1, 0};
constexpr std::array<double, 6> coronal{1, 0, 0, 0, 0, -1};
constexpr std::array<double, 6> sagittal{0, 1, 0, 0, 0, -1};
// Rows along x, columns tilted 30 degrees out of the y axis towards z.
constexpr std::array<double, 6> oblique{1, 0, 0, 0, 0.866025, -0.5};

std::vector<stack_image> placed(const std::array<double, 6>& orientation,
                                const std::vector<std::array<double, 3>>& positions) {
  std::vector<stack_image> images;
  for (std::size_t i = 0; i < positions.size(); ++i)
    images.push_back({i, 0, positions[i], orientation, static_cast<int>(i + 1)});
  return images;
}

TEST(stack_order, anatomical_order_whatever_the_listing) {
  const struct {
    const char* name;
    std::vector<stack_image> images;
    order_rule rule;
    order_rule used;
    std::vector<std::size_t> ranked;
  } cases[] = {
      {"axial listed vertex first",
       placed(axial, {{0, 0, 30}, {0, 0, 20}, {0, 0, 10}}),
       order_rule::automatic,
       order_rule::position,
       {2, 1, 0}},
      {"axial interleaved",
       placed(axial, {{0, 0, 0}, {0, 0, 20}, {0, 0, 10}, {0, 0, 30}}),
       order_rule::automatic,
       order_rule::position,
       {0, 2, 1, 3}},
      {"coronal: front to back",
       placed(coronal, {{0, 5, 0}, {0, -5, 0}, {0, 0, 0}}),
       order_rule::automatic,
       order_rule::position,
       {1, 2, 0}},
      {"sagittal: right to left",
       placed(sagittal, {{5, 0, 0}, {-5, 0, 0}}),
       order_rule::automatic,
       order_rule::position,
       {1, 0}},
      {"oblique: along its own normal",
       placed(oblique, {{0, 0.5, 0.866}, {0, 0, 0}, {0, 1, 1.732}}),
       order_rule::automatic,
       order_rule::position,
       {1, 0, 2}},
      {"ties keep list order",
       placed(axial, {{0, 0, 1}, {0, 0, 0}, {0, 0, 1}}),
       order_rule::automatic,
       order_rule::position,
       {1, 0, 2}},
      {"forced instance",
       placed(axial, {{0, 0, 30}, {0, 0, 20}}),
       order_rule::instance,
       order_rule::instance,
       {0, 1}},
      {"forced name",
       placed(axial, {{0, 0, 30}, {0, 0, 20}}),
       order_rule::name,
       order_rule::name,
       {0, 1}},
  };
  for (const auto& c : cases) {
    const auto order = dicom::order_stack(c.images, c.rule);
    EXPECT_EQ(order.used, c.used) << c.name;
    EXPECT_EQ(order.ranked, c.ranked) << c.name;
    EXPECT_FALSE(order.lacking) << c.name;
  }
}

TEST(stack_order, falls_back_to_instance_numbers_then_names) {
  auto images = placed(axial, {{0, 0, 30}, {0, 0, 20}, {0, 0, 10}});
  images[1].orientation = coronal;  // mixed orientations: positions say nothing
  images[0].instance_number = 3;
  images[2].instance_number = 1;
  auto order = dicom::order_stack(images, order_rule::automatic);
  EXPECT_EQ(order.used, order_rule::instance);
  EXPECT_EQ(order.ranked, (std::vector<std::size_t>{2, 1, 0}));

  images[1].instance_number.reset();
  order = dicom::order_stack(images, order_rule::automatic);
  EXPECT_EQ(order.used, order_rule::name);
  EXPECT_EQ(order.ranked, (std::vector<std::size_t>{0, 1, 2}));

  order = dicom::order_stack(images, order_rule::position);
  EXPECT_EQ(order.used, order_rule::name);
  EXPECT_EQ(order.lacking, 1u);
}

TEST(stack_order, spacing_planes_and_series) {
  const auto images = placed(axial, {{0, 0, 3}, {0, 0, 0}, {0, 0, 1.5}, {0, 0, 7.5}});
  EXPECT_DOUBLE_EQ(*dicom::slice_spacing(images, dicom::order_stack(images, order_rule::automatic)),
                   1.5);
  EXPECT_FALSE(dicom::slice_spacing(images, dicom::order_stack(images, order_rule::name)));

  EXPECT_EQ(dicom::plane_of(axial), dicom::plane::axial);
  EXPECT_EQ(dicom::plane_of(coronal), dicom::plane::coronal);
  EXPECT_EQ(dicom::plane_of(sagittal), dicom::plane::sagittal);
  EXPECT_EQ(dicom::plane_of(oblique), dicom::plane::oblique);

  dicom::image_attributes head, bone, tilted;
  head.series_uid = bone.series_uid = "1.2";
  tilted.series_uid = "1.3";
  head.series_number = 3;
  head.common.orientation = axial;
  bone.common.orientation = coronal;
  tilted.common.orientation = oblique;
  const auto groups = dicom::group_series({{0, 1, &head}, {1, 20, &tilted}, {2, 1, &bone}});
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].files, (std::vector<std::size_t>{0, 2}));
  EXPECT_EQ(groups[0].number, 3);
  EXPECT_FALSE(groups[0].orientation);  // axial and coronal
  EXPECT_EQ(groups[1].images, 20u);
  EXPECT_EQ(groups[1].orientation, dicom::plane::oblique);
}

TEST(slice_description, functional_groups_give_each_frame_its_facts) {
  const auto file = enhanced_image({1, 2, 3, 4, 5, 6});
  // Whole, and cut inside the pixel data: all the header is there.
  for (const std::size_t cut : {file.size(), file.size() - 4}) {
    const auto d = dicom::describe_slice(std::span(file).first(cut), cut == file.size());
    ASSERT_EQ(d.what, dicom::slice_description::status::described) << cut;
    EXPECT_EQ(d.frames, 3u);
    const auto& a = d.attributes;
    EXPECT_EQ(a.bits_stored, 12);
    EXPECT_TRUE(a.is_padding(-2000));
    EXPECT_FALSE(a.is_padding(-1000));
    const std::array<double, 3> z[] = {{0, 0, 20}, {0, 0, 0}, {0, 0, 10}};
    for (std::size_t i = 0; i < 3; ++i) {
      const auto facts = a.frame(i);
      EXPECT_EQ(facts.position, z[i]) << i;
      EXPECT_EQ(facts.orientation, axial) << i;
      EXPECT_EQ(facts.pixel_spacing, (std::array<double, 2>{0.5, 0.75})) << i;
      EXPECT_EQ(facts.rescale_intercept, -1024.0) << i;
      EXPECT_EQ(facts.window_center, i == 2 ? 300.0 : 40.0) << i;
    }
  }
  // Cut before the pixel data: the rest of the file is needed.
  const auto cut = dicom::describe_slice(std::span(file).first(300), false);
  EXPECT_EQ(cut.what, dicom::slice_description::status::need_more);
}

}  // namespace
