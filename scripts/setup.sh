#!/usr/bin/env bash
# Shared set-up of run.sh and test.sh: installs the Debian packages that are
# missing, then configures and builds into build/. Quick when nothing is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev libsdl2-dev libjpeg62-turbo-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev   # media/: clips, sounds, video export
  qt6-image-formats-plugins   # WebP, TIFF and more pictures through QImageReader
  libgtest-dev libgmock-dev libbenchmark-dev libgif-dev
  clang-format git
  xvfb openbox   # the desktop test: a virtual X server with a window manager
)

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
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DPLUMORA_WERROR="$WERROR" ${PLUMORA_CMAKE_ARGS:-}
elif ! grep -qx "PLUMORA_WERROR:BOOL=$WERROR" "$BUILD_DIR/CMakeCache.txt"; then
  cmake "$BUILD_DIR" -DPLUMORA_WERROR="$WERROR"
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
