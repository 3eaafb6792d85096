// The floor of loading a DICOM series: read every listed file and copy its
// pixel data into one block, on as many threads as the viewer uses, with
// nothing else (no header pass, no ordering, no window).
//   triview_dicom_floor LIST
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/file_read.hpp"
#include "common/path_list.hpp"
#include "common/path_text.hpp"
#include "dicom/element_walk.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: triview_dicom_floor LIST\n");
    return 2;
  }
  const auto list = common::read_regular_file(argv[1], std::size_t{1} << 30);
  const auto paths = common::all_tokens(
      std::string_view(reinterpret_cast<const char*>(list.bytes.data()), list.bytes.size()));
  if (paths.empty()) return 1;
  const auto first =
      common::read_regular_file(common::to_native_path(paths[0]), std::size_t{1} << 32);
  const std::size_t slot = dicom::read_pixels(first.bytes, {}).walk.pixels.size();
  std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[slot * paths.size()]);
  std::atomic<std::size_t> next{0}, copied{0};
  const auto work = [&] {
    for (std::size_t i; (i = next++) < paths.size();) {
      const auto file =
          common::read_regular_file(common::to_native_path(paths[i]), std::size_t{1} << 32);
      const auto walk = dicom::walk_elements(file.bytes, [](dicom::element_tag, auto) {});
      const std::size_t bytes = std::min(slot, walk.pixels.size());
      std::memcpy(block.get() + i * slot, walk.pixels.data(), bytes);
      copied += bytes;
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
    threads.emplace_back(work);
  work();
  for (auto& thread : threads) thread.join();
  std::printf("%zu bytes of samples\n", copied.load());
  return 0;
}
