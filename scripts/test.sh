#!/usr/bin/env bash
# Installs the dependencies, builds Corvane twice (plain, and with AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs every test in both builds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
run_suite() {
  local dir=$1
  shift
  "$root/scripts/build.sh" "$dir" "$@"
  echo "== ctest in $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" || status=1
}

run_suite "$root/build"
run_suite "$root/build-sanitize" -DCORVANE_SANITIZE=ON
exit $status
