#!/usr/bin/env bash
# Runs every fuzz target for a bounded time (default 30 s each), seeded with
# the real-world corpus and the kept regression inputs. Findings land in
# fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
scripts/setup.sh
scripts/build.sh fuzz
corpus="$(cd .. && pwd)/shared/corpus"
mkdir -p fuzz/artifacts
status=0
for target in build/fuzz/fuzz/*_fuzz; do
  name="$(basename "$target" _fuzz)"
  work="fuzz/corpus-$name"
  mkdir -p "$work"
  seeds=("$work")
  [ -d "tests/data/$name" ] && seeds+=("tests/data/$name")
  [ -d "$corpus" ] && seeds+=("$corpus")
  echo "== $name ($seconds s)"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="fuzz/artifacts/$name-" "${seeds[@]}" > "fuzz/artifacts/$name.log" 2>&1; then
    echo "   FAILED: see fuzz/artifacts/$name.log"; status=1
  fi
done
exit $status
