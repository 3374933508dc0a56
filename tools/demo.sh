#!/usr/bin/env bash
# Builds the server and runs it on a short scripted session, showing what the front end sees.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target quorix-server
echo "--- requests (examples/session.txt)"
cat examples/session.txt
echo "--- replies"
./build/quorix-server < examples/session.txt
