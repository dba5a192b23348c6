#!/usr/bin/env bash
# Runs a GoogleTest program on X displays of its own: first every test but
# those whose names end in Lost, then each of those alone on a fresh display
# that it ends or stops.
# Exit 77 (skipped) when this machine has no Xvfb.
set -euo pipefail
program=$1
command -v Xvfb >/dev/null || { echo "run-under-xvfb: no Xvfb here"; exit 77; }
dir=$(mktemp -d)
xvfb=""
stop_xvfb() {
  if [ -n "$xvfb" ]; then
    kill -CONT "$xvfb" 2>/dev/null || true  # a stopped server ends only once it runs
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  xvfb=""
}
trap 'stop_xvfb; rm -rf "$dir"' EXIT

# Xvfb picks a free display and writes its number to fd 3 once it serves.
start_xvfb() {
  : >"$dir/display"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 800x600x24 3>"$dir/display" 2>"$dir/xvfb.log" &
  xvfb=$!
  for _ in $(seq 100); do
    [ -s "$dir/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || { cat "$dir/xvfb.log"; exit 1; }
    sleep 0.1
  done
  [ -s "$dir/display" ] || { echo "run-under-xvfb: Xvfb did not start"; exit 1; }
  export DISPLAY=":$(head -n1 "$dir/display")"
}

# What the X and font libraries do wrong themselves is not reported.
here=$(cd "$(dirname "$0")" && pwd)
export TSAN_OPTIONS="${TSAN_OPTIONS:-}:suppressions=$here/tsan.supp"
export LSAN_OPTIONS="${LSAN_OPTIONS:-}:suppressions=$here/lsan.supp"
export HCY_XVFB=1
start_xvfb
"$program" --gtest_filter='-*Lost'
stop_xvfb
# The suite's name on its own line, each test's name indented below it.
alone=$("$program" --gtest_list_tests | awk '/^[^ ]/ { suite = $1 } /^  .*Lost$/ { print suite $1 }')
for test in $alone; do
  start_xvfb
  HCY_XVFB_PID=$xvfb "$program" --gtest_filter="$test"
  stop_xvfb
done
