// The run of dirsort without the file system: classification, the extension
// table, the console text and the sorting of 10,000 entries.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "dirsort/run.hpp"

namespace {

common::search_result ten_thousand_entries() {
  common::search_result listing;
  listing.entries = {{".", true, 0}, {"..", true, 0}};
  for (int i = 1; i <= 6000; ++i) listing.entries.push_back({"IM." + std::to_string(i), false, 0});
  const char* const others[] = {"txt", "jpg", "TXT", "log"};
  for (int i = 0; i < 4000; ++i) {
    std::string name = std::to_string(i);
    name += '.';
    name += others[i % 4];
    listing.entries.push_back({name, false, 0});
  }
  std::sort(listing.entries.begin(), listing.entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  return listing;
}

void run_without_files(benchmark::State& state) {
  const common::search_result series = ten_thousand_entries();
  const common::search_result top{{{"series", true, 0}}, {}};
  const dirsort::file_system files{
      [&](std::string_view pattern) { return pattern == "series" ? top : series; },
      [](const std::string& path) {
        return common::dir_entry{path, false, 1};
      },
      [](const std::string&, std::string_view) { return std::optional<std::string>(); },
      [](const std::string&) { return std::optional<std::string>(); },
      [](const std::string&, std::size_t) { return std::string(); },
      {},
  };
  const auto labels = dirsort::labels_for("UTF-8");
  for (auto _ : state) benchmark::DoNotOptimize(dirsort::run("series", labels, files));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(series.entries.size()));
}
BENCHMARK(run_without_files)->Unit(benchmark::kMillisecond);

}  // namespace
