#!/usr/bin/env bash
# The main job: builds the tools, prints what the imaging layer reads from the
# bundled sample (or the file given) and writes it as out/sample.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release
input="${1:-samples/sample.jpg}"
mkdir -p out
build/release/orrery info "$input"
build/release/orrery convert "$input" out/sample.png
echo "wrote out/sample.png"
