// Whole-program runs of the built slicejpeg: console transcript, exit status,
// files written and files left alone.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "tests/support/program_run.hpp"
#include "tests/support/slice_bytes.hpp"
#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;

namespace {

const std::vector<std::int16_t> ct_samples = {-1024, 0, 255, 3071, -1023, 1000};  // 2 x 3
const std::string ct_lines =
    "\tLines \t3\n\tColums\t2\n\tBit_Allocate\t16\n\tImage :Max is 3071.000000 Min is "
    "-1024.000000\n";
const std::string kept_max = "max :5000.000000\nmin :-2000.000000\n";

std::string slice_file(const std::vector<std::int16_t>& samples, unsigned rows, unsigned columns) {
  return slice_bytes{}.image_header(rows, columns).pixels(samples).text();
}

class slicejpeg_cli : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(dir / "sample"); }
  void write_slice(const std::string& name, const std::vector<std::int16_t>& samples,
                   unsigned rows = 2, unsigned columns = 3) {
    dir.write(name, slice_file(samples, rows, columns));
  }
  bool exists(const std::string& name) const { return fs::exists(dir / name); }
  temp_dir dir;
};

}  // namespace

TEST_F(slicejpeg_cli, two_slice_list_prints_the_exact_transcript) {
  write_slice("sample/IM.1", ct_samples);
  // Pixel data longer than the image needs: only the first 2 x 3 samples count.
  write_slice("sample/IM.2", {40, 40, 40, 40, 40, 40, -30000, 30000});
  dir.write("sample_list.txt", "sample\\IM.1\r\nsample\\IM.2\r\n");
  const auto run = run_slicejpeg(dir.path(), "sample_list.txt");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "slicejpeg: sample_list.txt: slices span up to 4096 values, more than 256, so the "
            "default mapping wraps them into bands; use --window (series, file, soft, brain, bone, "
            "lung or C,W) for a readable image\n");
  EXPECT_EQ(run.out, "sample\\IM.1" + ct_lines +
                         "sample\\IM.2\tLines \t3\n\tColums\t2\n\tBit_Allocate\t16\n"
                         "\tImage :Max is 40.000000 Min is 40.000000\n");
  EXPECT_EQ(dir.read("sample_max.txt"), "max :3071.000000\nmin :-1024.000000\n");

  // The JPEG is OpenCV's default encoding of the wrapped image, byte for byte.
  std::uint8_t wrapped[] = {0, 0, 255, 255, 1, 1000 + 1024 - 1792};
  std::vector<std::uint8_t> expected;
  cv::imencode(".jpg", cv::Mat(2, 3, CV_8UC1, wrapped), expected);
  EXPECT_EQ(dir.read("sample/sample001.jpg"), std::string(expected.begin(), expected.end()));
  const cv::Mat constant =
      cv::imread((dir / "sample/sample002.jpg").string(), cv::IMREAD_UNCHANGED);
  ASSERT_EQ(constant.type(), CV_8UC1);
  EXPECT_EQ(cv::countNonZero(constant), 0);
}

TEST_F(slicejpeg_cli, default_list_names_outputs_after_stomach) {
  fs::create_directory(dir / "series");
  write_slice("series/IM.3", ct_samples);
  dir.write("stomach_list.txt", "series\\IM.3\n");
  const auto run = run_slicejpeg(dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(exists("series/stomach003.jpg"));
  EXPECT_EQ(dir.read("stomach_max.txt"), "max :3071.000000\nmin :-1024.000000\n");
}

TEST_F(slicejpeg_cli, max_file_carries_the_extremes_across_runs) {
  write_slice("sample/IM.1", ct_samples);
  dir.write("sample_list.txt", "sample\\IM.1\n");
  ASSERT_EQ(run_slicejpeg(dir.path(), "sample_list.txt").status, 0);
  const std::string first = dir.read("sample_max.txt");
  EXPECT_EQ(first, "max :3071.000000\nmin :-1024.000000\n");
  ASSERT_EQ(run_slicejpeg(dir.path(), "sample_list.txt").status, 0);
  EXPECT_EQ(dir.read("sample_max.txt"), first);

  write_slice("sample/IM.1", {0, 4000, 10, 20, 30, 40});
  ASSERT_EQ(run_slicejpeg(dir.path(), "sample_list.txt").status, 0);
  EXPECT_EQ(dir.read("sample_max.txt"), "max :4000.000000\nmin :-1024.000000\n");
}

TEST_F(slicejpeg_cli, names_without_underscore_or_separator) {
  write_slice("image7", ct_samples);
  write_slice("IMG0012.dcm", ct_samples);
  dir.write("series.txt", "image7\nIMG0012.dcm\n");
  const auto run = run_slicejpeg(dir.path(), "series.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(exists("series0007.jpg"));
  EXPECT_TRUE(exists("series0012.jpg"));
  EXPECT_TRUE(exists("series_max.txt"));
}

TEST_F(slicejpeg_cli, unopenable_slice_stops_with_status_1) {
  write_slice("sample/IM.1", ct_samples);
  write_slice("sample/IM.3", ct_samples);
  dir.write("sample_list.txt", "sample\\IM.1\nsample\\IM.2\nsample\\IM.3\n");
  dir.write("sample_max.txt", kept_max);
  const auto run = run_slicejpeg(dir.path(), "sample_list.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "sample\\IM.1" + ct_lines + "sample\\IM.2Reading File Open Error!\n");
  EXPECT_EQ(run.err, "slicejpeg: sample/IM.2: cannot open: no such file or directory\n");
  EXPECT_TRUE(exists("sample/sample001.jpg"));
  EXPECT_FALSE(exists("sample/sample003.jpg"));
  EXPECT_EQ(dir.read("sample_max.txt"), kept_max);
}

struct refusal_case {
  const char* name;
  std::string bytes;
  std::string message;
  std::string tail;  // standard output after the path
};

// The three labelled lines: columns under "Lines", rows under "Colums".
std::string header(int columns, int rows, int bits) {
  return "\tLines \t" + std::to_string(columns) + "\n\tColums\t" + std::to_string(rows) +
         "\n\tBit_Allocate\t" + std::to_string(bits) + "\n";
}

TEST_F(slicejpeg_cli, refused_slice_stops_the_batch_and_keeps_the_max_file) {
  const std::vector<std::int16_t> four(4, 1);
  const std::vector<refusal_case> cases = {
      {"header cut", slice_bytes{}.image_header(2, 2).raw({0xE0, 0x7F}).text(),
       "file ends inside an element header", "\n"},
      {"value cut", slice_bytes{}.header(0x0028, 0x0010, 2).raw({1}).text(),
       "file ends inside element (0028,0010)", "\n"},
      {"pixels cut", slice_bytes{}.image_header(2, 2).header(0x7FE0, 0x0010, 8).raw({1}).text(),
       "file ends inside the pixel data", "\n"},
      {"sequence cut", slice_bytes{}.header(0x0008, 0x1140, 0xFFFFFFFF).text(),
       "file ends inside sequence (0008,1140)", "\n"},
      {"no pixel data", slice_bytes{}.image_header(2, 2).text(), "no pixel data element", "\n"},
      {"no rows",
       slice_bytes{}
           .u16_element(0x0028, 0x0011, 2)
           .u16_element(0x0028, 0x0100, 16)
           .pixels(four)
           .text(),
       "no Rows element before the pixel data", "\n"},
      {"no columns",
       slice_bytes{}
           .u16_element(0x0028, 0x0010, 2)
           .u16_element(0x0028, 0x0100, 16)
           .pixels(four)
           .text(),
       "no Columns element before the pixel data", "\n"},
      {"no bits",
       slice_bytes{}
           .u16_element(0x0028, 0x0010, 2)
           .u16_element(0x0028, 0x0011, 2)
           .pixels(four)
           .text(),
       "no Bits Allocated element before the pixel data", "\n"},
      {"short pixel data", slice_bytes{}.image_header(2, 2).pixels({1, 2, 3}).text(),
       "pixel data holds 6 bytes, the image needs 8", header(2, 2, 16)},
      {"no pixels", slice_bytes{}.image_header(0, 2).pixels({}).text(), "image has no pixels",
       header(2, 0, 16)},
      // A file cut to nothing is damaged, not a skipped object.
      {"empty", "", "file is empty or holds only zero bytes", "\n"},
      {"zero bytes", std::string(4096, '\0'), "file is empty or holds only zero bytes", "\n"},
  };
  dir.write("sample_list.txt", "sample\\IM.1\nsample\\IM.2\nsample\\IM.3\n");
  write_slice("sample/IM.1", ct_samples);
  write_slice("sample/IM.3", ct_samples);
  for (const auto& c : cases) {
    dir.write("sample/IM.2", c.bytes);
    dir.write("sample_max.txt", kept_max);
    dir.write("sample/sample003.jpg", "kept");
    const auto run = run_slicejpeg(dir.path(), "sample_list.txt");
    EXPECT_EQ(run.status, 2) << c.name;
    EXPECT_EQ(run.err, "slicejpeg: sample/IM.2: " + c.message + "\n") << c.name;
    EXPECT_EQ(run.out, "sample\\IM.1" + ct_lines + "sample\\IM.2" + c.tail) << c.name;
    EXPECT_EQ(dir.read("sample_max.txt"), kept_max) << c.name;
    EXPECT_EQ(dir.read("sample/sample003.jpg"), "kept") << c.name;
  }
}

TEST_F(slicejpeg_cli, name_without_slice_number_is_refused) {
  write_slice("sample/IM.1", ct_samples);
  write_slice("sample/scan", ct_samples);
  dir.write("sample_list.txt", "sample\\IM.1\nsample\\scan\n");
  const auto run = run_slicejpeg(dir.path(), "sample_list.txt");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "slicejpeg: sample/scan: no slice number in the file name\n");
  EXPECT_FALSE(exists("sample_max.txt"));
}

TEST_F(slicejpeg_cli, unwritable_jpeg_is_reported_and_the_batch_goes_on) {
  for (const char* name : {"sample/IM.1", "sample/IM.2", "sample/IM.3"})
    write_slice(name, ct_samples);
  fs::create_directory(dir / "sample/sample002.jpg");
  dir.write("sample_list.txt", "sample\\IM.1\nsample\\IM.2\nsample\\IM.3\n");
  const auto run = run_slicejpeg(dir.path(), "sample_list.txt");
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.err.rfind("slicejpeg: sample/sample002.jpg: cannot replace: ", 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2);  // and the wrap warning
  EXPECT_NE(run.out.find("sample\\IM.3" + ct_lines), std::string::npos);
  EXPECT_TRUE(exists("sample/sample001.jpg"));
  EXPECT_TRUE(exists("sample/sample003.jpg"));
  EXPECT_EQ(dir.read("sample_max.txt"), "max :3071.000000\nmin :-1024.000000\n");
}

TEST_F(slicejpeg_cli, unusable_max_file_stops_before_any_jpeg) {
  write_slice("sample/IM.1", ct_samples);
  dir.write("sample_list.txt", "sample\\IM.1\n");
  dir.write("sample_max.txt", "max :12\n");
  const auto run = run_slicejpeg(dir.path(), "sample_list.txt");
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(
      run.err,
      "slicejpeg: sample_max.txt: not a max file (expected the lines \"max :\" and \"min :\")\n");
  EXPECT_EQ(dir.read("sample_max.txt"), "max :12\n");
  EXPECT_FALSE(exists("sample/sample001.jpg"));
}

TEST_F(slicejpeg_cli, console_lines_come_before_the_error_line_on_one_stream) {
  write_slice("sample/IM.1", ct_samples);
  dir.write("sample/IM.2", "junk");
  dir.write("sample_list.txt", "sample\\IM.1\nsample\\IM.2\n");
  const auto run = run_in(dir.path(), shell_quote(SLICEJPEG_BIN) + " sample_list.txt 2>&1 | cat");
  EXPECT_EQ(run.out,
            "sample\\IM.1" + ct_lines +
                "sample\\IM.2\nslicejpeg: sample/IM.2: file ends inside an element header\n");
}

TEST_F(slicejpeg_cli, help_prints_usage) {
  const auto run = run_slicejpeg(dir.path(), "--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      run.out.rfind("usage: slicejpeg [--window C,W | NAME | file | series] [--order RULE]", 0),
      0u);
  EXPECT_FALSE(exists("stomach_max.txt"));
}

TEST_F(slicejpeg_cli, more_than_999_slices_get_four_digit_names) {
  const auto made =
      run_in(dir.path(), shell_quote(PHANTOM_BIN) + " --width 4 --height 3 --slices 1200 wide");
  ASSERT_EQ(made.status, 0) << made.err;
  std::string list;
  for (int i = 1; i <= 1200; ++i) list += "wide\\IM." + std::to_string(i) + "\r\n";
  dir.write("wide_list.txt", list);
  const auto run = run_slicejpeg(dir.path(), "wide_list.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> jpegs;
  for (const auto& entry : fs::directory_iterator(dir / "wide"))
    if (entry.path().extension() == ".jpg") jpegs.push_back(entry.path().filename().string());
  std::sort(jpegs.begin(), jpegs.end());
  ASSERT_EQ(jpegs.size(), 1200u);
  EXPECT_EQ(jpegs[0], "wide0001.jpg");
  EXPECT_EQ(jpegs[99], "wide0100.jpg");
  EXPECT_EQ(jpegs[100], "wide0101.jpg");
  EXPECT_EQ(jpegs[999], "wide1000.jpg");
  EXPECT_EQ(jpegs[1199], "wide1200.jpg");
}
