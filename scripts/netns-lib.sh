# Network namespaces that a test script makes for itself and removes on every
# way out, with the processes it started. Source it once `work` names the
# script's own folder (removed with them); a script it runs that sources it
# with the same `work` adds to the same lists.
#
#   make_ns NAME           a namespace with its loopback up; on failure
#                          `ns_failed NAME ERROR` when the script defines it,
#                          else the script ends
#   keep_pid PID           a process to end on the way out
#   remove_on_exit         (the top script only) sets the traps that remove all
#   sim_controller NS SIM SERIAL MAC IP MASK GATEWAY NETWORK CONNECTED NAME
#                          one simulated controller (program SIM) in NS on port
#                          41950 at all of NS's addresses, reporting IP, MASK
#                          and GATEWAY; its files are $work/NS.{fleet,state}.json
#                          and $work/NS.out
#   sim_ready NS           waits for that controller; false when it did not start
# A function `before_cleanup`, when defined, runs first on the way out.

make_ns() {
  local err
  if ! err=$(ip netns add "$1" 2>&1); then
    if declare -F ns_failed >/dev/null; then ns_failed "$1" "$err"; fi
    echo "FAIL: ip netns add $1: $err" >&2
    exit 1
  fi
  echo "$1" >>"$work/namespaces"
  ip -n "$1" link set lo up
}

keep_pid() { echo "$1" >>"$work/pids"; }

netns_cleanup() {
  local status=$?
  set +e
  if declare -F before_cleanup >/dev/null; then before_cleanup; fi
  local pid ns
  if [ -f "$work/pids" ]; then
    while read -r pid; do kill -TERM "$pid" 2>/dev/null; done <"$work/pids"
    while read -r pid; do wait "$pid" 2>/dev/null; done <"$work/pids"
  fi
  # Whatever still runs inside a namespace of this script ends with it.
  if [ -f "$work/namespaces" ]; then
    while read -r ns; do
      for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
      ip netns del "$ns" 2>/dev/null
    done <"$work/namespaces"
  fi
  rm -rf "$work"
  exit "$status"
}

remove_on_exit() {
  trap netns_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP
}

sim_controller() {
  local ns=$1 sim=$2 serial=$3 mac=$4 ip_addr=$5 mask=$6 gateway=$7 network=$8 connected=$9 name=${10}
  cat >"$work/$ns.fleet.json" <<EOF
{ "controllers": [ {
  "serialNo": "$serial", "ethernetAddress": "$mac", "address": "0.0.0.0",
  "name": "$name", "useDhcp": false,
  "ipAddress": "$ip_addr", "subnetMask": "$mask", "gateway": "$gateway", "dnsServer": "$gateway",
  "modelCode": 101, "portOsType": 3, "portOsRevision": "3.1.0",
  "connected": $connected, "attachedNetwork": "$network" } ] }
EOF
  ip netns exec "$ns" "$sim" --any-address --fleet "$work/$ns.fleet.json" \
    --state "$work/$ns.state.json" --port 41950 >"$work/$ns.out" 2>&1 &
  keep_pid $!
}

sim_ready() {
  for _ in $(seq 100); do
    grep -q '^ready ' "$work/$1.out" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
