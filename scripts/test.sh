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
run_suite() {
  local dir=$1
  shift
  "$root/scripts/build.sh" "$dir" "$@"
  echo "== ctest in $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --repeat until-pass:3 || status=1
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
echo "== ctest in $tsan"
ctest --test-dir "$tsan" --output-on-failure -j "$(nproc)" --repeat until-pass:3 -L in-process-daemon || status=1
exit $status
