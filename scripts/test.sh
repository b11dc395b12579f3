#!/usr/bin/env bash
# Builds every preset and runs every test: the host unit tests, a short run
# of every fuzz target, the Windows-side tests under Wine and the
# whole-program tests under Wine.
# Installs what is missing first. Exits non-zero when anything fails.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || { echo "setup failed"; exit 1; }

jobs=$(nproc 2>/dev/null || echo 2)
status=0
results=()

step() {  # step NAME COMMAND...
  local name=$1; shift
  echo "=== $name"
  if "$@"; then results+=("passed  $name"); else results+=("FAILED  $name"); status=1; fi
}

for preset in host win64 win32; do
  step "configure $preset" cmake --preset "$preset" -Wno-dev >/dev/null
  step "build $preset" cmake --build --preset "$preset" -j "$jobs"
done

step "host unit tests" ctest --preset host -j "$jobs"
# Every fuzz target briefly, over its regression inputs and seeds.
step "fuzz targets (10 s each)" bash scripts/fuzz.sh --time 10 --parallel 2
step "Windows-side and whole-program tests under Wine" ctest --preset win64

for arch in win64 win32; do
  exe=build/$arch/Tarnwick.exe
  [ -f "$exe" ] && echo "size of $exe: $(stat -c %s "$exe") bytes"
done

echo
echo "=== summary"
printf '%s\n' "${results[@]}"
if [ $status -eq 0 ]; then echo "ALL PASSED"; else echo "SOME STEPS FAILED"; fi
exit $status
