// phantom_series: writes a CT-like phantom series into a directory, either as
// slice files IM.1 ... IM.N or as 8-bit JPEG slices DIR001.jpg ... (named like
// the converter's output, so a list of them sorts in slice order).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <string_view>

#include "tools/phantom.hpp"

namespace {

struct options {
  phantom::volume_size size;
  std::uint32_t seed = 1;
  bool jpeg = false;
  bool geometry = false;    // positions, orientation, pixel spacing and a series UID
  bool head_first = false;  // IM.1 is the top slice, as scanners number a head
  std::string directory;
};

void print_usage() {
  std::printf(
      "usage: phantom_series [--width N] [--height N] [--slices N] [--seed N] [--jpeg]\n"
      "                      [--geometry [--head-first]] DIR\n"
      "writes DIR/IM.1 ... DIR/IM.N (slice files), or with --jpeg DIR/<DIR>001.jpg ...\n"
      "--geometry: slices 2.5 mm apart with positions, orientation, pixel spacing, series;\n"
      "--head-first: IM.1 is the top slice\n"
      "defaults: 256 x 256 x 60, seed 1\n");
}

bool parse_count(const char* text, int& out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > 65535) return false;
  out = static_cast<int>(value);
  return true;
}

bool parse_options(int argc, char** argv, options& opts) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    int value = 0;
    const bool has_value = i + 1 < argc;
    if (arg == "--jpeg") {
      opts.jpeg = true;
    } else if (arg == "--geometry") {
      opts.geometry = true;
    } else if (arg == "--head-first") {
      opts.head_first = true;
    } else if (arg == "--width" && has_value && parse_count(argv[++i], value)) {
      opts.size.width = value;
    } else if (arg == "--height" && has_value && parse_count(argv[++i], value)) {
      opts.size.height = value;
    } else if (arg == "--slices" && has_value && parse_count(argv[++i], value)) {
      opts.size.slices = value;
    } else if (arg == "--seed" && has_value && parse_count(argv[++i], value)) {
      opts.seed = static_cast<std::uint32_t>(value);
    } else if (!arg.empty() && arg[0] != '-' && opts.directory.empty()) {
      opts.directory = arg;
    } else {
      return false;
    }
  }
  return !opts.directory.empty();
}

std::string jpeg_name(const std::filesystem::path& dir, int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03d", number);
  return (dir / (dir.filename().string() + digits + ".jpg")).string();
}

bool write_slice(const options& opts, const std::filesystem::path& dir, int z) {
  const auto samples = phantom::make_slice(opts.size, z, opts.seed);
  if (opts.jpeg) {
    auto display = phantom::to_display(samples);
    const cv::Mat image(opts.size.height, opts.size.width, CV_8UC1, display.data());
    return cv::imwrite(jpeg_name(dir, z + 1), image);
  }
  const int number = opts.head_first ? opts.size.slices - z : z + 1;
  const auto bytes =
      phantom::encode_slice_file(samples, opts.size.width, opts.size.height, number,
                                 opts.geometry ? std::optional<double>(2.5 * z) : std::nullopt);
  std::ofstream out(dir / ("IM." + std::to_string(number)), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  options opts;
  if (!parse_options(argc, argv, opts)) {
    print_usage();
    return argc == 2 && (std::string_view(argv[1]) == "-h" || std::string_view(argv[1]) == "--help")
               ? 0
               : 2;
  }
  std::filesystem::path dir(opts.directory);
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "phantom_series: %s: %s\n", opts.directory.c_str(),
                 error.message().c_str());
    return 1;
  }
  if (dir.filename().empty()) dir = dir.parent_path();
  for (int z = 0; z < opts.size.slices; ++z) {
    if (!write_slice(opts, dir, z)) {
      std::fprintf(stderr, "phantom_series: %s: cannot write slice %d\n", opts.directory.c_str(),
                   z + 1);
      return 1;
    }
  }
  return 0;
}
