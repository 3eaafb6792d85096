#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds slice files element by element for the tests.
struct slice_bytes {
  std::vector<std::uint8_t> bytes;

  slice_bytes& raw(std::initializer_list<std::uint8_t> more) {
    bytes.insert(bytes.end(), more);
    return *this;
  }
  slice_bytes& raw(const std::vector<std::uint8_t>& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
  }
  slice_bytes& u16(unsigned value) {
    return raw({static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)});
  }
  slice_bytes& u32(std::uint32_t value) {
    u16(value & 0xFFFF);
    return u16(value >> 16);
  }
  slice_bytes& header(unsigned group, unsigned element, std::uint32_t length) {
    u16(group).u16(element);
    return u32(length);
  }
  slice_bytes& element(unsigned group, unsigned element, const std::vector<std::uint8_t>& value) {
    header(group, element, static_cast<std::uint32_t>(value.size()));
    bytes.insert(bytes.end(), value.begin(), value.end());
    return *this;
  }
  slice_bytes& u16_element(unsigned group, unsigned element, unsigned value) {
    return this->element(
        group, element,
        {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)});
  }
  // Rows, Columns and Bits Allocated, as a slice file starts in practice.
  slice_bytes& image_header(unsigned rows, unsigned columns, unsigned bits = 16) {
    u16_element(0x0028, 0x0010, rows);
    u16_element(0x0028, 0x0011, columns);
    return u16_element(0x0028, 0x0100, bits);
  }
  slice_bytes& pixels(const std::vector<std::int16_t>& samples) {
    header(0x7FE0, 0x0010, static_cast<std::uint32_t>(2 * samples.size()));
    for (std::int16_t s : samples) u16(static_cast<std::uint16_t>(s));
    return *this;
  }
  std::string text() const { return {bytes.begin(), bytes.end()}; }
};
