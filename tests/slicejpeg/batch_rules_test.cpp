// Whole-program runs over folders as scanners and exports leave them:
// objects that are no slices, several frames in one file, names that would
// collide, and series that are not what the list promises.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "tests/support/dicom_bytes.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/slice_bytes.hpp"
#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;

namespace {

const std::string explicit_le = "1.2.840.10008.1.2.1";
const std::string kept_max = "max :100.000000\nmin :-100.000000\n";

std::string text_of(const std::vector<std::uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

// A Part-10 slice of 2 x 3 samples at height z of series `series`.
std::string part10_slice(const std::vector<int>& samples, double z,
                         const std::string& series = "1.2.3") {
  dicom_bytes data_set{true, false, {}};
  data_set.text(0x0020, 0x000E, "UI", series);
  data_set.text(0x0020, 0x0032, "DS", "0\\0\\" + std::to_string(z));
  data_set.text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0");
  data_set.image(2, 3).pixels(samples);
  return text_of(part10_file(explicit_le, data_set.bytes));
}

std::string report() {
  dicom_bytes data_set{true, false, {}};
  data_set.text(0x0008, 0x0060, "CS", "SR");
  return text_of(part10_file(explicit_le, data_set.bytes));
}

std::string eight_bit_slice() {
  return slice_bytes{}.image_header(2, 2, 8).pixels({1, 2}).text();
}

std::string console_lines(int max, int min) {
  return "\tLines \t3\n\tColums\t2\n\tBit_Allocate\t16\n\tImage :Max is " + std::to_string(max) +
         ".000000 Min is " + std::to_string(min) + ".000000\n";
}

class slicejpeg_batch : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(dir / "s"); }
  bool exists(const std::string& name) const { return fs::exists(dir / name); }
  temp_dir dir;
};

}  // namespace

TEST_F(slicejpeg_batch, objects_that_are_no_slices_are_skipped_and_the_batch_goes_on) {
  // JPEGs an earlier run made of files now skipped would mix old data in.
  dir.write("s/s002.jpg", "earlier");
  dir.write("s/s003.jpg", "earlier");
  dir.write("s/IM.1", part10_slice({1, 2, 3, 4, 5, 6}, 0));
  dir.write("s/IM.2", report());
  dir.write("s/IM.3", eight_bit_slice());
  dir.write("s/IM.4", part10_slice({-7, 2, 3, 4, 5, 9}, 1));
  dir.write("s_list.txt", "s\\IM.1\ns\\IM.2\ns\\IM.3\ns\\IM.4\n");
  const auto run = run_slicejpeg(dir.path(), "s_list.txt");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "s\\IM.1" + console_lines(6, 1) + "s\\IM.2\ns\\IM.3" +
                         "\tLines \t2\n\tColums\t2\n\tBit_Allocate\t8\n" + "s\\IM.4" +
                         console_lines(9, -7));
  EXPECT_EQ(run.err,
            "slicejpeg: s/IM.2: skipped: no pixel data, not an image (modality SR)\n"
            "slicejpeg: s/IM.3: skipped: 8-bit samples, only 16-bit greyscale slices are "
            "converted\n");
  EXPECT_EQ(dir.read("s_max.txt"), "max :9.000000\nmin :-7.000000\n");
  EXPECT_TRUE(exists("s/s001.jpg"));
  EXPECT_FALSE(exists("s/s002.jpg"));
  EXPECT_FALSE(exists("s/s003.jpg"));
  EXPECT_TRUE(exists("s/s004.jpg"));

  // Nothing converted is a failure, and the max file stays as it was.
  dir.write("s_list.txt", "s\\IM.2\ns\\IM.3\n");
  dir.write("s_max.txt", kept_max);
  const auto none = run_slicejpeg(dir.path(), "s_list.txt");
  EXPECT_EQ(none.status, 7);
  EXPECT_TRUE(none.err.ends_with("slicejpeg: s_list.txt: no file of the list was converted\n"));
  EXPECT_EQ(dir.read("s_max.txt"), kept_max);
}

TEST_F(slicejpeg_batch, colliding_output_names_stop_the_run_before_anything_is_written) {
  for (const char* file : {"IM-0001-0007.dcm", "IM-0002-0007.dcm"})
    dir.write("s/" + std::string(file), part10_slice({1, 2, 3, 4, 5, 6}, 0));
  dir.write("s_list.txt", "s\\IM-0001-0007.dcm\ns\\IM-0002-0007.dcm\n");
  const auto run = run_slicejpeg(dir.path(), "--order name s_list.txt");
  EXPECT_EQ(run.status, 8);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "slicejpeg: s/IM-0002-0007.dcm: would write s/s0007.jpg, as s/IM-0001-0007.dcm does; "
            "nothing was converted\n");
  EXPECT_FALSE(exists("s_max.txt"));
  for (const auto& entry : fs::directory_iterator(dir / "s"))
    EXPECT_NE(entry.path().extension(), ".jpg") << entry.path();
  // Ordered by position, they are named by rank and collide no more.
  const auto ranked = run_slicejpeg(dir.path(), "s_list.txt");
  EXPECT_EQ(ranked.status, 0);
  EXPECT_TRUE(exists("s/s001.jpg") && exists("s/s002.jpg"));
  // The same file listed twice loses nothing.
  dir.write("s/CT.7", part10_slice({1, 2, 3, 4, 5, 6}, 0));
  dir.write("s_list.txt", "s\\CT.7\ns/CT.7\n");
  EXPECT_EQ(run_slicejpeg(dir.path(), "s_list.txt").status, 0);
}

TEST_F(slicejpeg_batch, frames_of_the_only_file_become_slices_and_are_refused_in_a_longer_list) {
  dicom_bytes data_set{true, false, {}};
  data_set.image(2, 3).text(0x0028, 0x0008, "IS", "3");
  data_set.pixels({1, 1, 1, 1, 1, 1, -5, 0, 0, 0, 0, 7, 300, 0, 0, 0, 0, 0});
  dir.write("s/cine.dcm", text_of(part10_file(explicit_le, data_set.bytes)));
  dir.write("s_list.txt", "s\\cine.dcm\n");
  auto run = run_slicejpeg(dir.path(), "s_list.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "s\\cine.dcm" + console_lines(1, 1) + "s\\cine.dcm" + console_lines(7, -5) +
                         "s\\cine.dcm" + console_lines(300, 0));
  for (const char* name : {"s/s001.jpg", "s/s002.jpg", "s/s003.jpg"}) EXPECT_TRUE(exists(name));
  EXPECT_EQ(dir.read("s_max.txt"), "max :300.000000\nmin :-5.000000\n");

  dir.write("s/IM.1", part10_slice({1, 2, 3, 4, 5, 6}, 0));
  dir.write("s_list.txt", "s\\IM.1\ns\\cine.dcm\n");
  run = run_slicejpeg(dir.path(), "s_list.txt");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "slicejpeg: s/cine.dcm: holds 3 frames; a file of several frames must be the only "
            "file of its list\n");
}

TEST_F(slicejpeg_batch, series_problems_are_warned_about_and_the_conversion_goes_on) {
  // Listed in byte order, viewed in slice order: IM.10 is not out of place.
  const std::vector<std::pair<std::string, double>> slices = {
      {"IM.1", 0},  {"IM.10", 45}, {"IM.2", 5},  {"IM.3", 10}, {"IM.4", 15},
      {"IM.5", 15}, {"IM.6", 25},  {"IM.7", 30}, {"IM.8", 35}, {"IM.9", 40}};
  std::string list;
  for (const auto& [name, z] : slices) {
    dir.write("s/" + name, part10_slice({1, 2, 3, 4, 5, 6}, z));
    list += "s\\" + name + "\n";
  }
  dir.write("s/IM.11", part10_slice({1, 2, 3, 4, 5, 6}, 50, "9.9"));
  dir.write("s_list.txt", list);
  auto run = run_slicejpeg(dir.path(), "s_list.txt");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "slicejpeg: s/IM.5: warning: same position along the slice normal 15 as s/IM.4\n"
            "slicejpeg: s/IM.6: warning: position along the slice normal gap of 10 from s/IM.5, "
            "more than 1.5 times the median spacing 5: slices may be missing\n");
  // Two series are never one stack: nothing is written until one is chosen.
  dir.write("s_list.txt", list + "s\\IM.11\n");
  run = run_slicejpeg(dir.path(), "s_list.txt");
  EXPECT_EQ(run.status, 10);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(
      run.err,
      "slicejpeg: s_list.txt: 2 series in one list; nothing converted\n"
      "slicejpeg: s_list.txt: series 1.2.3: no modality, 10 slices, axial\n"
      "slicejpeg: s_list.txt: series 9.9: no modality, 1 slice, axial\n"
      "slicejpeg: s_list.txt: convert one series into a folder of its own with "
      "\"slicejpeg --series 1.2.3 s_list.txt\", or every series with \"slicejpeg --series all "
      "s_list.txt\"\n");
  run = run_slicejpeg(dir.path(), "--series 9.9 s_list.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(exists("s/s_s9.9/s_s9.9001.jpg"));
  EXPECT_EQ(dir.read("s_s9.9_max.txt"), "max :6.000000\nmin :1.000000\n");
  EXPECT_EQ(run_slicejpeg(dir.path(), "--series 7 s_list.txt").status, 10);
}

// A file of many frames is encoded frame by frame as the frames are written:
// 20,000 frames of 1 x 2 pixels, each its own JPEG, in frame order (no
// positions), and the run's memory stays far below all frames' JPEGs at once.
TEST_F(slicejpeg_batch, many_frames_are_written_as_they_are_encoded) {
  constexpr int frames = 20000;
  dicom_bytes data_set{true, false, {}};
  data_set.image(1, 2).text(0x0028, 0x0008, "IS", std::to_string(frames));
  std::vector<int> samples;
  for (int i = 0; i < frames; ++i) samples.insert(samples.end(), {i % 1000, 1000});
  data_set.pixels(samples);
  dir.write("s/cine.dcm", text_of(part10_file(explicit_le, data_set.bytes)));
  dir.write("s_list.txt", "s\\cine.dcm\n");
  const auto run = run_slicejpeg(dir.path(), "s_list.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(exists("s/s00001.jpg") && exists("s/s20000.jpg"));
  EXPECT_FALSE(exists("s/s20001.jpg"));
#if !defined(__SANITIZE_ADDRESS__)
  // The largest child this test process waited for is that run (ctest runs
  // each test in a process of its own). ASan's quarantine holds freed memory,
  // so the peak only means something without it.
  rusage children{};
  ::getrusage(RUSAGE_CHILDREN, &children);
  EXPECT_LT(children.ru_maxrss, 64 * 1024) << "peak RSS " << children.ru_maxrss << " KiB";
#endif
}
