#!/usr/bin/env bash
# Configures and builds one flavour of the project.
#   scripts/build.sh release   optimised tools (build/release)
#   scripts/build.sh asan      everything with the tests, under ASan+UBSan (build/asan)
#   scripts/build.sh bench     optimised benchmarks (build/bench)
#   scripts/build.sh fuzz      libFuzzer targets with clang (build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
flavour="${1:-release}"
jobs="${JOBS:-$(nproc)}"
case "$flavour" in
  release) args=(-DCMAKE_BUILD_TYPE=Release -DORRERY_TESTS=OFF) ;;
  asan)    args=(-DCMAKE_BUILD_TYPE=Debug -DORRERY_SANITIZE=ON) ;;
  bench)   args=(-DCMAKE_BUILD_TYPE=Release -DORRERY_TESTS=OFF -DORRERY_BENCH=ON) ;;
  fuzz)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DORRERY_TESTS=OFF -DORRERY_FUZZ=ON
                 -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
cmake -S . -B "build/$flavour" -G Ninja "${args[@]}" > /dev/null
ninja -C "build/$flavour" -j "$jobs"
