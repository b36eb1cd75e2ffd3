#!/usr/bin/env bash
# build.sh [release|asan]: configures once and builds with Ninja.
#   release -> build/      the programs and the program directory build/bin/ (and end-to-end tests)
#   asan    -> build-asan/ everything that does not host the web engine, with ASan/UBSan, and the
#                          unit and widget tests
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-release}
case "$kind" in
  release) dir=$top/build; args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKZ_TEST_KIND=e2e) ;;
  asan) dir=$top/build-asan; args=(-DCMAKE_BUILD_TYPE=Debug -DKZ_SANITIZE=ON -DKZ_WEBENGINE=OFF -DKZ_TEST_KIND=unit) ;;
  *) echo "usage: build.sh [release|asan]" >&2; exit 2 ;;
esac
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$top" -B "$dir" -G Ninja "${args[@]}"
fi
cmake --build "$dir" -- -j"${KZ_JOBS:-2}"
