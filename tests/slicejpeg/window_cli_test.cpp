// Whole-program runs with --window: the real CT slice against DCMTK's
// rendering, one grey scale across a series, and malformed options.
#include <gtest/gtest.h>

#include <algorithm>
#include <opencv2/imgcodecs.hpp>
#include <set>

#include "tests/support/program_run.hpp"
#include "tests/support/slice_bytes.hpp"
#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;

namespace {

cv::Mat read_grey(const fs::path& file) {
  return cv::imread(file.string(), cv::IMREAD_GRAYSCALE);
}

// A text element, padded to an even length as DICOM values are.
slice_bytes& text_element(slice_bytes& slice, unsigned element, std::string value) {
  if (value.size() % 2 != 0) value += ' ';
  return slice.element(0x0028, element, {value.begin(), value.end()});
}

std::set<std::string> listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    names.insert(fs::relative(entry.path(), dir).string());
  return names;
}

class slicejpeg_window : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(dir / "ct"); }
  program_run run(const std::string& args) { return run_slicejpeg(dir.path(), args); }
  temp_dir dir;
};

struct dcmtk_case {
  const char* name;
  std::string modify;  // dcmodify arguments for the copy slicejpeg reads; empty: none
  std::string window;  // --window value
  std::string dcmtk;   // dcmj2pnm window options on the unmodified file
  bool inverted;       // slicejpeg's image is DCMTK's upside down in grey
};

}  // namespace

TEST_F(slicejpeg_window, real_ct_slice_matches_dcmtk_rendering) {
  const std::string& files = pydicom_test_files();
  if (files.empty()) GTEST_SKIP() << "python3-pydicom is not installed";
  const std::string source = files + "/CT_small.dcm";
  const std::vector<dcmtk_case> cases = {
      {"centre and width", "", "40,400", "+Ww 40 400", false},
      {"lung preset", "", "lung", "+Ww -600 1500", false},
      // The first of several windows in the file.
      {"own window", "-i '(0028,1050)=-100\\40' -i '(0028,1051)=300\\400'", "file", "+Ww -100 300",
       false},
      {"monochrome1", "-i '(0028,0004)=MONOCHROME1'", "soft", "+Ww 40 400", true},
  };
  dir.write("ct_list.txt", "ct\\IM.1\r\n");
  fs::copy_file(source, dir / "ct/IM.1");
  const auto plain = run("ct_list.txt");
  ASSERT_EQ(plain.status, 0) << plain.err;
  const std::string plain_max = dir.read("ct_max.txt");

  for (const auto& c : cases) {
    fs::copy_file(source, dir / "ct/IM.1", fs::copy_options::overwrite_existing);
    fs::remove(dir / "ct_max.txt");
    if (!c.modify.empty()) {
      const auto modified = run_in(dir.path(), "dcmodify -nb " + c.modify + " ct/IM.1");
      ASSERT_EQ(modified.status, 0) << "dcmtk is needed: " << modified.err;
    }
    const auto rendered =
        run_in(dir.path(), "dcmj2pnm " + c.dcmtk + " " + shell_quote(source) + " dcmtk.pgm");
    ASSERT_EQ(rendered.status, 0) << "dcmtk is needed: " << rendered.err;
    const auto windowed = run("--window " + c.window + " ct_list.txt");
    ASSERT_EQ(windowed.status, 0) << c.name << ": " << windowed.err;
    // Console lines and the max file keep the stored extremes.
    EXPECT_EQ(windowed.out, plain.out) << c.name;
    EXPECT_EQ(dir.read("ct_max.txt"), plain_max) << c.name;

    cv::Mat expected = read_grey(dir / "dcmtk.pgm");
    const cv::Mat ours = read_grey(dir / "ct/ct001.jpg");
    ASSERT_FALSE(expected.empty()) << c.name;
    ASSERT_EQ(ours.size(), expected.size()) << c.name;
    if (c.inverted) expected = 255 - expected;
    cv::Mat difference;
    cv::absdiff(ours, expected, difference);
    EXPECT_LT(cv::mean(difference)[0], 1.5) << c.name;
    EXPECT_LE(cv::norm(difference, cv::NORM_INF), 12.0) << c.name;
    // Not a trivially flat picture on either side.
    EXPECT_GT(cv::norm(expected, cv::NORM_INF), 100.0) << c.name;
  }
}

TEST_F(slicejpeg_window, file_window_refuses_a_file_without_one) {
  const std::string& files = pydicom_test_files();
  if (files.empty()) GTEST_SKIP() << "python3-pydicom is not installed";
  // MR_small holds a window, CT_small none; they are two series, so the
  // list takes them by --series.
  fs::copy_file(files + "/MR_small.dcm", dir / "ct/IM.1");
  fs::copy_file(files + "/CT_small.dcm", dir / "ct/IM.2");
  dir.write("ct_list.txt", "ct\\IM.1\nct\\IM.2\n");
  const std::string kept_max = "max :5000.000000\nmin :-2000.000000\n";
  dir.write("ct_max.txt", kept_max);
  const auto refused = run("--window file --series all ct_list.txt");
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(refused.err.ends_with(
      "slicejpeg: ct/IM.2: no window center and width (0028,1050/1051) in the file; use "
      "--window C,W, a preset (soft, lung, bone, brain) or --window series\n"))
      << refused.err;
  std::vector<std::string> written;
  for (const auto& entry : fs::recursive_directory_iterator(dir / "ct"))
    if (entry.path().extension() == ".jpg") written.push_back(entry.path().parent_path().string());
  ASSERT_EQ(written.size(), 1u);  // the MR series, before the CT series stopped the run
  EXPECT_TRUE(written[0].ends_with(".5457")) << written[0];
  EXPECT_EQ(dir.read("ct_max.txt"), kept_max);
}

// Three slices of one series whose stored samples differ but whose modality
// values are the same four tissues, one 8 x 8 block each (flat blocks come
// through JPEG unchanged).
TEST_F(slicejpeg_window, series_window_gives_one_grey_to_one_value) {
  const std::vector<double> tissues = {-1000, -100, 40, 1000};
  struct rescale {
    const char* slope;
    const char* intercept;
    double slope_value, intercept_value;
  };
  const std::vector<rescale> slices = {
      {nullptr, nullptr, 1, 0}, {"1", "-1024", 1, -1024}, {"2", "-1000", 2, -1000}};
  std::string list;
  for (std::size_t s = 0; s < slices.size(); ++s) {
    std::vector<std::int16_t> samples(16 * 16);
    for (int row = 0; row < 16; ++row)
      for (int column = 0; column < 16; ++column) {
        const double modality = tissues[static_cast<std::size_t>(row / 8 * 2 + column / 8)];
        samples[static_cast<std::size_t>(row * 16 + column)] = static_cast<std::int16_t>(
            (modality - slices[s].intercept_value) / slices[s].slope_value);
      }
    slice_bytes slice;
    slice.image_header(16, 16);
    if (slices[s].slope) {
      text_element(slice, 0x1052, slices[s].intercept);
      text_element(slice, 0x1053, slices[s].slope);
    }
    const std::string name = "ct/IM." + std::to_string(s + 1);
    dir.write(name, slice.pixels(samples).text());
    list += "ct\\IM." + std::to_string(s + 1) + "\n";
  }
  dir.write("ct_list.txt", list);
  const auto plain = run("ct_list.txt");
  ASSERT_EQ(plain.status, 0) << plain.err;
  const std::string plain_max = dir.read("ct_max.txt");
  fs::remove(dir / "ct_max.txt");

  const auto windowed = run("--window series ct_list.txt");
  ASSERT_EQ(windowed.status, 0) << windowed.err;
  EXPECT_EQ(windowed.out, plain.out);
  EXPECT_EQ(dir.read("ct_max.txt"), plain_max);
  // Lowest value black, highest white, the same grey in every slice.
  const std::vector<int> expected = {0, 114, 132, 255};
  for (std::size_t s = 0; s < slices.size(); ++s) {
    const cv::Mat grey = read_grey(dir / ("ct/ct00" + std::to_string(s + 1) + ".jpg"));
    ASSERT_EQ(grey.rows, 16);
    for (std::size_t t = 0; t < tissues.size(); ++t) {
      const int row = static_cast<int>(t / 2 * 8 + 4), column = static_cast<int>(t % 2 * 8 + 4);
      EXPECT_NEAR(grey.at<std::uint8_t>(row, column), expected[t], 1)
          << "slice " << s + 1 << ", " << tissues[t] << " HU";
    }
  }

  // A slice that would stop the batch stops it before any JPEG is written.
  for (int s = 1; s <= 3; ++s) fs::remove(dir / ("ct/ct00" + std::to_string(s) + ".jpg"));
  dir.write("ct/IM.3", "junk");
  const auto stopped = run("--window series ct_list.txt");
  EXPECT_EQ(stopped.status, 2);
  EXPECT_EQ(stopped.out, "ct\\IM.3\n");
  EXPECT_EQ(stopped.err, "slicejpeg: ct/IM.3: file ends inside an element header\n");
  EXPECT_FALSE(fs::exists(dir / "ct/ct001.jpg"));
  EXPECT_EQ(dir.read("ct_max.txt"), plain_max);
}

// The messages themselves are the option parser's tests.
TEST_F(slicejpeg_window, malformed_options_end_with_64_and_write_nothing) {
  dir.write("ct/IM.1", slice_bytes{}.image_header(2, 2).pixels({1, 2, 3, 4}).text());
  dir.write("ct_list.txt", "ct\\IM.1\n");
  const auto before = listing(dir.path());
  for (const char* args : {"--window", "--window liver ct_list.txt", "--levels ct_list.txt"}) {
    const auto refused = run(args);
    EXPECT_EQ(refused.status, 64) << args;
    EXPECT_EQ(refused.out, "") << args;
    EXPECT_EQ(refused.err.rfind("slicejpeg: -", 0), 0u) << args << ": " << refused.err;
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << args;
    EXPECT_EQ(listing(dir.path()), before) << args;
  }
}
