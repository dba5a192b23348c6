# Test hosts in network namespaces, for scripts that source this file.
#
# hosts_enter re-runs the calling script inside a private network, mount
# and process namespace of its own (whether it was started by hand or by
# the test run's own 'unshare -n'):
#
#   this namespace ("the switch", only lo at first)
#     bridge hcy-prim (primary network)      bridge hcy-sec (secondary)
#        |veth            |veth                 |veth
#     host a: eth0     host b: eth0          host b: eth1 ...
#
# Each host is a network namespace held by a sleeping process of ours; its
# hcyhost runs there through nsenter. Nothing has a route out: every
# address exists only on these bridges. The kernel ends every process of
# the private process namespace when the script ends, however it ends, and
# the namespaces, bridges and the private /proc go with them; nothing of
# the machine's own network or /run/netns is touched.
#
# Needs root, ip (iproute2), unshare and nsenter (util-linux); without them
# hosts_enter exits 77, which the test run counts as skipped.

hosts_skip() { echo "hosts: skipped: $*"; exit 77; }

# hosts_enter SCRIPT ARGS...: call first, with "$0" "$@".
hosts_enter() {
  if [ "${HCY_HOSTS_INSIDE:-}" = 1 ] && [ $$ -eq 1 ]; then
    # A fresh namespace has only lo: refuse anything else, so that no
    # bridge or address of ours can ever join the machine's network.
    [ "$(ip -o link show | wc -l)" -eq 1 ] || { echo "hosts: not in a fresh namespace"; exit 1; }
    ip link set lo up
    trap hosts_cleanup EXIT
    trap 'exit 130' INT TERM
    return 0
  fi
  [ "$(id -u)" -eq 0 ] || hosts_skip "test hosts in network namespaces need root"
  local tool
  for tool in ip unshare nsenter ${HOSTS_NEED:-}; do
    command -v "$tool" >/dev/null || hosts_skip "'$tool' is not installed"
  done
  unshare --net --mount --pid --fork --kill-child --mount-proc \
    sh -c 'ip link add hcy-br type bridge && ip link add hcy-v type veth peer name hcy-w' 2>/dev/null ||
    hosts_skip "this machine refuses private network namespaces, bridges or veth pairs"
  # A run whose hosts were not all up by the time it gave them (exit 75: a
  # machine too busy to start them in time) goes again from scratch with
  # HCY_HOSTS_MARGIN times the start margin (2, then 4); what a run judges
  # is never retried.
  local script=$1 margin=1 status; shift
  for (( ; ; margin *= 2)); do
    status=0
    HCY_HOSTS_INSIDE=1 HCY_HOSTS_MARGIN=$margin unshare --net --mount --pid --fork --kill-child \
      --mount-proc bash "$script" "$@" || status=$?
    [ "$status" = 75 ] || exit "$status"
    [ "$margin" -lt 4 ] || exit 1
    echo "hosts: not every host was up in time: once more with $((margin * 2)) times the start margin"
  done
}

# hosts_late WHAT: a host was not up by the time the run gave it; the run
# ends so that hosts_enter starts it again.
hosts_late() { echo "$*"; exit 75; }

declare -A HOST_NS=()  # host name -> pid of the process holding its namespace
HOST_PIDS=()           # every hcyhost started

# hosts_cleanup: ends what runs on the hosts (the EXIT trap calls it).
hosts_cleanup() {
  local p
  for p in "${HOST_PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${HOST_PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
}

# bridge_add NAME: a network segment.
bridge_add() {
  ip link add "$1" type bridge
  ip link set "$1" up
}

# host_add NAME: a host with a network namespace of its own (only lo up).
host_add() {
  local name=$1
  unshare --net sleep infinity &
  local pid=$! self
  self=$(readlink /proc/self/ns/net)
  for _ in $(seq 1 500); do
    [ "$(readlink "/proc/$pid/ns/net" 2>/dev/null)" != "$self" ] && break
    sleep 0.01
  done
  [ "$(readlink "/proc/$pid/ns/net")" != "$self" ] || { echo "host $name: no namespace"; return 1; }
  HOST_NS[$name]=$pid
  host_do "$name" ip link set lo up
}

# host_do NAME COMMAND...: runs a command in the host's namespace.
host_do() {
  local name=$1; shift
  nsenter -t "${HOST_NS[$name]}" -n -- "$@"
}

# host_link NAME BRIDGE IFNAME ADDRESS/PREFIX [GROUPS]: joins the host to a
# bridge through a veth pair; multicast to GROUPS (a prefix such as
# 239.23.1.0/24) leaves through this interface.
host_link() {
  local name=$1 bridge=$2 ifname=$3 address=$4 groups=${5:-}
  local outer="${name:0:8}-$ifname"
  ip link add "$outer" type veth peer name "$ifname" netns "${HOST_NS[$name]}"
  ip link set "$outer" master "$bridge" up
  # No IPv6 chatter on the bridges: only what the hosts send is seen.
  host_do "$name" sh -c "[ ! -w /proc/sys/net/ipv6/conf/$ifname/disable_ipv6 ] ||
    echo 1 >/proc/sys/net/ipv6/conf/$ifname/disable_ipv6"
  host_do "$name" ip addr add "$address" dev "$ifname"
  host_do "$name" ip link set "$ifname" up
  [ -z "$groups" ] || host_do "$name" ip route add "$groups" dev "$ifname"
}

# host_start NAME LOG HCYHOST-ARGS...: starts hcyhost in the host's
# namespace, its output in LOG, and waits until it says it is listening
# (its radios are wired and its sockets bound).
host_start() {
  local name=$1 log=$2; shift 2
  nsenter -t "${HOST_NS[$name]}" -n -- "$HCYHOST" "$@" >"$log" 2>&1 &
  HOST_PIDS+=($!)
  eval "HOST_PID_${name//-/_}=$!"
  for _ in $(seq 1 3000); do
    grep -q "listening on port" "$log" 2>/dev/null && return 0
    kill -0 "$!" 2>/dev/null || break
    sleep 0.02
  done
  echo "host $name did not start"; cat "$log"; return 1
}

# host_pid NAME: the pid of the host's hcyhost.
host_pid() { local v="HOST_PID_${1//-/_}"; echo "${!v}"; }

# host_wait NAME LOG: waits for the host's hcyhost to end by itself.
host_wait() {
  wait "$(host_pid "$1")" || { echo "host $1 failed"; cat "$2"; return 1; }
}

declare -A CAPTURE_PID=()
# capture_start BRIDGE FILE: records the bridge's UDP traffic into FILE.
capture_start() {
  dumpcap -q -i "$1" -f udp -w "$2" 2>/dev/null &
  CAPTURE_PID[$2]=$!
  HOST_PIDS+=($!)
  for _ in $(seq 1 500); do [ -s "$2" ] && return 0; sleep 0.02; done
  echo "capture on $1 did not start"; return 1
}
# capture_stop FILE: ends the capture into FILE once it has written it all.
capture_stop() { kill -INT "${CAPTURE_PID[$1]}"; wait "${CAPTURE_PID[$1]}" || true; }
