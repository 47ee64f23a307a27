#!/usr/bin/env bash
# Runs every benchmark executable of a build: bash tools/bench.sh <build dir>.
# Benchmarks are the executables directly under <build dir>/bench/: regex_bench
# (the row pattern) and walk (the listing walk against curl's floor, headless and
# into the window; it needs the curl command-line tool and runs offscreen).
set -euo pipefail

build="${1:?usage: tools/bench.sh <build dir>}"
dir="$build/bench"
[ -d "$dir" ] || { echo "bench: no $dir; build first" >&2; exit 1; }

mapfile -t benches < <(find "$dir" -maxdepth 1 -type f -executable | sort)
[ ${#benches[@]} -gt 0 ] || { echo "bench: no benchmark in $dir" >&2; exit 1; }

# Figures depend on what else the machine is doing; say so beside them.
echo "bench: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
for b in "${benches[@]}"; do
  echo "== $(basename "$b")"
  "$b" || status=1
done
exit $status
