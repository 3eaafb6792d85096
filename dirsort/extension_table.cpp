#include "dirsort/extension_table.hpp"

namespace dirsort {

extension_table::slot extension_table::find_or_add(std::string_view extension) {
  const auto [position, inserted] = index_.try_emplace(std::string(extension), lists_.size());
  if (inserted) lists_.push_back({position->first, {}});
  return {position->second, inserted};
}

}  // namespace dirsort
