#!/usr/bin/env bash
# The main job: two hosts talk over loopback DIS. Host B's radio listens and
# writes what it hears to a WAV file; host A's radio, on the same frequency
# and 20 km away, transmits a speech-like WAV file. Then the two files are
# compared: how much of the speech arrived sample for sample, the gaps, and
# the delay from A's microphone to B's speaker.
# HCY_DEMO_TRANSPORT=hla (make demo HCY_DEMO_TRANSPORT=hla): the two hosts
# are federates of an HLA federation through an RTI server on loopback port
# PORT + 2 instead (our hub, or the command in HCY_RTI_SERVER, e.g.
# "rtinode -i 127.0.0.1:{port}": scripts/rti-server.sh), host B's DIS port
# apart from A's so that only the federation carries the voice.
set -euo pipefail
build=${1:-build}
out=${HCY_DEMO_DIR:-$build/demo}
port=${HCY_DEMO_PORT:-3000}
seconds=${HCY_DEMO_SECONDS:-4}
mkdir -p "$out"
host="$build/tools/hcyhost"
audio="$build/tools/hcy_demo_audio"

# Nothing of an earlier run may be taken for this one.
rm -f "$out/host-a.log" "$out/host-b.log" "$out/heard.wav" "$out/sent.wav"
"$audio" make "$out/sent.wav" "$seconds"
common=(--port "$port" --address 127.255.255.255 --frequency 30000000 --exercise 1)
only_b=()
if [ "${HCY_DEMO_TRANSPORT:-dis}" = hla ]; then
  source "$(dirname "$0")/rti-server.sh"
  at=$((port + 2))
  rti_server_start "$build" "$at" "$out/hub.log" || { echo "demo: no RTI server"; exit 1; }
  trap 'kill $RTI_SERVER_PID 2>/dev/null || true' EXIT
  common+=(--federation "rti://127.0.0.1:$at/Demo")
  only_b=(--port "$((port + 1))")
fi

"$host" "${common[@]}" "${only_b[@]}" --entity 1,2,2 --position 0.18,0,100 --receive "$out/heard.wav" \
  --seconds "$(awk "BEGIN{print $seconds + 4}")" >"$out/host-b.log" 2>&1 &
b=$!
# Host A keys only once host B says it can hear (radio wired, socket bound);
# the wait is bounded, and ends early when B gives up.
for _ in $(seq 1 200); do
  grep -q "listening on port" "$out/host-b.log" 2>/dev/null && break
  kill -0 $b 2>/dev/null || break
  sleep 0.05
done
if ! grep -q "listening on port" "$out/host-b.log" 2>/dev/null; then
  echo "demo: host B is not listening"; cat "$out/host-b.log"; kill $b 2>/dev/null; exit 1
fi
"$host" "${common[@]}" --entity 1,1,1 --position 0,0,100 --transmit "$out/sent.wav" \
  >"$out/host-a.log" 2>&1 || { cat "$out/host-a.log"; kill $b 2>/dev/null; exit 1; }
wait $b || { cat "$out/host-b.log"; exit 1; }

echo "--- host A"; cat "$out/host-a.log"
echo "--- host B"; cat "$out/host-b.log"
# The files' first samples on the machine's clock: the mouth-to-ear delay.
said=$(sed -n 's/.*microphone file started at \([0-9.]*\) s/\1/p' "$out/host-a.log")
heard=$(sed -n 's/.*speaker file started at \([0-9.]*\) s/\1/p' "$out/host-b.log")
start=()
[ -n "$said" ] && [ -n "$heard" ] && start=(--start "$said" "$heard")
"$audio" compare "$out/sent.wav" "$out/heard.wav" "${start[@]}"
