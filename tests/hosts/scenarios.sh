#!/usr/bin/env bash
# Scenarios of hcyhost processes on test hosts of their own (netns.sh):
#   scenarios.sh BUILD SCENARIO
#   subnet     a subnet broadcast reaches every host of the subnet and no other
#   multicast  a multicast group reaches the hosts that joined it, with the
#              time-to-live asked for
#   secondary  radios on the secondary network hear only its traffic
#   routing    audio on the secondary network, Transmitter PDUs on the primary
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/netns.sh"
case ${2:-} in multicast | routing) HOSTS_NEED="dumpcap tshark" ;; esac
hosts_enter "$0" "$@"

build=$1 scenario=$2
HCYHOST="$build/tools/hcyhost"
audio="$build/tools/hcy_demo_audio"
dir=$(mktemp -d "${TMPDIR:-/tmp}/hcy-hosts-$scenario-XXXXXX")
trap 'hosts_cleanup; rm -rf "$dir"' EXIT
"$audio" make "$dir/sent.wav" 2

# Primary network: subnets 10.23.1.0/24 and 10.23.2.0/24 share one bridge;
# secondary network: 10.23.9.0/24. Multicast groups 239.23.1.x leave by the
# primary interface, 239.23.9.x by the secondary one.
prim=3100 sec=3101
bridge_add hcy-prim
bridge_add hcy-sec
n=0
# host NAME PRIMARY-ADDRESS [SECONDARY-ADDRESS]
host() {
  host_add "$1"
  host_link "$1" hcy-prim eth0 "$2" 239.23.1.0/24
  [ -z "${3:-}" ] || host_link "$1" hcy-sec eth1 "$3" 239.23.9.0/24
}
# Every host counts its time line (when talkers key, how long listeners
# run) from one epoch, 5 s after the first host starts: talkers started one
# after the other still talk at once, and a listener started first still
# hears the end. Each host must be listening before the epoch.
start_margin_us=$((5000000 * ${HCY_HOSTS_MARGIN:-1})) epoch_us=
# run NAME [hcyhost options]: starts the host's hcyhost with an entity of
# its own, and waits until it listens.
run() {
  local name=$1; shift
  n=$((n + 1))
  if [ -z "$epoch_us" ]; then
    epoch_us=$((${EPOCHREALTIME/./} + start_margin_us))
    epoch="${epoch_us:0:-6}.${epoch_us: -6}"
  fi
  host_start "$name" "$dir/$name.log" --port $prim --entity 1,$n,1 --epoch "$epoch" "$@"
  [ "${EPOCHREALTIME/./}" -lt "$epoch_us" ] ||
    hosts_late "host $name was not listening $((start_margin_us / 1000000)) s after the start"
}
# listen NAME [options]: a host that records what its radio hears.
listen() { local name=$1; shift; run "$name" --receive "$dir/$name.wav" --seconds 6 "$@"; }
# talk NAME [options]: a host that sends sent.wav from the epoch on, and
# ends.
talk() { local name=$1; shift; run "$name" --transmit "$dir/sent.wav" "$@"; }
# heard NAME: the host's radio heard sent.wav, at least 99 % of its speech
# sample for sample.
heard() {
  local said
  said=$("$audio" compare "$dir/sent.wav" "$dir/$1.wav") || { echo "host $1: $said"; return 1; }
  echo "host $1: $said"
}
silent() {
  if "$audio" compare "$dir/sent.wav" "$dir/$1.wav" --correlation 0.3 >/dev/null; then
    echo "host $1 heard what it should not"; cat "$dir/$1.log"; return 1
  fi
  echo "host $1 heard nothing, as it should"
}
# who NAME: the transmitters the host's radio heard, as S.A.E.R, sorted.
who() { sed -n 's/.* heard \([0-9.]*\) from .*/\1/p' "$dir/$1.log" | sort -u | tr '\n' ' '; }
expect_who() {
  local got; got=$(who "$1")
  [ "$got" = "$2" ] || { echo "host $1 heard '$got', not '$2'"; cat "$dir/$1.log"; return 1; }
  echo "host $1 heard transmitters ${2:-none}"
}
finish() { local h; for h in "$@"; do host_wait "$h" "$dir/$h.log"; done; }
# udp_seen FILE: source, destination, time-to-live and DIS PDU type of
# every datagram of a capture.
udp_seen() {
  tshark -r "$1" -d udp.port==$prim,dis -d udp.port==$sec,dis -T fields -E separator=' ' \
    -e ip.src -e ip.dst -e ip.ttl -e dis.pdu_type 2>/dev/null
}

case $scenario in
  subnet)
    host a 10.23.1.1/24; host b 10.23.1.2/24; host c 10.23.1.3/24
    host d 10.23.2.4/24  # on the same bridge, another subnet
    listen b --address 10.23.1.255
    listen c --address 10.23.1.255
    listen d --address 10.23.2.255
    talk a --address 10.23.1.255
    finish a b c d
    heard b; heard c; silent d ;;
  multicast)
    for i in 1 2 3 4 5; do host h$i 10.23.1.$i/24; done
    listen h2 --address 239.23.1.1
    listen h3 --address 239.23.1.1
    listen h4 --address 239.23.1.2  # another group
    listen h5 --address 10.23.1.255  # no group
    capture_start hcy-prim "$dir/prim.pcapng"
    talk h1 --address 239.23.1.1 --ttl 3
    finish h1 h2 h3 h4 h5
    capture_stop "$dir/prim.pcapng"
    heard h2; heard h3; silent h4; silent h5
    # What h1 sent went to the group, every datagram with time-to-live 3.
    sent=$(udp_seen "$dir/prim.pcapng" | awk '$1 == "10.23.1.1" { print $2, $3 }' | sort | uniq -c)
    echo "h1 sent (datagrams, destination, time-to-live):" $sent
    [[ $sent =~ ^\ *[0-9]+\ 239\.23\.1\.1\ 3$ ]] || { echo "not all to 239.23.1.1 with ttl 3"; exit 1; } ;;
  secondary)
    for i in 1 2 3 4 5; do host h$i 10.23.1.$i/24 10.23.9.$i/24; done
    both=(--address 10.23.1.255 --secondary-port $sec --secondary-address 10.23.9.255)
    listen h1 "${both[@]}" --network primary
    listen h2 "${both[@]}" --network secondary
    listen h3 "${both[@]}" --network primary,secondary
    talk h4 "${both[@]}" --network primary     # 1.4.1.1
    talk h5 "${both[@]}" --network secondary   # 1.5.1.1
    finish h4 h5 h1 h2 h3
    expect_who h1 "1.4.1.1 "; expect_who h2 "1.5.1.1 "
    heard h1; heard h2
    # h3 names only the stronger of the two it hears at once.
    grep -q "heard 2 transmissions, at most 2 at once" "$dir/h3.log" ||
      { echo "h3 did not hear both at once"; cat "$dir/h3.log"; exit 1; } ;;
  routing)
    for i in 1 2 3; do host h$i 10.23.1.$i/24 10.23.9.$i/24; done
    both=(--address 10.23.1.255 --secondary-port $sec --secondary-address 10.23.9.255)
    capture_start hcy-prim "$dir/prim.pcapng"
    capture_start hcy-sec "$dir/sec.pcapng"
    listen h1 "${both[@]}" --network primary,signal-secondary
    listen h2 "${both[@]}" --network primary  # hears the transmitter, not its audio
    talk h3 "${both[@]}" --network primary,signal-secondary
    finish h3 h1 h2
    capture_stop "$dir/prim.pcapng"; capture_stop "$dir/sec.pcapng"
    heard h1; silent h2; expect_who h2 "1.3.1.1 "
    # PDU types h3 sent on each network: 25 Transmitter, 26 Signal.
    prim_types=$(udp_seen "$dir/prim.pcapng" | awk '$1 == "10.23.1.3" && NF == 4 { print $4 }' | sort -u | tr '\n' ' ')
    sec_types=$(udp_seen "$dir/sec.pcapng" | awk '$1 == "10.23.9.3" && NF == 4 { print $4 }' | sort -u | tr '\n' ' ')
    echo "h3 sent PDU types ${prim_types}on the primary network, ${sec_types}on the secondary"
    [ "$prim_types" = "25 " ] && [ "$sec_types" = "26 " ] || { echo "wrong routing"; exit 1; } ;;
  *) echo "unknown scenario $scenario"; exit 2 ;;
esac
