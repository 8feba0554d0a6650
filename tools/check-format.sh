#!/usr/bin/env bash
# Fails when a tracked C++ file differs from .clang-format; prints the files that do.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
[ ${#files[@]} -eq 0 ] && exit 0
if ! out=$(clang-format --dry-run -Werror "${files[@]}" 2>&1); then
  echo "not formatted (run: clang-format -i <file>):" >&2
  grep -o '^[^:]*\.\(cpp\|h\):' <<<"$out" | sort -u | sed 's/:$//; s/^/  /' >&2
  exit 1
fi
