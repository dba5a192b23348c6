# The RTI server of the HLA demo, soak and end-to-end scenarios (sourced).
#   HCY_RTI_SERVER  the server as a command; {port} stands for the loopback
#                   port it is to listen on. For OpenRTI:
#                     HCY_RTI_SERVER="/opt/openrti/bin/rtinode -i 127.0.0.1:{port}"
#                   Default: the library's own hub, BUILD/platform/rti13/hcyrtihub.
# Federates then join "rti://127.0.0.1:PORT/NAME" under either RTI.

# rti_server_start BUILD PORT LOG [PREFIX...]: starts the server in the
# background (behind PREFIX, e.g. nsenter into a namespace), sets
# RTI_SERVER_PID, and waits at most 10 s until 127.0.0.1:PORT takes
# connections. Returns 77 when there is no server to start (an external RTI's
# build without HCY_RTI_SERVER), 1 when it did not come up.
rti_server_start() {
  local build=$1 port=$2 log=$3
  shift 3
  local cmd=${HCY_RTI_SERVER:-}
  if [ -z "$cmd" ]; then
    if [ ! -x "$build/platform/rti13/hcyrtihub" ]; then
      echo "no RTI server: this build uses an external RTI; set HCY_RTI_SERVER (e.g. \"rtinode -i 127.0.0.1:{port}\")"
      return 77
    fi
    cmd="$build/platform/rti13/hcyrtihub --port {port}"
  fi
  cmd=${cmd//\{port\}/$port}
  # The command's words are split as a shell would split them, unquoted.
  # shellcheck disable=SC2086
  "$@" $cmd >"$log" 2>&1 &
  RTI_SERVER_PID=$!
  for _ in $(seq 1 200); do
    if "$@" bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" 2>/dev/null; then return 0; fi
    kill -0 "$RTI_SERVER_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "the RTI server ($cmd) did not start"
  cat "$log"
  return 1
}
