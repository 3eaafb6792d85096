// A real CT slice: the file Debian's python3-pydicom ships, turned by DCMTK
// into the flat implicit-VR form, converted by slicejpeg, and checked against
// what DCMTK and pydicom report. Missing tools fail the test: setup installs them.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "tests/support/program_run.hpp"
#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;

namespace {

// Rows, columns, minimum and maximum sample as pydicom reads them, and the
// expected 8-bit image, (sample - min) mod 256, written as raw bytes.
const char* const reference_script = R"(
import os, sys, pydicom.data
path = os.path.join(os.path.dirname(pydicom.data.__file__), 'test_files', 'CT_small.dcm')
data = pydicom.dcmread(path)
samples = data.pixel_array.astype('int32')
((samples - samples.min()) % 256).astype('uint8').tofile(sys.argv[1])
print(path, data.Rows, data.Columns, samples.min(), samples.max())
)";

struct reference {
  std::string source;
  int rows = 0, columns = 0;
  double min = 0, max = 0;
};

int dcmdump_value(const fs::path& dir, const std::string& file, const std::string& tag) {
  const auto run = run_in(dir, "dcmdump +P " + tag + " " + file);
  EXPECT_EQ(run.status, 0) << run.err;
  std::istringstream line(run.out);
  std::string tag_text, vr;
  int value = -1;
  line >> tag_text >> vr >> value;
  return value;
}

}  // namespace

TEST(slicejpeg_real_data, converts_the_ct_slice_shipped_with_pydicom) {
  temp_dir dir;
  dir.write("script.py", reference_script);
  const auto made = run_in(dir.path(), "/usr/bin/python3 script.py expected.raw");
  ASSERT_EQ(made.status, 0) << "python3-pydicom and python3-numpy are needed: " << made.err;
  reference ref;
  std::istringstream(made.out) >> ref.source >> ref.rows >> ref.columns >> ref.min >> ref.max;
  ASSERT_GT(ref.rows, 0);

  fs::create_directory(dir / "ct");
  const auto converted =
      run_in(dir.path(), "dcmconv +ti -F " + shell_quote(ref.source) + " ct/IM.1");
  ASSERT_EQ(converted.status, 0) << "dcmtk is needed: " << converted.err;
  EXPECT_EQ(dcmdump_value(dir.path(), "ct/IM.1", "0028,0010"), ref.rows);
  EXPECT_EQ(dcmdump_value(dir.path(), "ct/IM.1", "0028,0011"), ref.columns);

  dir.write("ct_list.txt", "ct\\IM.1\r\n");
  const auto run = run_slicejpeg(dir.path(), "ct_list.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  char expected_out[256];
  std::snprintf(expected_out, sizeof expected_out,
                "ct\\IM.1\tLines \t%d\n\tColums\t%d\n\tBit_Allocate\t16\n"
                "\tImage :Max is %f Min is %f\n",
                ref.columns, ref.rows, ref.max, ref.min);
  EXPECT_EQ(run.out, expected_out);
  char expected_max[128];
  std::snprintf(expected_max, sizeof expected_max, "max :%f\nmin :%f\n", ref.max, ref.min);
  EXPECT_EQ(dir.read("ct_max.txt"), expected_max);

  const std::string raw = dir.read("expected.raw");
  ASSERT_EQ(raw.size(), static_cast<std::size_t>(ref.rows * ref.columns));
  const cv::Mat expected(ref.rows, ref.columns, CV_8UC1, const_cast<char*>(raw.data()));
  const cv::Mat jpeg = cv::imread((dir / "ct/ct001.jpg").string(), cv::IMREAD_UNCHANGED);
  ASSERT_EQ(jpeg.type(), CV_8UC1);
  ASSERT_EQ(jpeg.size(), expected.size());
  // Within JPEG tolerance of the exact image ...
  EXPECT_GT(cv::PSNR(jpeg, expected), 30.0);
  // ... and exactly what OpenCV's default encoding of the exact image decodes to.
  std::vector<std::uint8_t> encoded;
  ASSERT_TRUE(cv::imencode(".jpg", expected, encoded));
  EXPECT_EQ(cv::norm(jpeg, cv::imdecode(encoded, cv::IMREAD_UNCHANGED), cv::NORM_INF), 0.0);
}
