#!/usr/bin/env bash
# SIGTERM to exit of norvexd, in milliseconds, while it relays and while its broker is
# unreachable.  Loopback only; every wait is bounded.
#   bench/stop/stop_latency.sh [BUILD_DIR] [ROUNDS]     (default build/rel, 10 rounds)
set -euo pipefail
cd "$(dirname "$0")/../.."
bin=$(realpath "${1:-build/rel}")
rounds=${2:-10}
norvexd="$bin/src/shell/norvexd"
groupd="$bin/tools/norvex-groupd/norvex-groupd"
group_tool="$bin/tools/norvex-group/norvex-group"
relay_sim="$bin/tools/relay-sim/relay-sim"

work=$(mktemp -d /tmp/norvex-stop-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port_up() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
wait_port() { for _ in $(seq 100); do port_up "$1" && return 0; sleep 0.1; done; return 1; }

broker_port=$(free_port)
group_port=$(free_port)
dead_port=$(free_port)  # nobody listens here
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n%s\n' "$broker_port" \
  "$([ "$(id -u)" -eq 0 ] && echo 'user root')" >"$work/mosquitto.conf"
"$(command -v mosquitto || echo /usr/sbin/mosquitto)" -c "$work/mosquitto.conf" >/dev/null 2>&1 &
pids+=($!)
"$groupd" serve --port "$group_port" --db "$work/groupd.db" >/dev/null 2>&1 &
pids+=($!)
wait_port "$broker_port" && wait_port "$group_port"
export NORVEX_GROUP_SERVICE="127.0.0.1:$group_port" NORVEX_ONENET_API="127.0.0.1:$group_port"

socat "pty,raw,echo=0,link=$work/app" "pty,raw,echo=0,link=$work/net" &
pids+=($!)
for _ in $(seq 100); do [ -e "$work/net" ] && break; sleep 0.1; done
password_option=(--password-stdin)
"$group_tool" --help 2>&1 | grep -q -- --password-stdin || password_option=(--password demo123)
group=$("$group_tool" create --name Stop "${password_option[@]}" --config "$work/cfg" \
        --net-port "$work/net" <<< "demo123")
"$groupd" add-device "$group" 1 8986 8600 --db "$work/groupd.db"
NORVEX_BROKER="127.0.0.1:$broker_port" "$relay_sim" --group "$group" --devids 1 --ping-ms 1000 \
  >/dev/null 2>&1 &
pids+=($!)
# the application keeps writing, so the service relays both ways (relay-sim echoes)
(while sleep 0.01; do printf '0123456789abcdef'; done >"$work/app") 2>/dev/null &
pids+=($!)
cat "$work/app" >/dev/null 2>&1 &
pids+=($!)

measure() {  # label, broker port
  local times=()
  for _ in $(seq "$rounds"); do
    NORVEX_BROKER="127.0.0.1:$2" "$norvexd" --config "$work/cfg" 2>"$work/norvexd.log" &
    local pid=$!
    # relaying: wait until connected; unreachable: until the first failed attempt
    for _ in $(seq 200); do
      grep -q '运行中' "$work/norvexd.log" && [ "$(grep -c -e '运行中' -e '网络故障' "$work/norvexd.log")" -ge 2 ] && break
      sleep 0.05
    done
    sleep 0.3
    local t0 t1
    t0=$(date +%s%N)
    kill -TERM "$pid"
    wait "$pid" || true
    t1=$(date +%s%N)
    times+=($(( (t1 - t0) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk -v l="$1" '{a[NR]=$1} END {
    printf "%-28s median %6.1f ms   max %6.1f ms   (%d rounds)\n", l, a[int((NR+1)/2)]/1000, a[NR]/1000, NR}'
}
measure "relaying" "$broker_port"
measure "broker unreachable" "$dead_port"
