#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each one: first over its
# regression inputs (fuzz/regressions/<target>/), then fuzzing from its seeds
# (fuzz/corpus/<target>/) for a number of executions or a time. Prints the
# executions and findings of every target; exits non-zero when a regression
# input fails or anything is found.
#
#   bash scripts/fuzz.sh                      # 1,000,000 executions per target
#   bash scripts/fuzz.sh --runs 5000000 notices banner_machine
#   bash scripts/fuzz.sh --time 10 --parallel 2   # the short run of scripts/test.sh
#
# Findings are kept in build/fuzz/findings/<target>/; a finding that shows a
# fault becomes a regression input once the fault is mended. Inputs the
# fuzzer found interesting collect in build/fuzz/corpus/<target>/.
set -uo pipefail
cd "$(dirname "$0")/.."

runs=1000000
seconds=""
parallel=1
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; seconds=""; shift 2 ;;
    --time) seconds=$2; shift 2 ;;
    --parallel) parallel=$2; shift 2 ;;
    -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

build=build/fuzz
cmake --preset fuzz -Wno-dev >/dev/null || { echo "fuzz: configure failed"; exit 1; }
cmake --build --preset fuzz -j 2 >/dev/null || {
  cmake --build --preset fuzz -j 1 2>&1 | tail -30
  echo "fuzz: build failed"
  exit 1
}

if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*_fuzz.cpp; do
    name=$(basename "$source" .cpp)
    targets+=("${name%_fuzz}")
  done
fi

mkdir -p "$build/logs"

# run_target NAME: writes "NAME EXECUTIONS SECONDS FINDINGS" to its result file.
run_target() {
  local name=$1
  local binary=$build/${name}_fuzz log=$build/logs/$name.log result=$build/logs/$name.result
  local findings=$build/findings/$name corpus=$build/corpus/$name
  local failed=0
  rm -rf "$findings"
  mkdir -p "$findings" "$corpus" "fuzz/corpus/$name"
  : > "$log"
  if [ ! -x "$binary" ]; then
    echo "$name - - no-target" > "$result"
    return
  fi
  # Regression inputs, each run once as it is.
  local regressions=()
  if [ -d "fuzz/regressions/$name" ]; then
    while IFS= read -r -d '' file; do regressions+=("$file"); done \
      < <(find "fuzz/regressions/$name" -type f -print0 | sort -z)
  fi
  if [ ${#regressions[@]} -gt 0 ]; then
    if ! "$binary" -timeout=10 "${regressions[@]}" >>"$log" 2>&1; then
      failed=1
    fi
  fi
  local limit=(-runs="$runs")
  [ -n "$seconds" ] && limit=(-max_total_time="$seconds")
  local start=$SECONDS
  "$binary" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$corpus" "fuzz/corpus/$name" >>"$log" 2>&1
  local elapsed=$((SECONDS - start))
  local executions
  executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  local found
  found=$(find "$findings" -type f | wc -l)
  [ $failed -eq 1 ] && found="$found+regression"
  echo "$name ${executions:-0} $elapsed $found" > "$result"
}

# Runs the targets, `parallel` at a time (libFuzzer itself uses one core each).
running=0
for name in "${targets[@]}"; do
  run_target "$name" &
  running=$((running + 1))
  if [ $running -ge "$parallel" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

status=0
printf '%-22s %12s %8s  %s\n' target executions seconds findings
for name in "${targets[@]}"; do
  read -r _ executions elapsed found < "$build/logs/$name.result"
  printf '%-22s %12s %8s  %s\n' "$name" "$executions" "$elapsed" "$found"
  if [ "$found" != 0 ]; then
    status=1
    echo "  see $build/logs/$name.log and $build/findings/$name/" >&2
    grep -m3 -E 'check failed|ERROR|runtime error|FAILED' "$build/logs/$name.log" | sed 's/^/  /' >&2
  fi
done
if [ $status -eq 0 ]; then echo "fuzz: no findings"; else echo "fuzz: FINDINGS"; fi
exit $status
