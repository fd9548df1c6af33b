#!/usr/bin/env bash
# The whole system on this machine: installs what is missing, builds a Release tree, then runs
# mosquitto, norvex-groupd with a demo group of two relays, relay-sim playing them and norvexd
# with its built-in virtual port.  Ctrl-C stops everything it started.
# `demo.sh --panel` runs the desktop panel (norvex-panel) there instead of norvexd; it needs a
# display.
# Ports: NORVEX_DEMO_BROKER_PORT (6002) and NORVEX_DEMO_GROUP_PORT (50001), loopback only.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
broker_port=${NORVEX_DEMO_BROKER_PORT:-6002}
group_port=${NORVEX_DEMO_GROUP_PORT:-50001}
panel=0
case "${1:-}" in
  --panel) panel=1 ;;
  "") ;;
  *) echo "usage: demo.sh [--panel]" >&2; exit 2 ;;
esac
if ((panel)) && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: --panel needs a display (DISPLAY or WAYLAND_DISPLAY)" >&2
  exit 2
fi

scripts/deps.sh
# one line per set-up step; the full output in build/demo-setup.log, shown when a step fails
. scripts/quiet_step.sh
mkdir -p build
setup_log="$root/build/demo-setup.log"
: >"$setup_log"
quiet_step "demo: configuring build/release" "$setup_log" \
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORVEX_BUILD_TESTS=OFF \
  -DNORVEX_BUILD_BENCH=OFF
targets=(norvexd norvex-group norvex-groupd relay-sim)
((panel)) && targets+=(norvex-panel)
quiet_step "demo: building ${targets[*]}" "$setup_log" \
  cmake --build build/release -j "$(nproc)" --target "${targets[@]}"
bin="$root/build/release"
norvexd="$bin/src/shell/norvexd"
groupd="$bin/tools/norvex-groupd/norvex-groupd"
group_tool="$bin/tools/norvex-group/norvex-group"
relay_sim="$bin/tools/relay-sim/relay-sim"

work=$(mktemp -d /tmp/norvex-demo-XXXXXX)
pids=()
cleanup() {
  trap - EXIT INT TERM
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill -TERM "${pids[i]}" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
  echo "demo: stopped everything it started"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

port_busy() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
wait_port() {  # port, what
  for _ in $(seq 100); do port_busy "$1" && return 0; sleep 0.1; done
  echo "demo: $2 did not come up on 127.0.0.1:$1 (see $work)" >&2
  exit 1
}
for p in "$broker_port" "$group_port"; do
  if port_busy "$p"; then
    echo "demo: 127.0.0.1:$p is taken; set NORVEX_DEMO_BROKER_PORT / NORVEX_DEMO_GROUP_PORT" >&2
    exit 1
  fi
done

# the programs below run in their own process group, so that Ctrl-C reaches only this script,
# which then stops them in reverse order (norvexd first)
start() {  # log file, command...
  local log=$1; shift
  setsid "$@" >"$log" 2>&1 &
  pids+=($!)
}

{
  echo "listener $broker_port 127.0.0.1"
  echo "allow_anonymous true"
  echo "persistence false"
  echo "set_tcp_nodelay true"
  [ "$(id -u)" -eq 0 ] && echo "user root"
} >"$work/mosquitto.conf"
mosquitto_bin=$(command -v mosquitto || echo /usr/sbin/mosquitto)
start "$work/mosquitto.log" "$mosquitto_bin" -c "$work/mosquitto.conf"
wait_port "$broker_port" mosquitto
start "$work/groupd.log" "$groupd" serve --port "$group_port" --db "$work/groupd.db"
wait_port "$group_port" norvex-groupd

export NORVEX_BROKER="127.0.0.1:$broker_port"
export NORVEX_GROUP_SERVICE="127.0.0.1:$group_port"
export NORVEX_ONENET_API="127.0.0.1:$group_port"

# norvexd makes the port itself: a pseudo-terminal linked here, opened by the user's program
app_port="$work/ttyNorvex0"

# the password on standard input: on the command line every user of the machine could read it
group_id=$("$group_tool" create --name "Demo Group" --password-stdin --config "$work/NorvexPanel.cfg" \
           --net-port "pty:$app_port" <<< "demo123")
"$groupd" add-device "$group_id" 1 89860000000000000001 860000000000001 --db "$work/groupd.db"
"$groupd" add-device "$group_id" 2 89860000000000000002 860000000000002 --db "$work/groupd.db"

ping_ms=30000
if ((panel)); then
  # the panel prints nothing: the relays' pings, every 5 s, mark them online soon after it
  # has connected
  ping_ms=5000
  start "$work/norvexd.log" "$bin/src/panel/norvex-panel" --config "$work/NorvexPanel.cfg"
else
  start "$work/norvexd.log" "$norvexd" --config "$work/NorvexPanel.cfg" --stats-interval 60 \
        --trace-file "$work/trace.log" --metrics-file "$work/norvex.prom"
fi
norvexd_pid=${pids[-1]}
# relays come up once norvexd is connected, so that it hears their first "baseinfo"
for _ in $(seq 100); do
  ((panel)) && break
  [ "$(grep -c '运行中' "$work/norvexd.log" 2>/dev/null)" -ge 2 ] && break
  kill -0 "$norvexd_pid" 2>/dev/null || break
  sleep 0.1
done
start "$work/relay1.log" "$relay_sim" --group "$group_id" --devids 1 --ping-ms "$ping_ms"
start "$work/relay2.log" "$relay_sim" --group "$group_id" --devids 2 --ping-ms "$ping_ms" --no-echo

cat <<MSG

Norvex demo is running: group $group_id; relay 1 echoes what it receives, relay 2 only reports.
  norvexd's virtual port:    $app_port
  talk to it, for example:   socat - $app_port,raw,echo=0
                       or:   screen $app_port 115200
  norvexd's panel lines:     tail -f $work/norvexd.log   (kill -USR1 $norvexd_pid: a stats line)
  every byte, in hex:        tail -f $work/trace.log
  metrics:                   cat $work/norvex.prom
Press Ctrl-C to stop everything.

MSG
tail -n +1 -f "$work/norvexd.log" &
pids+=($!)
while kill -0 "$norvexd_pid" 2>/dev/null; do sleep 0.5; done
((panel)) && { echo "demo: the panel was closed"; exit 0; }
echo "demo: norvexd ended by itself (see above)" >&2
exit 1
