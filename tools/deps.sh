#!/usr/bin/env bash
# Installs the build and test tools a fresh machine may lack (Debian packages): the compilers
# and test libraries (a JSON reader checks the verifier's output), clang with its fuzzing
# runtime, and for the studio its HTTP library,
# Node.js with npm, and Chromium for the browser tests.
set -euo pipefail
need=()
for pkg in cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev \
           pkg-config libcpp-httplib-dev nlohmann-json3-dev chromium; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
# Node.js may come from elsewhere than Debian (with npm inside): only the commands count.
command -v node >/dev/null 2>&1 || need+=(nodejs)
command -v npm >/dev/null 2>&1 || need+=(npm)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi
