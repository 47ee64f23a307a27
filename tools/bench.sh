#!/usr/bin/env bash
# Runs every benchmark executable of a build: bash tools/bench.sh <build dir>.
# Benchmarks are the executables directly under <build dir>/bench/.
set -euo pipefail

build="${1:?usage: tools/bench.sh <build dir>}"
dir="$build/bench"
[ -d "$dir" ] || { echo "bench: no $dir; build first" >&2; exit 1; }

mapfile -t benches < <(find "$dir" -maxdepth 1 -type f -executable | sort)
[ ${#benches[@]} -gt 0 ] || { echo "bench: no benchmark in $dir" >&2; exit 1; }

status=0
for b in "${benches[@]}"; do
  echo "== $(basename "$b")"
  "$b" || status=1
done
exit $status
