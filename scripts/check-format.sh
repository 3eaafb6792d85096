#!/usr/bin/env bash
# Fails, naming the files, when clang-format (the repository's .clang-format)
# would change a C++ source file.
set -euo pipefail
cd "$(dirname "$0")/.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.hpp' '*.h' '*.cc')
else
  mapfile -t files < <(find . \( -name '.git' -o -name 'build*' -o -name 'sample-run' \) -prune \
    -o -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.h' -o -name '*.cc' \) -print | sort)
fi
unformatted=()
for file in "${files[@]}"; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "check-format: clang-format would change these files (clang-format -i FILE):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
