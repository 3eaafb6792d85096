#include "slicejpeg/batch.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>

#include "common/atomic_file.hpp"
#include "common/diagnostic.hpp"
#include "common/path_list.hpp"
#include "common/path_text.hpp"
#include "common/platform.hpp"
#include "slicejpeg/max_file.hpp"
#include "slicejpeg/slice_convert.hpp"
#include "slicejpeg/slice_naming.hpp"

namespace slicejpeg {
namespace {

// Console text goes out as it happens, since standard output may be a pipe.
class console {
 public:
  console(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

  void print(std::string_view text) {
    if (text.empty()) return;
    if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) note_failure();
    if (std::fflush(out_) != 0) note_failure();
    line_open_ = text.back() != '\n';
  }

  // One error line; a console line left open (a path, say) is ended first so
  // the two do not run together on a terminal.
  void problem(std::string_view file, std::string_view what) {
    if (line_open_) print("\n");
    std::fprintf(err_, "%s\n", common::diagnostic(text::program, file, what).c_str());
    std::fflush(err_);
  }

  // errno of the first failed write to standard output, or 0.
  int out_errno() const { return out_errno_; }

 private:
  void note_failure() {
    if (out_errno_ == 0) out_errno_ = errno != 0 ? errno : EIO;
  }

  std::FILE* out_;
  std::FILE* err_;
  bool line_open_ = false;
  int out_errno_ = 0;
};

struct batch_state {
  // How frames the workers left to the writer are converted.
  const conversion_plan* plan = nullptr;
  window_lut_cache luts;
  std::vector<std::uint8_t> image;
  series_range range;
  bool jpeg_failed = false;
  std::size_t converted = 0;
  std::vector<std::pair<std::string, slice_facts>> viewed;  // output name, facts
  double widest_span = 0;  // of one image, under the default mapping
};

// Two listed files that would write one JPEG, one line each; the same file
// listed twice writes the same JPEG twice and loses nothing.
bool report_collisions(const std::vector<slice_job>& jobs, console& con) {
  std::unordered_map<std::string, const slice_job*> writers;
  bool found = false;
  for (const auto& job : jobs) {
    for (const auto& name : job.output_names) {
      const auto [seen, fresh] = writers.emplace(name, &job);
      if (fresh || seen->second->path == job.path) continue;
      con.problem(job.path, text::name_collision(name, seen->second->path));
      found = true;
    }
  }
  return found;
}

void print_header(const slice_outcome& outcome, console& con) {
  if (!outcome.header) return;
  con.print(text::lines_line(outcome.header->columns));
  con.print(text::colums_line(outcome.header->rows));
  con.print(text::bits_line(outcome.header->bits_allocated));
}

// Writes one frame's JPEG with its console lines.
void write_frame(const slice_job& job, const slice_outcome& outcome, const converted_frame& frame,
                 std::size_t index, const file_system& files, console& con, batch_state& state) {
  if (index > 0) con.print(job.listed);
  print_header(outcome, con);
  if (!frame.problem.empty()) {
    con.problem(frame.output_name, frame.problem);
    state.jpeg_failed = true;
  } else {
    const std::string_view bytes(reinterpret_cast<const char*>(frame.jpeg.data()),
                                 frame.jpeg.size());
    if (auto error = files.replace(frame.output_name, bytes)) {
      con.problem(frame.output_name, *error);
      state.jpeg_failed = true;
    }
  }
  state.range.include(frame.range);
  state.widest_span = std::max(state.widest_span, frame.range.max - frame.range.min);
  con.print(text::image_line(frame.range.max, frame.range.min));
  state.viewed.emplace_back(frame.output_name, frame.facts);
}

// The frames of a multi-frame slice, encoded one at a time as they are written.
std::optional<int> write_deferred_frames(const slice_job& job, const slice_outcome& outcome,
                                         const file_system& files, console& con,
                                         batch_state& state) {
  const deferred_frames& deferred = *outcome.deferred;
  const decoded_slice& slice = deferred.read.slice;
  for (std::size_t i = 0; i < deferred.names.size(); ++i) {
    try {
      const frame_result result =
          encode_frame(job, slice, i, deferred.names[i], *state.plan, state.luts, state.image);
      if (!result.refusal.empty()) {
        con.problem(job.path, result.refusal);
        return exit_status::bad_slice;
      }
      write_frame(job, outcome, result.frame, i, files, con, state);
    } catch (const std::bad_alloc&) {
      con.print(text::memory_error);
      con.problem(job.path, text::out_of_memory);
      return exit_status::no_memory;
    }
    if (const int signal = common::platform::interrupted())
      return exit_status::interrupted + signal;
  }
  return std::nullopt;
}

// Prints one slice file's console lines and writes its JPEGs; returns the
// exit status when the batch has to stop here.
std::optional<int> finish_slice(const slice_job& job, const slice_outcome& outcome,
                                const file_system& files, console& con, batch_state& state) {
  con.print(job.listed);
  switch (outcome.status) {
    case slice_status::cannot_open:
      con.print(text::open_error);
      con.problem(job.path, text::cannot_open_slice(outcome.problem));
      return exit_status::cannot_open;
    case slice_status::no_memory:
      print_header(outcome, con);
      con.print(text::memory_error);
      con.problem(job.path, outcome.problem);
      return exit_status::no_memory;
    case slice_status::refused:
      print_header(outcome, con);
      con.problem(job.path, outcome.problem);
      return exit_status::bad_slice;
    case slice_status::skipped:
      print_header(outcome, con);
      con.problem(job.path, outcome.problem);
      // A JPEG an earlier run made of this file would mix old data into the series.
      for (const auto& name : job.output_names)
        if (auto error = files.remove(name)) con.problem(name, *error);
      return std::nullopt;
    case slice_status::converted:
      break;
  }
  if (outcome.deferred) {
    if (auto stop = write_deferred_frames(job, outcome, files, con, state)) return stop;
  } else {
    for (std::size_t i = 0; i < outcome.frames.size(); ++i)
      write_frame(job, outcome, outcome.frames[i], i, files, con, state);
  }
  ++state.converted;
  return std::nullopt;
}

using slice_task = std::function<slice_outcome(const slice_job&, worker_tools&)>;

// Runs `task` over the slices on worker threads, at most `window` ahead of
// the slice the caller takes next; results come out in list order. Nothing
// is written to disk here, so stopping early leaves no later file behind.
class ordered_pipeline {
 public:
  ordered_pipeline(const std::vector<slice_job>& jobs, slice_task task,
                   const decoder_factory& make_decoder, unsigned workers)
      : jobs_(jobs),
        task_(std::move(task)),
        make_decoder_(make_decoder),
        results_(jobs.size()),
        window_(2 * std::size_t{workers} + 2) {
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
    worker_tools tools{{}, make_decoder_()};
    std::unique_lock lock(mutex_);
    while (true) {
      space_.wait(lock, [&] { return stop_ || next_ >= jobs_.size() || next_ < taken_ + window_; });
      if (stop_ || next_ >= jobs_.size()) return;
      const std::size_t index = next_++;
      lock.unlock();
      slice_outcome outcome = task_(jobs_[index], tools);
      lock.lock();
      results_[index] = std::move(outcome);
      ready_.notify_all();
    }
  }

  const std::vector<slice_job>& jobs_;
  const slice_task task_;
  const decoder_factory& make_decoder_;
  std::vector<std::optional<slice_outcome>> results_;
  const std::size_t window_;
  std::size_t next_ = 0;
  std::size_t taken_ = 0;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable ready_, space_;
  std::vector<std::thread> threads_;
};

// Hands every slice's outcome of `task`, in list order, to `use` until it
// asks to stop.
std::optional<int> for_each_outcome(
    const std::vector<slice_job>& jobs, const batch_options& options, const slice_task& task,
    const std::function<std::optional<int>(std::size_t index, slice_outcome&)>& use) {
  // An interrupt stops the batch between two slices, never inside a write.
  const auto stop_for_interrupt = []() -> std::optional<int> {
    if (const int signal = common::platform::interrupted())
      return exit_status::interrupted + signal;
    return std::nullopt;
  };
  if (options.jobs <= 1 || jobs.size() == 1) {
    worker_tools tools{{}, options.make_decoder()};
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      slice_outcome outcome = task(jobs[i], tools);
      if (auto stop = stop_for_interrupt()) return stop;
      if (auto stop = use(i, outcome)) return stop;
    }
    return std::nullopt;
  }
  ordered_pipeline pipeline(jobs, task, options.make_decoder, options.jobs);
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    slice_outcome outcome = pipeline.take(i);
    if (auto stop = stop_for_interrupt()) return stop;
    if (auto stop = use(i, outcome)) return stop;
  }
  return std::nullopt;
}

// Slices the survey of a series window decoded, by list position, for the
// second pass. Each worker takes only its own job's slice, so no lock.
using kept_slices = std::vector<std::optional<slice_read>>;

slice_task task_for(const file_system& files, const conversion_plan& plan,
                    const std::vector<slice_job>& jobs, kept_slices* kept = nullptr) {
  return [&files, plan, &jobs, kept](const slice_job& job, worker_tools& tools) {
    const auto index = static_cast<std::size_t>(&job - jobs.data());
    if (kept != nullptr && (*kept)[index]) {
      slice_read read = std::move(*(*kept)[index]);
      (*kept)[index].reset();
      return convert_read_slice(job, std::move(read), plan, tools.luts);
    }
    return convert_slice(job, files, plan, tools);
  };
}

std::optional<int> convert_all(const std::vector<slice_job>& jobs, const batch_options& options,
                               const conversion_plan& plan, kept_slices& kept,
                               const file_system& files, console& con, batch_state& state) {
  return for_each_outcome(jobs, options, task_for(files, plan, jobs, &kept),
                          [&](std::size_t index, const slice_outcome& outcome) {
                            return finish_slice(jobs[index], outcome, files, con, state);
                          });
}

// The first pass of a series window: the modality range of every slice that
// will be converted. A slice that would stop the batch stops it here, with its
// console lines, before any JPEG is written; skipped slices are left to the
// second pass, which reports them.
std::optional<int> survey_series(const std::vector<slice_job>& jobs, const batch_options& options,
                                 const file_system& files, console& con, modality_range& range,
                                 kept_slices& kept) {
  batch_state unused;
  conversion_plan plan;
  plan.survey = true;
  plan.keep_decoded = true;
  std::size_t kept_total = 0;
  return for_each_outcome(
      jobs, options, task_for(files, plan, jobs), [&](std::size_t index, slice_outcome& outcome) {
        if (outcome.status == slice_status::skipped) return std::optional<int>{};
        if (outcome.status != slice_status::converted)
          return finish_slice(jobs[index], outcome, files, con, unused);
        range.include(outcome.modality);
        if (outcome.kept && kept_total + kept_bytes(*outcome.kept) <= options.max_kept_bytes) {
          kept_total += kept_bytes(*outcome.kept);
          kept[index] = std::move(outcome.kept);
        }
        return std::optional<int>{};
      });
}

// What the slices go through: a series window is made fixed once the whole
// series has been surveyed.
std::optional<int> plan_conversion(const batch_options& options, const std::vector<slice_job>& jobs,
                                   const file_system& files, console& con, conversion_plan& plan,
                                   kept_slices& kept) {
  plan.window = options.window;
  if (options.window.kind != window_kind::series) return std::nullopt;
  modality_range range;
  if (auto stop = survey_series(jobs, options, files, con, range, kept)) return stop;
  plan.window = {window_kind::fixed, range.empty ? voi_window{} : series_window(range), {}};
  return std::nullopt;
}

// The stored extremes, the start values when there is no max file yet, or
// nothing (with its error line) when a max file exists but cannot be used:
// starting afresh would throw the stored extremes away.
std::optional<series_range> load_max_file(const std::string& name, const file_system& files,
                                          console& con) {
  if (!files.exists(name)) return series_range{};
  const auto file = files.read(name, max_max_file_bytes);
  if (!file) {
    con.problem(name, std::string(text::cannot_read_max) + ": " + file.reason);
    return std::nullopt;
  }
  auto range =
      parse_max_file({reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()});
  if (!range) con.problem(name, text::not_a_max_file);
  return range;
}

// Warnings about the series in the order its JPEG slices will be listed.
void check_converted_series(batch_state& state, console& con) {
  std::stable_sort(state.viewed.begin(), state.viewed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<slice_facts> facts;
  facts.reserve(state.viewed.size());
  for (auto& [name, slice] : state.viewed) facts.push_back(std::move(slice));
  for (const auto& warning : dicom::check_series(facts))
    con.problem(warning.file, text::describe(warning));
}

// What the header of a listed file says, read from as few of its bytes as hold it.
std::optional<dicom::slice_description> read_header(const std::string& path,
                                                    const file_system& files) {
  return dicom::describe_file([&](std::size_t head_bytes) {
    return head_bytes == 0 ? files.read(path, dicom::max_slice_file_bytes)
                           : files.read_head(path, head_bytes);
  });
}

// The headers of every listed file, read on `threads` threads.
std::vector<listed_file> read_headers(const std::vector<std::string>& tokens,
                                      const file_system& files, unsigned threads) {
  std::vector<listed_file> listed;
  listed.reserve(tokens.size());
  for (const auto& token : tokens) listed.push_back({token, common::to_native_path(token), {}});
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i; (i = next++) < listed.size();) {
      // Nothing may leave a thread; a header not read is read again, and
      // worded, when the file is converted.
      try {
        listed[i].description = read_header(listed[i].path, files);
      } catch (const std::exception&) {
        listed[i].description.reset();
      }
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads && t < listed.size(); ++t) helpers.emplace_back(work);
  work();
  for (auto& helper : helpers) helper.join();
  return listed;
}

void report_series(const batch_plan& plan, const std::string& list_name,
                   const series_choice& chosen, console& con) {
  con.problem(list_name, chosen.given ? text::no_such_series(chosen.key)
                                      : text::several_series(plan.series.size()));
  for (std::size_t i = 0; i < plan.series.size(); ++i)
    con.problem(list_name, text::series_line(plan.series[i], plan.series_keys[i]));
  if (!plan.series.empty())
    con.problem(list_name, text::next_commands(list_name, plan.series_keys.front()));
}

// What the run chose that the user did not: the order, and warnings about
// the window for this series.
void report_choices(const stack_run& run, const batch_options& options,
                    const std::string& list_name, console& con) {
  if (run.lacking) con.problem(*run.lacking, text::order_lacking(options.order));
  if (run.ranked && run.order != dicom::order_rule::name && run.images > 1)
    con.problem(list_name, text::ordered_by(run.order, run.normal, run.first_name));
  if (!options.window.preset.empty() && !run.modalities_without_hounsfield.empty())
    con.problem(list_name,
                text::not_hounsfield(options.window.preset, run.modalities_without_hounsfield[0]));
}

// Temporary files a killed run left beside this run's outputs and max file:
// they are this run's to remove, since it now writes those names itself.
void remove_leftovers(const stack_run& run, const file_system& files, console& con) {
  std::map<std::string, std::set<std::string>> wanted;  // directory => names
  const auto want = [&](const std::string& path) {
    wanted[std::string(common::directory_part(path))].insert(
        std::string(common::file_name_part(path)));
  };
  want(run.max_name);
  for (const auto& job : run.jobs)
    for (const auto& name : job.output_names) want(name);
  for (const auto& [dir, names] : wanted)
    for (const auto& entry : files.names_in(dir))
      if (common::is_temporary_name(entry) &&
          names.count(std::string(common::replaced_name(entry)))) {
        const std::string path = dir.empty() ? entry : dir + "/" + entry;
        if (auto error = files.remove(path)) con.problem(path, *error);
      }
}

// One stack: its JPEG slices and its max file.
int run_stack(const stack_run& run, const batch_options& options, const std::string& list_name,
              const file_system& files, console& con) {
  if (!run.series_key.empty())
    if (auto error = files.make_directory(run.out_dir)) {
      con.problem(run.out_dir, text::cannot_make_folder(*error));
      return exit_status::jpeg_not_written;
    }
  if (report_collisions(run.jobs, con)) return exit_status::name_collision;
  // Runs sharing a max file take turns from reading it to writing it, so
  // neither loses the other's extremes.
  std::string lock_problem;
  const auto held = files.hold(run.max_name, lock_problem);
  if (!held) {
    con.problem(run.max_name + ".lock", text::cannot_lock_max(lock_problem));
    return exit_status::max_file_failed;
  }
  remove_leftovers(run, files, con);
  const auto stored = load_max_file(run.max_name, files, con);
  if (!stored) return exit_status::max_file_failed;
  report_choices(run, options, list_name, con);

  conversion_plan plan;
  plan.slice_spacing = run.slice_spacing;
  kept_slices kept(run.jobs.size());
  if (auto stop = plan_conversion(options, run.jobs, files, con, plan, kept)) return *stop;
  batch_state state;
  state.plan = &plan;
  state.range = *stored;
  if (auto stop = convert_all(run.jobs, options, plan, kept, files, con, state)) return *stop;
  if (state.converted == 0) {
    con.problem(list_name, text::nothing_converted);
    return exit_status::nothing_converted;
  }
  check_converted_series(state, con);
  if (options.window.kind == window_kind::none && state.widest_span > 255)
    con.problem(list_name, text::default_mapping_wraps(state.widest_span));
  if (auto error = files.replace(run.max_name,
                                 format_max_file(state.range, common::platform::text_line_end()))) {
    con.problem(run.max_name, *error);
    return exit_status::max_file_failed;
  }
  return state.jpeg_failed ? exit_status::jpeg_not_written : exit_status::ok;
}

int run_listed(const batch_options& options, const file_system& files, console& con) {
  const std::string list_name = common::to_native_path(options.list_name);
  const auto list = files.read(list_name, max_list_bytes);
  if (!list) {
    con.problem(list_name, text::cannot_open_list(list.reason));
    return exit_status::cannot_open;
  }
  const auto tokens = common::first_tokens(
      std::string_view(reinterpret_cast<const char*>(list.bytes.data()), list.bytes.size()));
  if (tokens.empty()) {
    con.problem(list_name, text::empty_list);
    return exit_status::empty_list;
  }
  const batch_plan plan = plan_batch(read_headers(tokens, files, options.jobs),
                                     list_prefix(list_name), options.order, options.series);
  if (plan.refused) {
    report_series(plan, list_name, options.series, con);
    return exit_status::several_series;
  }
  for (const auto& path : plan.left_out) con.problem(path, text::in_no_series);
  int status = exit_status::ok;
  for (const auto& run : plan.runs) {
    status = run_stack(run, options, list_name, files, con);
    if (status != exit_status::ok && status != exit_status::jpeg_not_written) break;
  }
  if (status > exit_status::interrupted)
    con.problem(list_name, text::interrupted_by(status - exit_status::interrupted));
  return status;
}

}  // namespace

int run_batch(const batch_options& options, std::FILE* out, std::FILE* err,
              const file_system& files) {
  console con(out, err);
  const int status = run_listed(options, files, con);
  if (con.out_errno() != 0) {
    con.problem(text::standard_output,
                text::cannot_write_output(common::system_reason(con.out_errno())));
    return status != exit_status::ok ? status : exit_status::output_failed;
  }
  return status;
}

}  // namespace slicejpeg
