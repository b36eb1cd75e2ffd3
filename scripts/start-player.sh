#!/usr/bin/env bash
# Starts the built player from its program directory, with at most one movie or list file.
# Without a display, an Xvfb one is made.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=$top/build/bin
if [ ! -x "$bin/KZPlayer" ]; then
  echo "The player is not built yet: run scripts/run.sh (or scripts/build.sh release)." >&2
  exit 1
fi
# The web engine refuses to start as root with its sandbox on; the player also sets this.
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
if [ -z "${DISPLAY:-}" ]; then
  exec "$top/scripts/with-display.sh" "$bin/KZPlayer" "$@"
fi
exec "$bin/KZPlayer" "$@"
