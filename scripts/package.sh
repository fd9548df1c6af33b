#!/usr/bin/env bash
# Builds the Debian packages (norvex, and norvex-panel once the panel exists) from the Release
# tree build/release, which the demo shares, and prints their paths, one a line.  Everything
# else it says goes to stderr.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(pwd)/build/release
out=$build/packages

scripts/deps.sh >&2
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DNORVEX_BUILD_TESTS=OFF -DNORVEX_BUILD_BENCH=OFF >&2
cmake --build "$build" -j "$(nproc)" >&2
rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out") >&2
ls -1 "$out"/*.deb
