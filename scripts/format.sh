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
  # One clang-format run over every file; its diagnostics name the files
  # that differ ("path:line:col: error: code should be clang-formatted").
  existing=()
  for f in "${files[@]}"; do [ -f "$f" ] && existing+=("$f"); done
  status=0
  report=$("$CLANG_FORMAT" --dry-run -Werror "${existing[@]}" 2>&1 >/dev/null) || status=$?
  if [ "$status" -ne 0 ]; then
    echo "Not formatted (run scripts/format.sh):"
    bad=$(printf '%s\n' "$report" | sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u)
    if [ -n "$bad" ]; then printf '  %s\n' $bad; else printf '%s\n' "$report"; fi
    exit 1
  fi
  echo "All ${#existing[@]} files formatted."
else
  printf '%s\0' "${files[@]}" | xargs -0 -r "$CLANG_FORMAT" -i
fi
