#pragma once

#include <cstddef>
#include <string>

// Every fixed text and exit status of triview.
namespace triview::messages {

inline constexpr const char* program = "triview";
inline constexpr const char* default_list = "sample_jpg_list.txt";

// Standard output.
inline constexpr const char* slice_count = "islice:%d\n";
inline constexpr const char* hot_key_text =
    "Hot keys: \n"
    "\tESC - quit the program\n"
    "\tl : move left(x-), r : move right(x+) r\n"
    "\tf : move forward(y+), b : move back(y-) ward\n"
    "\tu : move upper(z+), d : move down( z- )\n";
inline constexpr const char* save_line = "last_id:%d %s\n";
inline constexpr const char* usage =
    "usage: triview [--z-scale F] [LIST]\n"
    "shows the JPEG slices named in the path list LIST (default %s)\n"
    "in the windows x-y, x-z and y-z; ESC quits\n"
    "  --z-scale F  show each slice F times as high in x-z and y-z\n"
    "               (F = spacing between slices / pixel spacing)\n";

// Windows, trackbars and the names of saved views.
inline constexpr const char* window_xz = "x-z";
inline constexpr const char* window_yz = "y-z";
inline constexpr const char* window_xy = "x-y";
inline constexpr const char* trackbar_xz = "y_posi";
inline constexpr const char* trackbar_yz = "x_posi";
inline constexpr const char* trackbar_xy = "slice";
inline constexpr const char* save_name_xz = "y_%04d.jpg";
inline constexpr const char* save_name_yz = "x_%04d.jpg";
inline constexpr const char* save_name_xy = "isl_%04d.jpg";

// Standard error: "triview: SUBJECT: WHAT".
inline constexpr const char* z_scale_option = "--z-scale";
inline constexpr const char* z_scale_missing = "needs a value, a positive number";
inline constexpr const char* z_scale_malformed = "is not a positive number: ";
inline constexpr const char* unknown_option =
    "unknown option (a list whose name starts with - follows --)";
inline constexpr const char* cannot_open_list = "cannot open path list";
inline constexpr const char* list_holds_no_name = "path list holds no file name";
inline constexpr const char* cannot_load_image = "cannot load image";
inline constexpr const char* no_fallback_module = "cannot load the image reader module: ";
inline constexpr const char* implausible_size =
    "declares %dx%d pixels, more than its %zu bytes can hold";
inline constexpr const char* dicom_file =
    "is a DICOM file, which the viewer does not read: convert it with slicejpeg first";
inline constexpr const char* unknown_format = "is not a JPEG, PNG or BMP image";
inline std::string too_many_scans(std::size_t scans, std::size_t limit) {
  return "has " + std::to_string(scans) + " JPEG scans, more than the " + std::to_string(limit) +
         " a real image has";
}
inline constexpr const char* not_8bit = "decodes to other than 8-bit pixels";
inline constexpr const char* out_of_memory = "out of memory";
inline constexpr const char* size_differs = "size %s differs from the first slice's %s";
inline constexpr const char* incomplete_file =
    "file is incomplete, the rest of the slice is shown grey";
inline constexpr const char* too_large_to_address =
    "%zu slices of %dx%d are too large to show: the %s view would hold %s";
inline constexpr const char* stack_needs_memory =
    "%zu slices of %dx%d need %s of memory for the stack, which is not available";
inline constexpr const char* no_memory_for_windows =
    "the stack (%s) leaves less than the %s the windows need";
inline constexpr const char* windows_out_of_memory = "out of memory for the windows";
inline constexpr const char* cannot_open_display = "cannot open display";
inline constexpr const char* display_not_set = "DISPLAY is not set";
inline constexpr const char* cannot_write_file = "cannot write file";
inline constexpr const char* loading_progress = "loading slices: %zu of %zu";

// Exit statuses.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 64;  // EX_USAGE
inline constexpr int exit_unreadable_image = -1;

}  // namespace triview::messages
