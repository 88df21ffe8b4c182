#!/usr/bin/env bash
# Configures and builds one flavour of the project, with warnings as errors.
#   scripts/build.sh release       optimised tools (build/release)
#   scripts/build.sh release-all   optimised, everything with the tests (build/release-all)
#   scripts/build.sh asan          everything with the tests, under ASan+UBSan (build/asan)
#   scripts/build.sh bench         optimised benchmarks (build/bench)
#   scripts/build.sh fuzz          libFuzzer targets with clang (build/fuzz)
# A second word, `clang`, builds the flavour with clang into build/FLAVOUR-clang;
# without it the default compiler (GCC) builds it. fuzz always uses clang.
set -euo pipefail
cd "$(dirname "$0")/.."
flavour="${1:-release}"
compiler="${2:-default}"
jobs="${JOBS:-$(nproc)}"
dir="build/$flavour"
case "$flavour" in
  release)     args=(-DCMAKE_BUILD_TYPE=Release -DORRERY_TESTS=OFF) ;;
  release-all) args=(-DCMAKE_BUILD_TYPE=Release) ;;
  asan)        args=(-DCMAKE_BUILD_TYPE=Debug -DORRERY_SANITIZE=ON) ;;
  bench)       args=(-DCMAKE_BUILD_TYPE=Release -DORRERY_TESTS=OFF -DORRERY_BENCH=ON) ;;
  fuzz)        args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DORRERY_TESTS=OFF -DORRERY_FUZZ=ON) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
case "$compiler" in
  default) ;;
  clang) [ "$flavour" = fuzz ] || dir="$dir-clang" ;;
  *) echo "unknown compiler: $compiler (only clang can be named)" >&2; exit 2 ;;
esac
if [ "$compiler" = clang ] || [ "$flavour" = fuzz ]; then
  args+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
fi
cmake -S . -B "$dir" -G Ninja -DORRERY_WERROR=ON "${args[@]}" > /dev/null
ninja -C "$dir" -j "$jobs"
