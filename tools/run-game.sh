#!/usr/bin/env bash
# Runs the game: a window when there is a display, otherwise the headless
# runner writing screenshots to a folder it prints. Extra arguments go to
# mekko (see `build/host/mekko --help`).
# The local ad service runs beside it on 127.0.0.1 for as long as the game
# does; its address is in ADKASA_SERVICE_ORIGIN (set ADKASA_SERVICE=off to
# run without it).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${MEKKO_BIN:-build/host/mekko}
svc=${ADKASA_SERVICE_BIN:-build/tools/adservice/adkasa-service}
if [ ! -x "$bin" ] || { [ "${ADKASA_SERVICE:-on}" != off ] && [ ! -x "$svc" ]; }; then
  echo "Building mekko..." >&2
  cmake -S . -B build >/dev/null
  cmake --build build -j"$(nproc)" --target mekko adkasa-service >&2
fi

svc_pid=""
cleanup() { if [ -n "$svc_pid" ]; then kill "$svc_pid" 2>/dev/null || true; wait "$svc_pid" 2>/dev/null || true; fi; }
trap cleanup EXIT
if [ "${ADKASA_SERVICE:-on}" != off ]; then
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
"$bin" --headless --shots "$shots" "$@"
