#!/usr/bin/env bash
# The main job on an embedded default.  For now: installs what is missing, builds, and lists
# what the build produced.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORVEX_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)"
echo "built:"
find build/release -maxdepth 3 -type f -perm -u+x ! -name '*.so*' ! -path '*CMakeFiles*' | sort
