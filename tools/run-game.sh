#!/usr/bin/env bash
# Runs the game: a window when there is a display, otherwise the headless
# runner writing screenshots to a folder it prints. Extra arguments go to
# mekko (see `build/host/mekko --help`).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${MEKKO_BIN:-build/host/mekko}
if [ ! -x "$bin" ]; then
  echo "Building mekko..." >&2
  cmake -S . -B build >/dev/null
  cmake --build build -j"$(nproc)" --target mekko >&2
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin" "$@"
fi
shots=$(mktemp -d "${TMPDIR:-/tmp}/mekko-shots-XXXXXX")
echo "No display: running headless, screenshots go to $shots"
export EGL_PLATFORM=${EGL_PLATFORM:-surfaceless}
exec "$bin" --headless --shots "$shots" "$@"
