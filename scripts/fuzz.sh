#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, and runs them with libFuzzer.
#
#   scripts/fuzz.sh [TARGET|all] [SECONDS]
#
# TARGET is one of: gif gesture settings wav jpeg bmp import sound media
# (default: all, one after another); SECONDS is how long each target runs
# (default 60). Each target starts from its seed files and regression inputs
# (fuzz/regressions/TARGET) plus what earlier runs found (build-fuzz/corpus/TARGET). An input that
# crashes, leaks, hangs or runs out of memory is written to
# build-fuzz/artifacts/TARGET/; fix the reader, then copy the input into
# fuzz/regressions/TARGET/ so that the tests keep running it.
#
# Environment: PLUMORA_FUZZ_BUILD_DIR (default build-fuzz), PLUMORA_FUZZ_ARGS
# (more libFuzzer flags, e.g. "-jobs=2 -workers=2").
set -euo pipefail
cd "$(dirname "$0")/.."

ALL_TARGETS=(gif gesture settings wav jpeg bmp import sound media)
target="${1:-all}"
seconds="${2:-60}"
BUILD_DIR="${PLUMORA_FUZZ_BUILD_DIR:-build-fuzz}"

# Seed files (shell patterns) and the largest input of each target; the same
# as fuzz/targets.cpp.
seeds_of() {
  case "$1" in
    gif) echo "tests/data/gif/*.gif tests/data/gif/odd/*.gif" ;;
    gesture) echo "fuzz/seeds/gesture/*.zqa" ;;
    settings) echo "fuzz/seeds/settings/*.conf" ;;
    wav) echo "tests/data/wav/*.wav" ;;
    jpeg) echo "tests/data/pictures/*.jpg" ;;
    bmp) echo "tests/data/pictures/*.bmp" ;;
    import) echo "fuzz/seeds/import/*.bin" ;;
    sound) echo "tests/data/wav/*.wav" ;;
    media) echo "fuzz/seeds/media/* tests/data/wav/*.wav" ;;
    *) return 1 ;;
  esac
}
max_len_of() {
  case "$1" in
    settings) echo 4096 ;;
    *) echo 65536 ;;
  esac
}
# Seconds one input may take. A 64 KB gesture can hold an animation strip of
# up to about 90 million pixels, which the reader decodes and then encodes
# again to measure it: about 3 s in a release build, up to 90 s here.
timeout_of() {
  case "$1" in
    gesture) echo 180 ;;
    jpeg | media) echo 60 ;;
    *) echo 10 ;;
  esac
}

# A progressive JPEG at the 16384 x 16384 limit keeps 1.5 GiB of coefficients
# in full colour, 2 GiB in CMYK, while its scans are read.
rss_of() {
  case "$1" in
    jpeg) echo 4096 ;;
    *) echo 2048 ;;
  esac
}

if [ "$target" = all ]; then
  targets=("${ALL_TARGETS[@]}")
elif seeds_of "$target" >/dev/null; then
  targets=("$target")
else
  echo "unknown fuzz target \"$target\"; choose one of: ${ALL_TARGETS[*]} all" >&2
  exit 2
fi

PLUMORA_SETUP_FUZZ=1 PLUMORA_SETUP_PACKAGES_ONLY=1 ./scripts/setup.sh
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPLUMORA_FUZZ=ON -DPLUMORA_SANITIZE=ON -DPLUMORA_BUILD_TESTS=OFF -DPLUMORA_BUILD_BENCH=OFF
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target "${targets[@]/#/fuzz_}"

export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0}"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home"

status=0
for t in "${targets[@]}"; do
  corpus="$BUILD_DIR/corpus/$t"
  artifacts="$BUILD_DIR/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  # shellcheck disable=SC2046 # the patterns are meant to expand
  for f in $(seeds_of "$t") fuzz/regressions/"$t"/*; do
    [ -f "$f" ] && cp -n "$f" "$corpus/" 2>/dev/null || true
  done
  echo "== fuzz_$t for ${seconds}s (corpus $corpus, findings in $artifacts/)"
  # shellcheck disable=SC2086 # PLUMORA_FUZZ_ARGS holds several flags
  if ! "$BUILD_DIR/bin/fuzz_$t" "$corpus" \
      -dict="fuzz/dict/$t.dict" -max_len="$(max_len_of "$t")" \
      -max_total_time="$seconds" -rss_limit_mb="$(rss_of "$t")" -timeout="$(timeout_of "$t")" \
      -artifact_prefix="$artifacts/" -print_final_stats=1 ${PLUMORA_FUZZ_ARGS:-}; then
    echo "== fuzz_$t found a problem; see $artifacts/" >&2
    status=1
  fi
done
exit $status
