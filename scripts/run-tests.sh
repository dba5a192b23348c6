#!/usr/bin/env bash
# Runs every test of a build folder. When this machine lets us create a
# private network namespace, the tests run inside one with only 'lo' up, so
# nothing they send can leave the machine.
set -euo pipefail
build=${1:-build}
jobs=$(nproc)
# HCY_CTEST_ARGS: more ctest arguments, e.g. "-LE e2e" to leave out a label.
run="ctest --test-dir '$build' --output-on-failure -j $jobs --timeout 600 --no-tests=error ${HCY_CTEST_ARGS:-}"
netns_setup='ip link set lo up && ip link set lo multicast on && ip route add 224.0.0.0/4 dev lo'
if [ "${HCY_NO_NETNS:-0}" != 1 ] && unshare -n true 2>/dev/null && command -v ip >/dev/null; then
  exec unshare -n bash -c "$netns_setup && $run"
fi
echo "run-tests: no private network namespace here; tests still send only to loopback"
eval "exec $run"
