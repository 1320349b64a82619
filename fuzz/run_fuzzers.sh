#!/usr/bin/env bash
# Builds the libFuzzer targets (when needed) and runs each of them in turn.
#
#   fuzz/run_fuzzers.sh SECONDS [TARGET...]
#
# Each target starts from its committed corpus in fuzz/corpus/<target>/,
# copied into the scratch directory fuzz/corpus-work/<target>/ (git-ignored;
# what a run finds is kept there for the next run). A crash, a leak, a
# sanitizer report or a broken invariant leaves its input in
# fuzz/corpus-work/crashes/ and makes the script exit with status 1.
# Targets run one after the other: the machines we run on have few cores.
#
# Environment: FERLO_FUZZ_BUILD (build directory, default build-fuzz),
# FERLO_FUZZ_JOBS (ninja -j, default 2), FERLO_FUZZ_NO_BUILD=1 (run the
# targets already built, without building first).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]] || [ "$1" -lt 1 ]; then
  sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
seconds=$1
shift
build=${FERLO_FUZZ_BUILD:-build-fuzz}
all_targets=(rule_manifest tool_request tool_request_roundtrip file_url strings_file stringsdict_file png_size
             selection_differential)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

if [ "${FERLO_FUZZ_NO_BUILD:-0}" = 1 ]; then
  :
elif [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DFERLO_BUILD_FUZZ=ON -DFERLO_SANITIZE=address,undefined -DFERLO_BUILD_BENCH=OFF >/dev/null
fi
if [ "${FERLO_FUZZ_NO_BUILD:-0}" != 1 ] && ! ninja -C "$build" -j "${FERLO_FUZZ_JOBS:-2}" fuzzers >"$build/fuzz-build.log" 2>&1; then
  echo "run_fuzzers.sh: the build failed; see $build/fuzz-build.log" >&2
  grep -m5 -E 'error|FAILED' "$build/fuzz-build.log" >&2 || true
  exit 2
fi

work=fuzz/corpus-work
mkdir -p "$work/crashes"
failed=0
printf '%-24s %12s %10s %8s %8s %8s\n' target executions exec/s cov ft crashes
for target in "${targets[@]}"; do
  binary="$build/fuzz/${target}_fuzzer"
  if [ ! -x "$binary" ]; then
    echo "run_fuzzers.sh: no target $target" >&2
    exit 2
  fi
  corpus="$work/$target"
  mkdir -p "$corpus"
  cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  log="$work/$target.log"
  before=$(find "$work/crashes" -name "${target}-*" | wc -l)
  status=0
  # -timeout: one input taking longer than this is a hang, reported as a crash.
  "$binary" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/crashes/${target}-" >"$log" 2>&1 || status=$?
  after=$(find "$work/crashes" -name "${target}-*" | wc -l)
  crashes=$((after - before))
  [ "$status" -ne 0 ] && [ "$crashes" -eq 0 ] && crashes=1
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  # The last status line carries the final coverage: "... cov: 812 ft: 2301 corp: ..."
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  printf '%-24s %12s %10s %8s %8s %8s\n' "$target" "${executions:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$crashes"
  if [ "$crashes" -ne 0 ]; then
    failed=1
    echo "  see $log" >&2
    grep -m3 -E 'ERROR|invariant broken|runtime error' "$log" | sed 's/^/  /' >&2 || true
  fi
done
exit $failed
