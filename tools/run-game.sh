#!/usr/bin/env bash
# Runs the game: a window when there is a display, otherwise the headless
# runner writing screenshots to a folder it prints (with no arguments it
# plays a scripted round, tools/demo-play.txt). Extra arguments go to
# mekko (see `build/host/mekko --help`). The build tree (MEKKO_BUILD_DIR,
# default build) is brought up to date first, so an edited source tree never
# runs stale code; MEKKO_BIN runs a given binary as it is instead.
# The local ad service runs beside it on 127.0.0.1 for as long as the game
# does; its address is in ADKASA_SERVICE_ORIGIN (set ADKASA_SERVICE=off to
# run without it).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${MEKKO_BUILD_DIR:-build}
svc=${ADKASA_SERVICE_BIN:-$build/tools/adservice/adkasa-service}
if [ -n "${MEKKO_BIN:-}" ]; then
  bin=$MEKKO_BIN
else
  bin=$build/host/mekko
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" >/dev/null
  fi
  jobs=$(nproc)
  if [ "$jobs" -gt 8 ]; then jobs=8; fi
  cmake --build "$build" -j"$jobs" --target mekko adkasa-service >&2
fi

svc_pid=""
cleanup() { if [ -n "$svc_pid" ]; then kill "$svc_pid" 2>/dev/null || true; wait "$svc_pid" 2>/dev/null || true; fi; }
trap cleanup EXIT
if [ "${ADKASA_SERVICE:-on}" != off ] && [ -x "$svc" ]; then
  svc_out=$(mktemp "${TMPDIR:-/tmp}/adkasa-service-XXXXXX")
  "$svc" --quiet >"$svc_out" &
  svc_pid=$!
  port=""
  for _ in $(seq 1 100); do
    port=$(awk '/^port /{print $2; exit}' "$svc_out")
    [ -n "$port" ] && break
    sleep 0.05
  done
  rm -f "$svc_out"
  if [ -n "$port" ]; then
    export ADKASA_SERVICE_ORIGIN="http://127.0.0.1:$port"
    echo "Local ad service on $ADKASA_SERVICE_ORIGIN" >&2
  else
    echo "The local ad service did not start; ads stay offline." >&2
  fi
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$bin" "$@"
  exit $?
fi
shots=$(mktemp -d "${TMPDIR:-/tmp}/mekko-shots-XXXXXX")
echo "No display: running headless, screenshots go to $shots"
export EGL_PLATFORM=${EGL_PLATFORM:-surfaceless}
if [ $# -eq 0 ]; then
  # A machine without a display has no sound device as a rule either.
  export ALSOFT_DRIVERS=${ALSOFT_DRIVERS:-null}
  set -- --seed 1 --script tools/demo-play.txt --frames 3560 --every 25 --timeout 300
fi
"$bin" --headless --shots "$shots" "$@"
