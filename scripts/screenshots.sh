#!/usr/bin/env bash
# Renders the control panel's windows into docs/screenshots/ under a private X server (Xvfb), in
# both languages: main.png, monitor.png, login.png, new-group.png, details.png, about.png in the
# Chinese of the C locale, and main-en.png and so on in English (an en_US locale).  A private mosquitto, norvex-groupd
# holding a demo group of two relays, a virtual serial-port pair and relay-sim make the system
# the main window runs on; it is taken once both relays read "√".
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/deps.sh
build=${NORVEX_BUILD_DIR:-build/release}
# an existing build tree (NORVEX_BUILD_DIR) is used as it is configured
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORVEX_BUILD_TESTS=OFF \
        -DNORVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target panel-shots norvex-groupd norvex-group relay-sim

work=$(mktemp -d /tmp/norvex-shots-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
wait_port() { for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return; sleep 0.1; done; }
port=$(free_port)
broker_port=$(free_port)
{
  echo "listener $broker_port 127.0.0.1"
  echo "allow_anonymous true"
  echo "persistence false"
  [ "$(id -u)" -eq 0 ] && echo "user root"
} >"$work/mosquitto.conf"
"$(command -v mosquitto || echo /usr/sbin/mosquitto)" -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 &
pids+=($!)
"$build/tools/norvex-groupd/norvex-groupd" serve --port "$port" --db "$work/groups.db" \
  >"$work/groupd.log" 2>&1 &
pids+=($!)
socat "pty,raw,echo=0,link=$work/ttyApp" "pty,raw,echo=0,link=$work/ttyNet" &
pids+=($!)
wait_port "$port"
wait_port "$broker_port"
for _ in $(seq 100); do [ -e "$work/ttyNet" ] && break; sleep 0.1; done
export NORVEX_GROUP_SERVICE="127.0.0.1:$port" NORVEX_ONENET_API="127.0.0.1:$port"
export NORVEX_BROKER="127.0.0.1:$broker_port" NORVEX_SERIAL_PORTS="$work/ttyApp:$work/ttyNet"
group=$(echo demo123 | "$build/tools/norvex-group/norvex-group" create --name "Demo Group" --password-stdin \
        --config "$work/NorvexPanel.cfg" --net-port "$work/ttyNet" --app-port "$work/ttyApp")
"$build/tools/norvex-groupd/norvex-groupd" add-device "$group" 1 89860000000000000001 860000000000001 --db "$work/groups.db"
"$build/tools/norvex-groupd/norvex-groupd" add-device "$group" 2 89860000000000000002 860000000000002 --db "$work/groups.db"
# the relays ping every second, so that they are heard soon after the panel has subscribed
"$build/tools/relay-sim/relay-sim" --group "$group" --devids 1,2 --ping-ms 1000 \
  --broker "127.0.0.1:$broker_port" >"$work/relays.log" 2>&1 &
pids+=($!)

mkdir -p docs/screenshots
for lang in C.UTF-8 en_US.UTF-8; do
  env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=$lang \
    NORVEX_SHOT_GROUP=$group NORVEX_SHOT_PASSWORD=demo123 NORVEX_SHOT_CONFIG="$work/NorvexPanel.cfg" \
    xvfb-run -a -s "-screen 0 1280x800x24" "$build/tools/panel-shots/panel-shots" "$root/docs/screenshots"
done
