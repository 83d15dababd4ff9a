#!/usr/bin/env bash
# Formats every C++ file git tracks with the project's .clang-format.
#   scripts/format.sh           rewrite the files in place
#   scripts/format.sh --check   change nothing; list unformatted files, exit 1 if any
set -euo pipefail
cd "$(dirname "$0")/.."
CLANG_FORMAT="${CLANG_FORMAT:-clang-format}"
if ! command -v "$CLANG_FORMAT" >/dev/null 2>&1; then
  echo "format.sh: $CLANG_FORMAT is not installed (Debian package clang-format)" >&2
  exit 2
fi
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  bad=()
  for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    if ! "$CLANG_FORMAT" --dry-run -Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
  done
  if [ ${#bad[@]} -gt 0 ]; then
    echo "Not formatted (run scripts/format.sh):"
    printf '  %s\n' "${bad[@]}"
    exit 1
  fi
  echo "All ${#files[@]} files formatted."
else
  printf '%s\0' "${files[@]}" | xargs -0 -r "$CLANG_FORMAT" -i
fi
