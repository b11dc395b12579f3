#!/usr/bin/env bash
# The demonstration: builds Tarnwick.exe for x86_64 and runs it under Wine on
# a simulated stick, writing screenshots, an animated GIF and call logs to
# demo-output/ (or the folder given).
# Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win64 -Wno-dev >/dev/null
cmake --build --preset win64 -j "$(nproc 2>/dev/null || echo 2)"
TARNWICK_BUILD_DIR="$PWD/build/win64" python3 tests/wine/demo.py "${1:-demo-output}"
