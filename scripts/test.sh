#!/usr/bin/env bash
# Sets everything up, builds, and runs every test headless through CTest.
#
# With PLUMORA_CI_SANITIZE=1 (as .ci/run sets it) the whole suite then runs a
# second time, built with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ (PLUMORA_ASAN_BUILD_DIR). Arguments go to both ctest runs. With
# PLUMORA_WERROR=1 (.ci/run too) a compiler warning fails both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
BUILD_DIR="${PLUMORA_BUILD_DIR:-build}"
export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config"
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$(nproc)" "$@"

if [ "${PLUMORA_CI_SANITIZE:-0}" = 1 ]; then
  ASAN_DIR="${PLUMORA_ASAN_BUILD_DIR:-build-asan}"
  echo "== Sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer) in $ASAN_DIR"
  WERROR=OFF
  if [ "${PLUMORA_WERROR:-0}" = 1 ]; then WERROR=ON; fi
  if [ ! -f "$ASAN_DIR/build.ninja" ]; then
    # -O1 keeps the build and the runs quick; the benchmarks are left out,
    # and so is the desktop test, which this run does not run.
    cmake -S . -B "$ASAN_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
      -DPLUMORA_SANITIZE=ON -DPLUMORA_BUILD_BENCH=OFF -DPLUMORA_DESKTOP_TEST=OFF -DPLUMORA_WERROR="$WERROR"
  elif ! grep -qx "PLUMORA_WERROR:BOOL=$WERROR" "$ASAN_DIR/CMakeCache.txt"; then
    cmake "$ASAN_DIR" -DPLUMORA_WERROR="$WERROR"
  fi
  cmake --build "$ASAN_DIR" --parallel "$(nproc)"
  # Leaks are reported, except those inside system libraries listed in the
  # suppressions; every sanitizer report fails its test.
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0:strict_string_checks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"
  # The desktop test (label "desktop", the program under Xvfb) is left out
  # here: its windows also run offscreen in test_app, which this run includes.
  ctest --test-dir "$ASAN_DIR" --output-on-failure --parallel "$(nproc)" --label-exclude desktop "$@"
fi
