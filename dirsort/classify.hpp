#pragma once

#include <string_view>

namespace dirsort {

enum class list_kind {
  none,       // nothing after the last dot, or no dot and no final digit: echoed, listed nowhere
  slice,      // goes into the main list
  other,      // goes into the list of its extension
  companion,  // "._IM1.dcm": a Mac resource companion, echoed and skipped with a line
};

struct classified {
  list_kind kind = list_kind::none;
  std::string_view extension;  // text after the last dot, for other files
};

// "IM.12" => "12"; "a.b.txt" => "txt"; "x." => ""; "README" => ""
std::string_view extension_of(std::string_view name);

// "12", "001", "dcm", "DiCm", "IMA" => true; "d1", "jpg", "dcm5" => false
bool is_slice_extension(std::string_view extension);

// "IM.12", "a.DCM", "IM000001", "1" => slice; "b.txt" => other "txt"; "README", "x." => none;
// "._IM.12" => companion; "s001.jpg.ctview-tmp-a1B2c3", "s_max.txt.lock" => none
classified classify(std::string_view name);

// Whether a file's first bytes are a DICOM file's: the 128-byte preamble and
// "DICM". Dot-less names that end in no digit (base-36 CD names such as
// IM00000A) are slice files when they are.
constexpr std::size_t dicom_head_bytes = 132;
bool starts_as_dicom(std::string_view head);

// "DICOMDIR" in any case: a CD's index of its images, which starts as a DICOM file but is none.
bool is_dicom_index(std::string_view name);

}  // namespace dirsort
