#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "dicom/series_check.hpp"
#include "dicom/slice_reader.hpp"
#include "dicom/stack_order.hpp"

// Every fixed text and exit status of slicejpeg. The console lines are the
// program's own, word for word; the lines it adds on standard error follow
// "slicejpeg: FILE: what is wrong".
namespace slicejpeg {

namespace exit_status {
constexpr int ok = 0;
constexpr int cannot_open = 1;  // the path list or a slice file
constexpr int bad_slice = 2;    // a slice file that cannot be converted
constexpr int no_memory = 3;
constexpr int jpeg_not_written = 4;  // the batch went on; the max file was written
constexpr int max_file_failed = 5;   // unreadable, not a max file, not written, or not lockable
constexpr int empty_list = 6;
constexpr int nothing_converted = 7;  // every listed file was skipped
constexpr int name_collision = 8;     // two files would write one JPEG; nothing written
constexpr int output_failed = 9;      // standard output could not be written
constexpr int several_series = 10;    // the list holds several series and --series names none
constexpr int interrupted = 128;      // plus the signal: stopped between two slices
constexpr int usage_error = 64;       // EX_USAGE: a malformed option; nothing written
}  // namespace exit_status

namespace text {

constexpr std::string_view program = "slicejpeg";
constexpr std::string_view default_list_name = "stomach_list.txt";
constexpr std::string_view max_file_suffix = "_max.txt";
constexpr std::string_view max_label = "max :";
constexpr std::string_view min_label = "min :";

// The console lines of one slice.
constexpr std::string_view open_error = "Reading File Open Error!\n";
constexpr std::string_view memory_error = "Memory allocation error! [image]";
std::string lines_line(int columns);             // "\tLines \t512\n"
std::string colums_line(int rows);               // "\tColums\t512\n"
std::string bits_line(int bits_allocated);       // "\tBit_Allocate\t16\n"
std::string image_line(double max, double min);  // "\tImage :Max is 3071.000000 Min is ..."
std::string max_file_text(double run_max, double run_min);
std::string usage();

// The element walk.
constexpr std::string_view walked_to_pixels = "walked to the pixel data";
constexpr std::string_view ends_in_header = "file ends inside an element header";
constexpr std::string_view ends_in_pixels = "file ends inside the pixel data";
constexpr std::string_view no_pixel_data_element = "no pixel data element";
constexpr std::string_view unknown_walk_error = "unknown walk error";
std::string ends_in_element(const std::string& tag);
std::string ends_in_sequence(const std::string& tag);
std::string bad_sequence(const std::string& tag);
std::string negative_length(const std::string& tag);

// Reading a slice file.
constexpr std::string_view no_rows = "no Rows element before the pixel data";
constexpr std::string_view no_columns = "no Columns element before the pixel data";
constexpr std::string_view no_bits = "no Bits Allocated element before the pixel data";
constexpr std::string_view no_pixels = "image has no pixels";
constexpr std::string_view empty_file = "file is empty or holds only zero bytes";
constexpr std::string_view ends_in_meta = "file ends inside the file meta information";
constexpr std::string_view bad_deflate = "deflated data set cannot be inflated";
constexpr std::string_view deflate_too_large = "deflated data set inflates beyond any slice";
constexpr std::string_view stray_encapsulation =
    "pixel data is encapsulated, but the transfer syntax is not a compressed one";
std::string unknown_syntax(std::string_view uid);
std::string short_pixel_data(std::size_t holds, std::size_t frames, std::size_t frame_bytes);
std::string bad_frame_count(std::string_view value);
std::string decoded_mismatch(int rows, int columns, int bits, int samples_per_pixel);
std::string skipped(std::string_view what);
std::string no_pixel_data_object(std::string_view modality);
std::string colour_object(int samples_per_pixel, std::string_view photometric);
std::string bits_object(int bits_allocated, std::string_view modality);

// The batch.
constexpr std::string_view no_slice_number = "no slice number in the file name";
constexpr std::string_view cannot_encode = "cannot encode the JPEG";
constexpr std::string_view out_of_memory = "out of memory";
constexpr std::string_view unknown_error = "unknown error";
constexpr std::string_view empty_list = "the path list holds no slice path";
constexpr std::string_view cannot_read_max = "cannot read the max file";
constexpr std::string_view not_a_max_file =
    "not a max file (expected the lines \"max :\" and \"min :\")";
constexpr std::string_view nothing_converted = "no file of the list was converted";
constexpr std::string_view standard_output = "standard output";
std::string cannot_open_list(std::string_view reason);
std::string cannot_lock_max(std::string_view reason);
std::string cannot_open_slice(std::string_view reason);
std::string name_collision(std::string_view output, std::string_view other_file);
std::string several_frames_in_list(std::size_t frames);
std::string cannot_write_output(std::string_view reason);
std::string internal_error(std::string_view what);

// Checks of the series, warnings only.
std::string mixed_series(std::string_view uid, std::string_view first_file,
                         std::string_view first_uid);
std::string mixed_orientation(std::string_view first_file);
std::string out_of_order(std::string_view key, std::string_view previous_file, double previous,
                         double here, std::size_t breaks);
std::string shared_position(std::string_view key, std::string_view other_file, double value);
std::string gap(std::string_view key, std::string_view previous_file, double spacing,
                double median);

// Order, series and mapping: what the run chose, and what to do next.
std::string ordered_by(dicom::order_rule rule, const std::array<double, 3>& normal,
                       std::string_view first_name);
std::string order_lacking(dicom::order_rule rule);
std::string several_series(std::size_t count);
std::string series_line(const dicom::series_group& series, std::string_view key);
std::string next_commands(std::string_view list_name, std::string_view first_key);
std::string no_such_series(std::string_view key);
constexpr std::string_view in_no_series = "not an image of any series; left out";
std::string cannot_make_folder(std::string_view reason);
std::string interrupted_by(int signal);
std::string default_mapping_wraps(double widest_span);
std::string not_hounsfield(std::string_view preset, std::string_view what);

// The DICOM library's findings in the program's words.
std::string describe(const dicom::walk_result& walk);  // "file ends inside element (0028,0010)"
std::string describe(const dicom::read_problem& problem);
std::string describe(const dicom::series_warning& warning);

}  // namespace text
}  // namespace slicejpeg
