// The reference loop the converter is measured against: for each listed
// slice, one read of the file, the walk to the pixel data, the same
// conversion and cv::imwrite, single-threaded, with no console output.
//   slicejpeg_bare_loop LIST OUT_DIR
#include <cstdio>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "common/path_text.hpp"
#include "dicom/element_walk.hpp"
#include "slicejpeg/conversion.hpp"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: slicejpeg_bare_loop LIST OUT_DIR\n");
    return 2;
  }
  std::ifstream list(argv[1]);
  const std::string out_dir = argv[2];
  std::string token;
  int number = 0;
  while (list >> token) {
    std::ifstream in(common::to_native_path(token), std::ios::binary | std::ios::ate);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const auto scan = dicom::scan_elements(bytes);
    if (scan.walk.error != dicom::walk_error::none || !scan.rows || !scan.columns) return 1;
    cv::Mat image(*scan.rows, *scan.columns, CV_8UC1);
    slicejpeg::convert_samples(scan.walk.pixels, true, {image.data, image.total()});
    char name[32];
    std::snprintf(name, sizeof name, "/bare%04d.jpg", ++number);
    if (!cv::imwrite(out_dir + name, image)) return 1;
  }
  return 0;
}
