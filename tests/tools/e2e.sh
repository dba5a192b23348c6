#!/usr/bin/env bash
# End-to-end scenarios: hcyhost processes talking over loopback DIS, and as
# federates through an RTI server on loopback (our hub, or the command in
# HCY_RTI_SERVER: scripts/rti-server.sh).
#   e2e.sh BUILD SCENARIO PORT
# Each scenario runs its hosts on its own UDP port, so scenarios may run in
# parallel.
set -euo pipefail
build=$1 scenario=$2 port=$3
host="$build/tools/hcyhost"
audio="$build/tools/hcy_demo_audio"
sender="$build/tools/hcy_test_sender"
dir=$(mktemp -d "${TMPDIR:-/tmp}/hcy-e2e-$scenario-XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$dir"' EXIT
"$audio" make "$dir/sent.wav" 2

common=(--port "$port" --address 127.255.255.255)

# listen NAME SECONDS [options]: a receiving host in the background.
listen() {
  local name=$1 seconds=$2; shift 2
  "$host" "${common[@]}" --receive "$dir/$name.wav" --seconds "$seconds" "$@" >"$dir/$name.log" 2>&1 &
  echo $! >"$dir/$name.pid"
  # It says so once it can hear: radio wired, socket bound.
  for _ in $(seq 1 200); do grep -q "listening on port" "$dir/$name.log" 2>/dev/null && return 0; sleep 0.05; done
  echo "host $name did not start listening"; cat "$dir/$name.log"; return 1
}
finish() { wait "$(cat "$dir/$1.pid")" || { echo "host $1 failed"; cat "$dir/$1.log"; return 1; }; }
talk() { "$host" "${common[@]}" --transmit "$dir/sent.wav" "$@" >"$dir/talker.log" 2>&1 || { cat "$dir/talker.log"; return 1; }; }
# exact NAME: at least 99 % of the speech arrived sample for sample.
exact() { "$audio" compare "$dir/sent.wav" "$dir/$1.wav"; }
# similar NAME R: a lossy codec; each voiced quarter second correlates >= R.
similar() { "$audio" compare "$dir/sent.wav" "$dir/$1.wav" --correlation "$2"; }
# hub: the RTI server on loopback port PORT + 2000 (exits 77, skipped, when
# there is none); $fed names a federation there.
source "$(dirname "$0")/../../scripts/rti-server.sh"
hub() {
  local at=$((port + 2000)) status=0
  rti_server_start "$build" "$at" "$dir/hub.log" || status=$?
  [ "$status" = 0 ] || exit "$status"
  fed="rti://127.0.0.1:$at/Radios"
}
# station NAME NUMBER SECONDS [options]: an interphone station in the background,
# with a heartbeat of 0.5 s so that an answer is taken within half a second.
station() {
  local name=$1 number=$2 seconds=$3; shift 3
  "$host" "${common[@]}" --station "$number" --heartbeat 0.5 --seconds "$seconds" "$@" >"$dir/$name.log" 2>&1 &
  echo $! >"$dir/$name.pid"
  for _ in $(seq 1 200); do grep -q "listening on port" "$dir/$name.log" 2>/dev/null && return 0; sleep 0.05; done
  echo "station $name did not start"; cat "$dir/$name.log"; return 1
}
# logged NAME TEXT: waits at most 10 s for TEXT in NAME's log.
logged() {
  for _ in $(seq 1 200); do grep -q "$2" "$dir/$1.log" && return 0; sleep 0.05; done
  echo "$1 never logged '$2'"; cat "$dir/$1.log"; return 1
}
# in_order NAME TEXT...: each TEXT appears in NAME's log after the one before.
in_order() {
  local name=$1; shift
  awk -v n=$# 'BEGIN { for (i = 1; i < ARGC; i++) want[i] = ARGV[i]; ARGC = 2; ARGV[1] = "-" }
               k < n && index($0, want[k + 1]) { k++ } END { exit k < n }' "$@" <"$dir/$name.log" \
    || { echo "$name did not log, in order: $*"; cat "$dir/$name.log"; return 1; }
}
silent() { if "$audio" compare "$dir/sent.wav" "$dir/$1.wav" --correlation 0.3; then echo "host $1 heard what it should not"; return 1; fi; }

case $scenario in
  pcm)       listen rx 5; talk --encoding pcm; finish rx; exact rx ;;
  mulaw)     listen rx 5; talk --encoding mulaw; finish rx; similar rx 0.95 ;;
  adpcm)     listen rx 5; talk --encoding adpcm; finish rx; similar rx 0.9 ;;
  cvsd)      listen rx 5; talk --encoding cvsd; finish rx; similar rx 0.75 ;;
  cecom)     listen rx 5; talk --encoding cecom-cvsd; finish rx; similar rx 0.6 ;;
  range)     listen rx 5 --position 10,0,2; talk; finish rx; silent rx ;;
  frequency) listen rx 5 --frequency 31000000; talk; finish rx; silent rx ;;
  exercise)  listen rx 5 --exercise 2; talk; finish rx; silent rx ;;
  squelch)   listen rx 5 --squelch 2; talk; finish rx; silent rx ;;
  timeout)   # a talker that vanishes mid-transmission (no unkeying PDU) is
             # dropped by the receive time-out
             "$audio" make "$dir/long.wav" 8
             listen rx 7 --recv-timeout 1
             "$host" "${common[@]}" --transmit "$dir/long.wav" >"$dir/talker.log" 2>&1 & t=$!
             for _ in $(seq 1 100); do grep -q "hears 1 transmitter" "$dir/rx.log" && break; sleep 0.05; done
             kill -9 $t; wait $t 2>/dev/null || true
             finish rx
             grep -q "hears 1 transmitter" "$dir/rx.log" && grep -q "hears 0 transmitters" "$dir/rx.log" \
               || { cat "$dir/rx.log"; exit 1; } ;;
  two)       # two talkers at the same distance: neither captures the receiver
             listen rx 6 --position 0,0,100
             talk --entity 1,1,1 --position 0.01,0,100 & t1=$!
             "$host" "${common[@]}" --transmit "$dir/sent.wav" --entity 1,1,2 --position -0.01,0,100 \
               >"$dir/talker2.log" 2>&1 & t2=$!
             wait $t1; wait $t2; finish rx
             grep -q "at most 2 at once" "$dir/rx.log" || { cat "$dir/rx.log"; exit 1; } ;;
  scanner)   # two talkers on two frequencies, one after the other: a scanner
             # hears both in turn, a radio tuned to the first only the first
             "$audio" make "$dir/other.wav" 2 1
             listen rx 9 --model scanner
             listen tuned 9 --frequency 30000000
             talk --entity 1,1,1 --frequency 30000000
             "$host" "${common[@]}" --transmit "$dir/other.wav" --entity 1,1,2 --frequency 45000000 \
               >"$dir/talker2.log" 2>&1 || { cat "$dir/talker2.log"; exit 1; }
             finish rx; finish tuned
             exact rx; "$audio" compare "$dir/other.wav" "$dir/rx.wav"; exact tuned
             if "$audio" compare "$dir/other.wav" "$dir/tuned.wav" --correlation 0.3; then
               echo "the tuned radio heard the other frequency"; exit 1
             fi ;;
  split)     # one host with a split stereo card: the left microphone speaks on
             # radio 1 (30 MHz), the right one on radio 2 (31 MHz); the
             # receiving host's split card plays its radio 1 left, radio 2 right
             "$audio" make "$dir/left.wav" 2 0
             "$audio" make "$dir/right.wav" 2 1
             "$audio" make "$dir/both.wav" 2 0,1
             listen rx 5 --card split --radios 2
             talk --card split --radios 2 --transmit "$dir/both.wav"
             finish rx
             # sample for sample: each side carries its own voice and nothing else
             "$audio" compare "$dir/left.wav" "$dir/rx.wav" --channel 0
             "$audio" compare "$dir/right.wav" "$dir/rx.wav" --channel 1
             if "$audio" compare "$dir/right.wav" "$dir/rx.wav" --channel 0 --min-exact 1; then
               echo "the left side carried the right voice"; exit 1
             fi ;;
  playback)  # a playback device plays the file into the talker's radio
             listen rx 5; "$host" "${common[@]}" --play "$dir/sent.wav" >"$dir/talker.log" 2>&1 \
               || { cat "$dir/talker.log"; exit 1; }
             finish rx; exact rx
             # a chunk size near 4 GiB wrapped hcyhost's scan back to the same
             # chunk, at 100 % CPU for ever: the file is refused at once
             printf 'RIFF\044\000\000\000WAVEJUNK\370\377\377\377' >"$dir/wrap.wav"
             timeout 20 "$host" "${common[@]}" --play "$dir/wrap.wav" >"$dir/wrap.log" 2>&1 || true
             grep -q "cannot read" "$dir/wrap.log" || { echo "hcyhost spun on a 4 GiB chunk"; exit 1; } ;;
  sender-jitter) # other vendors' pacing: 10 and 64 ms blocks, each +-15 ms
             # late or early, every third sent with the next
             for block in 160 1024; do
               listen rx 5
               "$sender" --port "$port" --transmit "$dir/sent.wav" --block $block --jitter 15 \
                 --burst 3 >"$dir/talker.log" 2>&1 || { cat "$dir/talker.log"; exit 1; }
               finish rx; exact rx
             done ;;
  sender-fast) # a sender whose clock runs 2.5 % fast, for 20 s: its listener
             # keeps up by giving up small steps and pauses
             "$audio" make "$dir/long.wav" 20
             listen rx 23
             "$sender" --port "$port" --transmit "$dir/long.wav" --fast 2.5 >"$dir/talker.log" 2>&1 \
               || { cat "$dir/talker.log"; exit 1; }
             finish rx; "$audio" compare "$dir/long.wav" "$dir/rx.wav" ;;
  sender-unkey) # 20 transmissions, each unkeyed right after its last block:
             # every last block is heard
             listen rx 8
             "$sender" --port "$port" --transmit "$dir/sent.wav" --transmissions 20 --gap 0.2 \
               >"$dir/talker.log" 2>&1 || { cat "$dir/talker.log"; exit 1; }
             finish rx; exact rx ;;
  speech)    # a speech device speaks a sentence into the talker's radio; one on
             # the listener's radio records and transcribes what it heard (the
             # real engines when built in, else the stub: both give the words)
             cd "$dir"
             listen rx 7 --transcribe
             "$host" "${common[@]}" --speak "radio check one two three" >"$dir/talker.log" 2>&1 \
               || { cat "$dir/talker.log"; exit 1; }
             finish rx
             grep -q 'transcribed ".*one two three' "$dir/rx.log" \
               || { cat "$dir/talker.log" "$dir/rx.log"; exit 1; } ;;
  secure)    # secure radios on crypto system 3: the listener on the talker's
             # key hears the speech sample for sample; the one on another key
             # hears its no-code prompt in place of the speech
             "$audio" make "$dir/nocode.wav" 1 1
             printf '[Secure]\nNoCode3Wav=%s\n' "$dir/nocode.wav" >"$dir/Tervale.cfg"
             cd "$dir"
             listen same 5 --model secure --crypto 3,5
             listen other 5 --model secure --crypto 3,6
             talk --model secure --crypto 3,5
             finish same; finish other
             exact same
             if "$audio" compare "$dir/sent.wav" "$dir/other.wav" --min-exact 1; then
               echo "the listener on another key heard the speech"; exit 1
             fi
             "$audio" compare "$dir/nocode.wav" "$dir/other.wav" --min-exact 90 ;;
  status)    # the listener draws its status dialog as text (no display): the
             # talker's row comes up marked on the air, and "1" typed on the
             # listener's standard input selects it: PDU Data fills
             mkfifo "$dir/keys"
             DISPLAY= "$host" "${common[@]}" --status --seconds 5 <"$dir/keys" >"$dir/rx.log" 2>&1 &
             echo $! >"$dir/rx.pid"
             exec 3>"$dir/keys"
             logged rx "listening on port"
             talk --entity 1,1,1 & t=$!
             logged rx "^ 1-1-1-1  *X "
             echo 1 >&3
             logged rx "| Xmits: *[1-9]"
             wait $t; finish rx
             grep -q "Freq:        30.000 MHz" "$dir/rx.log" || { cat "$dir/rx.log"; exit 1; } ;;
  ics-call)  # A dials B, B rings and answers, both talk (PCM, sample for sample),
             # C dialing B meanwhile gets busy, A hangs up, B returns to dial tone
             "$audio" make "$dir/b.wav" 2 1
             station b 2 9 --answer --transmit "$dir/b.wav" --receive "$dir/b-heard.wav"
             station a 1 8 --dial 2 --transmit "$dir/sent.wav" --receive "$dir/a-heard.wav" --hang-up 3.5
             logged a "station 1 in a call"
             station c 3 2 --dial 2; finish c
             finish a; finish b
             in_order c "dials 2" "busy 1, ringback 1"
             in_order a "ringback 1" "in a call" "hangs up"
             in_order b "caller 1," "answers 1" "in a call" "dial tone 1," "call ended"
             # each heard the other's speech, sample for sample
             "$audio" compare "$dir/sent.wav" "$dir/b-heard.wav"
             "$audio" compare "$dir/b.wav" "$dir/a-heard.wav" ;;
  ics-hold)  # A call holds while it should and ends when it should (heartbeat
             # 1 s). A talks 3 s through a data device with a pause of 1.5 s;
             # meanwhile D (9, dialing 10, never in the call) hangs up. B hears
             # all of it. A is killed: B's call ends within three heartbeat
             # periods. E, on hook throughout, closes its sound card at exit.
             # The wire (hcy_ics_watch) shows who sent which status.
             "$audio" make "$dir/speech.wav" 3
             "$build/tools/hcy_ics_watch" "$port" 40 >"$dir/wire.log" 2>&1 &
             logged wire "watching port"
             hb=(--heartbeat 1 --recv-timeout 1)
             station e 5 14 "${hb[@]}"
             station b 2 14 --answer --receive "$dir/b-heard.wav" "${hb[@]}"
             station a 1 14 --dial 2 --transmit "$dir/speech.wav" --pause 1,1.5 "${hb[@]}"
             logged a "pauses"
             station d 9 0.5 --dial 10 "${hb[@]}"; finish d
             logged a "sent 3.00 s"
             ! grep -q "call ended" "$dir/b.log" || { echo "B's call ended while A was there"; cat "$dir/b.log"; exit 1; }
             a=$(cat "$dir/a.pid"); kill -9 "$a"; killed=$(date +%s.%N)
             wait "$a" 2>/dev/null || true
             logged b "call ended"
             ended=$(date +%s.%N)
             finish b; finish e
             in_order b "in a call" "dial tone 1," "call ended"
             awk -v k="$killed" -v e="$ended" 'BEGIN { printf "B'"'"'s call ended %.2f s after A died\n", e - k; exit e - k > 3.0 }'
             "$audio" compare "$dir/speech.wav" "$dir/b-heard.wav"
             "$audio" compare "$dir/speech.wav" "$dir/b-heard.wav" --from 1
             # D hung up and B heartbeated on in its call; E said nothing; B's
             # heartbeats stopped within three periods of A's last PDU, and
             # B then sent only its hang-up at exit
             awk '$2 == "control" && $3 == 9 && $13 == 0 { d = $1 }
                  $2 == "control" && $3 == 2 && $13 == 1 && d { held = 1 }
                  $3 == 5 { e = 1 }
                  $3 == 1 { a = $1 }
                  $2 == "control" && $3 == 2 { if ($13) { b = $1; after = 0 } else after++ }
                  END { if (!d || !held) print "the call did not hold past the stranger";
                        if (e) print "E, on hook, sent something";
                        if (b - a > 3.0) print "B heartbeated " b - a " s after A";
                        if (after != 1) print "B sent " after " on-hook statuses after its call";
                        exit !(d && held && !e && b - a <= 3.0 && after == 1) }' "$dir/wire.log" \
               || { cat "$dir/wire.log" "$dir/b.log"; exit 1; } ;;
  ics-teardown) # A closes its sound card mid-call, then destroys its station:
             # B is left with dial tone, both end cleanly
             station b 2 6 --answer --receive "$dir/b-heard.wav"
             station a 1 4 --dial 2 --transmit "$dir/sent.wav" --close-device 1 --destroy 2
             finish a; finish b
             in_order a "in a call" "closed its sound card" "destroyed"
             in_order b "in a call" "dial tone 1," "call ended" ;;
  record)    # the talker's WAV record radio records what the radio sends:
             # the recording and what the listener heard both hold the speech
             listen rx 5; talk --record "$dir/rec.wav"; finish rx; exact rx; exact rec
             grep -q "recorded .* s to" "$dir/talker.log" || { cat "$dir/talker.log"; exit 1; } ;;
  exit)      # the listener leaves while the talker is still on the air
             listen rx 1; talk; finish rx ;;
  hla)       # two federates talk through the hub as over DIS (the listener's DIS
             # port hears nothing), and a DIS host beside them still hears the
             # talker, which sends on both
             hub
             listen fed 5 --port $((port + 1000)) --federation "$fed"
             listen dis 5
             talk --federation "$fed"; finish fed; finish dis; exact fed; exact dis ;;
  hla-codecs) # the lossy encodings of the DIS scenarios through the federation,
             # judged as there (PCM is the hla scenario's)
             hub
             for codec in mulaw,0.95 adpcm,0.9 cvsd,0.75 cecom-cvsd,0.6; do
               listen fed 5 --port $((port + 1000)) --federation "$fed"
               talk --federation "$fed" --encoding "${codec%,*}"; finish fed
               similar fed "${codec#*,}" || { echo "with ${codec%,*}"; exit 1; }
             done ;;
  hla-removal) # a federate that vanishes mid-transmission is resigned by the
             # hub, and its object's removal drops the record at once (records
             # of objects never time out)
             "$audio" make "$dir/long.wav" 8
             hub
             listen fed 4 --port $((port + 1000)) --federation "$fed"
             "$host" "${common[@]}" --federation "$fed" --transmit "$dir/long.wav" \
               >"$dir/talker.log" 2>&1 & t=$!
             for _ in $(seq 1 100); do grep -q "hears 1 transmitter" "$dir/fed.log" && break; sleep 0.05; done
             kill -9 $t; wait $t 2>/dev/null || true
             finish fed
             grep -q "hears 1 transmitter" "$dir/fed.log" && grep -q "hears 0 transmitters" "$dir/fed.log" \
               || { cat "$dir/fed.log" "$dir/talker.log"; exit 1; } ;;
  models)    # the six-channel set talks on a channel; a raw DIS radio plays
             # the one transmitter it is told to hear
             listen set 5 --model 1008 --channel 3
             listen raw 5 --model raw-dis --hear 1,1,1,1
             talk --model 1008 --channel 3 --entity 1,1,1
             finish set; finish raw; exact set; similar raw 0.9 ;;
  options)   # an option that cannot work says why, and the host ends with 2
             says() {
               local want=$1; shift
               if "$host" "${common[@]}" --seconds 0.2 "$@" >"$dir/o.log" 2>&1; then
                 echo "hcyhost $* ran"; return 1
               fi
               grep -q -e "$want" "$dir/o.log" || { echo "hcyhost $*:"; cat "$dir/o.log"; return 1; }
             }
             says "unknown option '--exercis'" --exercis
             says "network hla needs --federation" --network hla
             says "fed-file needs --federation" --fed-file "$dir/x.fed"
             says "cannot resolve --address 'no.such.host.invalid'" --address no.such.host.invalid
             says "model raw-dis hears the one transmitter" --model raw-dis
             # no sound card: ALSA's null device (or no ALSA back end) is named
             if ! grep -qs "^ *[0-9]" /proc/asound/cards; then
               says "null device\|is not there" --sound alsa
             fi
             # a far-future epoch: the host says that it waits
             "$host" "${common[@]}" --epoch $(($(date +%s) + 100)) --seconds 0.2 >"$dir/e.log" 2>&1 &
             echo $! >"$dir/e.pid"
             logged e "waiting .* s for the --epoch"
             kill "$(cat "$dir/e.pid")"
             # a host that may not raise its threads' priority hears so from the
             # platform, on its standard error
             drop=(); [ "$(id -u)" = 0 ] && drop=(setpriv --inh-caps=-sys_nice --bounding-set=-sys_nice)
             (ulimit -r 0; "${drop[@]}" "$host" "${common[@]}" --seconds 0.2) >"$dir/p.log" 2>&1
             grep -q "hcyhost: the system refused a raised thread priority" "$dir/p.log" \
               || { cat "$dir/p.log"; exit 1; } ;;
  *) echo "unknown scenario $scenario"; exit 2 ;;
esac
