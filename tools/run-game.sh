#!/usr/bin/env bash
# Runs the game: a window when there is a display, otherwise headless with screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/host/mekko ]; then
  echo "The game cannot be started yet: the platform host is not built." >&2
  exit 0
fi
exec build/host/mekko "$@"
