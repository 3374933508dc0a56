#!/usr/bin/env bash
# Fails when a library includes a header of a library at its own level or above. The layers,
# bottom first; folders on one line are side by side and must not include each other.
set -euo pipefail
cd "$(dirname "$0")/.."
layers=(
  "base"
  "zones"
  "cdd"
  "model"
  "gta tctl"
  "trace"
  "engine"
  "checkers"
  "core"
  "server"
  "verify"
)
declare -A level
for k in "${!layers[@]}"; do
  for folder in ${layers[$k]}; do level[$folder]=$k; done
done
status=0
for folder in "${!level[@]}"; do
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"${line#*:}")
    [ "$target" = "$folder" ] && continue
    if [ -z "${level[$target]+set}" ]; then
      echo "$file includes $target/, which is no library folder"
      status=1
    elif [ "${level[$target]}" -ge "${level[$folder]}" ]; then
      echo "$file ($folder) includes $target/, which is not below it"
      status=1
    fi
  done < <(grep -HE '^\s*#\s*include "[a-z_]+/' "$folder"/*.h "$folder"/*.cpp 2>/dev/null || true)
done
exit $status
