#!/usr/bin/env bash
# The main job: builds the tools, prints what the control reads from the
# bundled sample (or the file given), and renders it through a 640 x 480
# control into out/sample.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release
input="${1:-samples/sample.jpg}"
mkdir -p out
build/release/orrery info "$input"
build/release/orrery render "$input" -o out/sample.png --size 640x480
