#!/usr/bin/env bash
# Installs what the editor needs, builds the editor alone, and starts it. The
# tests, benchmarks and command-line tool are built by scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
PLUMORA_SETUP_EDITOR=1 ./scripts/setup.sh
exec "${PLUMORA_BUILD_DIR:-build}/bin/plumora" "$@"
