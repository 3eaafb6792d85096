#include "slicejpeg/batch.hpp"

#include <sched.h>
#include <sys/stat.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "common/atomic_file.hpp"
#include "common/diagnostic.hpp"
#include "common/path_list.hpp"
#include "common/path_text.hpp"
#include "slicejpeg/max_file.hpp"
#include "slicejpeg/slice_convert.hpp"
#include "slicejpeg/slice_naming.hpp"
#include "slicejpeg/text_format.hpp"

namespace slicejpeg {
namespace {

// Console text goes out as it happens, since standard output may be a pipe.
class console {
 public:
  console(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

  void print(std::string_view text) {
    if (text.empty()) return;
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
    line_open_ = text.back() != '\n';
  }

  // One error line; a console line left open (a path, say) is ended first so
  // the two do not run together on a terminal.
  void problem(std::string_view file, std::string_view what) {
    if (line_open_) print("\n");
    std::fprintf(err_, "%s\n", common::diagnostic("slicejpeg", file, what).c_str());
    std::fflush(err_);
  }

 private:
  std::FILE* out_;
  std::FILE* err_;
  bool line_open_ = false;
};

struct batch_state {
  series_range range;
  bool jpeg_failed = false;
};

std::vector<slice_job> make_jobs(const std::vector<std::string>& tokens,
                                 const std::string& prefix) {
  const std::string out_dir = output_directory(common::to_native_path(tokens.front()));
  std::vector<std::optional<std::string>> numbers;
  numbers.reserve(tokens.size());
  for (const auto& token : tokens) numbers.push_back(slice_number(common::to_native_path(token)));
  const std::size_t width = number_width(numbers);
  std::vector<slice_job> jobs;
  jobs.reserve(tokens.size());
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    slice_job job{tokens[i], common::to_native_path(tokens[i]), std::nullopt};
    if (numbers[i])
      job.output_name = output_name(out_dir, prefix, padded_number(*numbers[i], width));
    jobs.push_back(std::move(job));
  }
  return jobs;
}

// Prints one slice's console lines and writes its JPEG; returns the exit
// status when the batch has to stop here.
std::optional<int> finish_slice(const slice_job& job, const slice_outcome& outcome, console& con,
                                batch_state& state) {
  con.print(job.listed);
  if (outcome.status == slice_status::cannot_open) {
    con.print("Reading File Open Error!\n");
    return exit_status::cannot_open;
  }
  if (outcome.header) {
    con.print(format("\tLines \t%d\n", outcome.header->columns));
    con.print(format("\tColums\t%d\n", outcome.header->rows));
    con.print(format("\tBit_Allocate\t%d\n", outcome.header->bits_allocated));
  }
  if (outcome.status == slice_status::no_memory) {
    con.print("Memory allocation error! [image]");
    con.problem(job.path, outcome.problem);
    return exit_status::no_memory;
  }
  if (outcome.status == slice_status::refused) {
    con.problem(job.path, outcome.problem);
    return exit_status::bad_slice;
  }
  const std::string& name = *job.output_name;
  if (outcome.status == slice_status::not_encoded) {
    con.problem(name, outcome.problem);
    state.jpeg_failed = true;
  } else {
    const std::string_view bytes(reinterpret_cast<const char*>(outcome.jpeg.data()),
                                 outcome.jpeg.size());
    if (auto error = common::replace_file_contents(name, bytes)) {
      con.problem(name, *error);
      state.jpeg_failed = true;
    }
  }
  state.range.include(outcome.range);
  con.print(format("\tImage :Max is %f Min is %f\n", outcome.range.max, outcome.range.min));
  return std::nullopt;
}

// Converts slices on worker threads, at most `window` ahead of the slice the
// caller takes next; results come out in list order. Nothing is written to
// disk here, so stopping early leaves no later file behind.
class ordered_pipeline {
 public:
  ordered_pipeline(const std::vector<slice_job>& jobs, unsigned workers)
      : jobs_(jobs), results_(jobs.size()), window_(2 * std::size_t{workers} + 2) {
    for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
  }
  ~ordered_pipeline() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    space_.notify_all();
    for (auto& thread : threads_) thread.join();
  }
  ordered_pipeline(const ordered_pipeline&) = delete;
  ordered_pipeline& operator=(const ordered_pipeline&) = delete;

  slice_outcome take(std::size_t index) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return results_[index].has_value(); });
    slice_outcome outcome = std::move(*results_[index]);
    results_[index].reset();
    taken_ = index + 1;
    lock.unlock();
    space_.notify_all();
    return outcome;
  }

 private:
  void work() {
    std::vector<std::uint8_t> buffer;
    std::unique_lock lock(mutex_);
    while (true) {
      space_.wait(lock, [&] { return stop_ || next_ >= jobs_.size() || next_ < taken_ + window_; });
      if (stop_ || next_ >= jobs_.size()) return;
      const std::size_t index = next_++;
      lock.unlock();
      slice_outcome outcome = convert_slice(jobs_[index], buffer);
      lock.lock();
      results_[index] = std::move(outcome);
      ready_.notify_all();
    }
  }

  const std::vector<slice_job>& jobs_;
  std::vector<std::optional<slice_outcome>> results_;
  const std::size_t window_;
  std::size_t next_ = 0;
  std::size_t taken_ = 0;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable ready_, space_;
  std::vector<std::thread> threads_;
};

std::optional<int> convert_all(const std::vector<slice_job>& jobs, unsigned workers, console& con,
                               batch_state& state) {
  if (workers <= 1 || jobs.size() == 1) {
    std::vector<std::uint8_t> buffer;
    for (const auto& job : jobs)
      if (auto stop = finish_slice(job, convert_slice(job, buffer), con, state)) return stop;
    return std::nullopt;
  }
  ordered_pipeline pipeline(jobs, workers);
  for (std::size_t i = 0; i < jobs.size(); ++i)
    if (auto stop = finish_slice(jobs[i], pipeline.take(i), con, state)) return stop;
  return std::nullopt;
}

// The stored extremes, the start values when there is no max file yet, or
// nothing (with its error line) when a max file exists but cannot be used:
// starting afresh would throw the stored extremes away.
std::optional<series_range> load_max_file(const std::string& name, console& con) {
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0 && errno == ENOENT) return series_range{};
  const auto text = common::read_whole_file(name);
  if (!text || S_ISDIR(info.st_mode)) {
    con.problem(name, "cannot read the max file");
    return std::nullopt;
  }
  auto range = parse_max_file(*text);
  if (!range) con.problem(name, "not a max file (expected the lines \"max :\" and \"min :\")");
  return range;
}

}  // namespace

unsigned available_processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  const int count = CPU_COUNT(&set);
  return count > 0 ? static_cast<unsigned>(count) : 1;
}

int run_batch(const batch_options& options, std::FILE* out, std::FILE* err) {
  console con(out, err);
  const std::string list_name = common::to_native_path(options.list_name);
  std::vector<std::uint8_t> list_bytes;
  std::string problem;
  if (read_file(list_name, list_bytes, problem) != read_status::ok) {
    con.problem(list_name, "cannot open the path list: " + problem);
    return exit_status::cannot_open;
  }
  const auto tokens = common::first_tokens(
      std::string_view(reinterpret_cast<const char*>(list_bytes.data()), list_bytes.size()));
  if (tokens.empty()) {
    con.problem(list_name, "the path list holds no slice path");
    return exit_status::empty_list;
  }
  const std::string prefix = list_prefix(list_name);
  const std::string max_name = max_file_name(prefix);
  const auto stored = load_max_file(max_name, con);
  if (!stored) return exit_status::max_file_failed;

  batch_state state{*stored, false};
  const auto jobs = make_jobs(tokens, prefix);
  if (auto stop = convert_all(jobs, options.jobs, con, state)) return *stop;

  if (auto error = common::replace_file_contents(max_name, format_max_file(state.range))) {
    con.problem(max_name, *error);
    return exit_status::max_file_failed;
  }
  return state.jpeg_failed ? exit_status::jpeg_not_written : exit_status::ok;
}

}  // namespace slicejpeg
