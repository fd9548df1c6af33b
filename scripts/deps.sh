#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need (idempotent).  Quiet when
# nothing is missing; otherwise one line per step, apt's output in build/deps.log, shown when a
# step fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/quiet_step.sh"
pkgs=(build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
      libgtest-dev libgmock-dev libbenchmark-dev
      mosquitto mosquitto-clients libmosquitto-dev
      libcurl4-openssl-dev libssl-dev libcjson-dev libcpp-httplib-dev libsqlite3-dev libsodium-dev
      socat libmodbus-dev mbpoll  # mbpoll and libmodbus: the Modbus end-to-end test
      qt6-base-dev qt6-svg-dev xvfb xauth x11-utils trayer fonts-wqy-microhei  # the panel and its tests
      qt6-l10n-tools  # lrelease: the panel's English translation
      dbus dbus-x11 python3-dbus python3-gi  # the panel's StatusNotifierItem tray test (a private bus)
      file help2man systemd)  # packaging: CPack's dependency scan, man pages, unit checks
# node and npm for aedes in the full-stack test; a machine that has them already (not from
# Debian) keeps its own, which Debian's npm would conflict with
command -v npm >/dev/null 2>&1 && command -v node >/dev/null 2>&1 || pkgs+=(nodejs npm)
# RabbitMQ only for the opt-in full-stack run against its MQTT plugin
if [ "${NORVEX_TEST_RABBITMQ:-0}" = 1 ]; then pkgs+=(rabbitmq-server); fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  mkdir -p "$here/../build"
  log="$here/../build/deps.log"
  : >"$log"
  quiet_step "deps: apt-get update" "$log" $sudo apt-get update -qq
  quiet_step "deps: installing ${missing[*]}" "$log" \
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi
