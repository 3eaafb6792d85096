#pragma once

#include <cstdint>
#include <vector>

#include "tools/phantom.hpp"

// The middle slice of a 512 x 512 x 120 phantom series as a flat slice file,
// made once: the input of the per-slice benchmarks.
inline const std::vector<std::uint8_t>& slice_file() {
  static const auto bytes = [] {
    const phantom::volume_size size{512, 512, 120};
    return phantom::encode_slice_file(phantom::make_slice(size, 60), 512, 512, 61);
  }();
  return bytes;
}
