#include "triview/stack_loader.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <string>
#include <vector>

#include "common/jpeg_codec.hpp"
#include "tests/common/exif_jpeg.hpp"
#include "tests/support/temp_dir.hpp"
#include "triview/imread_fallback.hpp"
#include "triview/render.hpp"

namespace {

using kind = triview::slice_outcome::kind;

// Fills the slice with n for "n"; "n:WxH" declares W x H instead; "bad"
// fails; "colour" needs a colour stack; "short" ends early.
struct fake_decoder {
  std::atomic<int> calls{0};
  triview::slice_outcome operator()(const std::string& path, cv::Mat& slice) {
    ++calls;
    triview::slice_outcome outcome;
    if (path == "bad") outcome.what = kind::unreadable;
    if (path == "colour" && slice.channels() == 1) outcome.what = kind::needs_colour;
    const auto colon = path.find(':');
    if (colon != std::string::npos) {
      outcome.what = kind::size_differs;
      outcome.size = {std::stoi(path.substr(colon + 1)),
                      std::stoi(path.substr(path.find('x') + 1))};
    }
    if (outcome.what != kind::ok) return outcome;
    outcome.incomplete = path == "short";
    slice.setTo(cv::Scalar::all(std::isdigit(path[0]) ? std::stoi(path) : 200));
    return outcome;
  }
  cv::Mat first(const std::string& path, int type = CV_8UC3) {
    cv::Mat slice(3, 4, type);
    (*this)(path, slice);
    return slice;
  }
};

std::vector<std::string> numbered(int count) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) paths.push_back(std::to_string(i));
  return paths;
}

triview::load_result load(const std::vector<std::string>& paths, fake_decoder& decoder,
                          unsigned threads, int type = CV_8UC3) {
  return triview::load_stack(paths, decoder.first(paths[0], type), std::ref(decoder),
                             {threads, {}});
}

TEST(load_stack, keeps_list_order_and_decodes_the_first_slice_once) {
  for (const int count : {1, 37})
    for (const int type : {CV_8UC1, CV_8UC3})
      for (const unsigned threads : {1u, 2u, 4u}) {
        fake_decoder decoder;
        const auto result = load(numbered(count), decoder, threads, type);
        ASSERT_FALSE(result.failure);
        EXPECT_EQ(decoder.calls.load(), count);
        ASSERT_EQ(result.stack.count(), count);
        EXPECT_EQ(result.stack.width, 4);
        EXPECT_EQ(result.stack.height, 3);
        EXPECT_EQ(result.stack.channels, CV_MAT_CN(type));
        const int slice_bytes = 3 * 4 * CV_MAT_CN(type);
        for (int i = 0; i < count; ++i) {
          const cv::Mat& slice = result.stack.slices[static_cast<std::size_t>(i)];
          EXPECT_EQ(slice.type(), type);
          EXPECT_EQ(slice.ptr(2)[3 * CV_MAT_CN(type)], i);
          // One block holds the stack: slice after slice, no copy of its own.
          EXPECT_EQ(slice.data, result.stack.slices[0].data + i * slice_bytes);
        }
      }
}

TEST(load_stack, reports_the_first_failure_in_list_order) {
  for (const unsigned threads : {1u, 2u}) {
    fake_decoder decoder;
    auto paths = numbered(40);
    paths[9] = "bad";
    paths[30] = "bad";
    auto result = load(paths, decoder, threads);
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->outcome.what, kind::unreadable);
    EXPECT_EQ(result.failure->path, "bad");
    EXPECT_EQ(result.stack.count(), 0);

    paths[4] = "4:5x3";  // wider than the first slice, before the unreadable one
    result = load(paths, decoder, threads);
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->outcome.what, kind::size_differs);
    EXPECT_EQ(result.failure->path, "4:5x3");
    EXPECT_EQ(result.failure->outcome.size, cv::Size(5, 3));
  }
}

TEST(load_stack, a_colour_slice_makes_a_grey_stack_colour_and_early_ends_are_listed) {
  fake_decoder decoder;
  auto paths = numbered(6);
  paths[2] = "colour";
  paths[4] = "short";
  const auto result = load(paths, decoder, 2, CV_8UC1);
  ASSERT_FALSE(result.failure);
  EXPECT_EQ(result.stack.channels, 3);
  EXPECT_EQ(result.stack.slices[5].type(), CV_8UC3);
  EXPECT_EQ(result.stack.slices[0].at<cv::Vec3b>(1, 1), cv::Vec3b(0, 0, 0));
  EXPECT_EQ(result.stack.slices[5].at<cv::Vec3b>(1, 1), cv::Vec3b(5, 5, 5));
  EXPECT_EQ(result.incomplete, std::vector<std::string>{"short"});
}

TEST(stack_bytes, counts_in_size_t_and_refuses_what_cannot_be_addressed) {
  // 32,787 slices of 1 x 65500 overflow an int, not a size_t.
  EXPECT_EQ(triview::stack_bytes(32787, {1, 65500}, 1), std::size_t{32787} * 65500);
  EXPECT_EQ(triview::stack_bytes(2000, {512, 512}, 3), std::size_t{2000} * 512 * 512 * 3);
  EXPECT_FALSE(triview::stack_bytes(std::size_t{1} << 40, {65535, 65535}, 3));
  EXPECT_FALSE(triview::stack_bytes(SIZE_MAX, {2, 1}, 1));
}

// Under a limit of address space a stack beyond it is refused, not thrown.
TEST(load_stack, a_stack_beyond_the_memory_left_is_a_failure_with_its_size) {
  fake_decoder decoder;
  cv::Mat first(512, 512, CV_8UC3, cv::Scalar(1));
  const std::vector<std::string> paths(100000, "1");
  const auto result = triview::load_stack(paths, first, std::ref(decoder), {1, {}});
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->what, triview::load_failure::kind::no_memory);
  EXPECT_EQ(result.failure->bytes, std::size_t{100000} * 512 * 512 * 3);
  EXPECT_EQ(decoder.calls.load(), 0);
}

void write_bytes(const temp_dir& dir, const std::string& name, const std::vector<std::uint8_t>& b) {
  dir.write(name, std::string(b.begin(), b.end()));
}

cv::Mat ramp(int rows, int columns, int type) {
  cv::Mat image(rows, columns, type);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < columns * image.channels(); ++x)
      image.ptr(y)[x] = static_cast<std::uint8_t>(7 * x + 13 * y);
  return image;
}

// A JPEG of 8 x 8 whose frame header declares `width` x `height`.
std::vector<std::uint8_t> bomb(int width, int height) {
  std::vector<std::uint8_t> jpeg;
  EXPECT_TRUE(cv::imencode(".jpg", cv::Mat(8, 8, CV_8UC1, cv::Scalar(0)), jpeg));
  return with_declared_size(std::move(jpeg), width, height);
}

// Address space capped for one test, so a bomb that gets decoded fails the test.
struct address_limit {
  rlimit saved{};
  explicit address_limit(std::size_t above_now) {
    ::getrlimit(RLIMIT_AS, &saved);
    std::size_t used = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%zu", &used) != 1) used = 0;
      std::fclose(statm);
    }
    const rlimit capped{used * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) + above_now,
                        saved.rlim_max};
    ::setrlimit(RLIMIT_AS, &capped);
  }
  ~address_limit() { ::setrlimit(RLIMIT_AS, &saved); }
};

bool sanitized() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#else
  return false;
#endif
}

TEST(decode_slice_file, a_decompression_bomb_is_refused_before_any_pixel_buffer) {
  temp_dir dir;
  write_bytes(dir, "bomb.jpg", bomb(30000, 30000));
  write_bytes(dir, "wide.jpg", bomb(64, 30000));
  ASSERT_LT(std::filesystem::file_size(dir / "bomb.jpg"), 400u);
  std::unique_ptr<address_limit> limit;
  if (!sanitized()) limit = std::make_unique<address_limit>(std::size_t{256} << 20);
  const auto first = triview::decode_first_slice((dir / "bomb.jpg").string());
  EXPECT_TRUE(first.image.empty());
  EXPECT_EQ(first.outcome.what, kind::implausible);
  EXPECT_EQ(first.outcome.size, cv::Size(30000, 30000));
  cv::Mat slice(30000, 64, CV_8UC1);  // of the declared size: then it is the file's size
  auto outcome = triview::decode_slice_file_into((dir / "wide.jpg").string(), slice);
  EXPECT_EQ(outcome.what, kind::implausible);
  slice = cv::Mat(64, 64, CV_8UC1);
  // Plausible for its bytes or not, another size is refused from the header.
  write_bytes(dir, "other.jpg", [] {
    std::vector<std::uint8_t> jpeg;
    cv::imencode(".jpg", ramp(70, 64, CV_8UC1), jpeg);
    return jpeg;
  }());
  outcome = triview::decode_slice_file_into((dir / "other.jpg").string(), slice);
  EXPECT_EQ(outcome.what, kind::size_differs);
  EXPECT_EQ(outcome.size, cv::Size(64, 70));
}

TEST(decode_slice_file, only_readable_regular_files_are_read) {
  temp_dir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_directory(dir / "directory");
  dir.write("broken.jpg", "not a picture");
  dir.write("empty.jpg", "");
  std::vector<std::uint8_t> jpeg;
  ASSERT_TRUE(cv::imencode(".jpg", ramp(6, 10, CV_8UC3), jpeg));
  write_bytes(dir, "header_cut.jpg", {jpeg.begin(), jpeg.begin() + 100});
  ASSERT_TRUE(cv::imread((dir / "header_cut.jpg").string()).empty());
  const struct {
    std::string path;
    std::string reason;  // empty: not checked
  } cases[] = {
      {(dir / "fifo").string(), "is a fifo, not a regular file"},
      {"/dev/zero", "is a device, not a regular file"},
      {(dir / "directory").string(), "is a directory"},
      {(dir / "missing.jpg").string(), "no such file or directory"},
      {(dir / "broken.jpg").string(), ""},
      {(dir / "empty.jpg").string(), ""},
      {(dir / "header_cut.jpg").string(), ""},
  };
  cv::Mat slice(6, 10, CV_8UC3);
  for (const auto& c : cases) {
    const auto first = triview::decode_first_slice(c.path);
    EXPECT_TRUE(first.image.empty()) << c.path;
    const auto outcome = triview::decode_slice_file_into(c.path, slice);
    EXPECT_EQ(outcome.what, kind::unreadable) << c.path;
    if (c.reason.empty()) continue;
    EXPECT_EQ(first.outcome.reason, c.reason) << c.path;
    EXPECT_EQ(outcome.reason, c.reason) << c.path;
  }
}

bool same_pixels(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// Grey files of any kind are held as their one sample, colour files as
// imread's three; JPEGs take the fast path, a PNG and an Exif-turned JPEG go
// through imread's module; a JPEG cut short decodes as imread shows it and
// says so. All land in the given storage.
TEST(decode_slice_file, every_file_gives_imreads_pixels_in_its_channels) {
  temp_dir dir;
  std::vector<std::uint8_t> grey_jpeg, colour_jpeg;
  ASSERT_TRUE(cv::imencode(".jpg", ramp(40, 48, CV_8UC1), grey_jpeg));
  ASSERT_TRUE(cv::imencode(".jpg", ramp(40, 48, CV_8UC3), colour_jpeg));
  write_bytes(dir, "grey.jpg", grey_jpeg);
  write_bytes(dir, "colour.jpg", colour_jpeg);
  write_bytes(dir, "short.jpg", {grey_jpeg.begin(), grey_jpeg.end() - 200});
  write_bytes(dir, "turned.jpg", with_exif_orientation(colour_jpeg, 6));
  ASSERT_TRUE(cv::imwrite((dir / "grey.png").string(), ramp(40, 48, CV_8UC1)));
  ASSERT_TRUE(cv::imwrite((dir / "colour.png").string(), ramp(40, 48, CV_8UC3)));
  const struct {
    const char* name;
    int channels;
    bool incomplete;
  } cases[] = {{"grey.jpg", 1, false}, {"colour.jpg", 3, false}, {"short.jpg", 1, true},
               {"grey.png", 1, false}, {"colour.png", 3, false}, {"turned.jpg", 3, false}};
  for (const auto& c : cases) {
    const std::string path = (dir / c.name).string();
    const cv::Mat expected = cv::imread(path, cv::IMREAD_COLOR);
    const auto first = triview::decode_first_slice(path);
    ASSERT_EQ(first.image.channels(), c.channels) << c.name;
    EXPECT_EQ(first.outcome.incomplete, c.incomplete) << c.name;
    cv::Mat as_colour = first.image;
    if (c.channels == 1) cv::merge(std::vector<cv::Mat>(3, first.image), as_colour);
    EXPECT_TRUE(same_pixels(as_colour, expected)) << c.name;

    cv::Mat storage(2 * expected.rows, expected.cols, CV_8UC(c.channels), cv::Scalar::all(0));
    cv::Mat slice = storage.rowRange(expected.rows, 2 * expected.rows);
    const auto outcome = triview::decode_slice_file_into(path, slice);
    EXPECT_EQ(outcome.what, kind::ok) << c.name;
    EXPECT_EQ(outcome.incomplete, c.incomplete) << c.name;
    EXPECT_EQ(slice.data, storage.ptr(expected.rows)) << c.name;
    EXPECT_TRUE(same_pixels(slice, first.image)) << c.name;
  }
  EXPECT_EQ(cv::imread((dir / "turned.jpg").string()).size(), cv::Size(40, 48));
  cv::Mat grey_slice(40, 48, CV_8UC1);
  EXPECT_EQ(triview::decode_slice_file_into((dir / "colour.jpg").string(), grey_slice).what,
            kind::needs_colour);
  EXPECT_FALSE(triview::fallback_problem());
}

// A grey stack shows what the same stack held as colour shows, pixel for pixel.
TEST(grey_stack, renders_as_its_colour_twin) {
  triview::slice_stack grey, colour;
  grey.width = colour.width = 21;
  grey.height = colour.height = 5;
  grey.channels = 1;
  for (int i = 0; i < 4; ++i) {
    grey.slices.push_back(ramp(5, 21, CV_8UC1) + cv::Scalar(60 * i));
    cv::Mat twin;
    cv::merge(std::vector<cv::Mat>(3, grey.slices.back()), twin);
    colour.slices.push_back(twin);
  }
  for (const bool flip : {false, true})
    for (const bool raw : {false, true}) {
      const triview::view_state state{3, 17, 2, flip, raw};
      for (const auto render : {triview::render_xz, triview::render_yz, triview::render_xy}) {
        cv::Mat from_grey(5, 21, CV_8UC3, cv::Scalar(1)), from_colour = from_grey.clone();
        render(grey, state, from_grey);
        render(colour, state, from_colour);
        EXPECT_TRUE(same_pixels(from_grey, from_colour)) << "flip " << flip << " raw " << raw;
      }
    }
}

}  // namespace
