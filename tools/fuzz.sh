#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a while (default 60
# seconds) on its corpus in fuzz/corpus/<target>/. New inputs found go to build-fuzz/corpus/
# (the committed seeds stay as they are); crashes, leaks and hangs are written to
# build-fuzz/findings/ and make the script fail.
#   bash tools/fuzz.sh [SECONDS] [TARGET...]     targets: session model property state
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(session model property state)
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORIX_FUZZ=ON -DQUORIX_TESTS=OFF -DQUORIX_BENCH=OFF >/dev/null
cmake --build "$dir" --target "${targets[@]/%/_fuzz}"
mkdir -p "$dir/findings"
status=0
for target in "${targets[@]}"; do
  work="$dir/corpus/$target"
  mkdir -p "$work"
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  echo "== $target: ${seconds}s"
  if ! "$dir/fuzz/${target}_fuzz" "$work" "fuzz/corpus/$target" "${dict[@]}" \
      -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=8192 \
      -artifact_prefix="$dir/findings/$target-" -print_final_stats=1 2>"$dir/$target.log"; then
    status=1
    echo "$target: finding, see $dir/$target.log and $dir/findings/"
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|cov: ' "$dir/$target.log" | tail -3
done
exit "$status"
