#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dicom_bytes.hpp"

// An enhanced CT image of 3 frames of 1 x 2 samples: shared pixel measures, orientation,
// rescale and window; each frame its own position, the last its own window.
inline std::vector<std::uint8_t> enhanced_image(const std::vector<int>& samples) {
  const auto item = [](auto build) {
    dicom_bytes bytes{true, false, {}};
    build(bytes);
    return bytes.bytes;
  };
  const auto macro = [&](unsigned group, unsigned element, auto build) {
    return item([&](dicom_bytes& b) { b.sequence(group, element, {item(build)}); });
  };
  const auto joined = [](std::vector<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  const auto shared = joined({
      macro(0x0028, 0x9110, [](dicom_bytes& b) { b.text(0x0028, 0x0030, "DS", "0.5\\0.75"); }),
      macro(0x0020, 0x9116,
            [](dicom_bytes& b) { b.text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0"); }),
      macro(0x0028, 0x9145,
            [](dicom_bytes& b) {
              b.text(0x0028, 0x1052, "DS", "-1024").text(0x0028, 0x1053, "DS", "1");
            }),
      macro(0x0028, 0x9132,
            [](dicom_bytes& b) {
              b.text(0x0028, 0x1050, "DS", "40").text(0x0028, 0x1051, "DS", "400");
            }),
  });
  std::vector<std::vector<std::uint8_t>> frames;
  for (const char* z : {"20", "0", "10"})
    frames.push_back(macro(0x0020, 0x9113, [&](dicom_bytes& b) {
      b.text(0x0020, 0x0032, "DS", std::string("0\\0\\") + z);
    }));
  frames[2] = joined({frames[2], macro(0x0028, 0x9132, [](dicom_bytes& b) {
                        b.text(0x0028, 0x1050, "DS", "300").text(0x0028, 0x1051, "DS", "1500");
                      })});
  dicom_bytes data_set{true, false, {}};
  data_set.text(0x0008, 0x0060, "CS", "CT").text(0x0020, 0x000E, "UI", "1.2.3");
  data_set.image(1, 2).text(0x0028, 0x0008, "IS", "3").us(0x0028, 0x0101, 12);
  data_set.us(0x0028, 0x0103, 1).us(0x0028, 0x0120, 0xF830);  // padding -2000
  data_set.sequence(0x5200, 0x9229, {shared}).sequence(0x5200, 0x9230, frames);
  data_set.pixels(samples);
  return part10_file("1.2.840.10008.1.2.1", data_set.bytes);
}
