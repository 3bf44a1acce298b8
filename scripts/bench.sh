#!/usr/bin/env bash
# Builds with the benchmarks and runs them all: the rule engine and DNS parser
# benchmarks, then (as root) the relay benchmark against the real daemon.
# Usage: bench.sh [BUILD_DIR]   (default ./build-bench)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-bench}
"$root/scripts/build.sh" "$dir" -DCORVANE_BUILD_BENCH=ON >/dev/null

echo "== Rule engine and DNS parser (load average $(cut -d' ' -f1-3 /proc/loadavg), medians of 5)"
"$dir/bench/corvane-bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_filter="${BENCH_FILTER:-.}" 2>&1 | grep -v -E '_(mean|stddev|cv) '

echo "== Relay"
if [[ $(id -u) != 0 ]]; then
  echo "skipped: the relay benchmark needs root (network namespaces, nftables)"
else
  "$root/scripts/bench-relay.sh" "$dir"
fi
