#!/usr/bin/env bash
# Installs the dependencies, builds Corvane and runs it.
#
# With a display (DISPLAY or WAYLAND_DISPLAY set) it builds the app, the daemon
# and the root helper, nothing more. Run as root, it installs them under
# /usr/local (cmake --install), installs the daemon as the machine's tunnel
# service with the installed helper (a systemd service, or a daemon of its own
# where systemd is not running), as the app's "Install / Update Service" would,
# waits until the daemon answers on /run/corvane/control.sock and launches the
# installed app. The helper runs only a daemon that, like every folder above
# it, belongs to root, which a build in a clone never is. Not root, it
# launches the app from the build tree and says how to install it.
#
# Without a display it says so and, as root, shows the daemon routing instead,
# self-contained: in two network namespaces of its own it starts corvane-tunnel,
# a SOCKS5 proxy (microsocks) and an echo server, sends a probe's connection to
# 198.18.0.10:7, which the profile routes through the proxy, and prints the
# connection records the daemon reports. Everything is removed after.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build=$root/build
prefix=/usr/local
socket=/run/corvane/control.sock
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$prefix"
targets() { cmake --build "$build" -j "$(nproc)" --target "$@"; }

daemon_answers() { [ -n "$(ss -xlH src "$socket" 2>/dev/null)" ]; }

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # The programs and the files their installation carries.
  targets corvane corvane-icons corvane-tunnel corvane-service corvane-tunnel-unit corvane-changelog corvane-manual
  if [ "$(id -u)" -ne 0 ]; then
    echo "Corvane built in $build. Run this script as root to install it under $prefix with its daemon;"
    echo "the app started from the build tree cannot install the daemon it was built with."
    exec "$build/apps/App/corvane"
  fi
  umask 022
  cmake --install "$build" >/dev/null
  echo "Corvane installed under $prefix; installing its daemon as the tunnel service."
  "$prefix/libexec/corvane/corvane-service" install "$prefix/libexec/corvane/corvane-tunnel"
  for _ in $(seq 100); do daemon_answers && break; sleep 0.1; done
  daemon_answers || echo "No daemon answers on $socket yet; the app shows the engine as stopped."
  exec "$prefix/bin/corvane"
fi

targets corvane-tunnel corvane-e2e-peer corvane-e2e-control
echo "Corvane's daemon built in $build: $build/apps/Tunnel/corvane-tunnel."
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset), so the app cannot open its window."
if [ "$(id -u)" -ne 0 ]; then
  echo "Run this script as root to see the daemon route a connection in network namespaces instead."
  exit 0
fi
echo "Showing the daemon routing a connection in network namespaces instead."
# The namespace names carry the pid, so that runs at once do not meet.
host=corvane-demo-host-$$
net=corvane-demo-net-$$
demo=$(mktemp -d /tmp/corvane-demo.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  ip netns del "$host" 2>/dev/null || true
  ip netns del "$net" 2>/dev/null || true
  rm -rf "$demo"
}
trap cleanup EXIT

ip netns add "$host"
ip netns add "$net"
ip link add cvdemo-h netns "$host" type veth peer name cvdemo-n netns "$net"
ip -n "$host" link set lo up
ip -n "$host" link set cvdemo-h up
ip -n "$host" addr add 10.204.0.1/24 dev cvdemo-h
ip -n "$host" route add default via 10.204.0.2
ip -n "$net" link set lo up
ip -n "$net" link set cvdemo-n up
ip -n "$net" addr add 10.204.0.2/24 dev cvdemo-n
ip -n "$net" addr add 198.18.0.10/32 dev lo

peer=$build/tests/e2e/corvane-e2e-peer
control=$build/tests/e2e/corvane-e2e-control
ip netns exec "$net" "$peer" tcp-echo 7 & pids+=($!)
ip netns exec "$net" microsocks -i 10.204.0.2 -p 1080 >"$demo/microsocks.log" 2>&1 & pids+=($!)
mkdir -p "$demo/run" "$demo/state"
ip netns exec "$host" env RUNTIME_DIRECTORY="$demo/run" STATE_DIRECTORY="$demo/state" \
  "$build/apps/Tunnel/corvane-tunnel" 2>"$demo/daemon.log" & pids+=($!)
for _ in $(seq 50); do [ -S "$demo/run/control.sock" ] && break; sleep 0.1; done

proxy=$(cat /proc/sys/kernel/random/uuid | tr a-f A-F)
rule=$(cat /proc/sys/kernel/random/uuid | tr a-f A-F)
cat >"$demo/profile.json" <<JSON
{"proxies":[{"id":"$proxy","name":"demo-socks","kind":"socks5","host":"10.204.0.2","port":1080,
  "resolvesHostnamesRemotely":false}],
 "rules":[{"id":"$rule","name":"Demo target","isEnabled":true,"applications":[],"hosts":["198.18.0.10/32"],
  "ports":[],"transports":[],"action":{"proxy":{"id":"$proxy"}},"matchMode":"all"}],
 "defaultAction":{"direct":{}}}
JSON
"$control" "$demo/run/control.sock" configure "$demo/profile.json"
"$control" "$demo/run/control.sock" start
sleep 0.5

echo "== probe in $host: TCP to 198.18.0.10:7, 1000 bytes (the echo server names the peer it sees)"
ip netns exec "$host" "$peer" tcp-echo-probe 198.18.0.10 7 1000
sleep 0.3
echo "== connection records fetched from the daemon"
"$control" "$demo/run/control.sock" records
echo "== the daemon's log"
cat "$demo/daemon.log"
