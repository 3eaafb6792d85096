#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "dicom/stack_order.hpp"

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
    "usage: triview [options] [LIST]\n"
    "shows the JPEG slices or the DICOM slice files named in the path list LIST\n"
    "(default %s) in the windows x-y, x-z and y-z; ESC quits\n"
    "  --z-scale F     show each slice F times as high in x-z and y-z (default: the\n"
    "                  slices' own spacing / pixel spacing where they carry it; 1 turns it off)\n"
    "  --window C,W    DICOM lists: window centre and width; also soft, lung, bone, brain,\n"
    "                  file, series (default: the files' own window, else the series range)\n"
    "  --series N      DICOM lists: show series N (its number or UID) of several\n"
    "  --guides        mark where the other planes cut, and the patient's sides\n"
    "  --zoom F        show every view F times larger (F up to 16)\n"
    "  --grey          start in grey instead of pseudo-colour\n"
    "  --save-shown    s saves a view as its window shows it\n"
    "  right-drag      window (left-right) and level (up-down) in all three views\n";

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
inline constexpr const char* option_value_missing = "needs a value";
inline constexpr const char* zoom_too_large = "is more than 16";
inline constexpr const char* z_scale_too_large =
    "is more than 32767, the most rows a window can show";
inline constexpr const char* unshowable_view =
    "the %s view would be %dx%d pixels on screen, more than the %d a window can hold";
inline constexpr const char* series_missing = "needs a series number or UID";
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
    "is a DICOM file in a list of images: a list holds JPEG slices or DICOM slices, not both";
inline constexpr const char* cannot_open_file = "cannot open";
inline constexpr const char* jpeg_in_dicom_list =
    "is a JPEG image in a list of DICOM files: a list holds JPEG slices or DICOM slices, not both";
inline constexpr const char* png_in_dicom_list =
    "is a PNG image in a list of DICOM files: a list holds JPEG slices or DICOM slices, not both";
inline constexpr const char* bmp_in_dicom_list =
    "is a BMP image in a list of DICOM files: a list holds JPEG slices or DICOM slices, not both";
inline constexpr const char* not_a_dicom_image =
    "is no greyscale 16-bit DICOM image (a report, a plan, a colour image, or damaged)";
inline std::string cannot_decode_dicom(const std::string& detail) {
  return detail.empty() ? "cannot be decoded as a DICOM image"
                        : "cannot be decoded as a DICOM image: " + detail;
}
inline std::string several_series(std::size_t count) {
  return std::to_string(count) + " series in one list; show one with --series";
}
inline std::string no_such_series(const std::string& key) {
  return "no series " + key + " in the list";
}
std::string series_line(const dicom::series_group& series, const std::string& key);
inline std::string series_next_command(const std::string& key, const std::string& list_name) {
  return "show one with \"triview --series " + key + " " + list_name + "\"";
}
std::string dicom_size_differs(int width, int height, int first_width, int first_height);
std::string dicom_needs_memory(std::size_t count, int width, int height);
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

// A printf pattern of this file filled in.
template <typename... Args>
std::string format(const char* pattern, Args... args) {
  const int length = std::snprintf(nullptr, 0, pattern, args...);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
  std::snprintf(text.data(), text.size(), pattern, args...);
  text.pop_back();
  return text;
}

// Exit statuses.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 64;  // EX_USAGE
inline constexpr int exit_unreadable_image = -1;

}  // namespace triview::messages
