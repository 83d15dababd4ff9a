#!/usr/bin/env bash
# Sets everything up, builds, and runs every test headless through CTest.
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
