#!/usr/bin/env bash
# Installs what building (and, with --test, testing) needs, then stages the pinned Ruffle runtime.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
# shellcheck source=packages.sh
. "$here/packages.sh"

want=("${KZ_BUILD_PACKAGES[@]}" "${KZ_RUN_PACKAGES[@]}")
[ "${1:-}" = "--test" ] && want+=("${KZ_TEST_PACKAGES[@]}")
if [ "$(id -u)" = 0 ]; then
  kz_install_packages "${want[@]}"
else
  missing=$(kz_missing_packages "${want[@]}")
  [ -z "$missing" ] || { echo "Missing packages (run as root to install): $missing" >&2; exit 1; }
fi

# Ruffle comes from the npm registry at a pinned version (package-lock.json); installed once.
cd "$top/third_party/ruffle"
if [ ! -f node_modules/@ruffle-rs/ruffle/ruffle.js ] || [ package-lock.json -nt node_modules/.stamp ]; then
  npm ci --no-audit --no-fund --loglevel=error
  touch node_modules/.stamp
fi

# Test-only npm packages (independent readers and writers the tests compare against).
if [ "${1:-}" = "--test" ]; then
  cd "$top/tests/fixtures"
  if [ ! -d node_modules/cfb ] || [ package-lock.json -nt node_modules/.stamp ]; then
    npm ci --no-audit --no-fund --loglevel=error
    touch node_modules/.stamp
  fi
fi
