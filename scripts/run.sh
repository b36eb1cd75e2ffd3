#!/usr/bin/env bash
# Installs what is missing, builds, and starts the player with any arguments given.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" release
exec "$top/scripts/start-player.sh" "$@"
