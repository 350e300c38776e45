#!/usr/bin/env bash
# Starts the simulator with the demo fleet on loopback, then the tool pointed
# at it. Closing the tool stops the simulator; nothing is left running.
set -euo pipefail
build=${1:-build}
bin="$build/bin"
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmar-demo.XXXXXX")

sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

fleet_args=(--generate 25 --connected 1)
[ -f demo/fleet.json ] && fleet_args=(--fleet demo/fleet.json)

"$bin/zelmar-controller-sim" "${fleet_args[@]}" --port 0 \
  --state "$work/state.json" --client-config "$work/client.json" >"$work/sim.out" &
sim_pid=$!

# Wait for the simulator's ready line (it prints exactly one).
for _ in $(seq 200); do
  grep -q '^ready ' "$work/sim.out" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q '^ready ' "$work/sim.out" 2>/dev/null; then
  echo "The controller simulator did not start." >&2
  exit 1
fi
echo "Simulator: $(head -1 "$work/sim.out")"
[ -f demo/README-password.txt ] && cat demo/README-password.txt

ZELMAR_NETSERVICE_CONFIG="$work/client.json" "$bin/zelmar-tcpip-settings"
