#!/usr/bin/env bash
# Builds the server and the command-line verifier, runs the server on a short scripted session
# (what the front end sees), then checks Fischer's protocol with the verifier.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target quorix-server quorix-verify
echo "--- requests (examples/session.txt)"
cat examples/session.txt
echo "--- replies"
./build/quorix-server < examples/session.txt
echo "--- build/quorix-verify examples/fischer.gta examples/fischer.q"
status=0
./build/quorix-verify examples/fischer.gta examples/fischer.q || status=$?
echo "--- exit status $status (0: all satisfied, 1: some property not satisfied, 2: error, 3: some maybe or unknown)"
[ "$status" -le 1 ]
