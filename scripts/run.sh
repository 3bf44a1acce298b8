#!/usr/bin/env bash
# Installs the dependencies and builds Corvane.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
echo "Corvane built in $root/build (the core library; the daemon and the app are not built yet)."
