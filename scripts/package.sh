#!/usr/bin/env bash
# Builds the Debian package of the whole product in BUILD_DIR (default
# ./build-package; an existing build tree, such as the test build, is reused) and
# checks it with lintian and its desktop entry with desktop-file-validate; their
# errors fail the build. Usage: package.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-package}
options=(-DCMAKE_INSTALL_PREFIX=/usr)
[[ -f $dir/CMakeCache.txt ]] || options+=(-DCORVANE_BUILD_TESTS=OFF)
"$root/scripts/build.sh" "$dir" "${options[@]}"
(cd "$dir" && cpack -G DEB >/dev/null)
package=$(ls -t "$dir"/corvane_*.deb | head -1)
echo "== $package"
desktop-file-validate "$dir/apps/App/org.corvane.Corvane.desktop"
lintian --tag-display-limit 0 "$package" || {
  echo "lintian reported errors" >&2
  exit 1
}
