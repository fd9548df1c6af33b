#!/usr/bin/env bash
# SIGTERM to exit of norvexd, in milliseconds, while it relays, while its broker is
# unreachable, while the application keeps the port open and writes but never reads (the relays'
# echoes fill the port and the engine's buffer behind it), and while its group service takes the
# start-up request and never answers (the exit status of each stop is checked: it must be 0).
# Loopback only; every wait is bounded.
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

silent_port=$(free_port)  # takes connections and never answers
python3 - "$silent_port" <<'PY' &
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(64); s.settimeout(1)
held, end = [], time.time() + 3600
while time.time() < end:
    try: held.append(s.accept()[0])
    except socket.timeout: pass
PY
pids+=($!)
wait_port "$silent_port"

# an application on norvexd's virtual port that writes as fast as the port takes it and never
# reads; it gives up after a minute in any case
deaf_app() {
  python3 - "$work/vport" <<'PY'
import os, sys, time
end = time.time() + 60
while not os.path.exists(sys.argv[1]):
    if time.time() > end: sys.exit(1)
    time.sleep(0.01)
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
block = bytes(range(256)) * 4
while time.time() < end:
    try: os.write(fd, block)
    except BlockingIOError: pass
    except OSError: break  # norvexd stopped: the terminal is gone
    time.sleep(0.002)
PY
}

measure() {  # label, broker port, group service, what the log shows once norvexd is there,
             # then for the application that does not read: seconds to let it fill the port
  local times=() failed=0 settle=${5:-0}
  for _ in $(seq "$rounds"); do
    local app=() app_pid=
    [ "$settle" = 0 ] || app=(--virtual-port "$work/vport")
    NORVEX_BROKER="127.0.0.1:$2" NORVEX_GROUP_SERVICE="$3" "$norvexd" --config "$work/cfg" \
      "${app[@]}" 2>"$work/norvexd.log" &
    local pid=$!
    if [ "$settle" != 0 ]; then deaf_app & app_pid=$!; fi
    for _ in $(seq 200); do
      case "$4" in
        relaying|unreachable)  # relaying: connected; unreachable: the first failed attempt
          grep -q '运行中' "$work/norvexd.log" &&
            [ "$(grep -c -e '运行中' -e '网络故障' "$work/norvexd.log")" -ge 2 ] && break ;;
        starting) grep -q '启动服务' "$work/norvexd.log" && break ;;
      esac
      sleep 0.05
    done
    sleep 0.3
    [ "$settle" = 0 ] || sleep "$settle"
    local t0 t1 status=0
    t0=$(date +%s%N)
    kill -TERM "$pid"
    wait "$pid" || status=$?
    t1=$(date +%s%N)
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
    [ "$status" -eq 0 ] || failed=$((failed + 1))
    times+=($(( (t1 - t0) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk -v l="$1" -v f="$failed" '{a[NR]=$1} END {
    printf "%-28s median %8.1f ms   max %8.1f ms   (%d rounds, %d not status 0)\n", l,
           a[int((NR+1)/2)]/1000, a[NR]/1000, NR, f}'
}
measure "relaying" "$broker_port" "$NORVEX_GROUP_SERVICE" relaying
measure "broker unreachable" "$dead_port" "$NORVEX_GROUP_SERVICE" unreachable
measure "application not reading" "$broker_port" "$NORVEX_GROUP_SERVICE" relaying 2
measure "group service silent" "$broker_port" "127.0.0.1:$silent_port" starting
