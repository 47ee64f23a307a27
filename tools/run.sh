#!/usr/bin/env bash
# `make run`: starts the sample listing on its default port in the background,
# then the program; the listing stops when the program ends.
set -euo pipefail
build=${1:-build/debug}
server=""
if ! (exec 3<>/dev/tcp/127.0.0.1/8089) 2>/dev/null; then
  "$build/tools/listing-server" --port 8089 &
  server=$!
  trap 'kill "$server" 2>/dev/null || true' EXIT
fi
"$build/app/velmora"
