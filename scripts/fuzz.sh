#!/usr/bin/env bash
# Runs every fuzz target for a bounded time (default 30 s each), seeded with
# the real-world corpus, the kept regression inputs and the seeds
# scripts/fuzz_seeds.sh writes (metafiles and progressive JPEGs). Findings
# land in fuzz/artifacts/. The metafile and JPEG targets run with a
# per-input limit of 2 s, so an input that makes drawing or progressive
# decoding slow is reported as a finding (a timeout) rather than missed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
scripts/setup.sh
scripts/build.sh fuzz
scripts/fuzz_seeds.sh
corpus="$(cd .. && pwd)/shared/corpus"
mkdir -p fuzz/artifacts
status=0
for target in build/fuzz/fuzz/*_fuzz; do
  name="$(basename "$target" _fuzz)"
  work="fuzz/corpus-$name"
  mkdir -p "$work"
  seeds=("$work")
  [ -d "tests/data/$name" ] && seeds+=("tests/data/$name")
  [ -d "fuzz/seeds-$name" ] && seeds+=("fuzz/seeds-$name")
  [ -d "$corpus" ] && seeds+=("$corpus")
  case "$name" in
    metafile_raster|metafile|jpeg) per_input=2 ;;
    *) per_input=10 ;;
  esac
  echo "== $name ($seconds s)"
  if ! "$target" -max_total_time="$seconds" -timeout="$per_input" -rss_limit_mb=2048 \
       -artifact_prefix="fuzz/artifacts/$name-" "${seeds[@]}" > "fuzz/artifacts/$name.log" 2>&1; then
    echo "   FAILED: see fuzz/artifacts/$name.log"; status=1
  fi
done
exit $status
