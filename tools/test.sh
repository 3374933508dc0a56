#!/usr/bin/env bash
# Builds everything and runs all tests. With --sanitize: a Debug build under AddressSanitizer
# and UndefinedBehaviorSanitizer in build-asan/ instead of the Release build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DQUORIX_SANITIZE=ON -DQUORIX_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=build
  flags=(-DCMAKE_BUILD_TYPE=Release)
fi
cmake -S . -B "$dir" -G Ninja -DQUORIX_WERROR=ON "${flags[@]}" >/dev/null
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j 2
