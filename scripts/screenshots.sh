#!/usr/bin/env bash
# Renders the control panel's windows into docs/screenshots/ under a private X server (Xvfb):
# main.png, login.png, new-group.png, details.png, about.png.  The details come from a private
# norvex-groupd holding a demo group; the main window shows the state of a run with two relays
# heard.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/deps.sh
build=${NORVEX_BUILD_DIR:-build/release}
# an existing build tree (NORVEX_BUILD_DIR) is used as it is configured
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORVEX_BUILD_TESTS=OFF \
        -DNORVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target panel-shots norvex-groupd norvex-group

work=$(mktemp -d /tmp/norvex-shots-XXXXXX)
groupd_pid=
cleanup() {
  [ -n "$groupd_pid" ] && kill "$groupd_pid" 2>/dev/null && wait "$groupd_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$build/tools/norvex-groupd/norvex-groupd" serve --port "$port" --db "$work/groups.db" \
  >"$work/groupd.log" 2>&1 &
groupd_pid=$!
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
export NORVEX_GROUP_SERVICE="127.0.0.1:$port" NORVEX_ONENET_API="127.0.0.1:$port"
group=$("$build/tools/norvex-group/norvex-group" create --name "Demo Group" --password demo123 \
        --config "$work/NorvexPanel.cfg")

mkdir -p docs/screenshots
NORVEX_SHOT_GROUP=$group NORVEX_SHOT_PASSWORD=demo123 \
  xvfb-run -a -s "-screen 0 1280x800x24" "$build/tools/panel-shots/panel-shots" "$root/docs/screenshots"
