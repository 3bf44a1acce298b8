#!/usr/bin/env bash
# Installs every build and test dependency from Debian's packages. Idempotent.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config git
  nlohmann-json3-dev libasio-dev libicu-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsystemd-dev libnftables-dev nftables iproute2 procps
  dante-server microsocks tinyproxy curl redsocks python3 gdb
  qt6-base-dev qt6-svg-dev libssl-dev zlib1g-dev pkexec polkitd
  xvfb openbox trayer xdotool imagemagick at-spi2-core dbus-daemon
  dpkg-dev lintian desktop-file-utils wget
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
