#!/usr/bin/env bash
# Installs the dependencies, builds Corvane twice (plain, and with AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs every test in both builds, makes the
# Debian package from the plain build and checks it; then builds the in-process
# daemon and platform tests under ThreadSanitizer and runs those.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp"

status=0
# Tests that failed a try and then passed, one line per test and ctest run,
# printed at the end of the run: a rerun must not hide them.
reruns=$(mktemp)
trap 'rm -f "$reruns"' EXIT

# The tests of one ctest log ("Test #N: NAME ...... STATUS" per try) that
# passed after failing, with the number of failed tries.
passed_on_rerun() {
  awk -v run="$1" '
    match($0, /Test +#[0-9]+: /) {
      key = substr($0, RSTART, RLENGTH)
      rest = substr($0, RSTART + RLENGTH)
      if (!match(rest, / \.+ *(\*\*\*)?[A-Za-z]/)) next
      name = substr(rest, 1, RSTART - 1)
      outcome = substr(rest, RSTART + RLENGTH - 1)
      if (outcome ~ /^Passed/) {
        if (failed[key] > 0) printf "  %s: %s (failed %d of %d tries)\n", run, name, failed[key], failed[key] + 1
      } else if (outcome !~ /^(Skipped|Not Run)/) {
        failed[key]++
      }
    }' "$2"
}

# ctest with up to three tries per test; a test that never passes fails the run.
run_ctest() {
  local dir=$1
  shift
  local log
  log=$(mktemp)
  echo "== ctest in $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --repeat until-pass:3 "$@" 2>&1 | tee "$log" || status=1
  passed_on_rerun "$dir" "$log" >>"$reruns"
  rm -f "$log"
}

run_suite() {
  local dir=$1
  shift
  "$root/scripts/build.sh" "$dir" "$@"
  run_ctest "$dir"
}

# The plain build installs under /usr, so its tree also makes the Debian package.
run_suite "$root/build" -DCMAKE_INSTALL_PREFIX=/usr
echo "== Debian package"
"$root/scripts/package.sh" "$root/build" || status=1
run_suite "$root/build-sanitize" -DCORVANE_SANITIZE=ON

# Only the threaded in-process tests are worth the ThreadSanitizer build.
tsan_targets=(CorvaneTunnelTests CorvanePlatformTests)
tsan="$root/build-tsan"
cmake -S "$root" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_TSAN=ON
cmake --build "$tsan" -j "$(nproc)" --target "${tsan_targets[@]}"
run_ctest "$tsan" -L in-process-daemon

if [[ -s $reruns ]]; then
  echo "== Passed only on a rerun (flaky: each needs a fix, not a retry):"
  cat "$reruns"
else
  echo "== No test needed a rerun to pass."
fi
exit $status
