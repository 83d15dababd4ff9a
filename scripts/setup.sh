#!/usr/bin/env bash
# Shared set-up of run.sh and test.sh: installs the Debian packages that are
# missing, then configures and builds into build/. Quick when nothing is missing.
#
# With PLUMORA_SETUP_EDITOR=1 (as run.sh sets it) only what the editor needs
# is installed and only the editor is built: a first start takes far fewer
# packages and steps. A build folder made that way has no tests or benchmarks
# until the next full set-up (test.sh) turns them on.
set -euo pipefail
cd "$(dirname "$0")/.."

EDITOR_ONLY="${PLUMORA_SETUP_EDITOR:-0}"

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev libsdl2-dev libjpeg62-turbo-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev   # media/: clips, sounds, video export
  qt6-image-formats-plugins   # WebP, TIFF and more pictures through QImageReader
)
if [ "$EDITOR_ONLY" != 1 ]; then
  PACKAGES+=(
    libgtest-dev libgmock-dev libbenchmark-dev libgif-dev
    clang-format git
    xvfb openbox   # the desktop test: a virtual X server with a window manager
    desktop-file-utils appstream shared-mime-info   # the install test validates what it installs
  )
fi

# The fuzz targets (scripts/fuzz.sh) also need clang and its sanitizer and
# libFuzzer runtimes; only that script asks for them.
if [ "${PLUMORA_SETUP_FUZZ:-0}" = 1 ]; then
  PACKAGES+=(clang libclang-rt-14-dev llvm)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ "${PLUMORA_SETUP_PACKAGES_ONLY:-0}" = 1 ]; then
  exit 0
fi

# Warnings fail the build in CI (PLUMORA_WERROR=1, as .ci/run sets it), never
# in a user's own build; a build folder is switched when the setting changes.
WERROR=OFF
if [ "${PLUMORA_WERROR:-0}" = 1 ]; then WERROR=ON; fi
BUILD_DIR="${PLUMORA_BUILD_DIR:-build}"
if [ "$EDITOR_ONLY" = 1 ]; then
  # A new build folder leaves out the tests and benchmarks, whose packages
  # the editor does not need; one that has them keeps them.
  if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja -DPLUMORA_WERROR="$WERROR" \
      -DPLUMORA_BUILD_TESTS=OFF -DPLUMORA_BUILD_BENCH=OFF ${PLUMORA_CMAKE_ARGS:-}
  fi
  cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target plumora
  exit 0
fi
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DPLUMORA_WERROR="$WERROR" ${PLUMORA_CMAKE_ARGS:-}
elif ! grep -qx "PLUMORA_WERROR:BOOL=$WERROR" "$BUILD_DIR/CMakeCache.txt" \
    || ! grep -qx "PLUMORA_BUILD_TESTS:BOOL=ON" "$BUILD_DIR/CMakeCache.txt" \
    || ! grep -qx "PLUMORA_BUILD_BENCH:BOOL=ON" "$BUILD_DIR/CMakeCache.txt"; then
  cmake "$BUILD_DIR" -DPLUMORA_WERROR="$WERROR" -DPLUMORA_BUILD_TESTS=ON -DPLUMORA_BUILD_BENCH=ON
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
