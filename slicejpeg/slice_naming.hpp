#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Names of the converter's output: the prefix taken from the path list's name,
// the output directory taken from the first listed path, and the zero-padded
// slice number of every JPEG.
namespace slicejpeg {

// "sample_list.txt" => "sample"; "lists/sample_list.txt" => "lists/sample";
// a name without "_" loses its last extension: "series.txt" => "series".
std::string list_prefix(std::string_view list_name);

// "sample/IM.12" => "sample"; "IM.12" => "" (the working directory).
std::string output_directory(std::string_view first_path);

// The slice number text of a path, or nothing when the name has none:
// "sample/IM.12" => "12", "CT.7.dcm" => "7", "CT.7.DCM" => "7",
// "CT.dcm.3.dcm" => "dcm", "IM000001.DCM" => "000001", "image7" => "7", "scan" => nothing.
std::optional<std::string> slice_number(std::string_view path);

// The widest all-digit slice number: names are padded to it when it exceeds
// three digits, so that slice 1000 does not sort between 100 and 101.
std::size_t number_width(const std::vector<std::optional<std::string>>& numbers);

// ("7", 3) => "007"; ("12", 3) => "012"; ("1234", 3) => "1234"; ("DCM", 3) => "DCM";
// ("7", 4) => "0007"; ("DCM", 4) => "DCM".
std::string padded_number(std::string_view number, std::size_t width);

// ("sample", "sample", "012") => "sample/sample012.jpg"; ("", "sample", "012") => "sample012.jpg"
std::string output_name(std::string_view out_dir, std::string_view prefix, std::string_view padded);

}  // namespace slicejpeg
