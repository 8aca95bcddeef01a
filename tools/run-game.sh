#!/usr/bin/env bash
# Runs the game: a window when there is a display, otherwise the headless
# runner writing screenshots to a folder it prints. Extra arguments go to
# mekko (see `build/host/mekko --help`). The build tree (MEKKO_BUILD_DIR,
# default build) is brought up to date first, so an edited source tree never
# runs stale code; MEKKO_BIN runs a given binary as it is instead.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${MEKKO_BUILD_DIR:-build}
if [ -n "${MEKKO_BIN:-}" ]; then
  bin=$MEKKO_BIN
else
  bin=$build/host/mekko
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" >/dev/null
  fi
  jobs=$(nproc)
  if [ "$jobs" -gt 8 ]; then jobs=8; fi
  cmake --build "$build" -j"$jobs" --target mekko >&2
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin" "$@"
fi
shots=$(mktemp -d "${TMPDIR:-/tmp}/mekko-shots-XXXXXX")
echo "No display: running headless, screenshots go to $shots"
export EGL_PLATFORM=${EGL_PLATFORM:-surfaceless}
exec "$bin" --headless --shots "$shots" "$@"
