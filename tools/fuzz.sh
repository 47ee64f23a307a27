#!/usr/bin/env bash
# `make fuzz`: runs every fuzz target for FUZZ_SECONDS (60) from its seed corpus.
# New inputs go to build/fuzz/corpus/<target>; crashes to build/fuzz/crashes/.
set -euo pipefail
build=${1:-build/fuzz}
seconds=${FUZZ_SECONDS:-60}
status=0
mkdir -p "$build/crashes"
for target in "$build"/tests/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "tests/fuzz/seeds/$name" ] && seeds=("tests/fuzz/seeds/$name")
  echo "== $name (${seconds}s)"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/crashes/$name-" "$corpus" "${seeds[@]}" 2>"$build/$name.log"; then
    echo "$name: failure, see $build/$name.log and $build/crashes/"
    status=1
  fi
  tail -n 1 "$build/$name.log"
done
exit $status
