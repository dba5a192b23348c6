#!/usr/bin/env bash
# The demo under load, RUNS times in each condition:
#   idle    nothing else runs
#   busy    beside 8 busy processes (one busy loop each)
#   flood   while 200,000 malformed datagrams hit the DIS port (loopback)
# Prints every run's result line, then per condition the share of speech
# that arrived sample for sample, the gaps, the mouth-to-ear delay, and
# whether the condition met its target. Exits 0 only when all did.
#   scripts/demo-load.sh BUILD [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-10}
here=$(cd "$(dirname "$0")" && pwd)
# In a private network namespace (only lo up) when the machine allows one,
# as the tests: nothing leaves the machine, no other demo crosses ours.
if [ "${HCY_NO_NETNS:-0}" != 1 ] && [ -z "${HCY_LOAD_NETNS:-}" ] && unshare -n true 2>/dev/null &&
   command -v ip >/dev/null; then
  exec unshare -n env HCY_LOAD_NETNS=1 bash -c \
    "ip link set lo up && exec bash '$here/demo-load.sh' '$build' '$runs'"
fi
port=${HCY_DEMO_PORT:-3000}
work=$(mktemp -d "${TMPDIR:-/tmp}/hcy-demo-load-XXXXXX")
pids=()
stop_load() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; pids=(); }
trap 'stop_load; rm -rf "$work"' EXIT

# condition MIN_EXACT MAX_GAP_MS: RUNS demos; the figures go to $work/COND.txt
run_condition() {
  local cond=$1
  for i in $(seq 1 "$runs"); do
    case $cond in
      busy)  for _ in 1 2 3 4 5 6 7 8; do bash -c 'while :; do :; done' & pids+=($!); done ;;
      flood) "$build/tools/hcy_demo_flood" "$port" 200000 6 >"$work/flood-$i.txt" & pids+=($!) ;;
    esac
    line=$(HCY_DEMO_DIR="$work/$cond-$i" HCY_DEMO_PORT=$port bash "$here/demo.sh" "$build" 2>&1 |
           grep '^demo:' | tail -n 1) || true
    [ -n "$line" ] || line="demo: failed"
    stop_load
    echo "$cond $i: $line"
    echo "$line" >>"$work/$cond.txt"
  done
}

# Figures of a condition from its result lines: runs, worst share [%],
# most gaps, largest gap [ms], mouth-to-ear min and max [ms]. A line that
# lacks a figure counts as its worst value.
summarise() {
  local cond=$1 min_exact=$2 max_gap=$3
  sed -e 's/.* \([0-9.]*\) % sample for sample.*/\1 &/' -e 's/^demo:.*/0 &/' \
      -e 's/ \([0-9]*\) gaps\{0,1\} (largest \([0-9.]*\) ms)/ G \1 \2 &/' \
      -e 's/mouth-to-ear \([0-9]*\) ms/D \1/' "$work/$cond.txt" |
  awk -v cond="$cond" -v min_exact="$min_exact" -v max_gap="$max_gap" '
    { n++; e = $1 + 0; g = -1; l = 1e9; d = 1e9
      for (i = 2; i < NF; i++) {
        if ($i == "G") { g = $(i + 1) + 0; l = $(i + 2) + 0 }
        if ($i == "D") d = $(i + 1) + 0
      }
      if (n == 1 || e < worst) worst = e
      if (l > largest) largest = l
      if (g > gaps) gaps = g
      if (n == 1 || d < dmin) dmin = d
      if (d > dmax) dmax = d
      if (e >= min_exact && l <= max_gap && d < 150) ok++
    }
    END {
      printf "%-5s %d runs: worst %.1f %% sample for sample, at most %d gaps, largest gap %.1f ms, mouth-to-ear %d..%d ms; %d of %d within target (>= %d %%, no gap over %d ms, delay under 150 ms)\n",
             cond, n, worst, gaps, largest, dmin, dmax, ok, n, min_exact, max_gap
      exit ok == n ? 0 : 1
    }'
}

for cond in idle busy flood; do run_condition "$cond"; done
echo "--- per condition"
status=0
summarise idle 99 10 || status=1
summarise busy 99 20 || status=1
summarise flood 99 10 || status=1
exit $status
