#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each one for
# a bounded time over a copy of its seed corpus and kept findings, then prints
# one summary line per target. The repository's corpus is only written to
# when FUZZ_MERGE=1 (new inputs that add coverage are merged into it).
#
# Usage: fuzz.sh [seconds-per-target] [target...]   (default 120 s, all targets)
# FUZZ_PARALLEL  targets run at once (default 4)
# FUZZ_JOBS      worker processes per target, libFuzzer's fork mode (default 1)
# Findings are kept in build-fuzz/runs/TARGET/findings/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-120}
shift || true
parallel=${FUZZ_PARALLEL:-4}
jobs=${FUZZ_JOBS:-1}
build=$root/build-fuzz

CXX=${CXX:-clang++-14} cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCORVANE_BUILD_FUZZ=ON -DCORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$parallel" --target corvane-fuzz >/dev/null

targets=("$@")
if ((${#targets[@]} == 0)); then
  for file in "$root"/fuzz/corpus/*/; do targets+=("$(basename "$file")"); done
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The coverage libFuzzer reports after loading a corpus folder.
coverage() {
  "$1" -runs=0 "$2" 2>&1 | sed -n 's/.*INITED cov: \([0-9]*\).*/\1/p' | tail -n 1
}

run_target() {
  local target=$1 binary=$build/fuzz/fuzz-$1 work=$build/runs/$1
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  cp "$root/fuzz/corpus/$target"/* "$work/corpus/"
  if [[ -d $root/fuzz/regressions/$target ]]; then cp "$root/fuzz/regressions/$target"/* "$work/corpus/" 2>/dev/null || true; fi
  local options=(-max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -artifact_prefix="$work/findings/")
  [[ -f $root/fuzz/$target.dict ]] && options+=(-dict="$root/fuzz/$target.dict")
  ((jobs > 1)) && options+=(-fork="$jobs" -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
  local before after executions findings
  before=$(coverage "$binary" "$work/corpus")
  "$binary" "${options[@]}" "$work/corpus" >"$work/log" 2>&1 || true
  after=$(coverage "$binary" "$work/corpus")
  executions=$(sed -n 's/^#\([0-9][0-9]*\).*/\1/p' "$work/log" | tail -n 1)
  findings=$(find "$work/findings" -type f | wc -l)
  if [[ ${FUZZ_MERGE:-0} == 1 ]]; then
    "$binary" -merge=1 "$root/fuzz/corpus/$target" "$work/corpus" >>"$work/log" 2>&1 || true
  fi
  if [[ -z $executions ]]; then
    echo "$target did not run: see $work/log"
    return 1
  fi
  printf '%-22s %ss  executions %s  coverage %s -> %s (+%s)  findings %s\n' "$target" "$seconds" \
    "$executions" "${before:-0}" "${after:-0}" "$((${after:-0} - ${before:-0}))" "$findings"
}

status=0
pids=()
for target in "${targets[@]}"; do
  run_target "$target" &
  pids+=($!)
  if ((${#pids[@]} >= parallel)); then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
for target in "${targets[@]}"; do
  for finding in "$build/runs/$target/findings"/*; do
    [[ -e $finding ]] || continue
    echo "finding: $finding"
    status=1
  done
done
exit $status
