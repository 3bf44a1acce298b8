#!/usr/bin/env bash
# Measures the daemon's data path side by side in two network namespaces of its own
# (the machine under test; the network with the proxies and the target):
#   direct             the client connects to the target, no session running
#   passthrough        the session runs with the default profile: the flow is
#                      declined and the daemon passes it through
#   explicit:PROXY     the client speaks SOCKS5 to the proxy itself
#   redsocks:PROXY     an nftables redirect hands the flow to redsocks, which uses the proxy
#   daemon:PROXY       corvane-tunnel diverts the flow and relays it through the proxy
# for PROXY microsocks and dante: upload, download and connection rate, each path in
# turn in every round, with the daemon's CPU time per GiB and per 1,000 connections;
# then a burst of UDP queries, each from a new socket, with the engine off and on;
# then the daemon's resident memory with IDLE idle relayed connections.
# The memory mode instead follows the daemon's resident set and live heap (glibc's
# count, read in the daemon through gdb) while short connections through a proxy
# rule add up, at each of MEMORY_CHECKPOINTS, while the records are fetched every
# MEMORY_POLL_MS as the app's Connections page does; then after each of
# MEMORY_UDP_BURSTS bursts of UDP_QUERIES UDP flows of each kind of the UDP burst
# above; and once more after malloc_trim(0) (what the allocator held without use).
# The resident set should level off after the first checkpoint; a heap that keeps
# growing is memory held per connection handled.
# Usage (as root): bench-relay.sh BUILD_DIR [memory]   (a build with -DCORVANE_BUILD_BENCH=ON)
# Tunables: ROUNDS (3), MIB per transfer (1024), CONNECTIONS per rate run (3000),
# WORKERS (8), IDLE (10000, or what the descriptor limit allows), UDP_QUERIES per
# burst (20000); memory mode: MEMORY_PROXY (microsocks or dante; microsocks),
# MEMORY_CHECKPOINTS (connections in all, multiples of MEMORY_STEP; "10000 50000
# 100000"), MEMORY_STEP (10000), MEMORY_POLL_MS (2000), MEMORY_UDP_BURSTS (3).
# Every process is stopped by its pid and both namespaces are deleted on exit, also on failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: bench-relay.sh BUILD_DIR [memory]}" && pwd)
mode=${2:-relay}
ROUNDS=${ROUNDS:-3}
MIB=${MIB:-1024}
CONNECTIONS=${CONNECTIONS:-3000}
WORKERS=${WORKERS:-8}

# The namespace names carry the pid, so that runs at once do not meet.
HOST_NS=cvb-host-$$
NET_NS=cvb-net-$$
HOST_ADDRESS=10.204.0.1
NET_ADDRESS=10.204.0.2
TARGET=198.18.0.10:5201
declare -A PROXIES=([microsocks]=$NET_ADDRESS:1080 [dante]=$NET_ADDRESS:1082)
declare -A REDSOCKS_PORTS=([microsocks]=12345 [dante]=12346)

client_bin=$build/bench/corvane-relay-client
burst_bin=$build/bench/corvane-udp-burst
target_bin=$build/bench/corvane-relay-target
control_bin=$build/bench/corvane-bench-control
daemon_bin=$build/apps/Tunnel/corvane-tunnel

fail() { echo "bench-relay: $*" >&2; exit 1; }
[[ $mode == relay || $mode == memory ]] || fail "unknown mode $mode (usage: bench-relay.sh BUILD_DIR [memory])"
[[ $(id -u) == 0 ]] || fail "needs root (network namespaces, nftables)"
for program in "$client_bin" "$burst_bin" "$target_bin" "$control_bin" "$daemon_bin"; do
  [[ -x $program ]] || fail "missing $program (build with -DCORVANE_BUILD_BENCH=ON)"
done
for program in ip nft microsocks danted; do
  command -v "$program" >/dev/null || fail "missing $program (scripts/install-deps.sh installs it)"
done
if [[ $mode == memory ]]; then
  command -v gdb >/dev/null || fail "missing gdb (scripts/install-deps.sh installs it)"
elif ! command -v redsocks >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends redsocks >/dev/null
fi

work=$(mktemp -d /tmp/cvb-relay.XXXXXX)
[[ -d $work ]] || fail "no temporary folder"
chmod 755 "$work"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  ip netns del "$HOST_NS" 2>/dev/null || true
  ip netns del "$NET_NS" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

in_host() { ip netns exec "$HOST_NS" "$@"; }
# Starts a command in the background and records its pid (ip netns exec and env
# exec the program, so the pid is the program's own).
start() {
  local log=$1
  shift
  "$@" >>"$work/$log" 2>&1 &
  pids+=("$!")
}
wait_for() {
  local tries=0
  until "$@" 2>/dev/null; do
    ((++tries < 250)) || fail "timed out waiting for: $*"
    sleep 0.02
  done
}
port_open() { ip netns exec "$1" bash -c "exec 3<>/dev/tcp/${2%:*}/${2#*:}"; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }'; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

# Every idle relayed flow costs the daemon (and the proxy) two descriptors: take as
# many idle flows as the descriptor limit allows, up to 10000.
ulimit -n 1048576 2>/dev/null || ulimit -n "$(ulimit -Hn)"
fits=$((($(ulimit -n) - 200) / 2))
IDLE=${IDLE:-$((fits < 10000 ? fits : 10000))}

# The namespaces: the machine under test and the network with the proxies and target.
ip netns del "$HOST_NS" 2>/dev/null || true
ip netns del "$NET_NS" 2>/dev/null || true
ip netns add "$HOST_NS"
ip netns add "$NET_NS"
ip link add cvb-h0 netns "$HOST_NS" type veth peer name cvb-n0 netns "$NET_NS"
ip -n "$HOST_NS" link set lo up
ip -n "$HOST_NS" link set cvb-h0 up
ip -n "$HOST_NS" addr add "$HOST_ADDRESS/24" dev cvb-h0
ip -n "$HOST_NS" route add default via "$NET_ADDRESS"
ip -n "$NET_NS" link set lo up
ip -n "$NET_NS" link set cvb-n0 up
ip -n "$NET_NS" addr add "$NET_ADDRESS/24" dev cvb-n0
ip -n "$NET_NS" addr add "${TARGET%:*}/32" dev lo
for ns in "$HOST_NS" "$NET_NS"; do
  ip netns exec "$ns" sysctl -q -w net.ipv4.ip_local_port_range="1024 65535" net.ipv4.tcp_tw_reuse=1 \
    net.core.somaxconn=8192 net.ipv4.tcp_max_syn_backlog=8192
done

start target.log ip netns exec "$NET_NS" "$target_bin" "$TARGET"
start microsocks.log ip netns exec "$NET_NS" microsocks -i "$NET_ADDRESS" -p "${PROXIES[microsocks]#*:}"
cat >"$work/danted.conf" <<CONF
logoutput: $work/danted.log
internal: $NET_ADDRESS port = ${PROXIES[dante]#*:}
external: $NET_ADDRESS
clientmethod: none
socksmethod: none
user.privileged: root
user.unprivileged: nobody
client pass { from: 0.0.0.0/0 to: 0.0.0.0/0 }
socks pass { from: 0.0.0.0/0 to: 0.0.0.0/0 command: connect }
CONF
start danted.log ip netns exec "$NET_NS" danted -f "$work/danted.conf"
wait_for port_open "$NET_NS" "$TARGET"
for proxy in "${!PROXIES[@]}"; do
  wait_for port_open "$NET_NS" "${PROXIES[$proxy]}"
  [[ $mode == relay ]] || continue
  cat >"$work/redsocks-$proxy.conf" <<CONF
base { log_debug = off; log_info = off; log = stderr; daemon = off; redirector = iptables; }
redsocks { local_ip = 127.0.0.1; local_port = ${REDSOCKS_PORTS[$proxy]}; ip = ${PROXIES[$proxy]%:*}; port = ${PROXIES[$proxy]#*:}; type = socks5; }
CONF
  start "redsocks-$proxy.log" ip netns exec "$HOST_NS" redsocks -c "$work/redsocks-$proxy.conf"
  wait_for port_open "$HOST_NS" "127.0.0.1:${REDSOCKS_PORTS[$proxy]}"
done

mkdir -p "$work/runtime" "$work/state"
start daemon.log ip netns exec "$HOST_NS" env RUNTIME_DIRECTORY="$work/runtime" STATE_DIRECTORY="$work/state" "$daemon_bin"
daemon_pid=${pids[-1]}
wait_for test -S "$work/runtime/control.sock"
control() { in_host "$control_bin" "$work/runtime/control.sock" "$@"; }
# The daemon's user and system CPU time so far, in clock ticks.
ticks=$(getconf CLK_TCK)
daemon_cpu() { awk '{ print $14 + $15 }' "/proc/$daemon_pid/stat"; }

# The UDP query burst: UDP_QUERIES DNS-like queries, each from a new socket, to a
# UDP echo server, with the engine off and on (no rules, default direct). Port 53
# is the resolver's flow, which the daemon relays itself to learn host names;
# another port is a declined flow, which the kernel is told to let through.
UDP_QUERIES=${UDP_QUERIES:-20000}
udp_burst_kinds=(dns declined)
declare -A udp_burst_ports=([dns]=53 [declined]=5300)
declare -A udp_burst
udp_burst_setup() {
  local port
  for port in "${udp_burst_ports[@]}"; do
    start udp-echo.log ip netns exec "$NET_NS" "$target_bin" --udp "${TARGET%:*}:$port"
  done
}
udp_burst_record() {
  local key=$1 line=$2 name
  local -a fields
  read -r -a fields <<<"$line"
  for name in rate p50 p99 lost; do
    udp_burst[$key.$name]+=" ${fields[0]}"
    fields=("${fields[@]:1}")
  done
}
# One round: each kind with the engine off, then on; then the daemon's memory and
# descriptors right after its burst.
udp_burst_round() {
  local round=$1 kind engine line
  for kind in "${udp_burst_kinds[@]}"; do
    for engine in off on; do
      if [[ $engine == on ]]; then control direct; else control stop; fi
      line=$(in_host "$burst_bin" "${TARGET%:*}:${udp_burst_ports[$kind]}" "$UDP_QUERIES")
      udp_burst_record "$kind.$engine" "$line"
      echo "round $round: udp $kind engine $engine: $line (queries/s p50 ms p99 ms lost)"
    done
    udp_burst[$kind.rss]+=" $(rss_kib "$daemon_pid")"
    udp_burst[$kind.fds]+=" $(ls "/proc/$daemon_pid/fd" | wc -l)"
    control stop
  done
}
udp_burst_report() {
  local kind engine name
  local -A m
  echo "UDP burst: $UDP_QUERIES queries per run, each from a new socket, medians of $ROUNDS rounds"
  printf '%-22s %10s %9s %9s %6s %12s %10s\n' "" queries/s "p50 ms" "p99 ms" lost "daemon RSS" "open fds"
  for kind in "${udp_burst_kinds[@]}"; do
    for engine in off on; do
      for name in rate p50 p99 lost; do
        # shellcheck disable=SC2086
        m[$name]=$(median ${udp_burst[$kind.$engine.$name]})
      done
      if [[ $engine == on ]]; then
        # shellcheck disable=SC2086
        m[rss]=$(awk -v k="$(median ${udp_burst[$kind.rss]})" 'BEGIN { printf "%.1f", k / 1024 }')
        # shellcheck disable=SC2086
        printf '%-22s %10s %9s %9s %6s %8s MiB %10s\n' "$kind port ${udp_burst_ports[$kind]}, engine on" \
          "${m[rate]}" "${m[p50]}" "${m[p99]}" "${m[lost]}" "${m[rss]}" "$(median ${udp_burst[$kind.fds]})"
        # shellcheck disable=SC2086
        echo "  on/off queries/s: $(ratio "${m[rate]}" "$(median ${udp_burst[$kind.off.rate]})")," \
          "added p50: $(awk -v a="${m[p50]}" -v b="$(median ${udp_burst[$kind.off.p50]})" 'BEGIN { printf "%.3f", a - b }') ms"
      else
        printf '%-22s %10s %9s %9s %6s\n' "$kind port ${udp_burst_ports[$kind]}, engine off" \
          "${m[rate]}" "${m[p50]}" "${m[p99]}" "${m[lost]}"
      fi
    done
  done
}
udp_burst_setup

# Each path is switched on, measured and switched off again, in turn in every round.
redirect_on() {
  in_host nft -f - <<RULES
table ip cvb_redsocks {
  chain out {
    type nat hook output priority -100; policy accept;
    ip daddr ${TARGET%:*} tcp dport ${TARGET#*:} redirect to :${REDSOCKS_PORTS[$1]}
  }
}
RULES
}
redirect_off() { in_host nft delete table ip cvb_redsocks; }
setup() {
  case $1 in
    passthrough) control direct ;;
    redsocks:*) redirect_on "${1#*:}" ;;
    daemon:*) control route "${PROXIES[${1#*:}]}" "$TARGET" ;;
  esac
}
teardown() {
  case $1 in
    passthrough | daemon:*) control stop ;;
    redsocks:*) redirect_off ;;
  esac
}
client() {
  local path=$1
  shift
  if [[ $path == explicit:* ]]; then
    in_host "$client_bin" --socks "${PROXIES[${path#*:}]}" "$TARGET" "$@"
  else
    in_host "$client_bin" "$TARGET" "$@"
  fi
}

# The memory mode.
MEMORY_PROXY=${MEMORY_PROXY:-microsocks}
MEMORY_CHECKPOINTS=${MEMORY_CHECKPOINTS:-10000 50000 100000}
MEMORY_STEP=${MEMORY_STEP:-10000}
MEMORY_POLL_MS=${MEMORY_POLL_MS:-2000}
MEMORY_UDP_BURSTS=${MEMORY_UDP_BURSTS:-3}
in_daemon() { gdb -p "$daemon_pid" -batch -nx -ex "$1" >/dev/null 2>&1; }
# The daemon's live heap in KiB as glibc counts it: malloc_stats writes its totals
# to the daemon's standard error, which goes to daemon.log.
heap_kib() {
  in_daemon 'call (void) malloc_stats()' || fail "gdb could not attach to the daemon"
  awk '/^Total \(incl\. mmap\):/ { total = 1; next }
       total && /^in use bytes/ { kib = int($NF / 1024); total = 0 }
       END { print kib }' "$work/daemon.log"
}
mib() { awk -v k="$1" 'BEGIN { printf "%.2f", k / 1024 }'; }
memory_row() { printf '%-32s %9s %9s %6s  %s\n' "$@"; }
# One row, once the last flows have ended (WAIT seconds).
memory_sample() {
  sleep "$2"
  memory_row "$1" "$(mib "$(rss_kib "$daemon_pid")")" "$(mib "$(heap_kib)")" "$(ls "/proc/$daemon_pid/fd" | wc -l)" "$(load)"
}
memory_run() {
  [[ -n ${PROXIES[$MEMORY_PROXY]:-} ]] || fail "MEMORY_PROXY must be microsocks or dante"
  control route "${PROXIES[$MEMORY_PROXY]}" "$TARGET"
  start poll.log ip netns exec "$HOST_NS" "$control_bin" "$work/runtime/control.sock" poll "$MEMORY_POLL_MS"
  local poller=${pids[-1]} word handled checkpoint burst kind
  echo "Daemon memory: short connections through $MEMORY_PROXY (one program, $WORKERS threads)," \
    "records fetched every $MEMORY_POLL_MS ms; then $MEMORY_UDP_BURSTS bursts of $UDP_QUERIES UDP flows" \
    "of each kind (${udp_burst_kinds[*]}); $(nproc) cores"
  memory_row "" "RSS MiB" "heap MiB" "fds" "load average"
  memory_sample "session started" 1
  # One program makes them all, as the programs of a desktop do: a new process
  # per batch would be looked up afresh and hide what the daemon keeps per connection.
  coproc churn { exec ip netns exec "$HOST_NS" "$client_bin" "$TARGET" churn "$MEMORY_STEP" "$WORKERS" 2>>"$work/churn.log"; }
  pids+=("$churn_PID")
  handled=0
  for checkpoint in $MEMORY_CHECKPOINTS; do
    ((checkpoint % MEMORY_STEP == 0)) || fail "checkpoint $checkpoint is not a multiple of MEMORY_STEP"
    while ((handled < checkpoint)); do
      ((handled == 0)) || echo >&"${churn[1]}"
      read -r word handled <&"${churn[0]}" && [[ $word == done ]] || fail "the client failed: $(cat "$work/churn.log")"
    done
    memory_sample "after $handled TCP connections" 3
  done
  kill "$churn_PID"
  kill "$poller"
  for ((burst = 1; burst <= MEMORY_UDP_BURSTS; ++burst)); do
    for kind in "${udp_burst_kinds[@]}"; do
      in_host "$burst_bin" "${TARGET%:*}:${udp_burst_ports[$kind]}" "$UDP_QUERIES" >/dev/null
    done
    # The host notices closed UDP sockets within 15 s.
    memory_sample "after $((burst * UDP_QUERIES)) of each UDP kind" 20
  done
  in_daemon 'call (int) malloc_trim(0)' || fail "gdb could not attach to the daemon"
  memory_sample "after malloc_trim(0)" 0
  control stop
}
if [[ $mode == memory ]]; then
  memory_run
  exit 0
fi

paths=(direct passthrough)
for kind in explicit redsocks daemon; do
  for proxy in microsocks dante; do paths+=("$kind:$proxy"); done
done
metrics=(upload download connect)
declare -A results cpu
load_start=$(load)
for ((round = 1; round <= ROUNDS; ++round)); do
  for path in "${paths[@]}"; do
    setup "$path"
    for metric in "${metrics[@]}"; do
      before=$(daemon_cpu)
      case $metric in
        connect) value=$(client "$path" connect "$CONNECTIONS" "$WORKERS") ;;
        *) value=$(client "$path" "$metric" "$MIB") ;;
      esac
      used=$(($(daemon_cpu) - before))
      results[$path.$metric]+=" $value"
      cpu[$path.$metric]+=" $used"
      echo "round $round: $path $metric $value (daemon CPU $((used * 1000 / ticks)) ms)"
    done
    teardown "$path"
  done
  udp_burst_round "$round"
done
load_relay=$(load)

declare -A m
for path in "${paths[@]}"; do
  for metric in "${metrics[@]}"; do
    # shellcheck disable=SC2086
    m[$path.$metric]=$(median ${results[$path.$metric]})
  done
done
row() { printf '%-28s %14s %16s %14s\n' "$@"; }
echo "Relay benchmark: $ROUNDS rounds, medians; $MIB MiB per transfer, $CONNECTIONS connections on $WORKERS threads per rate run"
echo "Load average: $load_start at start, $load_relay after the relay rounds ($(nproc) cores)"
row path "upload MiB/s" "download MiB/s" "connections/s"
for path in "${paths[@]}"; do row "$path" "${m[$path.upload]}" "${m[$path.download]}" "${m[$path.connect]}"; done
ratios() {
  row "$1" "$(ratio "${m[$2.upload]}" "${m[$3.upload]}")" "$(ratio "${m[$2.download]}" "${m[$3.download]}")" \
    "$(ratio "${m[$2.connect]}" "${m[$3.connect]}")"
}
echo "Ratios"
ratios "passthrough/direct" passthrough direct
for proxy in microsocks dante; do
  ratios "daemon/redsocks ($proxy)" "daemon:$proxy" "redsocks:$proxy"
  ratios "daemon/explicit ($proxy)" "daemon:$proxy" "explicit:$proxy"
done
echo "Daemon CPU time, medians: seconds per GiB moved (transfers), per 1,000 connections (rate)"
row path upload download connect
per_unit() { awk -v t="$1" -v hz="$ticks" -v units="$2" 'BEGIN { printf "%.3f", t / hz / units }'; }
for path in passthrough daemon:microsocks daemon:dante; do
  # shellcheck disable=SC2086
  row "$path" "$(per_unit "$(median ${cpu[$path.upload]})" "$(awk -v m="$MIB" 'BEGIN { print m / 1024 }')")" \
    "$(per_unit "$(median ${cpu[$path.download]})" "$(awk -v m="$MIB" 'BEGIN { print m / 1024 }')")" \
    "$(per_unit "$(median ${cpu[$path.connect]})" "$(awk -v n="$CONNECTIONS" 'BEGIN { print n / 1000 }')")"
done

udp_burst_report

# Memory: the daemon before and while IDLE idle connections are relayed through it.
control route "${PROXIES[microsocks]}" "$TARGET"
client daemon:microsocks connect 200 4 >/dev/null
sleep 1
rss_before=$(rss_kib "$daemon_pid")
start idle.log ip netns exec "$HOST_NS" "$client_bin" "$TARGET" idle "$IDLE" 16
idle_pid=${pids[-1]}
opening=$SECONDS
until grep -qs '^ready' "$work/idle.log"; do
  kill -0 "$idle_pid" 2>/dev/null || fail "the idle client failed: $(cat "$work/idle.log")"
  ((SECONDS - opening < 900)) || fail "the idle connections did not open in 900 s"
  sleep 0.2
done
opening=$((SECONDS - opening))
sleep 2
rss_idle=$(rss_kib "$daemon_pid")
kill "$idle_pid"
wait "$idle_pid" 2>/dev/null || true
sleep 2
rss_after=$(rss_kib "$daemon_pid")
control stop
load_end=$(load)

awk -v b="$rss_before" -v i="$rss_idle" -v a="$rss_after" -v n="$IDLE" -v t="$opening" -v load="$load_end" 'BEGIN {
  printf "Daemon RSS: %.1f MiB before, %.1f MiB with %d idle relayed connections, %.1f MiB after they closed\n", b / 1024, i / 1024, n, a / 1024
  printf "Opening them took %d s; load average at the end: %s\n", t, load
  printf "Daemon RSS per 1000 idle flows: %.2f MiB (%d flows: %.1f MB, limit 100 MB)\n", (i - b) / 1024 / (n / 1000), n, (i - b) * 1024 / 1e6
}'
