#!/usr/bin/env bash
# build.sh [release|asan]: configures once and builds with Ninja.
#   release -> build/      the programs and the program directory build/bin/ (and end-to-end tests)
#   asan    -> build-asan/ everything that does not host the web engine, with ASan/UBSan, and the
#                          unit and widget tests
#   fuzz    -> build-fuzz/ the libFuzzer targets over the parsers (clang), see scripts/fuzz.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-release}
case "$kind" in
  release) dir=$top/build; args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKZ_TEST_KIND=e2e) ;;
  asan) dir=$top/build-asan; args=(-DCMAKE_BUILD_TYPE=Debug -DKZ_SANITIZE=ON -DKZ_WEBENGINE=OFF -DKZ_TEST_KIND=unit) ;;
  fuzz) dir=$top/build-fuzz; args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKZ_FUZZ=ON -DKZ_WEBENGINE=OFF
          -DKZ_TESTS=OFF -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "usage: build.sh [release|asan|fuzz]" >&2; exit 2 ;;
esac
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$top" -B "$dir" -G Ninja "${args[@]}"
fi
cmake --build "$dir" -- -j"${KZ_JOBS:-2}"
