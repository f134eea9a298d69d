#!/usr/bin/env bash
# Checks that every tracked C++ file under src/, tests/, bench/, fuzz/ and tools/ is formatted
# as .clang-format says; lists the files that are not and ends with 1 when there is one.
# `clang-format -i FILE` formats a listed file.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if ! command -v clang-format >/dev/null; then
  echo "clang-format is missing (Debian package clang-format)" >&2
  exit 2
fi

differ=()
while IFS= read -r -d '' f; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || differ+=("$f")
done < <(git ls-files -z -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' \
  'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' 'tools/*.cpp' 'tools/*.h')

if ((${#differ[@]})); then
  echo "${#differ[@]} file(s) differ from .clang-format (clang-format -i to format):"
  printf '  %s\n' "${differ[@]}"
  exit 1
fi
echo "every C++ file is formatted"
