#!/usr/bin/env bash
# Starts the built player from its program directory. Without a display, an Xvfb one is made.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=$top/build/bin
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
if [ -x "$bin/KZPlayer" ]; then
  prog=("$bin/KZPlayer" "$@")
else
  # Until the player's window is built, show what the core sees in the sample movies.
  shopt -s nullglob; movies=("$@"); [ ${#movies[@]} -gt 0 ] || movies=("$top"/../shared/corpus/swf/*.swf)
  prog=("$bin/kztool" info "${movies[@]}")
fi
if [ -z "${DISPLAY:-}" ] && [ "${prog[0]}" = "$bin/KZPlayer" ]; then
  exec "$top/scripts/with-display.sh" "${prog[@]}"
fi
exec "${prog[@]}"
