#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds with AddressSanitizer +
# UndefinedBehaviorSanitizer and runs the whole suite, then builds again with ThreadSanitizer and
# runs the suite but the fuzz targets.
# Last, as root, the Debian package is built, installed, checked and removed again.
# Every test starts the services it needs (a private mosquitto or aedes, ptys, HTTP servers) on
# loopback.  NORVEX_TEST_RABBITMQ=1 adds RabbitMQ's MQTT plugin to the brokers of the full-stack
# test (slow to start, heavy).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/format-check.sh

# the default generator (Makefiles) builds what Ninja builds: one man page, which needs its
# folder made by the build, keeps that true cheaply
if command -v help2man >/dev/null; then
  cmake -S . -B build/default-generator -DNORVEX_BUILD_TESTS=OFF -DNORVEX_BUILD_BENCH=OFF >/dev/null
  cmake --build build/default-generator -j "$(nproc)" --target relay-sim-man
fi

# aedes for the full-stack test: the pinned set, installed into the build tree
install_aedes() {
  (cd "$1/aedes" && npm ci --no-audit --no-fund --loglevel=error)
}
export NORVEX_REQUIRE_AEDES=1

jobs=$(nproc)
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DNORVEX_SANITIZE=address,undefined -DNORVEX_BUILD_BENCH=OFF
cmake --build build/asan -j "$jobs"
install_aedes build/asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/asan --output-on-failure -j "$jobs"

if [ "${NORVEX_SKIP_TSAN:-0}" != 1 ]; then
  cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DNORVEX_SANITIZE=thread -DNORVEX_BUILD_BENCH=OFF
  cmake --build build/tsan -j "$jobs"
  install_aedes build/tsan
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp \
    ctest --test-dir build/tsan --output-on-failure -j "$jobs" -LE 'fuzz|panel'
fi

# needs root: it installs the package on this machine for a moment
if [ "${NORVEX_SKIP_PACKAGE:-0}" != 1 ] && [ "$(id -u)" -eq 0 ]; then
  scripts/package-test.sh
fi
