#pragma once

#include <string_view>
#include <vector>

// The wildcard rules written the plain way, to check the fast matcher against:
// a table over every pattern suffix and name suffix, quadratic but obviously right.
namespace reference {

inline bool matches(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") return true;
  const std::size_t width = name.size() + 1;
  // at[p * width + n]: pattern from p matches name from n
  std::vector<bool> at((pattern.size() + 1) * width, false);
  at[pattern.size() * width + name.size()] = true;
  for (std::size_t p = pattern.size(); p-- > 0;) {
    for (std::size_t n = name.size() + 1; n-- > 0;) {
      bool match = false;
      if (pattern[p] == '*')
        match = at[(p + 1) * width + n] || (n < name.size() && at[p * width + n + 1]);
      else if (n < name.size() && (pattern[p] == '?' || pattern[p] == name[n]))
        match = at[(p + 1) * width + n + 1];
      at[p * width + n] = match;
    }
  }
  return at[0];
}

}  // namespace reference
