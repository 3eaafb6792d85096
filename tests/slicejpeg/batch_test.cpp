// The batch in process: the two-core pipeline must give the same console text
// and files as the single-threaded loop, and stop at a failing slice without
// writing anything after it.
#include "slicejpeg/batch.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "dicom/decoder_client.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/temp_dir.hpp"
#include "tools/phantom.hpp"

namespace fs = std::filesystem;
using namespace slicejpeg;

namespace {

struct batch_run {
  int status;
  std::string out, err;
};

std::string read_stream(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

// Runs the batch with the working directory set to `dir`.
batch_run run_batch_in(const fs::path& dir, const std::string& list, unsigned jobs) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = run_batch({list, jobs, {}, {}, {}}, out, err);
  fs::current_path(previous);
  return {status, read_stream(out), read_stream(err)};
}

void write_series(const temp_dir& dir, const std::string& name, int slices) {
  fs::create_directory(dir / name);
  const phantom::volume_size size{48, 40, slices};
  std::string list;
  for (int z = 0; z < slices; ++z) {
    const auto bytes = phantom::encode_slice_file(phantom::make_slice(size, z), 48, 40, z + 1);
    dir.write(name + "/IM." + std::to_string(z + 1), std::string(bytes.begin(), bytes.end()));
    list += name + "\\IM." + std::to_string(z + 1) + "\n";
  }
  dir.write(name + "_list.txt", list);
}

}  // namespace

TEST(batch, two_workers_match_the_single_loop) {
  temp_dir one, two;
  write_series(one, "sample", 30);
  write_series(two, "sample", 30);
  const auto single = run_batch_in(one.path(), "sample_list.txt", 1);
  const auto paired = run_batch_in(two.path(), "sample_list.txt", 2);
  EXPECT_EQ(single.status, 0);
  EXPECT_EQ(paired.status, 0);
  EXPECT_EQ(single.out, paired.out);
  EXPECT_EQ(paired.err, single.err);
  for (int i = 1; i <= 30; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "sample/sample%03d.jpg", i);
    ASSERT_TRUE(fs::exists(two / name)) << name;
    EXPECT_EQ(one.read(name), two.read(name)) << name;
  }
  EXPECT_EQ(one.read("sample_max.txt"), two.read("sample_max.txt"));
}

TEST(batch, a_failing_slice_stops_the_pipeline_with_nothing_written_after_it) {
  temp_dir dir;
  write_series(dir, "sample", 40);
  dir.write("sample/IM.20", "cut");
  dir.write("sample_max.txt", "max :1.000000\nmin :0.000000\n");
  const auto run = run_batch_in(dir.path(), "sample_list.txt", 2);
  EXPECT_EQ(run.status, exit_status::bad_slice);
  EXPECT_EQ(run.err, "slicejpeg: sample/IM.20: file ends inside an element header\n");
  EXPECT_TRUE(run.out.ends_with("sample\\IM.20\n"));
  EXPECT_TRUE(fs::exists(dir / "sample/sample019.jpg"));
  for (int i = 20; i <= 40; ++i)
    EXPECT_FALSE(fs::exists(dir / ("sample/sample0" + std::to_string(i) + ".jpg"))) << i;
  EXPECT_EQ(dir.read("sample_max.txt"), "max :1.000000\nmin :0.000000\n");
}

// The first pass of a series window decodes each compressed slice; the
// second converts the kept samples, up to the bound, and decodes only the rest.
TEST(batch, a_series_window_decodes_each_compressed_slice_once_within_the_bound) {
  if (pydicom_test_files().empty()) GTEST_SKIP() << "python3-pydicom is not installed";
  struct counting_decoder final : dicom::pixel_decoder {
    explicit counting_decoder(std::atomic<int>& calls) : calls_(calls) {}
    dicom::compressed_frames decode(std::span<const std::uint8_t> bytes) override {
      ++calls_;
      return helper_.decode(bytes);
    }
    std::atomic<int>& calls_;
    dicom::helper_decoder helper_;
  };
  std::ifstream file(pydicom_test_files() + "/MR_small_RLE.dcm", std::ios::binary);
  const std::string rle{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  for (const std::size_t bound : {std::size_t{1} << 30, std::size_t{0}}) {
    temp_dir dir;
    fs::create_directory(dir / "mr");
    std::string list;
    for (int i = 1; i <= 6; ++i) {
      dir.write("mr/IM" + std::to_string(i) + ".dcm", rle);
      list += "mr\\IM" + std::to_string(i) + ".dcm\n";
    }
    dir.write("mr_list.txt", list);
    std::atomic<int> calls{0};
    batch_options options;
    options.list_name = "mr_list.txt";
    options.jobs = 2;
    options.window = {window_kind::series, {}, {}};
    options.max_kept_bytes = bound;
    options.make_decoder = [&calls] { return std::make_unique<counting_decoder>(calls); };
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = run_batch(options, out, err);
    fs::current_path(previous);
    EXPECT_EQ(status, 0) << read_stream(err);
    std::fclose(out);
    EXPECT_EQ(calls.load(), bound == 0 ? 12 : 6) << "bound " << bound;
    EXPECT_TRUE(fs::exists(dir / "mr/mr006.jpg"));
  }
}
