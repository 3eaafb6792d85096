#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Builds data sets and Part-10 files in any of the uncompressed encodings,
// element by element, for the tests.
struct dicom_bytes {
  bool explicit_vr = false;
  bool big_endian = false;
  std::vector<std::uint8_t> bytes;

  dicom_bytes& raw(const std::vector<std::uint8_t>& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
  }
  dicom_bytes& u16(unsigned value) {
    const auto low = static_cast<std::uint8_t>(value & 0xFF);
    const auto high = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    return big_endian ? raw({high, low}) : raw({low, high});
  }
  dicom_bytes& u32(std::uint32_t value) {
    return big_endian ? u16(value >> 16).u16(value & 0xFFFF) : u16(value & 0xFFFF).u16(value >> 16);
  }
  static bool long_length(std::string_view vr) {
    return vr == "OB" || vr == "OW" || vr == "SQ" || vr == "UN" || vr == "UT" || vr == "OF";
  }
  dicom_bytes& header(unsigned group, unsigned element, std::string_view vr, std::uint32_t length) {
    u16(group).u16(element);
    if (!explicit_vr || group == 0xFFFE) return u32(length);
    raw({static_cast<std::uint8_t>(vr[0]), static_cast<std::uint8_t>(vr[1])});
    return long_length(vr) ? u16(0).u32(length) : u16(length);
  }
  dicom_bytes& element(unsigned group, unsigned element, std::string_view vr,
                       const std::vector<std::uint8_t>& value) {
    header(group, element, vr, static_cast<std::uint32_t>(value.size()));
    return raw(value);
  }
  dicom_bytes& us(unsigned group, unsigned element, unsigned value) {
    dicom_bytes value_bytes{explicit_vr, big_endian, {}};
    value_bytes.u16(value);
    return this->element(group, element, "US", value_bytes.bytes);
  }
  // Text values padded to an even length, as DICOM stores them.
  dicom_bytes& text(unsigned group, unsigned element, std::string_view vr, std::string value) {
    if (value.size() % 2 != 0) value += vr == "UI" ? '\0' : ' ';
    return this->element(group, element, vr, {value.begin(), value.end()});
  }
  dicom_bytes& image(unsigned rows, unsigned columns, unsigned bits = 16) {
    us(0x0028, 0x0002, 1).text(0x0028, 0x0004, "CS", "MONOCHROME2");
    return us(0x0028, 0x0010, rows).us(0x0028, 0x0011, columns).us(0x0028, 0x0100, bits);
  }
  // Pixel data of 16-bit samples in this encoding's byte order.
  dicom_bytes& pixels(const std::vector<int>& samples) {
    dicom_bytes value{explicit_vr, big_endian, {}};
    for (int s : samples) value.u16(static_cast<unsigned>(s) & 0xFFFF);
    return element(0x7FE0, 0x0010, "OW", value.bytes);
  }
  // A sequence of undefined length holding items of undefined length.
  dicom_bytes& sequence(unsigned group, unsigned element,
                        const std::vector<std::vector<std::uint8_t>>& items) {
    header(group, element, "SQ", 0xFFFFFFFF);
    for (const auto& item : items) {
      header(0xFFFE, 0xE000, "", 0xFFFFFFFF);
      raw(item);
      header(0xFFFE, 0xE00D, "", 0);
    }
    return header(0xFFFE, 0xE0DD, "", 0);
  }
};

// The meta information (explicit VR little endian) naming `transfer_syntax`,
// after the preamble and "DICM" unless `preamble` is false.
inline std::vector<std::uint8_t> part10_file(const std::string& transfer_syntax,
                                             const std::vector<std::uint8_t>& data_set,
                                             bool preamble = true) {
  dicom_bytes meta{true, false, {}};
  meta.element(0x0002, 0x0001, "OB", {0, 1});
  meta.text(0x0002, 0x0010, "UI", transfer_syntax);
  dicom_bytes file{true, false, {}};
  if (preamble) file.raw(std::vector<std::uint8_t>(128, 0)).raw({'D', 'I', 'C', 'M'});
  file.element(0x0002, 0x0000, "UL", {static_cast<std::uint8_t>(meta.bytes.size()), 0, 0, 0});
  file.raw(meta.bytes).raw(data_set);
  return file.bytes;
}
