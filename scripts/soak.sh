#!/usr/bin/env bash
# Soak: 8 test hosts (network namespaces of our own, tests/hosts/netns.sh)
# with 4 radios each, for a bounded stretch:
#   scripts/soak.sh [BUILD] [SECONDS]     (defaults: build, 600)
# Radio r of every host tunes to channel r (30 + r - 1 MHz). Half the radios
# are keyed in turn: the odd hosts key radios 1 and 3, the even hosts 2 and
# 4; on each channel its four transmitters take 2 s turns, 2.5 s apart.
# Hosts stand on a meridian 0.5 deg (55.6 km) apart with antennas 100 m up:
# a neighbour is within the radio horizon (2 x 41 km) and above the squelch,
# the next host (111 km) is past it, so each transmission is heard by the
# one or two neighbouring hosts on its channel and by nobody else.
# Transmitter PDUs go by subnet broadcast on the primary network, audio by
# multicast on the secondary one.
#
# The last HCY_SOAK_HLA_HOSTS hosts (default 4) are also federates
# (NET_HLA with NET_PRIMARY): they share one test host with an RTI server
# (our hcyrtihub, or the command in HCY_RTI_SERVER: scripts/rti-server.sh)
# listening on that host's loopback only, and hear one another through it
# as well as over DIS. With HCY_SOAK_GONE=1 (the default) three hosts go in the
# middle of a transmission: a DIS host is killed at 30 % of the run, a
# federate leaves (ends by itself) at 50 % and another is killed at 70 %.
# The others must go on hearing everything, and a killed transmitter must
# drop from its listeners within two receive timeouts (0.75 s, with
# heartbeats every 0.25 s), before the next talker on its channel.
#
# It checks that every transmission was heard, with audio, exactly where it
# should be; that no host's thread, socket or descriptor count changes;
# that memory stays flat after the warm-up (runs of 120 s and more); and
# that no host failed or printed a sanitizer report (give an ASan build
# folder). The figures (memory over time, the counts, heard vs expected)
# are printed at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/hosts/netns.sh"
hosts_enter "$0" "$@"

build=${1:-build} seconds=${2:-600}
[[ $seconds =~ ^[0-9]+$ ]] && [ "$seconds" -ge 20 ] || { echo "soak: SECONDS must be 20 or more"; exit 2; }
HCYHOST="$build/tools/hcyhost"
[ -x "$HCYHOST" ] || { echo "soak: no $HCYHOST (build first)"; exit 2; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/hcy-soak-XXXXXX")
trap 'hosts_cleanup; [ "${HCY_SOAK_KEEP:-0}" = 1 ] || rm -rf "$dir"' EXIT

hosts=8 radios=4 prim=3100 sec=3101
turn=2.5 keyed=2 lead=3        # [s]: turn spacing, time keyed, start of the first turn
period=$(awk "BEGIN { print 4 * $turn }")
sample_every=$(( seconds >= 300 ? 10 : 5 ))  # [s]
warmup=$(( seconds >= 300 ? 60 : seconds / 5 ))  # [s]

# The last hla_hosts hosts are federates; `gone` lists the hosts that go
# mid-transmission.
hla_hosts=${HCY_SOAK_HLA_HOSTS:-4} gone=${HCY_SOAK_GONE:-1}
[[ $hla_hosts =~ ^[0-9]$ ]] && [ "$hla_hosts" -le $hosts ] ||
  { echo "soak: HCY_SOAK_HLA_HOSTS must be 0 to $hosts"; exit 2; }
source "$root/scripts/rti-server.sh"
[ "$hla_hosts" = 0 ] || [ -n "${HCY_RTI_SERVER:-}" ] || [ -x "$build/platform/rti13/hcyrtihub" ] ||
  { echo "soak: skipped: no RTI server (an external RTI's build): set HCY_RTI_SERVER"; exit 77; }
host_kind() { if [ "$1" -gt $((hosts - hla_hosts)) ]; then echo hla; else echo dis; fi; }
heartbeat=0.25 timeout=0.75  # [s]
# The time [s] of a host's keyed turn nearest to TARGET [s], plus 0.4 s: the
# host is then in the middle of a transmission. Prints the time, then
# "CHANNEL START" of every transmission the host has on the air then.
mid_turn() {
  local h=$1 target=$2
  awk -v h=$h -v target=$target -v lead=$lead -v turn=$turn -v period=$period -v radios=$radios \
      -v keyed=$keyed '
    function starts(r) { return lead + int((h - 1) / 2) * turn + (r - 1) * 0.6 }
    BEGIN {
      best = -1
      for (r = 1; r <= radios; r++)
        if ((h + r) % 2 == 0)
          for (s = starts(r); s < target + period; s += period)
            if (best < 0 || (s - target) ^ 2 < (best - target) ^ 2) best = s
      at = best + 0.4; printf "%.2f\n", at
      for (r = 1; r <= radios; r++)
        if ((h + r) % 2 == 0)
          for (s = starts(r); s <= at; s += period)
            if (at < s + keyed) printf "%d %.2f\n", r, s
    }'
}
declare -A gone_at=() gone_how=()
cuts=""  # transmissions cut by a kill: "HOST TIME CHANNEL START;"...
if [ "$gone" = 1 ]; then
  victims=("2 0.3 kill")
  [ "$hla_hosts" -lt 1 ] || victims+=("$hosts 0.7 kill")
  [ "$hla_hosts" -lt 3 ] || victims+=("$((hosts - hla_hosts + 1)) 0.5 leave")
  for v in "${victims[@]}"; do
    read -r h share how <<<"$v"
    turns=$(mid_turn $h "$(awk "BEGIN { print $seconds * $share }")")
    at=$(head -1 <<<"$turns")
    gone_at[$h]=$at gone_how[$h]=$how
    if [ "$how" = kill ]; then
      while read -r channel start; do cuts+="$h $at $channel $start;"; done < <(tail -n +2 <<<"$turns")
    fi
  done
fi

bridge_add hcy-prim
bridge_add hcy-sec
for h in $(seq 1 $((hosts - hla_hosts))); do
  host_add s$h
  host_link s$h hcy-prim eth0 10.23.1.$h/24
  host_link s$h hcy-sec eth1 10.23.9.$h/24 239.23.9.0/24
done
if [ "$hla_hosts" -gt 0 ]; then
  # The federates' host: the RTI server on its loopback, the federates
  # beside it.
  host_add fed
  host_link fed hcy-prim eth0 10.23.1.100/24
  host_link fed hcy-sec eth1 10.23.9.100/24 239.23.9.0/24
  for h in $(seq $((hosts - hla_hosts + 1)) $hosts); do HOST_NS[s$h]=${HOST_NS[fed]}; done
  hub_port=14321
  rti_server_start "$build" $hub_port "$dir/hub.log" nsenter -t "${HOST_NS[fed]}" -n -- ||
    { echo "soak: the RTI server did not start"; exit 1; }
  hub_pid=$RTI_SERVER_PID
  HOST_PIDS+=($hub_pid)
fi

# The schedule's time 0, a little after every host has started.
now=${EPOCHREALTIME/./}
epoch_us=$((now + (6 + 2 * hla_hosts) * ${HCY_HOSTS_MARGIN:-1} * 1000000))
epoch="${epoch_us:0:-6}.${epoch_us: -6}"
for h in $(seq 1 $hosts); do
  args=(--port $prim --address 10.23.1.255 --secondary-port $sec --secondary-address 239.23.9.1
        --ttl 2 --radios $radios --entity 1,$h,1 --heartbeat $heartbeat --recv-timeout $timeout
        --position "$(awk "BEGIN { print ($h - 1) * 0.5 }"),0,100" --epoch "$epoch")
  if [ "${gone_how[$h]:-}" = leave ]; then args+=(--seconds "${gone_at[$h]}"); else args+=(--seconds "$seconds"); fi
  for r in $(seq 1 $radios); do
    [ $(( (h + r) % 2 )) = 0 ] || continue   # odd hosts key odd radios
    j=$(( (h - 1) / 2 ))                       # the host's turn on channel r
    start=$(awk "BEGIN { print $lead + $j * $turn + ($r - 1) * 0.6 }")
    args+=(--schedule "$r,$start,$keyed,$period")
  done
  case $(host_kind $h) in
    dis) host_start s$h "$dir/s$h.log" "${args[@]}" --network primary,signal-secondary ;;
    hla) host_start s$h "$dir/s$h.log" "${args[@]}" --network primary,hla,signal-secondary \
           --federation "rti://127.0.0.1:$hub_port/Soak" ;;
  esac
done
[ "${EPOCHREALTIME/./}" -lt "$epoch_us" ] ||
  hosts_late "soak: the hosts took too long to start"
echo "soak: $hosts hosts ($hla_hosts of them federates), $radios radios each, $seconds s from $(date -d "@$epoch" +%T)"
# The kills, each at its time on the schedule's time line.
for h in "${!gone_at[@]}"; do
  [ "${gone_how[$h]}" = kill ] || continue
  echo "soak: host s$h is killed at ${gone_at[$h]} s, mid-transmission"
  pid=$(host_pid s$h)
  disown "$pid"  # no notice of the kill from the shell
  due=$((epoch_us + $(awk "BEGIN { printf \"%.0f\", ${gone_at[$h]} * 1000000 }")))
  ( left=$((due - ${EPOCHREALTIME/./}))
    [ $left -le 0 ] || sleep "$((left / 1000000)).$(printf %06d $((left % 1000000)))"
    kill -KILL "$pid" ) &
done
for h in "${!gone_at[@]}"; do
  if [ "${gone_how[$h]}" = leave ]; then echo "soak: host s$h leaves at ${gone_at[$h]} s, mid-transmission"; fi
done

# Samples of every host: time [s], host, RSS [KiB], threads, sockets, open
# descriptors.
sample() {
  local t=$1 h pid rss sockets fds round entries
  local -A pid_of=() line=() counts=()
  for h in $(seq 1 $hosts); do
    pid=$(host_pid s$h)
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) || rss=
    if [ -z "$rss" ]; then
      [ -n "${gone_at[$h]:-}" ] || echo "soak: host s$h ended early" >&2
      continue
    fi
    sockets=$(find "/proc/$pid/fd" -lname 'socket:*' 2>/dev/null | wc -l) || continue
    entries=("/proc/$pid/fd/"*)
    fds=${#entries[@]}
    pid_of[$h]=$pid line[$h]="$t s$h $rss" counts[$h]="$sockets $fds"
  done
  # Threads: the fewest of four reads over 0.9 s. A one-shot timer (the
  # squelch tail that waits for a reception to play out) has a thread for
  # its delay and then ends; a leaked thread is there at every read. The
  # reads start no process, so that a loaded machine does not stretch them.
  local -A threads=()
  for round in 1 2 3 4; do
    for h in "${!pid_of[@]}"; do
      entries=("/proc/${pid_of[$h]}/task/"*)
      [ -e "${entries[0]:-}" ] || continue
      [ -n "${threads[$h]:-}" ] && [ "${threads[$h]}" -le ${#entries[@]} ] || threads[$h]=${#entries[@]}
    done
    [ $round = 4 ] || sleep 0.3
  done
  # A host that went (killed or leaving on the schedule) or was about to
  # end while it was read is not sampled this time: its counts are those
  # of its shutdown.
  local done_s=$(( (${EPOCHREALTIME/./} - epoch_us) / 1000000 + 1 ))
  for h in "${!pid_of[@]}"; do
    [ -n "${threads[$h]:-}" ] && [ -d "/proc/${pid_of[$h]}" ] || continue
    [ $done_s -lt $((seconds - 1)) ] || continue
    [ -z "${gone_at[$h]:-}" ] || awk "BEGIN { exit !($done_s < ${gone_at[$h]}) }" || continue
    echo "${line[$h]} ${threads[$h]} ${counts[$h]}"
  done
  # The hub: its connections go with the federates that go.
  [ "$hla_hosts" = 0 ] ||
    awk -v t=$t '/^VmRSS:/ { rss = $2 } /^Threads:/ { print t, rss, $2 }' "/proc/$hub_pid/status" \
      >>"$dir/hub-samples" 2>/dev/null || true
}
next=$sample_every
while :; do
  t=$(( (${EPOCHREALTIME/./} - epoch_us) / 1000000 ))
  [ $t -lt $((seconds - 1)) ] || break
  if [ $t -ge $next ]; then sample $t >>"$dir/samples"; next=$((next + sample_every)); fi
  sleep 0.5
done
failed=0
for h in $(seq 1 $hosts); do
  [ "${gone_how[$h]:-}" = kill ] || host_wait s$h "$dir/s$h.log" || failed=1
  if [ "${gone_how[$h]:-}" = kill ] && grep -q ' transmissions\?, at most ' "$dir/s$h.log"; then
    echo "soak: host s$h was to be killed but ended by itself"; failed=1
  fi
done
if [ "$hla_hosts" -gt 0 ]; then
  # The hub stops as on a terminal's interrupt, so that a sanitizer build
  # checks it for leaks as well.
  if kill -INT $hub_pid 2>/dev/null; then
    wait $hub_pid || { echo "soak: the hub failed"; cat "$dir/hub.log"; failed=1; }
  else
    echo "soak: the hub ended early"; cat "$dir/hub.log"; failed=1
  fi
fi
if grep -l -E 'AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|runtime error:|ThreadSanitizer' \
  "$dir"/s*.log "$dir"/hub.log 2>/dev/null; then
  echo "soak: sanitizer report above"; failed=1
fi

echo "soak: memory [MiB] of each host over time"
awk -v hosts=$hosts '
  { t[$1] = 1; rss[$1, $2] = $3 }
  END {
    printf "%6s", "t [s]"; for (h = 1; h <= hosts; h++) printf "%7s", "s" h; print ""
    n = 0; for (x in t) times[++n] = x + 0
    for (i = 2; i <= n; i++) for (k = i; k > 1 && times[k - 1] > times[k]; k--) {
      s = times[k]; times[k] = times[k - 1]; times[k - 1] = s }
    step = int((n + 11) / 12)  # at most 13 rows
    for (i = 1; i <= n; i++) {
      if ((i - 1) % step && i != n) continue
      printf "%6d", times[i]
      for (h = 1; h <= hosts; h++)
        if ((times[i], "s" h) in rss) printf "%7.1f", rss[times[i], "s" h] / 1024; else printf "%7s", "-"
      print ""
    }
  }' "$dir/samples"

[ ! -s "$dir/hub-samples" ] || awk '
  NR == 1 { first = $2 } { if ($2 > top) top = $2; last = $2; threads = $3 }
  END { printf "soak: the hub: %.1f MiB at first, %.1f MiB at the end (at most %.1f), %d thread%s\n",
          first / 1024, last / 1024, top / 1024, threads, threads == 1 ? "" : "s" }' "$dir/hub-samples"

# Threads, sockets and descriptors: one count per host for the whole run.
leaks=$(awk '
  { counts = $4 " threads, " $5 " sockets, " $6 " descriptors"
    if (!($2 in first)) first[$2] = counts
    if (counts != first[$2]) print $2, "at", $1, "s:", counts, "instead of", first[$2] }
  END { for (h in first) print h ": " first[h] > "/dev/stderr" }' "$dir/samples" 2>"$dir/counts")
echo "soak: threads, sockets and descriptors of each host, constant over the run:"
sort "$dir/counts" | sed 's/^/  /'
[ -z "$leaks" ] || { echo "soak: counts changed:"; echo "$leaks"; failed=1; }

# Memory: after the warm-up no host's RSS grows by more than 1 MiB. A
# sanitizer build holds freed memory back in quarantine, so there it is not
# judged (LeakSanitizer reports leaks at each host's exit instead).
sanitized=$(sed -n 's/^HCY_SANITIZE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
if [ -n "$sanitized" ]; then
  echo "soak: memory not judged in a sanitizer build ($sanitized)"
elif [ "$seconds" -ge 120 ]; then
  growth=$(awk -v warm=$warmup '
    $1 >= warm { if (!($2 in base)) base[$2] = $3; if ($3 > top[$2]) top[$2] = $3 }
    END { for (h in base) { g = top[h] - base[h]
            printf "%s %+.2f\n", h, g / 1024
            if (g > 1024) bad = 1 }
          exit bad }' "$dir/samples") || { echo "soak: memory grew after the warm-up:" $growth; failed=1; }
  echo "soak: largest growth [MiB] after the warm-up (${warmup} s):" $(echo "$growth" | sort | tr '\n' ' ')
else
  echo "soak: memory not judged: the run is shorter than 120 s"
fi

# Transmissions heard against where propagation says they are heard. A
# federate's radio reports what it hears through the federation only (its
# radio data walks its HLA records), so federates are judged as listeners
# of federates alone. A host that went is not judged as a listener of
# what ended less than 1 s before it went; a transmission cut by a kill
# must drop from its listeners within two receive timeouts, with 0.5 s for
# the tick and the listeners' polling.
gone_list=""
for h in "${!gone_at[@]}"; do gone_list+="$h ${gone_at[$h]};"; done
awk -v hosts=$hosts -v last=$((seconds - 1)) -v fed=$((hosts - hla_hosts + 1)) \
    -v cuts="$cuts" -v gone="$gone_list" -v drop=$(awk "BEGIN { print 2 * $timeout + 0.5 }") '
  BEGIN {
    k = split(gone, w, ";"); for (i = 1; i <= k; i++) if (split(w[i], f, " ") == 2) went[f[1]] = f[2]
    k = split(cuts, c, ";")
    for (i = 1; i <= k; i++)
      if (split(c[i], f, " ") == 4) { n++; txh[n] = f[1]; t2[n] = f[2]; txc[n] = f[3]; t1[n] = f[4]; cut[n] = 1 }
  }
  FNR == 1 { h = FILENAME; sub(/.*\/s/, "", h); sub(/\.log$/, "", h) }
  / on [0-9]+ Hz/ { channel[h, $3] = ($5 - 30000000) / 1000000 + 1 }
  / keyed from / { n++; txh[n] = h; txc[n] = channel[h, $3]; t1[n] = $6; t2[n] = $8 }
  / heard [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+ from / {
    m++; rxh[m] = h; rxc[m] = channel[h, $3]; split($5, id, ".")
    rxfrom[m] = id[2]; rxtc[m] = id[4]; r1[m] = $7; r2[m] = $9; peak[m] = $13 }
  END {
    for (i = 1; i <= n; i++) {
      if (t1[i] > last) continue  # too late for the listeners to hear
      sent++
      for (g = 1; g <= hosts; g++) {
        if (g == txh[i]) continue
        want = (g - txh[i] == 1 || txh[i] - g == 1)
        got = 0; audio = 0; end = 0
        for (k = 1; k <= m; k++)
          if (rxh[k] == g && rxc[k] == txc[i] && rxfrom[k] == txh[i] && rxtc[k] == txc[i] &&
              r1[k] < t2[i] + (cut[i] ? drop : 0.5) && r2[k] > t1[i]) {
            got = 1; used[k] = 1; if (peak[k] > 0) audio = 1; if (r2[k] > end) end = r2[k] }
        if ((g in went && t2[i] + 1 >= went[g]) || (g >= fed && txh[i] < fed)) continue
        expected += want; heard += want && got; withaudio += want && audio; wrong += !want && got
        if (want && txh[i] >= fed && g >= fed) federation += got
        if (want && !got) printf "  not heard: host %d channel %d at %.2f s by host %d\n", txh[i], txc[i], t1[i], g
        if (cut[i] && want && got) {
          cuts_heard++; if (end - t2[i] > linger) linger = end - t2[i]
          if (end - t2[i] > drop) { stuck++
            printf "  host %d still heard host %d %.2f s after it was killed\n", g, txh[i], end - t2[i] }
        }
      }
    }
    for (k = 1; k <= m; k++) if (!used[k] && r1[k] <= last) stray++
    printf "soak: %d transmissions; heard %d of %d expected (%d with audio, %d through the federation), %d where they should not be, %d hearings of nothing sent\n",
      sent, heard, expected, withaudio, federation, wrong, stray
    if (length(cuts))
      printf "soak: transmissions cut by a kill: heard by %d listeners, dropped at most %.2f s after the kill (limit %.2f s), %d still heard past it\n",
        cuts_heard, linger, drop, stuck
    exit !(sent > 0 && heard == expected && withaudio == expected && wrong == 0 && stray == 0 && stuck == 0)
  }' "$dir"/s*.log || failed=1

[ $failed = 0 ] && echo "soak: passed" || { echo "soak: FAILED (logs in $dir)"; HCY_SOAK_KEEP=1; exit 1; }
